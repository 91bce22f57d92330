#include "app/Progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QVBoxLayout>

TFProgress::TFProgress(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    // Its owner is disabled during the work, which would grey the text; a
    // window may stay enabled under a disabled owner.
    setEnabled(true);
    setObjectName(QStringLiteral("TFProgress"));
    setWindowTitle(QStringLiteral("Orbelis Comptabilité Checker"));
    setFixedSize(506, 65);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setCursor(Qt::WaitCursor);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Panel1 = new QLabel(QStringLiteral("  Acquisition des fiches patients en cours. Veuillez patienter..."), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    Panel1->setFont(f);
    Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(Panel1, 1);
    Barre = new QProgressBar(this);
    Barre->setObjectName(QStringLiteral("Barre"));
    Barre->setFixedHeight(17);
    Barre->setTextVisible(false);
    Barre->hide();
    layout->addWidget(Barre);
    if (QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void TFProgress::closeEvent(QCloseEvent *e) { e->ignore(); }

void Progression::demarrer(QWidget *aDesactiver, const QString &prefixe, const QString &text, int maximum, int step,
                           int position, bool barVisible)
{
    if (ProgressionVisible) {
        mettreAJour(aDesactiver, prefixe, text, maximum, position);
        return;
    }
    if (aDesactiver)
        aDesactiver->setEnabled(false);
    // Owned by the window it stands for: the window manager keeps it above
    // that window, and a message box (whose owner it becomes while it is
    // open) above it, where a window on top of everything covered the
    // questions asked during the work.
    m_fenetre = new TFProgress(aDesactiver ? aDesactiver->window() : nullptr);
    m_fenetre->Barre->setMaximum(qMax(0, maximum));
    m_fenetre->pas = step;
    m_fenetre->Barre->setValue(qBound(0, position, qMax(0, maximum)));
    m_fenetre->Barre->setVisible(barVisible);
    const QString texte = prefixe + (text.isEmpty() ? QStringLiteral("Veuillez patienter") : text);
    m_fenetre->Panel1->setText(texte);
    noter(texte, true);
    QCoreApplication::processEvents();
    m_fenetre->show();
    QCoreApplication::processEvents();
    m_dernierAffichage.start();
    ProgressionVisible = true;
}

void Progression::noter(const QString &texte, bool ouverture)
{
    // An update repeating the text is not noted again; an opening is.
    if (!ouverture && !historique.isEmpty() && historique.last() == texte)
        return;
    historique << texte;
    if (historique.size() > kHistorique)
        historique.remove(0, historique.size() - kHistorique);
}


void Progression::mettreAJour(QWidget *aDesactiver, const QString &prefixe, const QString &text, int maximum,
                              int position)
{
    if (!ProgressionVisible || !m_fenetre) {
        ProgressionVisible = false;
        demarrer(aDesactiver, prefixe, text, maximum, 1, position, true);
        return;
    }
    // The bar repaints itself at once on a new value; between two repaints
    // of the window it only takes the values. The end of a walk is always
    // seen, unless the walk is a few rows long (a group of duplicates): those
    // pass faster than a repaint and are thousands in a phase.
    const bool finDeParcours = position >= maximum && maximum > kParcoursCourt;
    const bool peindre = finDeParcours || !m_dernierAffichage.isValid() || m_dernierAffichage.elapsed() >= kIntervalleMs;
    if (!peindre)
        m_fenetre->setUpdatesEnabled(false);
    m_fenetre->Barre->setMaximum(qMax(0, maximum));
    m_fenetre->Barre->setValue(qBound(0, position, qMax(0, maximum)));
    const QString texte = prefixe + (text.isEmpty() ? QStringLiteral("Veuillez patienter...") : text);
    m_fenetre->Panel1->setText(texte);
    noter(texte, false);
    if (peindre) {
        m_fenetre->setUpdatesEnabled(true);
        QCoreApplication::processEvents();
        m_dernierAffichage.start();
    }
}

void Progression::arreter(QWidget *aReactiver, bool enable)
{
    if (ProgressionVisible) {
        delete m_fenetre.data();
        ProgressionVisible = false;
    }
    if (aReactiver)
        aReactiver->setEnabled(enable);
}
