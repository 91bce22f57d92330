#pragma once
// One unknown-patient case as the unknown-patient phase leaves it, for the
// moves that settle it and for the dialog that shows it.
#include "support/Fixture.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

inline QDateTime dt(int y, int m, int d, int h = 0, int mi = 0) { return QDateTime(QDate(y, m, d), QTime(h, mi)); }

// A practice with two physicians, its session, and QryCPMain opened on the
// unknown number's accounting with TableMedecins on the first row's physician.
struct CasCompta {
    PracticeFixture f;
    ScriptedInteraction ui;
    std::unique_ptr<Session> s;

    CasCompta()
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
        return bool(s);
    }
    void positionner(qint64 inconnu)
    {
        s->QryCPMain.clearSql();
        s->QryCPMain.addLine("SELECT * FROM CPMAIN WHERE PATIENTS_ID =:patients_id");
        s->QryCPMain.setInteger("patients_id", inconnu);
        s->QryCPMain.open();
        s->TableMedecins.findKey({s->QryCPMain.fieldByName("MEDECINS_ID").asInteger()});
    }
    bool fichiersDeTravail() const
    {
        return !QDir(f.prive).entryList({"Aldurix*"}, QDir::Files).isEmpty();
    }
};
