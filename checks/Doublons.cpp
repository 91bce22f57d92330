#include "app/Session.h"
#include "checks/CheckRun.h"
#include "checks/Parcours.h"
#include "db/Backend.h"
#include "db/DbError.h"

namespace {
const QString kDoublon = QStringLiteral("Enregistrement en double : l'enregistrement n°");
const QString kEditions = QStringLiteral(
    " figure en double dans la comptabilité. Cela génère des éditions comptables éronnées. Cet enregistrement ");

// How much a record holds: its columns that read as some text. A zero counts,
// a null does not.
int colonnesRenseignees(const db::Query &q)
{
    int n = 0;
    for (int i = 0; i < q.fieldCount(); ++i)
        if (!q.field(i).asString().isEmpty())
            ++n;
    return n;
}
} // namespace

void CheckRun::SupprimerDoublons()
{
    const QString texte = QStringLiteral("Recherche des doublons dans la comptabilité...");
    s.DemarrerProgression(texte, 0, 0, 0, false);
    db::Query &groupes = s.Qry1;
    db::Query &recettes = s.Qry2;
    groupes.clearSql();
    groupes.addLine(QStringLiteral("SELECT PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID, Count(CPMAIN_ID) as Compteur FROM CPMAIN GROUP BY PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID ORDER BY PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID"));
    // One detail query per group: each must find its records without
    // reading the whole table.
    db::LookupIndex index(s.DBOrbelis, QStringLiteral("CPMAIN"),
                          {QStringLiteral("PATIENTS_ID"), QStringLiteral("DATE_CONSULTATION"), QStringLiteral("MEDECINS_ID")});
    groupes.open();
    Parcours p(s, groupes, texte, true, QStringLiteral("Recherche des doublons dans la comptabilité ("));
    while (p.suivant()) {
        if (groupes.fieldByName(QStringLiteral("Compteur")).asInteger() <= 1)
            continue;
        // Which record of a group stays depends on all of them: a group is
        // handled whole or not at all.
        const Session::SansInterruption groupeEntier(s);
        // A null key is looked up as 0 or the zero date, which finds none of
        // the group's own records: such a group is left alone.
        recettes.clearSql();
        recettes.addLine(QStringLiteral("SELECT * FROM CPMAIN WHERE PATIENTS_ID=:patients_id AND DATE_CONSULTATION=:date_consultation AND MEDECINS_ID=:medecins_id"));
        recettes.setInteger(QStringLiteral("patients_id"), groupes.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger());
        recettes.setDateTime(QStringLiteral("date_consultation"), groupes.fieldByName(QStringLiteral("DATE_CONSULTATION")).asDateTime());
        recettes.setInteger(QStringLiteral("medecins_id"), groupes.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger());
        recettes.open();
        const int nombre = recettes.recordCount();
        int rang = 0;
        recettes.first();
        // The record kept so far is what the next one is compared with: the
        // group ends with the fullest record, and only records really deleted
        // are reported as such.
        qint64 garde = 0;
        int gardeRenseignees = 0;
        if (!recettes.eof()) {
            garde = recettes.fieldByName(QStringLiteral("CPMAIN_ID")).asInteger();
            gardeRenseignees = colonnesRenseignees(recettes);
        }
        while (!recettes.eof()) {
            ++rang;
            s.UpdateProgression(QStringLiteral("Gestion du doublon ") + QString::number(rang) + QLatin1Char('/')
                                    + QString::number(nombre) + QLatin1Char(')'),
                                nombre, rang);
            recettes.next();
            if (recettes.eof())
                break;
            const qint64 suivant = recettes.fieldByName(QStringLiteral("CPMAIN_ID")).asInteger();
            const int suivantRenseignees = colonnesRenseignees(recettes);
            s.QryCPMain.clearSql();
            s.QryCPMain.addLine(QStringLiteral("DELETE FROM CPMAIN WHERE CPMAIN_ID=:id"));
            // On equal counts the earlier record stays.
            const bool supprimerGarde = suivantRenseignees > gardeRenseignees;
            const qint64 supprime = supprimerGarde ? garde : suivant;
            const qint64 patient = recettes.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger();
            const QString date = recettes.fieldByName(QStringLiteral("DATE_CONSULTATION")).asString();
            const qint64 medecin = recettes.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger();
            try {
                s.QryCPMain.setInteger(QStringLiteral("id"), supprime);
                s.QryCPMain.execSQL();
                s.AjouterResultat(patient, date, medecin, kOrigineCompta, 3,
                                  kDoublon + QString::number(supprime) + kEditions + QStringLiteral("a été supprimé."));
            } catch (const db::DbError &e) {
                s.AjouterResultat(patient, date, medecin, kOrigineCompta, 2,
                                  kDoublon + QString::number(supprime) + kEditions
                                      + QStringLiteral("n'a pas été supprimé pour la raison suivante : ") + e.message());
            }
            if (supprimerGarde) {
                garde = suivant;
                gardeRenseignees = suivantRenseignees;
            }
        }
    }
    s.ArreterProgression(true);
}
