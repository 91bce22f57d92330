#include "checks/Reaffectation.h"
#include "app/Common.h"
#include "app/Session.h"
#include "checks/CheckRun.h"
#include "checks/LigneAjoutee.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Formats.h"

namespace fmt = db::formats;
using db::DbError;

namespace {

const QString kMotif = QStringLiteral("Ajustement de la comptabilité.");
const QString kEchecEnregistrement = QStringLiteral("Une erreur s'est produite pendant l'enregistrement des modifications");

QVariant valeurOuNull(const db::Field &f, QVariant v) { return f.isNull() ? QVariant() : v; }

} // namespace

Reaffectation::Reaffectation(Session &session, SuiviReaffectation &suiviFenetre) : s(session), suivi(suiviFenetre)
{
    for (db::Query *q : {&Query2, &Query3, &Query4})
        q->setDatabaseName(s.NomBase);
}

void Reaffectation::fermerApplication(const QString &texte)
{
    s.ui.message(Boite::Avertissement, texte);
    suivi.fermetureEngagee();
    suivi.ArreterProgression();
    s.BtFermerClick();
}

QString Reaffectation::nomPourJournal()
{
    const db::Field id = s.QryCPMain.fieldByName(QStringLiteral("PATIENTS_ID"));
    db::TableCursor &p = s.TablePatients;
    if (p.findKey({id.asInteger()}))
        return QStringLiteral("n°") + p.fieldByName(QStringLiteral("PATIENTS_ID")).asString() + QLatin1Char(' ')
               + fmt::upperAscii(p.fieldByName(QStringLiteral("NOM")).asString()) + QLatin1Char(' ')
               + fmt::upperAscii(p.fieldByName(QStringLiteral("PRENOM")).asString());
    return QStringLiteral("n°") + id.asString() + QStringLiteral(" inconnu dans la base de données.");
}

// --- Reassignment to an existing patient ------------------------------------------------

bool Reaffectation::dossierAcceptable(qint64 P)
{
    // Merging into a number that names no patient would only move the
    // accounting from one unknown file to another; merging a number into
    // itself would delete its rows.
    if (P == s.QryCPMain.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger())
        return false;
    Query2.clearSql();
    Query2.addLine(QStringLiteral("SELECT count(*) as countrec FROM PATIENTS WHERE PATIENTS_ID = :numero"));
    Query2.setInteger(QStringLiteral("numero"), P);
    Query2.open();
    return Query2.fieldByName(QStringLiteral("countrec")).asInteger() >= 1;
}

void Reaffectation::AffecterPatientExistant(qint64 P, const QString &dossier)
{
    const db::Field inconnu = s.QryCPMain.fieldByName(QStringLiteral("PATIENTS_ID"));
    const qint64 U = inconnu.asInteger();
    // Every row carries the physician the user was shown, whatever its own.
    const db::Field medecinAffiche = s.QryCPMain.fieldByName(QStringLiteral("MEDECINS_ID"));
    Query2.clearSql();
    Query2.addLine(QStringLiteral("SELECT * from CPMAIN where PATIENTS_ID=:ancien_patient"));
    Query2.setInteger(QStringLiteral("ancien_patient"), U);
    Query2.open();
    for (Query2.first(); !Query2.eof(); Query2.next()) {
        const db::Field date = Query2.fieldByName(QStringLiteral("DATE_CONSULTATION"));
        const qint64 cpmainR = Query2.fieldByName(QStringLiteral("CPMAIN_ID")).asInteger();
        Query3.clearSql();
        Query3.addLine(QStringLiteral("SELECT * from CPMAIN where PATIENTS_ID=:nouveau_patient AND "
                                      "MEDECINS_ID=:medecin_comptable AND DATE_CONSULTATION=:dateconsultation"));
        Query3.setInteger(QStringLiteral("nouveau_patient"), P);
        Query3.setInteger(QStringLiteral("medecin_comptable"), Query2.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger());
        Query3.setDateTime(QStringLiteral("dateconsultation"), date.asDateTime());
        Query3.open();
        if (Query3.eof()) {
            try {
                Query4.clearSql();
                Query4.addLine(QStringLiteral("UPDATE CPMAIN SET PATIENTS_ID = :nouveau_patient WHERE CPMAIN_ID=:cpmain_id"));
                Query4.setInteger(QStringLiteral("nouveau_patient"), P);
                Query4.setInteger(QStringLiteral("cpmain_id"), cpmainR);
                Query4.execSQL();
            } catch (const DbError &e) {
                fermerApplication(kEchecEnregistrement + QStringLiteral("\r\rErreur : ") + e.message() + QStringLiteral("\r\r")
                                  + common::kApplicationFermee);
            }
        } else {
            try {
                preparerFusion(Query4, Query2, Query3);
                if (Query4.sqlLines().size() > 2)
                    Query4.execSQL();
                Query3.clearSql();
                Query3.addLine(QStringLiteral("DELETE FROM CPMAIN where CPMAIN_ID=:cpmain_id"));
                Query3.setInteger(QStringLiteral("cpmain_id"), cpmainR);
                Query3.execSQL();
            } catch (const DbError &e) {
                fermerApplication(kEchecEnregistrement + QStringLiteral("\r") + common::kApplicationFermee + QStringLiteral("\r\rErreur : ")
                                  + e.message());
            }
        }
        s.journal.ajouter({U, nomPourJournal(), valeurOuNull(date, date.asDateTime()),
                           valeurOuNull(medecinAffiche, medecinAffiche.asInteger()), QStringLiteral("Comptabilité"), 2,
                           QStringLiteral("Transfert de comptabilité : la comptabilité du patient n°") + inconnu.asString()
                               + QStringLiteral(" pour la consultation du ") + date.asString()
                               + QStringLiteral(" a été transférée sur le dossier ") + dossier});
    }
    Verifier_les_consultations(P);
    Transferer_donnees(U, P);
}

// --- Creation of a new patient ------------------------------------------------------------

void Reaffectation::CreerNouveauPatient(const QString &nomSaisi, const QString &prenom, const std::optional<QDate> &neLe)
{
    const db::Query &cp = s.QryCPMain;
    const db::Field inconnu = cp.fieldByName(QStringLiteral("PATIENTS_ID"));
    const qint64 U = inconnu.asInteger();
    const QString nom = fmt::upperAscii(nomSaisi);
    const QString homonyme = CheckRun::numeroAttendu(nom, U);
    // The physician of the accounting row: the snapshot may lack it (created
    // during the run), and its current row would then be another one's.
    const db::Field medecinLigne = cp.fieldByName(QStringLiteral("MEDECINS_ID"));
    const qint64 medecin = medecinLigne.asInteger();
    const db::Field dateLigne = cp.fieldByName(QStringLiteral("DATE_CONSULTATION"));
    const QDateTime dateConsultation = dateLigne.asDateTime();

    try {
        Query2.clearSql();
        if (neLe)
            Query2.addLine(QStringLiteral("INSERT INTO PATIENTS (PATIENTS_ID, N_OMON, PRENOM, NOM, NE_LE, MEDECINS_ID) "
                                          "VALUES (:numero_patient, :homonyme, :prenom, :nom, :ne_le, :numero_medecin)"));
        else
            Query2.addLine(QStringLiteral("INSERT INTO PATIENTS (PATIENTS_ID, N_OMON, PRENOM, NOM, MEDECINS_ID) "
                                          "VALUES (:numero_patient, :homonyme, :prenom, :nom, :numero_medecin)"));
        Query2.setInteger(QStringLiteral("numero_patient"), U);
        Query2.setText(QStringLiteral("homonyme"), homonyme);
        Query2.setText(QStringLiteral("prenom"), prenom);
        Query2.setText(QStringLiteral("nom"), nom);
        if (neLe)
            Query2.setDate(QStringLiteral("ne_le"), *neLe);
        Query2.setInteger(QStringLiteral("numero_medecin"), medecin);
        Query2.execSQL();
        suivi.patientCree(U, nom, prenom, homonyme);
        LigneAjoutee patient(s.TablePatients);
        patient.valeur(QStringLiteral("PATIENTS_ID"), U)
            .valeur(QStringLiteral("N_OMON"), homonyme)
            .valeur(QStringLiteral("PRENOM"), prenom)
            .valeur(QStringLiteral("NOM"), nom)
            .poster();
    } catch (const DbError &e) {
        fermerApplication(QStringLiteral("Création du nouveau patient impossible.\r\r") + common::kApplicationFermee
                          + QStringLiteral("\rErreur : ") + e.message());
    }

    Query3.clearSql();
    Query3.addLine(QStringLiteral("SELECT count(*) as countrec FROM MOTCONSU WHERE PATIENTS_ID = :numero_patient "
                                  "AND DATE_CONSULTATION = :date_cons"));
    Query3.setInteger(QStringLiteral("numero_patient"), U);
    Query3.setDateTime(QStringLiteral("date_cons"), dateConsultation);
    Query3.open();
    if (Query3.fieldByName(QStringLiteral("countrec")).asInteger() < 1)
        creerConsultation(U, dateConsultation, medecin);

    // The date as the user was shown it, read back. A row without
    // consultation date keeps an empty date rather than failing after the
    // patient was created.
    const std::optional<QDateTime> dateJournal = fmt::textToDateTime(dateLigne.asString());
    s.journal.ajouter({U, nomPourJournal(), dateJournal ? QVariant(*dateJournal) : QVariant(),
                       valeurOuNull(medecinLigne, medecin), QStringLiteral("Patients"), 2,
                       QStringLiteral("Création du patient n°") + inconnu.asString() + QLatin1Char(' ') + nom
                           + QLatin1Char(' ') + prenom});
    Verifier_les_consultations(U);
}

// --- Consultations and data transfer ------------------------------------------------------

void Reaffectation::creerConsultation(qint64 patientId, const QDateTime &date, qint64 medecinId)
{
    const QString suite = QStringLiteral(" La consultation ne peut pas être créée.\r\r") + common::kApplicationFermee
                          + QStringLiteral("\rErreur : ");
    qint64 numero = 0;
    bool compteurExiste = false;
    try {
        Query4.clearSql();
        Query4.addLine(QStringLiteral("SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME = :chaine"));
        Query4.setText(QStringLiteral("chaine"), QStringLiteral("MOTCONSU"));
        Query4.open();
        compteurExiste = !Query4.eof();
        numero = (compteurExiste ? Query4.fieldByName(QStringLiteral("LAST_VALUE")).asInteger() : 0) + 1;
    } catch (const DbError &e) {
        fermerApplication(QStringLiteral("Récupération du numéro de la dernière consultation impossible.") + suite
                          + e.message());
    }
    try {
        Query4.clearSql();
        // Without its row the counter would hand out 1 again to the next
        // consultation, a number already taken: the row is created instead.
        if (compteurExiste)
            Query4.addLine(QStringLiteral("UPDATE ID_VALUES SET LAST_VALUE = :numero WHERE KEY_NAME = :chaine"));
        else
            Query4.addLine(QStringLiteral("INSERT INTO ID_VALUES (KEY_NAME, LAST_VALUE) VALUES (:chaine, :numero)"));
        Query4.setInteger(QStringLiteral("numero"), numero);
        Query4.setText(QStringLiteral("chaine"), QStringLiteral("MOTCONSU"));
        Query4.execSQL();
    } catch (const DbError &e) {
        fermerApplication(QStringLiteral("Mise à jour de la table ID_VALUES impossible.") + suite + e.message());
    }
    try {
        Query4.clearSql();
        Query4.addLine(QStringLiteral("INSERT INTO MOTCONSU (MOTCONSU_ID, PATIENTS_ID, DATE_CONSULTATION, "
                                      "MOTIF_DE_CONSULTATION, MEDECINS_ID) VALUES (:numero_consult, "
                                      ":numero_patient, :date_consult, :motif, :medecins_id)"));
        Query4.setInteger(QStringLiteral("numero_consult"), numero);
        Query4.setInteger(QStringLiteral("numero_patient"), patientId);
        Query4.setDateTime(QStringLiteral("date_consult"), date);
        Query4.setText(QStringLiteral("motif"), kMotif);
        Query4.setInteger(QStringLiteral("medecins_id"), medecinId);
        Query4.execSQL();
        LigneAjoutee consultation(s.TableConsultations);
        consultation.valeur(QStringLiteral("MOTCONSU_ID"), numero)
            .valeur(QStringLiteral("PATIENTS_ID"), patientId)
            .valeur(QStringLiteral("DATE_CONSULTATION"), date)
            .poster();
    } catch (const DbError &e) {
        fermerApplication(QStringLiteral("Création de la consultation impossible.\r\r") + common::kApplicationFermee
                          + QStringLiteral("\rErreur : ") + e.message());
    }
}

void Reaffectation::Verifier_les_consultations(qint64 PatientId)
{
    const QString texte = QStringLiteral("Vérification des consultations...");
    suivi.DemarrerProgression(texte, 0, 0, 0, false);
    Query2.clearSql();
    // The consultations missing are numbered in the walk's order: in the
    // order of the records, which a server gives only when asked (rows moved
    // by the transfer just before come back wherever its pages put them).
    Query2.addLine(QStringLiteral("SELECT MEDECINS_ID, PATIENTS_ID, DATE_CONSULTATION FROM CPMAIN WHERE PATIENTS_ID = :numero_patient ORDER BY CPMAIN_ID"));
    Query2.setInteger(QStringLiteral("numero_patient"), PatientId);
    Query2.open();
    const int total = Query2.recordCount();
    suivi.ArreterProgression();
    suivi.DemarrerProgression(texte, total, 1, 0, true);
    for (Query2.first(); !Query2.eof(); Query2.next()) {
        suivi.UpdateProgression(CheckRun::compteur(QStringLiteral("Vérification des consultations ("), Query2.recNo(), total),
                                total, Query2.recNo());
        const QDateTime date = Query2.fieldByName(QStringLiteral("DATE_CONSULTATION")).asDateTime();
        Query3.clearSql();
        Query3.addLine(QStringLiteral("SELECT * from motconsu where PATIENTS_ID=:numero_patient AND DATE_CONSULTATION=:date_consultation"));
        Query3.setInteger(QStringLiteral("numero_patient"), PatientId);
        Query3.setDateTime(QStringLiteral("date_consultation"), date);
        Query3.open();
        if (!Query3.eof())
            continue;
        creerConsultation(PatientId, date, Query2.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger());
    }
    suivi.ArreterProgression();
}

void Reaffectation::Transferer_donnees(qint64 OldPatientId, qint64 NewPatientId)
{
    const QStringList &tables = s.ListeTablesPatient;
    const int total = int(tables.size());
    suivi.DemarrerProgression(QStringLiteral("Report de toutes les données du patient en cours..."), total, 1, 0, true);
    for (int i = 0; i < total; ++i) {
        const QString &table = tables[i];
        suivi.UpdateProgression(QStringLiteral("Mise à jour de la table ") + table, total, i + 1);
        try {
            // The names come from the database's own listing: a quote, a
            // blank or a keyword in one must name the table, never end
            // the statement or change it.
            const QString cible = db::Engine::instance().backend(s.NomBase).tableIdentifier(table);
            Query3.clearSql();
            Query3.addLine(QStringLiteral("UPDATE ") + cible
                           + QStringLiteral(" SET PATIENTS_ID =:Nouveau_Patient where PATIENTS_ID=:Ancien_Patient"));
            Query3.setInteger(QStringLiteral("Nouveau_Patient"), NewPatientId);
            Query3.setInteger(QStringLiteral("Ancien_Patient"), OldPatientId);
            Query3.execSQL();
        } catch (const DbError &e) {
            const QString echec = QStringLiteral(" des données du dossier n°") + QString::number(OldPatientId)
                                  + QStringLiteral(" sur le dossier n°") + QString::number(NewPatientId)
                                  + QStringLiteral(" a échoué pour la table ") + table;
            s.ui.message(Boite::Simple, QStringLiteral("Le transfert") + echec + QStringLiteral("\r\r")
                                            + QStringLiteral("Le programme passe à la table suivante.")
                                            + QStringLiteral("\r") + QStringLiteral("Erreur : ") + e.message());
            s.journal.ajouter({.patientId = OldPatientId,
                               .origine = table,
                               .niveau = 2,
                               .action = QStringLiteral("Transfert de données : le transfert") + echec});
        }
    }
    suivi.ArreterProgression();
}
