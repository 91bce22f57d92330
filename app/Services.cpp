#include "app/Common.h"
#include "app/Session.h"
#include "db/DbError.h"
#include "db/Formats.h"

#include <cmath>

using db::DbError;
namespace fmt = db::formats;

void Session::AjouterResultat(qint64 PatientID, const QString &DateConsultation, qint64 MedecinID,
                              const QString &OriginTable, int Niveau, const QString &Action)
{
    QString nomPatient;
    try {
        TableResultats.append();
        if (PatientID > 0) {
            TableResultats.setFieldValue(QStringLiteral("PATIENTS_ID"), PatientID);
            if (TablePatients.findKey({PatientID}))
                nomPatient = fmt::upperAscii(TablePatients.fieldByName(QStringLiteral("NOM")).asString())
                             + QLatin1Char(' ') + TablePatients.fieldByName(QStringLiteral("PRENOM")).asString();
            else
                nomPatient = QStringLiteral("Dossier n°") + QString::number(PatientID) + QStringLiteral(" inconnu dans la base.");
            TableResultats.setFieldValue(QStringLiteral("PATIENTS_NOM"), nomPatient);
        }
        TableResultats.setFieldValue(QStringLiteral("ACTION"), Action);
        QDateTime date;
        if (auto d = fmt::textToDateTime(DateConsultation))
            date = *d;
        else {
            // One reading of the clock: two readings a millisecond apart gave
            // a time a second early, and around midnight another day's date.
            const QDateTime maintenant = QDateTime::currentDateTime();
            const QTime t = maintenant.time();
            date = QDateTime(maintenant.date(), QTime(t.hour(), t.minute(), t.second()));
        }
        TableResultats.setFieldValue(QStringLiteral("DATE_CONSULTATION"), date);
        TableResultats.setFieldValue(QStringLiteral("MEDECINS_ID"), MedecinID);
        TableResultats.setFieldValue(QStringLiteral("ORIGIN_TABLE"), OriginTable);
        TableResultats.setFieldValue(QStringLiteral("NIVEAU"), Niveau);
        TableResultats.setFieldValue(QStringLiteral("ACTION"), Action);
        TableResultats.post();
    } catch (const std::exception &e) {
        const QString message = dynamic_cast<const DbError *>(&e) ? static_cast<const DbError &>(e).message()
                                                                  : QString::fromLocal8Bit(e.what());
        ui.message(Boite::Erreur,
                   QStringLiteral("Impossible d'enregistrer l'information ci-dessous dans la table des résultats :\r  - PATIENTS : n°")
                       + QString::number(PatientID) + QLatin1Char(' ') + nomPatient + QStringLiteral("\r")
                       + QStringLiteral("  - Date de consultation : ") + DateConsultation + QStringLiteral("\r")
                       + QStringLiteral("  - MEDECINS_ID : ") + QString::number(MedecinID) + QStringLiteral("\r")
                       + QStringLiteral("  - table d'origine : ") + OriginTable + QStringLiteral("\r")
                       + QStringLiteral("  - niveau de gravité : ") + QString::number(Niveau) + QStringLiteral("\r")
                       + QStringLiteral("  - action effectuée : ") + Action + QStringLiteral("\r") + QStringLiteral("\r")
                       + QStringLiteral("Erreur : ") + message);
        TableResultats.cancel();
    }
}

bool Session::ActionSurTable(const QString &action, const QString &table, const QString &champ, const QString &champID,
                             qint64 valeur, qint64 valeurID)
{
    if (champ == champID && valeur == valeurID)
        return true;
    QString texte;
    if (action == QLatin1String("UPDATE"))
        texte = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + champ + QStringLiteral("=:valeur WHERE ")
                + champID + QStringLiteral("=:valeur_ID");
    else if (action == QLatin1String("DELETE"))
        texte = QStringLiteral("DELETE FROM ") + table + QStringLiteral(" WHERE ") + champID + QStringLiteral("=:valeur_ID");
    else
        return false;
    try {
        QryAction.close();
        QryAction.clearSql();
        QryAction.addLine(texte);
        if (action == QLatin1String("UPDATE"))
            QryAction.setInteger(QStringLiteral("valeur"), valeur);
        QryAction.setInteger(QStringLiteral("valeur_ID"), valeurID);
        QryAction.execSQL();
        return true;
    } catch (const DbError &e) {
        try {
            TableResultats.append();
            TableResultats.setFieldValue(QStringLiteral("ORIGIN_TABLE"), table);
            TableResultats.setFieldValue(QStringLiteral("NIVEAU"), 1);
            TableResultats.setFieldValue(QStringLiteral("ACTION"),
                                         QStringLiteral("La requête suivante a échoué, vous devez l'exécuter manuellement : ")
                                             + texte + QStringLiteral("\r\n") + QStringLiteral("\r")
                                             + QStringLiteral("Erreur : ") + e.message());
            TableResultats.post();
        } catch (const DbError &) {
            TableResultats.cancel();
        }
        return false;
    }
}

void Session::AjusterIDValues(const QString &cle, qint64 valeur, bool forcer)
{
    db::TableCursor compteurs(QStringLiteral("TableIDValues"));
    compteurs.setDatabaseName(NomBase);
    compteurs.setTableName(QStringLiteral("ID_VALUES"));
    compteurs.open();
    compteurs.setIndexFieldNames(QStringLiteral("KEY_NAME"));
    if (compteurs.findKey({fmt::upperAscii(cle)})) {
        if (compteurs.fieldByName(QStringLiteral("LAST_VALUE")).asInteger() < valeur || forcer) {
            compteurs.edit();
            compteurs.setFieldValue(QStringLiteral("LAST_VALUE"), valeur);
            compteurs.post();
        }
    } else {
        compteurs.append();
        compteurs.setFieldValue(QStringLiteral("KEY_NAME"), cle);
        compteurs.setFieldValue(QStringLiteral("LAST_VALUE"), valeur);
        compteurs.post();
    }
}

QString Session::RenvoyerMontant(const QString &monnaie, double montant) const
{
    if (const auto d = db::Decimal::fromDouble(montant))
        return RenvoyerMontant(monnaie, *d);
    // No accounting amount is that large: written as the platform writes it.
    return fmt::floatToText(montant) + QLatin1Char(' ') + monnaie;
}

QString Session::RenvoyerMontant(const QString &monnaie, const db::Decimal &montant) const
{
    // Cut after the third decimal and rounded on that digit, 5 and above
    // going up for a positive amount; a negative one is cut to the hundredth
    // toward zero. Worked on the decimal digits: in binary, 2.4 is a hair
    // above 2.4 and 5.024 would come out as 5,03.
    const db::Decimal a = monnaie == QLatin1String("FRF") ? montant.multipliedBy(655957, 5) : montant;
    const qint64 milliemes = a.fractionDigits(3);
    qint64 centimes = milliemes / 10;
    if (milliemes % 10 >= 5)
        ++centimes;
    const db::Decimal t = db::Decimal::fromUnits(centimes, 2);
    const db::Decimal v = db::Decimal::fromInteger(a.integerPart()) + t;
    // A single decimal ("0,5") gets its second one; "-0,5" does not.
    if (t.toText().size() == 3)
        return v.toText() + QStringLiteral("0 ") + monnaie;
    return v.toText() + QLatin1Char(' ') + monnaie;
}

QString Session::DecrireActes() const
{
    QString s;
    for (const char *c : {"CodeACTE1", "CodeACTE2", "CodeACTE3"}) {
        const QString code = Qry1.fieldByName(QString::fromLatin1(c)).asString();
        if (!code.isEmpty())
            s += code + QStringLiteral(" + ");
    }
    const QString code4 = Qry1.fieldByName(QStringLiteral("CodeACTE4")).asString();
    if (!code4.isEmpty())
        s += code4;
    s = s.trimmed();
    if (s.endsWith(QLatin1Char('+'))) {
        s.chop(1);
        s = s.trimmed();
    }
    // Summed on the decimal digits: 0.1 + 0.2 - 0.3 is no amount at all.
    db::Decimal total;
    for (const char *m : {"Montant1", "Montant2", "Montant3", "Montant4"})
        total += Qry1.fieldByName(QString::fromLatin1(m)).asDecimal();
    if (!total.isZero())
        s += QStringLiteral(" pour une valeur de ") + total.toText() + QStringLiteral("€.");
    return s;
}
