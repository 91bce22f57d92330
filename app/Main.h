#pragma once
#include "app/Interaction.h"
#include "app/Progress.h"
#include "app/Session.h"
#include "checks/CheckRun.h"

#include <QPushButton>
#include <QWidget>
#include <memory>

class TFMain;
class TFSelectPatient;
class TFSelectOrganisme;

// The seam implemented with the program's windows.
class WidgetInteraction : public Interaction {
public:
    explicit WidgetInteraction(TFMain &main) : m_main(main) {}

    void message(Boite kind, const QString &text) override;
    bool question(Boite kind, const QString &text) override;
    void bip(bool exclamation) override;
    void DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible) override;
    void UpdateProgression(const QString &text, int maximum, int position) override;
    void ArreterProgression(bool enable) override;
    bool interruptionDemandee() override;
    void effacerInterruption() override;
    int afficherSelectPatient() override;
    int afficherSelectOrganisme() override;
    void afficherResultats() override;
    void imprimerRapport() override;
    bool enregistrerRapport(Session &session, const QString &chemin, QString *erreur) override;

private:
    QWidget *proprietaire() const;

    TFMain &m_main;
};

// "Orbelis Comptabilité Checker": the main window. Its creation runs the
// whole start-up; it owns the session and the two resolution dialogs.
class TFMain : public QWidget {
    Q_OBJECT
public:
    // Throws common::FinProgramme when start-up ends the program.
    explicit TFMain(QWidget *parent = nullptr);
    ~TFMain() override;

    // The dialogs are created after the main window, once the start-up ran.
    void creerDialogues();

    Session &session() { return *m_session; }
    CheckRun &run() { return *m_run; }
    Progression &progression() { return m_progression; }
    TFSelectPatient *selectPatient() const { return m_selectPatient.get(); }
    TFSelectOrganisme *selectOrganisme() const { return m_selectOrganisme.get(); }

    // Set once the program has been asked to end (exit code).
    std::optional<int> fin;
    // "&Démarrer"'s check run is going on.
    bool runEnCours() const { return m_runEnCours; }

    QPushButton *BtValider;
    QPushButton *BtFermer;
    // The restore window; only between runs, on an open database.
    QPushButton *BtSauvegardes;

public slots:
    void BtValiderClick();
    void BtFermerClick();
    void BtSauvegardesClick();

protected:
    // However the window is closed, it is the way out of the program; while
    // a run goes on, it is not closed.
    void closeEvent(QCloseEvent *e) override;

private:
    void terminer(int code);
    void activerSauvegardes();

    bool m_runEnCours = false;

    Progression m_progression;
    WidgetInteraction m_ui{*this};
    std::unique_ptr<Session> m_session;
    std::unique_ptr<CheckRun> m_run;
    std::unique_ptr<TFSelectPatient> m_selectPatient;
    std::unique_ptr<TFSelectOrganisme> m_selectOrganisme;
};
