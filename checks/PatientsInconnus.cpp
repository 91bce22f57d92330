#include "app/Session.h"
#include "checks/CheckRun.h"
#include "checks/Parcours.h"
#include "db/DbError.h"

namespace {
const QString kOrigineCPMain = QStringLiteral("Table de la comptabilité (CPMAIN)");
const QString kOrigineFSE = QStringLiteral("Patient de la FSE inconnu (CPSVFACT)");
} // namespace

void CheckRun::GererPatientsInconnus()
{
    s.DemarrerProgression(QStringLiteral("Recherche des patients inconnus dans la comptabilité..."), 0, 1, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("DELETE FROM CPMAIN WHERE PATIENTS_ID IS NULL"));
    s.Qry1.execSQL();
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT PATIENTS_ID FROM CPMAIN GROUP BY PATIENTS_ID ORDER BY PATIENTS_ID"));
    s.Qry1.open();
    const QString texte = QStringLiteral("Gestion des patients inconnus dans la comptabilité...");
    Parcours p(s, s.Qry1, texte, false, QStringLiteral("Gestion des patients inconnus dans la comptabilité ("));
    while (p.suivant()) {
        const qint64 patient = s.Qry1.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger();
        const QString numero = s.Qry1.fieldByName(QStringLiteral("PATIENTS_ID")).asString();
        s.Qry2.clearSql();
        s.Qry2.addLine(QStringLiteral("SELECT count(*) FROM PATIENTS WHERE PATIENTS_ID=:patients_id"));
        s.Qry2.setInteger(QStringLiteral("patients_id"), patient);
        s.Qry2.open();
        if (s.Qry2.field(0).asInteger() >= 1)
            continue;

        // The dialog shows and settles the row QryCPMain stands on: without
        // one there is nothing it could show, so the number is reported instead.
        QString illisible;
        try {
            s.QryCPMain.clearSql();
            s.QryCPMain.addLine(QStringLiteral("SELECT * FROM CPMAIN WHERE PATIENTS_ID =:patients_id"));
            s.QryCPMain.setInteger(QStringLiteral("patients_id"), patient);
            s.QryCPMain.open();
            if (s.QryCPMain.eof())
                illisible = QStringLiteral("aucun enregistrement de la comptabilité ne fait plus référence à ce dossier.");
        } catch (const db::DbError &e) {
            illisible = e.message();
        }
        if (!illisible.isEmpty()) {
            s.AjouterResultat(patient, QString(), 0, kOrigineCPMain, 1,
                              QStringLiteral("Dossier patient inconnu : la comptabilité du dossier patient n°") + numero
                                  + QStringLiteral(" n'a pas pu être lue. Erreur : ") + illisible);
            s.DemarrerProgression(texte, p.total(), 1, p.position(), true);
            continue;
        }
        s.QryCPMain.first();
        s.TableMedecins.findKey({s.QryCPMain.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger()});
        s.ArreterProgression(false);
        if (s.ui.afficherSelectPatient() != ResultatOk) {
            s.AjouterResultat(patient, QString(), 0, kOrigineCPMain, 1,
                              QStringLiteral("Dossier patient inconnu : le programme n'est pas parvenu à traiter le dossier patient n°")
                                  + numero);
            if (s.ui.question(Boite::QuestionAvert, QStringLiteral("Le traitement du dossier n°") + numero
                                                        + QStringLiteral(" ne s'est pas effectué correctement !")
                                                        + QStringLiteral("\r") + QStringLiteral("\r")
                                                        + QStringLiteral("Voulez-vous fermer le programme ?"))) {
                ConsulterResultats();
                s.BtFermerClick();
            }
        }
        s.DemarrerProgression(texte, p.total(), 1, p.position(), true);
    }
    s.ArreterProgression(false);
}

void CheckRun::SupprimerFSEOrphelines()
{
    const QString texte = QStringLiteral("Recherche des FSE non rattachées à un patient...");
    s.DemarrerProgression(texte, 0, 1, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT CPSVFact_ID, Patients_ID FROM CPSVFACT"));
    s.Qry1.open();
    s.Qry2.clearSql();
    s.Qry2.addLine(QStringLiteral("DELETE FROM CPSVFACT WHERE CPSVFact_ID=:cpsvfact_id"));
    Parcours p(s, s.Qry1, texte, false, QStringLiteral("Recherche des FSE non rattachées à un patient ("));
    while (p.suivant()) {
        // The snapshot, not PATIENTS: patients created by the dialogs of this
        // run are in it, and a null reads as patient 0.
        const qint64 patient = s.Qry1.fieldByName(QStringLiteral("Patients_ID")).asInteger();
        if (s.TablePatients.findKey({patient}))
            continue;
        s.Qry2.setInteger(QStringLiteral("cpsvfact_id"), s.Qry1.fieldByName(QStringLiteral("CPSVFact_ID")).asInteger());
        const QString feuille = s.Qry2.param(QStringLiteral("cpsvfact_id")).asString();
        try {
            s.Qry2.execSQL();
            s.AjouterResultat(patient, QString(), 0, kOrigineFSE, 2,
                              QStringLiteral("Patient de la FSE inconnu : le programme a supprimé la FSE n°") + feuille
                                  + QStringLiteral(" qui faisait référence à un dossier patient n°")
                                  + QString::number(patient) + QStringLiteral(" qui n'existe pas."));
        } catch (const db::DbError &e) {
            s.AjouterResultat(patient, QString(), 0, kOrigineFSE, 1,
                              QStringLiteral("Patient de la FSE inconnu : le programme n'est pas parvenu à supprimer la FSE n°")
                                  + feuille + QStringLiteral(" qui fait référence à un dossier patient n°")
                                  + QString::number(patient)
                                  + QStringLiteral(" qui n'existe pas. Vous devez supprimer cette FSE manuellement.")
                                  + QStringLiteral("\r") + QStringLiteral("\r") + QStringLiteral("Erreur : ") + e.message());
        }
    }
    s.ArreterProgression(false);
}
