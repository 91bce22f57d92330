#pragma once
// One unknown-patient case for the tests of the patient dialog and of the
// phase that shows it.
#include "support/Fixture.h"
#include "app/Progress.h"
#include "dialogs/SelectPat.h"

#include <QComboBox>
#include <QDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

inline QDateTime dt(int y, int m, int d, int h = 0, int mi = 0) { return QDateTime(QDate(y, m, d), QTime(h, mi)); }

// One unknown-patient case: a practice, a session, the dialog, and QryCPMain
// opened and TableMedecins positioned as the unknown-patient phase leaves them.
struct Cas {
    PracticeFixture f;
    ScriptedInteraction ui;
    std::unique_ptr<Session> s;
    Progression prog;
    std::unique_ptr<TFSelectPatient> d;

    Cas()
    {
        f.insert("MEDECINS", {{"MEDECINS_ID", 1}, {"MEDECINS_COMPTABLE_ID", 1}, {"NOM", "Martin"}, {"PRENOM", "Anne"}});
        f.insert("MEDECINS", {{"MEDECINS_ID", 2}, {"MEDECINS_COMPTABLE_ID", 2}, {"NOM", "Roux"}, {"PRENOM", "Paul"}});
    }
    void patient(int id, const QString &nom, const QString &prenom, const QString &nomon, const QVariant &neLe = {})
    {
        f.insert("PATIENTS", {{"PATIENTS_ID", id}, {"NOM", nom}, {"PRENOM", prenom}, {"N_OMON", nomon},
                              {"NE_LE", neLe}, {"MEDECINS_ID", 1}});
    }
    void compta(int id, int patient, int medecin, const QDateTime &date, QVariantMap autres = {})
    {
        autres.insert("CPMAIN_ID", id);
        autres.insert("PATIENTS_ID", patient);
        autres.insert("MEDECINS_ID", medecin);
        autres.insert("DATE_CONSULTATION", date);
        if (!autres.contains("MONNAIE1"))
            autres.insert("MONNAIE1", "EUR");
        f.insert("CPMAIN", autres);
    }
    bool demarrer()
    {
        s = f.start(ui);
        if (!s)
            return false;
        d = std::make_unique<TFSelectPatient>(*s, prog, nullptr);
        return true;
    }
    void positionner(qint64 inconnu)
    {
        s->QryCPMain.clearSql();
        s->QryCPMain.addLine("SELECT * FROM CPMAIN WHERE PATIENTS_ID =:patients_id");
        s->QryCPMain.setInteger("patients_id", inconnu);
        s->QryCPMain.open();
        s->TableMedecins.findKey({s->QryCPMain.fieldByName("MEDECINS_ID").asInteger()});
        d->FormShow();
    }
    QStringList items() const
    {
        QStringList out;
        for (int i = 0; i < d->CBPatients_existant->count(); ++i)
            out << d->CBPatients_existant->itemText(i);
        return out;
    }
    void choisir(qint64 patient)
    {
        d->CBPatients_existant->setCurrentIndex(d->CBPatients_existant->findData(patient));
    }
    bool fichiersDeTravail() const
    {
        return !QDir(f.prive).entryList({"Aldurix*"}, QDir::Files).isEmpty();
    }
};

inline void montrer(TFSelectPatient &d)
{
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));
}

