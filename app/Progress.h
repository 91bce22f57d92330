#pragma once
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

// The small modeless window of long steps: a line of text and a bar.
class TFProgress : public QWidget {
    Q_OBJECT
public:
    explicit TFProgress(QWidget *parent = nullptr);
    QLabel *Panel1;
    QProgressBar *Barre;
    // "Interrompre": hidden unless the work shown may be stopped.
    QPushButton *BtInterrompre;
    int pas = 1;

    // Shows the button, usable unless the stop was asked already; its click
    // asks the work to stop.
    void proposerInterruption(bool dejaDemandee);
    bool interruptionProposee() const;

signals:
    void interruptionDemandee();

protected:
    // The work it shows goes on whatever the user asks of the window manager.
    void closeEvent(QCloseEvent *e) override;

private:
    QWidget *m_zoneInterruption;
};

// The one progress window of the program and its open flag, shared by the
// main window and the patient dialog so that an open window is reused.
class Progression {
public:
    bool ProgressionVisible = false;
    TFProgress *fenetre() const { return m_fenetre.data(); }

    // prefixe: the blanks before the text; the two empty-text forms differ
    // between opening and updating. interruptible: the window offers
    // "Interrompre" (the check run's own).
    void demarrer(QWidget *aDesactiver, const QString &prefixe, const QString &text, int maximum, int step,
                  int position, bool barVisible, bool interruptible = false);
    void mettreAJour(QWidget *aDesactiver, const QString &prefixe, const QString &text, int maximum, int position,
                     bool interruptible = false);
    void arreter(QWidget *aReactiver, bool enable);

    // The check run's stop, set by "Interrompre": it outlives the windows of
    // the run, cleared by the next run.
    bool interruptionDemandee = false;

    // The last texts shown, in order, for tests and for the record; the
    // oldest go beyond kHistorique, so that a run over many rows keeps a
    // bounded memory.
    static constexpr int kHistorique = 200;
    QStringList historique;

    // Repaints of the window at most this often during a walk (and at the
    // walk's end, whose last state is always seen): a repaint costs more
    // than the work of a row.
    static constexpr int kIntervalleMs = 50;
    static constexpr int kParcoursCourt = 10;

private:
    void noter(const QString &texte, bool ouverture);
    void proposerInterruption();

    QPointer<TFProgress> m_fenetre;
    QElapsedTimer m_dernierAffichage;
};
