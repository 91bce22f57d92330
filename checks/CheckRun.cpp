#include "checks/CheckRun.h"
#include "app/Common.h"
#include "app/Garde.h"
#include "app/Session.h"
#include "db/Backend.h"
#include "db/DbError.h"

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
    // The run stops in order: what it recorded so far is still offered for review.
    const auto arreterEnOrdre = [this](Boite kind, const QString &texte) {
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
        arreterEnOrdre(Boite::Information,
                       QStringLiteral("Le traitement a été interrompu à votre demande. Les corrections déjà effectuées sont "
                                      "conservées ; elles peuvent être annulées par la restauration de la sauvegarde de ce "
                                      "traitement."));
        return;
    } catch (const std::exception &e) {
        // A failure the phases do not guard.
        arreterEnOrdre(Boite::Erreur, QStringLiteral("Le traitement a été interrompu par une erreur imprévue. "
                                                     "Les corrections déjà effectuées sont conservées.")
                                          + QStringLiteral("\r") + QStringLiteral("Erreur : ") + garde::messageDe(e));
        return;
    }
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

void CheckRun::ConsulterResultats()
{
    s.ui.afficherResultats();
    if (s.ui.question(Boite::Confirmation, QStringLiteral("Voulez-vous imprimer cette liste ?")))
        s.ui.imprimerRapport();
}
