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
    try {
        for (Phase p : phases) {
            // One commit per phase rather than one per statement; each
            // statement still succeeds or fails alone.
            db::WriteGroup groupe(s.DBOrbelis);
            (this->*p)();
            groupe.close();
        }
    } catch (const common::FinProgramme &) {
        throw;
    } catch (const std::exception &e) {
        // A failure the phases do not guard: the run stops in order, and what
        // it recorded so far is still offered for review.
        const QString message = garde::messageDe(e);
        s.ArreterProgression(true);
        s.ui.message(Boite::Erreur, QStringLiteral("Le traitement a été interrompu par une erreur imprévue. "
                                                   "Les corrections déjà effectuées sont conservées.")
                                        + QStringLiteral("\r") + QStringLiteral("Erreur : ") + message);
        if (s.journal.nombre() > 0) {
            ConsulterResultats();
            s.journal.vider();
        }
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
