#include "app/Session.h"
#include "checks/CheckRun.h"
#include "checks/Parcours.h"
#include "db/DbError.h"
#include "db/Formats.h"

#include <QSet>

namespace fmt = db::formats;

namespace {

const QString kOrigine = QStringLiteral("Remises de chèques (CPREM)");

// The date part of a stored date-time, through the short date format as every
// date copied between tables; throws db::DbError when it cannot be read.
QDateTime jourSeul(const db::Field &champ)
{
    const QDateTime lue = champ.asDateTime();
    const QString texte = fmt::dateToText(lue.date());
    const std::optional<QDate> jour = fmt::textToDate(texte);
    if (!jour)
        throw db::DbError(QStringLiteral("'") + texte + QStringLiteral("' n'est pas une date correcte"));
    return QDateTime(*jour, QTime(0, 0));
}

struct Source {
    QString succes;
    QString echec;
};

const Source kComptabilite = {
    QStringLiteral(" à partir des données de la table de comptabilité (CPMAIN). Cette remise de chèques est datée au "),
    QStringLiteral(" trouvée à partir des données de la table de comptabilité (CPMAIN). Cette remise de chèques est datée au "),
};
const Source kSuivi = {
    QStringLiteral(" à partir des données du suivi des tiers payants (CPORDPAY). Cette remise de chèques est datée au "),
    QStringLiteral(" trouvée à partir des données du suivi des tiers payants (CPORDPAY). Cette remise de chèques est datée au "),
};

// Runs the prepared INSERT of Qry2 and journals its outcome; the texts quote
// the INSERT's own parameters.
void insererRemise(Session &s, const Source &source)
{
    db::Query &ins = s.Qry2;
    const QString numero = ins.param(QStringLiteral("cprem_id")).asString();
    const QString date = ins.param(QStringLiteral("dateConsultation")).asString();
    const QString quantite = ins.param(QStringLiteral("qte")).asString();
    const QString montant = s.RenvoyerMontant(QStringLiteral("EUR"), ins.param(QStringLiteral("montant")).value.toDouble());
    const qint64 medecin = ins.param(QStringLiteral("medecins_id")).value.toLongLong();
    try {
        ins.execSQL();
        s.AjouterResultat(0, date, medecin, kOrigine, 2,
                          QStringLiteral("Remise de chèques inconnue : le programme a créé la remise de chèque n°") + numero
                              + source.succes + date + QStringLiteral(", elle contient ") + quantite
                              + QStringLiteral(" chèques pour un montant total de ") + montant + QStringLiteral(". "));
    } catch (const db::DbError &e) {
        s.AjouterResultat(0, date, medecin, kOrigine, 1,
                          QStringLiteral("Remise de chèques inconnue : le programme n'est pas parvenu à créer la remise de chèque n°")
                              + numero + source.echec + date + QStringLiteral(", elle contient ") + quantite
                              + QStringLiteral(" chèque(s) pour un montant total de ") + montant
                              + QStringLiteral(" pour la raison suivante : ") + e.message() + QStringLiteral("\r")
                              + QStringLiteral("Elle doit être créée manuellement."));
    }
}

} // namespace

void CheckRun::CreerRemisesInconnuesComptabilite()
{
    s.DemarrerProgression(QStringLiteral("Recherche des remises de chèques inconnues dans la comptabilité..."), 0, 1, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT CPRem_ID FROM CPMAIN WHERE CPRem_ID IS NOT NULL GROUP BY CPRem_ID ORDER BY CPRem_ID"));
    s.Qry1.open();
    Parcours p(s, s.Qry1, QStringLiteral("Gestion des remises de chèques inconnues dans la comptabilité..."), false,
               QStringLiteral("Gestion des remises de chèques inconnues dans la comptabilité ("));
    while (p.suivant()) {
        const qint64 numero = s.Qry1.fieldByName(QStringLiteral("CPRem_ID")).asInteger();

        s.Qry2.clearSql();
        s.Qry2.addLine(QStringLiteral("SELECT * FROM CPREM WHERE CPRem_ID=:cprem_id"));
        s.Qry2.setInteger(QStringLiteral("cprem_id"), numero);
        s.Qry2.open();
        if (s.Qry2.recordCount() > 0)
            continue;

        s.Qry2.clearSql();
        s.Qry2.addLine(QStringLiteral("INSERT INTO CPREM (CPRem_ID, DATE_CONSULTATION, Montant, Medecins_ID, Qte, Banque, CPBanks_ID,  Patient)"));
        s.Qry2.addLine(QStringLiteral("VALUES (:cprem_id, :dateConsultation, :montant, :medecins_id, :qte, :banque, :cpBanks_id, :patient)"));
        s.Qry2.setInteger(QStringLiteral("cprem_id"), numero);
        s.Qry2.setBoolean(QStringLiteral("patient"), false);

        s.Qry3.clearSql();
        s.Qry3.addLine(QStringLiteral("SELECT * FROM CPMAIN WHERE CPRem_ID=:cprem_id"));
        s.Qry3.setInteger(QStringLiteral("cprem_id"), numero);
        s.Qry3.open();
        // Every record of the deposit counts, whatever its payment mode.
        s.Qry2.setFloat(QStringLiteral("qte"), s.Qry3.recordCount());

        s.Qry3.first();
        try {
            s.Qry2.setDateTime(QStringLiteral("dateConsultation"), jourSeul(s.Qry3.fieldByName(QStringLiteral("DATE_CONSULTATION"))));
        } catch (const db::DbError &e) {
            s.ui.message(Boite::Simple, QStringLiteral("Problème sur la date de consultation de la remise n°")
                                            + QString::number(numero) + QStringLiteral("\r") + QStringLiteral("Erreur : ")
                                            + e.message());
        }

        // Summed on the decimal digits: the deposit stores 0.3, not 0.30000000000000004.
        db::Decimal montant;
        for (s.Qry3.first(); !s.Qry3.eof(); s.Qry3.next()) {
            // Only the letters a to z are upper-cased: "Chèque" is no cheque here.
            if (fmt::upperAscii(s.Qry3.fieldByName(QStringLiteral("Mode1")).asString()) == QLatin1String("CHEQUE"))
                montant += s.Qry3.fieldByName(QStringLiteral("Paiement1")).asDecimal();
            if (fmt::upperAscii(s.Qry3.fieldByName(QStringLiteral("Mode2")).asString()) == QLatin1String("CHEQUE"))
                montant += s.Qry3.fieldByName(QStringLiteral("Paiement2")).asDecimal();
        }
        s.Qry2.setFloat(QStringLiteral("montant"), montant.toDouble());

        // The walk ended on the last record: its physician owns the deposit.
        s.Qry3.last();
        const qint64 medecin = s.Qry3.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger();
        s.Qry2.setInteger(QStringLiteral("medecins_id"), medecin);

        s.Qry3.clearSql();
        s.Qry3.addLine(QStringLiteral("SELECT * FROM CPBANKS WHERE Medecins_ID=:medecins_id AND Label=:label"));
        s.Qry3.setInteger(QStringLiteral("medecins_id"), medecin);
        s.Qry3.setText(QStringLiteral("label"), QStringLiteral("Banque 1"));
        s.Qry3.open();
        if (s.Qry3.recordCount() > 0) {
            s.Qry3.first();
            s.Qry2.setText(QStringLiteral("banque"), s.Qry3.fieldByName(QStringLiteral("Name")).asString());
            s.Qry2.setInteger(QStringLiteral("cpBanks_id"), s.Qry3.fieldByName(QStringLiteral("CPBanks_ID")).asInteger());
        } else {
            s.Qry2.setText(QStringLiteral("banque"), QStringLiteral(""));
            s.Qry2.setInteger(QStringLiteral("cpBanks_id"), 0);
        }

        insererRemise(s, kComptabilite);
    }
    s.ArreterProgression(false);
}

void CheckRun::CreerRemisesInconnuesSuivi()
{
    s.DemarrerProgression(QStringLiteral("Recherche des remises de chèques inconnues dans le suivi des tiers payants..."), 0, 1,
                          0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT * FROM CPORDPAY WHERE NOT CPRem_ID IS NULL AND CPRem_ID NOT IN (SELECT CPRem_ID FROM CPREM)"));
    s.Qry1.open();
    QSet<qint64> traitees;
    Parcours p(s, s.Qry1, QStringLiteral("Gestion des remises de chèques inconnues dans le suivi des tiers payants..."), false,
               QStringLiteral("Gestion des remises de chèques inconnues dans le suivi des tiers payants ("));
    while (p.suivant()) {
        const qint64 numero = s.Qry1.fieldByName(QStringLiteral("CPRem_ID")).asInteger();
        // The list has one row per statement: the deposit is rebuilt from the first one met.
        if (traitees.contains(numero))
            continue;
        traitees.insert(numero);

        s.Qry2.clearSql();
        s.Qry2.addLine(QStringLiteral("INSERT INTO CPREM (CPRem_ID, DATE_CONSULTATION, Montant, Banque, CPBanks_ID, Medecins_ID, Patient, Qte)"));
        s.Qry2.addLine(QStringLiteral("VALUES (:cprem_id, :dateConsultation, :montant, :banque, :cpBanks_id, :medecins_id, :patient, :qte)"));
        s.Qry2.setInteger(QStringLiteral("cprem_id"), numero);
        s.Qry2.setBoolean(QStringLiteral("patient"), false);

        s.Qry3.clearSql();
        s.Qry3.addLine(QStringLiteral("SELECT * FROM CPORDPAY WHERE CPRem_ID=:cprem_id"));
        s.Qry3.setInteger(QStringLiteral("cprem_id"), numero);
        s.Qry3.open();
        // Every statement of the deposit counts, by cheque or not.
        s.Qry2.setFloat(QStringLiteral("qte"), s.Qry3.recordCount());

        try {
            s.Qry2.setDateTime(QStringLiteral("dateConsultation"), jourSeul(s.Qry1.fieldByName(QStringLiteral("P_DATE"))));
        } catch (const db::DbError &) {
            // An unreadable statement date is not reported: the deposit goes in without one.
        }

        db::Decimal montant;
        for (s.Qry3.first(); !s.Qry3.eof(); s.Qry3.next())
            if (s.Qry3.fieldByName(QStringLiteral("Cheque")).asBoolean())
                montant += s.Qry3.fieldByName(QStringLiteral("PayeSum")).asDecimal();
        s.Qry2.setFloat(QStringLiteral("montant"), montant.toDouble());

        s.Qry2.setInteger(QStringLiteral("medecins_id"), s.Qry1.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger());

        const qint64 banque = s.Qry1.fieldByName(QStringLiteral("Bank")).asInteger();
        s.Qry3.clearSql();
        s.Qry3.addLine(QStringLiteral("SELECT * FROM CPBANKS WHERE CPBanks_ID=:bank"));
        s.Qry3.setInteger(QStringLiteral("bank"), banque);
        s.Qry3.open();
        s.Qry3.first();
        s.Qry2.setText(QStringLiteral("banque"),
                       s.Qry3.recordCount() > 0 ? s.Qry3.fieldByName(QStringLiteral("Name")).asString() : QString());
        s.Qry2.setInteger(QStringLiteral("cpBanks_id"), banque);

        insererRemise(s, kSuivi);
    }
    s.ArreterProgression(false);
}
