#include "checks/CheckRun.h"
#include "app/Common.h"
#include "app/Garde.h"
#include "app/Session.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/RunBackup.h"

#include <vector>

void CheckRun::BtValiderClick()
{
    using Phase = void (CheckRun::*)();
    static const std::vector<Phase> phases = {
        &CheckRun::VerifierNumerotation,
        &CheckRun::VerifierPrenoms,
        &CheckRun::CreerMedecinsAbsents,
        &CheckRun::SupprimerRecettesMedecinsInconnus,
        &CheckRun::SupprimerEnregistrementsVides,
        &CheckRun::SupprimerRelevesVides,
        &CheckRun::SupprimerVentilationsOrphelines,
        &CheckRun::AnnulerFSEInconnues,
        &CheckRun::SupprimerDoublons,
        &CheckRun::GererPatientsInconnus,
        &CheckRun::SupprimerFSEOrphelines,
        &CheckRun::CreerTransfertsInconnus,
        &CheckRun::CreerRemisesInconnuesComptabilite,
        &CheckRun::CreerRemisesInconnuesSuivi,
        &CheckRun::GererCaissesInconnues,      // its three passes
        &CheckRun::SolderPetitsSoldes,
        &CheckRun::SignalerSoldesCrediteurs,
    };
    // Nothing is changed before the run's backup exists.
    try {
        if (!s.sansSauvegarde)
            s.sauvegarde = std::make_unique<SauvegardeTraitement>(s);
    } catch (const std::exception &e) {
        s.ui.message(Boite::Erreur, QStringLiteral("Le traitement n'a pas été lancé : aucune correction n'est faite sans "
                                                   "la sauvegarde qui permet de l'annuler.")
                                        + QStringLiteral("\r") + QStringLiteral("Erreur : ") + garde::messageDe(e));
        return;
    }
    // However the run ends (the program closing from a dialog included), the
    // backup records it and lets go of the connection.
    struct FinSauvegarde {
        Session &s;
        ~FinSauvegarde() { s.sauvegarde.reset(); }
    } finSauvegarde{s};
    // The run stops in order: what it recorded so far is still offered for review.
    const auto arreterEnOrdre = [this](const QString &etat, Boite kind, const QString &texte) {
        terminerSauvegarde(etat);
        s.ArreterProgression(true);
        s.ui.message(kind, texte);
        if (s.journal.nombre() > 0) {
            ConsulterResultats();
            s.journal.vider();
        }
    };
    try {
        const Session::TraitementInterruptible interruptible(s);
        for (Phase p : phases) {
            s.verifierInterruption();
            // One commit per phase rather than one per statement; each
            // statement still succeeds or fails alone.
            db::WriteGroup groupe(s.DBOrbelis);
            try {
                (this->*p)();
            } catch (const common::Interruption &) {
                // The phase's records done so far are kept; a failure of
                // that commit is told as any other.
                groupe.close();
                throw;
            }
            groupe.close();
        }
    } catch (const common::FinProgramme &) {
        throw;
    } catch (const common::Interruption &) {
        arreterEnOrdre(QStringLiteral("interrompu"), Boite::Information,
                       QStringLiteral("Le traitement a été interrompu à votre demande. Les corrections déjà effectuées sont "
                                      "conservées ; elles peuvent être annulées par la restauration de la sauvegarde de ce "
                                      "traitement."));
        return;
    } catch (const std::exception &e) {
        // A failure the phases do not guard.
        arreterEnOrdre(QStringLiteral("arrêté sur une erreur"), Boite::Erreur,
                       QStringLiteral("Le traitement a été interrompu par une erreur imprévue. "
                                      "Les corrections déjà effectuées sont conservées.")
                           + QStringLiteral("\r") + QStringLiteral("Erreur : ") + garde::messageDe(e));
        return;
    }
    terminerSauvegarde(QStringLiteral("terminé"));
    if (s.journal.nombre() > 0) {
        ConsulterResultats();
        s.journal.vider();
        return;
    }
    if (s.ui.question(Boite::QuestionInfo,
                      QStringLiteral("Aucun enregistrement erroné n'a été trouvé. Voulez-vous fermer le programme ?")))
        s.BtFermerClick();
}

QString CheckRun::compteur(const QString &libelle, int position, int total)
{
    return libelle + QString::number(position) + QLatin1Char('/') + QString::number(total) + QLatin1Char(')');
}

void CheckRun::terminerSauvegarde(const QString &etat)
{
    if (!s.sauvegarde)
        return;
    s.sauvegarde->conserverJournal();
    try {
        s.sauvegarde->terminer(etat);
    } catch (const std::exception &e) {
        s.ui.message(Boite::Erreur, QStringLiteral("La fin de ce traitement n'a pas pu être notée dans sa sauvegarde.")
                                        + QStringLiteral("\r") + QStringLiteral("Erreur : ") + garde::messageDe(e));
    }
}

void CheckRun::ConsulterResultats()
{
    // Kept with the backup before anyone is asked anything about it.
    if (s.sauvegarde && !s.sauvegarde->journalConserve())
        s.sauvegarde->conserverJournal();
    s.ui.afficherResultats();
    if (s.sauvegarde)
        s.sauvegarde->conserverRapport();
    if (s.ui.question(Boite::Confirmation, QStringLiteral("Voulez-vous imprimer cette liste ?")))
        s.ui.imprimerRapport();
}
