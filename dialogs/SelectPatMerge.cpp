// The two "&Valider" actions of the patient dialog: the user's choice is
// checked here, and the data moves are Reaffectation's.
#include "app/Garde.h"
#include "app/Session.h"
#include "db/Formats.h"
#include "dialogs/SelectPat.h"
#include "app/Messages.h"

#include <QComboBox>

namespace fmt = db::formats;

template <typename F> void TFSelectPatient::executerAction(F &&action)
{
    m_fermeture = false;
    const auto finProgramme = garde::protegerAvec(
        [this](const QString &texte) {
            // What the moves do not guard goes to the default error report;
            // the dialog stays open unless the shut-down had already begun.
            ArreterProgression();
            s.ui.message(Boite::Erreur, texte);
        },
        std::forward<F>(action));
    if (finProgramme) {
        fin = finProgramme;
        done(ResultatNon);
    } else if (m_fermeture) {
        done(ResultatNon);
    }
}

void TFSelectPatient::fermetureEngagee()
{
    setResult(ResultatNon);
    m_fermeture = true;
}

void TFSelectPatient::patientCree(qint64 patientId, const QString &nom, const QString &prenom, const QString &nOmon)
{
    // The birth date as the user typed it, blanks and all.
    ajouterALaListe(libellePatient(nom, prenom, EDNe_le->texte(), nOmon), patientId);
}

// --- Reassignment to an existing patient ---------------------------------------------------

std::optional<qint64> TFSelectPatient::patientChoisi()
{
    const QString texte = CBPatients_existant->currentText();
    // A patient picked in the list is known by the number kept with its item:
    // the digits of its file number are not always its own (seven-digit
    // numbers, file numbers not yet corrected).
    int index = CBPatients_existant->currentIndex();
    if (index < 0 || CBPatients_existant->itemText(index) != texte)
        index = CBPatients_existant->findText(texte, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        return CBPatients_existant->itemData(index).toLongLong();
    // Typed by hand: the six characters before the closing one.
    const qsizetype debut = qMax<qsizetype>(0, texte.size() - 7);
    const QString chiffres = texte.mid(debut, qMax<qsizetype>(0, texte.size() - 1 - debut));
    bool ok = false;
    const qint64 numero = chiffres.toLongLong(&ok);
    if (!ok) {
        s.ui.message(Boite::Erreur, QLatin1Char('\'') + chiffres + QStringLiteral("' n'est pas une valeur entière correcte"));
        return std::nullopt;
    }
    return numero;
}

void TFSelectPatient::BtPatient_existantClick()
{
    executerAction([this] {
        const std::optional<qint64> p = patientChoisi();
        if (!p)
            return;
        affecterPatientExistant(*p);
    });
}

void TFSelectPatient::affecterPatientExistant(qint64 P)
{
    Reaffectation reaffectation(s, *this);
    if (!reaffectation.dossierAcceptable(P)) {
        s.ui.message(Boite::Erreur, QStringLiteral("Le dossier patient n°") + QString::number(P)
                                        + QStringLiteral(" n'existe pas. Veuillez sélectionner un dossier patient dans la liste."));
        return;
    }
    reaffectation.AffecterPatientExistant(P, CBPatients_existant->currentText());
    done(ResultatOk);
}

// --- Creation of a new patient -------------------------------------------------------------

void TFSelectPatient::BtNouveau_patientClick()
{
    executerAction([this] {
        // The refusal of an unfinished date comes before the click, as when the
        // field is left with the keyboard.
        if (EDNe_le->saisieRefusee()) {
            m_refusDateEnAttente = false;
            s.ui.message(Boite::Erreur, messages::kSaisieIncorrecte);
            EDNe_le->setFocus();
            return;
        }
        m_refusDateEnAttente = false;
        creerNouveauPatient();
    });
}

void TFSelectPatient::creerNouveauPatient()
{
    const QString nom = EDNom->text();
    const QString prenom = EDPrenom->text();
    const QString dateSaisie = EDNe_le->texte();
    if (nom.isEmpty() || nom == kNomVide) {
        s.ui.message(Boite::Erreur, QStringLiteral("Veuillez saisir le nom du patient !"));
        EDNom->setFocus();
        return;
    }
    if (prenom.isEmpty() || prenom == kPrenomVide) {
        s.ui.message(Boite::Erreur, QStringLiteral("Veuillez saisir le prénom du patient !"));
        EDPrenom->setFocus();
        return;
    }
    std::optional<QDate> neLe;
    if (dateSaisie != ChampDate::texteVide()) {
        neLe = fmt::textToDate(dateSaisie);
        if (!neLe) {
            s.ui.message(Boite::Erreur, QStringLiteral("Veuillez saisir une date de naissance correcte !"));
            EDNe_le->setFocus();
            return;
        }
    }
    Reaffectation(s, *this).CreerNouveauPatient(nom, prenom, neLe);
    done(ResultatOk);
}
