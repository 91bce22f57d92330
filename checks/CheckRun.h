#pragma once
#include <QString>

class Session;

// The journal's ORIGIN_TABLE of the rows about accounting records, shared by
// several families of phases.
inline const QString kOrigineCompta = QStringLiteral("Comptabilité (CPMAIN)");

// The check run of "&Démarrer": the phases in their fixed order, then the
// review of the journal. Each phase is a member, grouped in files by family.
class CheckRun {
public:
    explicit CheckRun(Session &session) : s(session) {}

    // Throws common::FinProgramme when the user chooses to close the program.
    void BtValiderClick();
    void ConsulterResultats();

    // Patient records (Patients.cpp)
    void VerifierNumerotation();
    void VerifierPrenoms();
    // Physicians (Medecins.cpp)
    void CreerMedecinsAbsents();
    void SupprimerRecettesMedecinsInconnus();
    QString DecrireRecette(bool supprime);
    // Empty and orphan records (Vides.cpp)
    void SupprimerEnregistrementsVides();
    void SupprimerRelevesVides();
    void SupprimerVentilationsOrphelines();
    void AnnulerFSEInconnues();
    // Duplicates (Doublons.cpp)
    void SupprimerDoublons();
    // Unknown patients (PatientsInconnus.cpp)
    void GererPatientsInconnus();
    void SupprimerFSEOrphelines();
    // Transfers (Transferts.cpp)
    void CreerTransfertsInconnus();
    // Cheque deposits (Remises.cpp)
    void CreerRemisesInconnuesComptabilite();
    void CreerRemisesInconnuesSuivi();
    // Insurance bodies (Caisses.cpp)
    void GererCaissesInconnues();
    // Balances (Soldes.cpp)
    void SolderPetitsSoldes();
    void SignalerSoldesCrediteurs();

    // The expected file number of a patient: initial of NOM as stored, then
    // PATIENTS_ID on six digits.
    static QString numeroAttendu(const QString &nom, qint64 patientId);
    // The progress text of a walk: its label (ending with "("), the position,
    // "/", the row count and ")".
    static QString compteur(const QString &libelle, int position, int total);

private:
    // Keeps the journal and its report with the run's backup and records
    // how the run ended.
    void terminerSauvegarde(const QString &etat);

    Session &s;
};
