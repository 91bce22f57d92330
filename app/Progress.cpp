#include "app/Progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
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
    // The button sits at the text's right, in a part of its own that takes
    // no room while hidden: the window then looks as it always did.
    auto *ligne = new QHBoxLayout();
    ligne->setContentsMargins(0, 0, 0, 0);
    ligne->setSpacing(0);
    ligne->addWidget(Panel1, 1);
    m_zoneInterruption = new QWidget(this);
    auto *zone = new QHBoxLayout(m_zoneInterruption);
    zone->setContentsMargins(6, 0, 8, 0);
    BtInterrompre = new QPushButton(QStringLiteral("Interrompre"), m_zoneInterruption);
    BtInterrompre->setObjectName(QStringLiteral("BtInterrompre"));
    // The window's wait cursor says the work goes on; the button can be used.
    BtInterrompre->setCursor(Qt::ArrowCursor);
    zone->addWidget(BtInterrompre);
    connect(BtInterrompre, &QPushButton::clicked, this, [this] {
        // Asked once: the work stops at its next record.
        BtInterrompre->setEnabled(false);
        emit interruptionDemandee();
    });
    m_zoneInterruption->hide();
    ligne->addWidget(m_zoneInterruption);
    layout->addLayout(ligne, 1);
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

void TFProgress::proposerInterruption(bool dejaDemandee)
{
    BtInterrompre->setEnabled(!dejaDemandee);
    m_zoneInterruption->show();
}

bool TFProgress::interruptionProposee() const { return !m_zoneInterruption->isHidden(); }

void Progression::proposerInterruption()
{
    TFProgress *f = m_fenetre.data();
    if (!f || f->interruptionProposee())
        return;
    QObject::connect(f, &TFProgress::interruptionDemandee, f, [this] { interruptionDemandee = true; });
    // A window opened after the request (the next step of the same phase)
    // shows it as made.
    f->proposerInterruption(interruptionDemandee);
}

void Progression::demarrer(QWidget *aDesactiver, const QString &prefixe, const QString &text, int maximum, int step,
                           int position, bool barVisible, bool interruptible)
{
    if (ProgressionVisible) {
        mettreAJour(aDesactiver, prefixe, text, maximum, position, interruptible);
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
    if (interruptible)
        proposerInterruption();
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
                              int position, bool interruptible)
{
    if (!ProgressionVisible || !m_fenetre) {
        ProgressionVisible = false;
        demarrer(aDesactiver, prefixe, text, maximum, 1, position, true, interruptible);
        return;
    }
    if (interruptible)
        proposerInterruption();
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
