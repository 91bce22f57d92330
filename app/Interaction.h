#pragma once
#include <QString>

class Session;

// The narrow seam through which the check run and the start-up reach the user:
// message boxes, progress, the two resolution dialogs and the review of the
// results. The program implements it with its windows; tests script it.
enum class Boite {
    Erreur,          // error icon, OK
    Information,     // information icon, OK
    Avertissement,   // warning icon, OK
    Simple,          // no icon, OK
    Confirmation,    // question icon, Yes and No
    QuestionInfo,    // information icon, Yes and No
    QuestionAvert    // warning icon, Yes and No
};

// Modal results of the resolution dialogs.
enum ResultatModal : int {
    ResultatAucun = 0,   // closed without a result
    ResultatOk = 1,      // the case is settled
    ResultatNon = 7      // the program is ending
};

class Interaction {
public:
    virtual ~Interaction() = default;

    virtual void message(Boite kind, const QString &text) = 0;
    // True on Yes.
    virtual bool question(Boite kind, const QString &text) = 0;
    virtual void bip(bool exclamation) = 0;

    // The main window's progress display: it disables the main window while open.
    virtual void DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible) = 0;
    virtual void UpdateProgression(const QString &text, int maximum, int position) = 0;
    virtual void ArreterProgression(bool enable) = 0;
    // Whether the user asked the check run to stop; the run asks between two
    // records and forgets an earlier request as it starts.
    virtual bool interruptionDemandee() { return false; }
    virtual void effacerInterruption() {}

    // Modal dialogs; the results are the dialogs' modal results (ResultatModal).
    virtual int afficherSelectPatient() = 0;
    virtual int afficherSelectOrganisme() = 0;
    virtual void afficherResultats() = 0;
    virtual void imprimerRapport() = 0;
    // Writes the report of the journal, the document imprimerRapport()
    // prints, as a PDF file, without asking anything. False with the reason
    // when it cannot.
    virtual bool enregistrerRapport(Session &session, const QString &chemin, QString *erreur)
    {
        Q_UNUSED(session);
        Q_UNUSED(chemin);
        if (erreur)
            *erreur = QStringLiteral("cette interface ne sait pas écrire de compte rendu.");
        return false;
    }
};
