#pragma once
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QWidget>

// The small modeless window of long steps: a line of text and a bar.
class TFProgress : public QWidget {
    Q_OBJECT
public:
    explicit TFProgress(QWidget *parent = nullptr);
    QLabel *Panel1;
    QProgressBar *Barre;
    int pas = 1;
};

// The one progress window of the program and its open flag, shared by the
// main window and the patient dialog so that an open window is reused.
class Progression {
public:
    bool ProgressionVisible = false;
    TFProgress *fenetre() const { return m_fenetre.data(); }

    // prefixe: the blanks before the text; the two empty-text forms differ
    // between opening and updating.
    void demarrer(QWidget *aDesactiver, const QString &prefixe, const QString &text, int maximum, int step,
                  int position, bool barVisible);
    void mettreAJour(QWidget *aDesactiver, const QString &prefixe, const QString &text, int maximum, int position);
    void arreter(QWidget *aReactiver, bool enable);

    // Texts shown, in order, for tests and for the record.
    QStringList historique;

private:
    QPointer<TFProgress> m_fenetre;
};
