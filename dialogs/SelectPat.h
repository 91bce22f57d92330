#pragma once
#include "app/Common.h"
#include "checks/Reaffectation.h"
#include "db/Query.h"

#include <QDialog>
#include <QLineEdit>
#include <optional>

class Session;
class Progression;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

// An edit field that reports what the dialog's handlers react to: a click,
// entering and leaving it, and the keys it is given.
class ChampSaisie : public QLineEdit {
    Q_OBJECT
public:
    explicit ChampSaisie(QWidget *parent = nullptr) : QLineEdit(parent) {}

signals:
    void clique();
    void entree();
    // Only when the focus moves inside the window, not when another window
    // (a message box) takes it.
    void sortie();
    // Set *traitee to keep the key from the field and from the dialog.
    void touche(int key, bool *traitee);

protected:
    void mouseReleaseEvent(QMouseEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
};

// The birth date: two optional digits, "/", two optional digits, "/", four
// required digits; blanks shown as "_". texte() gives the blanks as spaces,
// so an untouched field reads "  /  /    ".
class ChampDate : public ChampSaisie {
    Q_OBJECT
public:
    explicit ChampDate(QWidget *parent = nullptr);

    static QString texteVide() { return QStringLiteral("  /  /    "); }
    QString texte() const;
    void setTexte(const QString &t);
    // A text the user changed without filling the year cannot be left.
    bool saisieRefusee() const { return isModified() && !hasAcceptableInput(); }

protected:
    void focusInEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    QString m_texteEntree;
};

// "Affectation d'un patient": settles the accounting of an unknown patient
// number, either by attaching it to an existing patient or by creating the
// patient under that number. Shown modally, once per unknown number, by the
// unknown-patient phase; the same instance serves the whole run. The window
// collects and checks the user's choice; Reaffectation moves the data.
class TFSelectPatient : public QDialog, private SuiviReaffectation {
    Q_OBJECT
public:
    TFSelectPatient(Session &session, Progression &progression, QWidget *parent = nullptr);
    ~TFSelectPatient() override;

    // Set when an action ended the program; the caller of exec() rethrows it.
    std::optional<common::FinProgramme> fin;

    // Shows the dialog on the current case, modally: the show step, then the
    // modal loop. The result is what exec() gives.
    int afficher();

    // Handlers, callable directly as well as through the widgets.
    void FormCreate();
    void FormShow();
    void RGChoiceClick();
    void EDNomClick();
    void EDPrenomClick();
    void EDNomEnter();
    void EDPrenomEnter();
    void EDNomExit();
    void EDPrenomExit();
    void EDNomKeyPress(int key);
    void EDPrenomKeyPress(int key);
    void BtPatient_existantClick();
    void BtNouveau_patientClick();

    // The dialog's own progress display: 28 blanks before the texts; while
    // open it disables this dialog, not the main window.
    void DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible) override;
    void UpdateProgression(const QString &text, int maximum, int position) override;
    void ArreterProgression() override;

    // The pick-list item of a patient.
    static QString libellePatient(const QString &nom, const QString &prenom, const QString &neLe,
                                  const QString &nOmon);

    db::Query QryCPOrg{QStringLiteral("QryCPOrg")};

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void reject() override;

private:
    // Widgets; tests find them by these object names.
    QLabel *Panel1;
    QLabel *LPatients_ID, *LMedecins_ID, *LDate_Consultation, *LActes, *LMontant, *LPaiement_Patient,
        *LCaisse_principale, *LMontant_caisse_principale, *LPaiement_caisse_principale, *LMutuelle,
        *LMontant_mutuelle, *LPaiement_Mutuelle, *LCPSVFact_ID, *LDepoDate;
    QGroupBox *RGChoice;
    QButtonGroup *RGChoiceItems;
    QWidget *PPatient_existant, *PNouveau_patient;
    QComboBox *CBPatients_existant;
    QPushButton *BtPatient_existant, *BtNouveau_patient;
    ChampSaisie *EDNom, *EDPrenom;
    ChampDate *EDNe_le;

    static inline const QString kNomVide = QStringLiteral("Nom du nouveau patient");
    static inline const QString kPrenomVide = QStringLiteral("Prénom du nouveau patient");

    void construire();
    QString libelleCaisse(const QString &colonne);
    void ajouterALaListe(const QString &libelle, qint64 patientId);
    std::optional<qint64> patientChoisi();
    void affecterPatientExistant(qint64 patientChoisi);
    void creerNouveauPatient();
    void patientCree(qint64 patientId, const QString &nom, const QString &prenom, const QString &nOmon) override;
    void fermetureEngagee() override;
    template <typename F> void executerAction(F &&action);
    void refuserDate();

    Session &s;
    Progression &prog;
    bool m_fermeture = false;       // a fatal failure has started the shut-down
    bool m_refusDateEnAttente = false;
};
