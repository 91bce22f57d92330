#include "support/DemoRun.h"
#include "support/Fixture.h"
#include "support/PxIndexCheck.h"
#include "app/Progress.h"
#include "checks/CheckRun.h"
#include "db/Formats.h"
#include "dialogs/SelectOrg.h"
#include "dialogs/SelectPat.h"
#include "tools/demo/DemoData.h"
#include "tools/demo/PracticeSchema.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

// The same practice, as a SQLite file, as Paradox tables and as a database
// of the test server, goes through the whole run with the same answers: the
// journals and the final data must be the same.
class EnginesTest : public QObject {
    Q_OBJECT

    struct Issue {
        QStringList journal;
        QMap<QString, QList<QStringList>> tables;
        QStringList boites;
        QStringList tablesPatient;   // sorted: each engine lists in its own order
        QStringList index;           // Paradox: the secondary index files after the run
        QString indexIncoherents;    // and what the outside check finds wrong in them
    };

    static Issue executer(Moteur moteur)
    {
        const bool paradox = moteur == Moteur::Paradox;
        Issue out;
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        f.vers(moteur);
        ScriptedInteraction ui;
        // Paradox keeps the workstation's format; give every run the same one
        // so that dates read alike in the texts.
        db::formats::setShortDateFormat(QStringLiteral("MM/dd/yyyy"));
        auto s = f.start(ui);
        if (!s) {
            QTest::qFail("start-up failed", __FILE__, __LINE__);
            return out;
        }
        if (paradox) {
            if (s->ModeSQL || ui.messages.isEmpty() || ui.messages[0].text != QStringLiteral("Veuillez fermer Praxelle sur tous les postes."))
                QTest::qFail("not opened in Paradox mode", __FILE__, __LINE__);
        }
        out.tablesPatient = s->ListeTablesPatient;
        out.tablesPatient.sort();
        const ReponsesDemo reponses(ui, *s);
        ui.onViewer = [&] {
            for (const JournalRow &r : PracticeFixture::journal(*s)) {
                // Rows about no consultation are dated at the time of writing.
                const QString date = qAbs(r.date.secsTo(QDateTime::currentDateTime())) < 600
                                         ? QStringLiteral("(maintenant)")
                                         : db::formats::storageText(r.date);
                out.journal << QStringList({r.patientId.toString(), r.patientNom, date, r.medecinId.toString(), r.origine,
                                            QString::number(r.niveau), r.action})
                                   .join(QLatin1Char('|'));
            }
        };
        CheckRun run(*s);
        run.BtValiderClick();
        for (const auto &m : ui.messages)
            out.boites << m.text;
        if (paradox) {
            for (const QString &x : secondaryDataFiles(f.baseParadox))
                out.index << QFileInfo(x).fileName();
            out.indexIncoherents = checkSecondaryIndexes(f.baseParadox);
        }
        out.tables = tablesPratique(*s);
        return out;
    }

    static const Issue &surSQLite()
    {
        static const Issue issue = executer(Moteur::SQLite);
        return issue;
    }

    static void comparer(const Issue &autre)
    {
        const Issue &sqlite = surSQLite();
        QVERIFY(sqlite.journal.size() > 30);
        // Every line that differs, not only the first: one fault often moves many.
        QStringList ecarts;
        for (int i = 0; i < qMax(sqlite.journal.size(), autre.journal.size()); ++i) {
            if (sqlite.journal.value(i) != autre.journal.value(i))
                ecarts << QStringLiteral("%1:\n  attendu %2\n  obtenu  %3").arg(i).arg(sqlite.journal.value(i), autre.journal.value(i));
        }
        QVERIFY2(ecarts.isEmpty(), qPrintable(ecarts.join(QLatin1Char('\n'))));
        // Names as the program uses them, whatever owner prefix or extension the engine lists.
        QCOMPARE(autre.tablesPatient, sqlite.tablesPatient);
        QVERIFY(sqlite.tablesPatient.contains(QStringLiteral("CPMAIN")));
        QStringList boites = autre.boites;
        boites.removeAll(QStringLiteral("Veuillez fermer Praxelle sur tous les postes."));
        QCOMPARE(boites, sqlite.boites);
        for (auto it = sqlite.tables.constBegin(); it != sqlite.tables.constEnd(); ++it) {
            const QList<QStringList> lignes = autre.tables.value(it.key());
            QCOMPARE(lignes.size(), it.value().size());
            for (int i = 0; i < it.value().size(); ++i)
                QVERIFY2(lignes[i] == it.value()[i], qPrintable(it.key() + QStringLiteral(" : ") + lignes[i].join(QLatin1Char('|'))
                                                              + QStringLiteral(" au lieu de ") + it.value()[i].join(QLatin1Char('|'))));
        }
    }

private slots:
    void paradoxGivesTheSameJournalAndData()
    {
        // Tables with secondary indexes, as a practice in use for years has
        // them: written all the same, their indexes kept in step.
        const Issue paradox = executer(Moteur::Paradox);
        QCOMPARE(paradox.index, QStringList({QStringLiteral("CPMAIN.X02"), QStringLiteral("CPMAIN.X03"), QStringLiteral("MOTCONSU.X02"),
                                             QStringLiteral("PATIENTS.XG0"), QStringLiteral("PATIENTS.XG1")}));
        QVERIFY2(paradox.indexIncoherents.isEmpty(), qPrintable(paradox.indexIncoherents));
        comparer(paradox);
    }

    void serverGivesTheSameJournalAndData()
    {
        if (!PracticeFixture::serveurDisponible())
            QSKIP("pas de serveur de test : ALDURIX_TEST_SERVER est vide (tools/test.sh le démarre)");
        comparer(executer(Moteur::Serveur));
    }
};

QTEST_MAIN(EnginesTest)
#include "engines_test.moc"
