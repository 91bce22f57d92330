#pragma once
#include "support/DemoRun.h"
// A whole check run on a practice, to leave a backup behind, and the
// practice's content to compare before the run and after its restore.
#include "support/Fixture.h"
#include "app/Common.h"
#include "app/Progress.h"
#include "checks/CheckRun.h"
#include "db/Restore.h"
#include "dialogs/SelectOrg.h"
#include "dialogs/SelectPat.h"
#include "tools/demo/PracticeSchema.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

// Every row of every practice table, in a fixed order, each value with the
// type the database gives it: a value put back as text where it was a
// number is a difference.
inline QMap<QString, QStringList> contenuPratique(PracticeFixture &f)
{
    QMap<QString, QStringList> out;
    for (const demo::TableDef &t : demo::practiceTables()) {
        QStringList lignes;
        for (const QVariantList &r : f.rows(QStringLiteral("SELECT * FROM ") + t.name)) {
            QStringList valeurs;
            for (const QVariant &v : r)
                valeurs << (v.isNull() ? QStringLiteral("(null)")
                                       : QString::fromLatin1(v.metaType().name()) + QLatin1Char(':') + v.toString());
            lignes << valeurs.join(QLatin1Char('|'));
        }
        lignes.sort();
        out.insert(t.name, lignes);
    }
    return out;
}

// The tables that differ, each with its first row missing and its first
// row too many, for a failure's message.
inline QString ecartsContenu(const QMap<QString, QStringList> &attendu, const QMap<QString, QStringList> &obtenu)
{
    QStringList ecarts;
    for (auto it = attendu.constBegin(); it != attendu.constEnd(); ++it) {
        const QStringList autre = obtenu.value(it.key());
        auto premiere = [](const QStringList &dans, const QStringList &sans) {
            for (const QString &l : dans)
                if (!sans.contains(l))
                    return l;
            return QString();
        };
        if (autre != it.value())
            ecarts << it.key() + QStringLiteral(" : attendue ") + premiere(it.value(), autre) + QStringLiteral(", obtenue ")
                          + premiere(autre, it.value());
    }
    return ecarts.join(QLatin1Char('\n'));
}

// A whole run as its user would answer it: small balances cancelled by the
// billed amounts, no printing; on the demo practice, the unknown file 4
// attached to file 10 and the others created, the missing insurance bodies
// created as proposed. Then the program's shut-down. The run's backup is
// returned.
inline db::BackupInfo traitementComplet(PracticeFixture &f)
{
    ScriptedInteraction ui;
    auto s = f.start(ui);
    if (!s) {
        QTest::qFail("start-up failed", __FILE__, __LINE__);
        return {};
    }
    {
        const ReponsesDemo reponses(ui, *s);
        CheckRun run(*s);
        try {
            run.BtValiderClick();
            // A run with nothing to say offers to end the program, which the
            // first answer accepts; otherwise the user ends it.
            s->BtFermerClick();
        } catch (const common::FinProgramme &) {
        }
    }
    const QString repertoire = s->RepertoireSauvegardes;
    s.reset();
    const QList<db::BackupInfo> sauvegardes = db::listBackups(repertoire);
    if (sauvegardes.size() != 1) {
        QTest::qFail("the run left no single backup", __FILE__, __LINE__);
        return {};
    }
    return sauvegardes.first();
}
