#include "support/DemoRun.h"
#include "app/Session.h"
#include "dialogs/SelectOrg.h"
#include "dialogs/SelectPat.h"
#include "tools/demo/PracticeSchema.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

ReponsesDemo::ReponsesDemo(ScriptedInteraction &ui, Session &s, const QString &naissance)
    : m_patients(std::make_unique<TFSelectPatient>(s, m_prog)), m_caisses(std::make_unique<TFSelectOrganisme>(s))
{
    TFSelectPatient &patients = *m_patients;
    TFSelectOrganisme &caisses = *m_caisses;
    ui.onSelectPatient = [&patients, &s, naissance] {
        const qint64 inconnu = s.QryCPMain.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger();
        QTimer::singleShot(0, &patients, [&patients, inconnu, naissance] {
            if (inconnu == 4) {
                enfant<QRadioButton>(&patients, "RGChoice_0")->click();
                auto *liste = enfant<QComboBox>(&patients, "CBPatients_existant");
                liste->setCurrentIndex(liste->findData(10));
                enfant<QPushButton>(&patients, "BtPatient_existant")->click();
            } else {
                enfant<QRadioButton>(&patients, "RGChoice_1")->click();
                enfant<QLineEdit>(&patients, "EDNom")->setText(QStringLiteral("Lefèvre"));
                enfant<QLineEdit>(&patients, "EDPrenom")->setText(QStringLiteral("Inès"));
                if (!naissance.isEmpty())
                    enfant<QLineEdit>(&patients, "EDNe_le")->setText(naissance);
                enfant<QPushButton>(&patients, "BtNouveau_patient")->click();
            }
        });
        QTimer::singleShot(10000, &patients, [&patients] { patients.done(99); });
        const int r = patients.afficher();
        if (patients.fin)
            throw *patients.fin;
        return r;
    };
    ui.onSelectOrganisme = [&caisses] {
        caisses.show();
        enfant<QPushButton>(&caisses, "BtValider")->click();
        return caisses.result();
    };
    ui.answers = {true, true, false};   // cancel small balances, by the billed amounts; no printing
}

ReponsesDemo::~ReponsesDemo() = default;

QMap<QString, QList<QStringList>> tablesPratique(Session &s)
{
    QMap<QString, QList<QStringList>> out;
    for (const demo::TableDef &t : demo::practiceTables()) {
        QStringList cols;
        for (const demo::Column &c : t.columns)
            cols << c.name;
        out.insert(t.name, PracticeFixture::lignes(s, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                                          .arg(cols.join(QStringLiteral(", ")), t.name, t.key)));
    }
    return out;
}
