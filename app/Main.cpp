#include "app/Main.h"
#include "report/RapportPdf.h"
#include "app/Garde.h"
#include "app/Messages.h"
#include "db/DbError.h"
#include "dialogs/Restauration.h"
#include "dialogs/SelectOrg.h"
#include "dialogs/SelectPat.h"
#include "report/PrintRes.h"
#include "report/ShowRes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

using common::FinProgramme;

// --- WidgetInteraction ------------------------------------------------------

QWidget *WidgetInteraction::proprietaire() const
{
    // A box shown during long work belongs to the progress window, which the
    // window manager then keeps under it.
    if (TFProgress *p = m_main.progression().fenetre(); p && p->isVisible())
        return p;
    if (QWidget *modale = QApplication::activeModalWidget())
        return modale;
    return QApplication::activeWindow();
}

void WidgetInteraction::message(Boite kind, const QString &text) { messages::afficher(proprietaire(), kind, text); }

bool WidgetInteraction::question(Boite kind, const QString &text) { return messages::afficher(proprietaire(), kind, text); }

void WidgetInteraction::bip(bool) { QApplication::beep(); }

void WidgetInteraction::DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible)
{
    // Only the check run may be stopped, not the start-up.
    m_main.progression().demarrer(&m_main, QStringLiteral("  "), text, maximum, step, position, barVisible,
                                  m_main.runEnCours());
}

void WidgetInteraction::UpdateProgression(const QString &text, int maximum, int position)
{
    m_main.progression().mettreAJour(&m_main, QStringLiteral("  "), text, maximum, position, m_main.runEnCours());
}

void WidgetInteraction::ArreterProgression(bool enable) { m_main.progression().arreter(&m_main, enable); }

bool WidgetInteraction::interruptionDemandee() { return m_main.progression().interruptionDemandee; }

void WidgetInteraction::effacerInterruption() { m_main.progression().interruptionDemandee = false; }

namespace {

// Shows a dialog modally; an action of it that ended the program is carried
// on to the caller once the dialog is closed.
template <class Dialogue>
int executer(Dialogue *d)
{
    if (!d)
        return 0;
    d->fin.reset();
    int r = 0;
    if constexpr (requires { d->afficher(); })
        r = d->afficher();   // a dialog with a show step of its own for each case
    else
        r = d->exec();
    if (d->fin)
        throw *d->fin;
    return r;
}

} // namespace

int WidgetInteraction::afficherSelectPatient() { return executer(m_main.selectPatient()); }

int WidgetInteraction::afficherSelectOrganisme() { return executer(m_main.selectOrganisme()); }

void WidgetInteraction::afficherResultats()
{
    TFShowRes viewer(m_main.session(), &m_main);
    executer(&viewer);
}

bool WidgetInteraction::enregistrerRapport(Session &session, const QString &chemin, QString *erreur)
{
    // It takes as long as printing the report: said, rather than a window
    // that seems to hang.
    TFProgress attente(proprietaire());
    attente.Panel1->setText(QString(28, QLatin1Char(' ')) + QStringLiteral("Enregistrement du compte rendu. Veuillez patienter..."));
    attente.Barre->hide();
    attente.show();
    QCoreApplication::processEvents();
    return enregistrerRapportPdf(session, chemin, erreur);
}

void WidgetInteraction::imprimerRapport()
{
    TFPrint report(m_main.session());
    report.BitBtn1Click();
}

// --- TFMain -----------------------------------------------------------------

namespace {

// The picture beside the explanation: a ledger with a check mark.
QPixmap image()
{
    QPixmap pm(72, 72);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.setBrush(QColor(235, 240, 255));
    p.drawRoundedRect(10, 6, 46, 58, 4, 4);
    p.setPen(QPen(QColor(120, 120, 160), 1));
    for (int y = 18; y < 58; y += 8)
        p.drawLine(18, y, 48, y);
    p.setPen(QPen(QColor(0, 150, 0), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(36, 50, 46, 62);
    p.drawLine(46, 62, 66, 34);
    return pm;
}

} // namespace

TFMain::TFMain(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("TFMain"));
    setWindowTitle(QStringLiteral("Orbelis Comptabilité Checker"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    auto *bandeau = new QLabel(QStringLiteral("Actualisation de la comptabilité"), this);
    bandeau->setObjectName(QStringLiteral("Panel1"));
    bandeau->setAutoFillBackground(true);
    QPalette bp = bandeau->palette();
    bp.setColor(QPalette::Window, QColor(128, 128, 128));
    bp.setColor(QPalette::WindowText, Qt::white);
    bandeau->setPalette(bp);
    QFont bf(QStringLiteral("Arial"));
    bf.setPixelSize(19);
    bf.setBold(true);
    bandeau->setFont(bf);
    bandeau->setFixedHeight(41);
    bandeau->setContentsMargins(12, 0, 0, 0);
    layout->addWidget(bandeau);

    auto *milieu = new QHBoxLayout();
    milieu->setContentsMargins(16, 12, 16, 12);
    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(image());
    picture->setAlignment(Qt::AlignTop);
    milieu->addWidget(picture);
    auto *texte = new QVBoxLayout();
    for (const char *ligne : {"Ce programme permet de chercher :", "- les enregistrements non attachés à un dossier patient,",
                              "- les enregistrements sans acte,", "- les dettes éronnées..."}) {
        auto *l = new QLabel(QString::fromUtf8(ligne), this);
        texte->addWidget(l);
    }
    texte->addSpacing(8);
    auto *precision = new QLabel(
        QStringLiteral("Dans certains cas, vous devrez apporter des précisions quant au traitement à appliquer."), this);
    precision->setWordWrap(true);
    texte->addWidget(precision);
    milieu->addLayout(texte, 1);
    layout->addLayout(milieu);

    auto *boutons = new QHBoxLayout();
    boutons->addStretch();
    BtSauvegardes = new QPushButton(QStringLiteral("&Sauvegardes..."), this);
    BtSauvegardes->setObjectName(QStringLiteral("BtSauvegardes"));
    BtSauvegardes->setEnabled(false);
    boutons->addWidget(BtSauvegardes);
    BtValider = new QPushButton(QStringLiteral("&Démarrer"), this);
    BtValider->setObjectName(QStringLiteral("BtValider"));
    BtFermer = new QPushButton(QStringLiteral("&Fermer"), this);
    BtFermer->setObjectName(QStringLiteral("BtFermer"));
    boutons->addWidget(BtValider);
    boutons->addWidget(BtFermer);
    boutons->addSpacing(16);
    layout->addLayout(boutons);
    connect(BtValider, &QPushButton::clicked, this, &TFMain::BtValiderClick);
    connect(BtFermer, &QPushButton::clicked, this, &TFMain::BtFermerClick);
    connect(BtSauvegardes, &QPushButton::clicked, this, &TFMain::BtSauvegardesClick);
    setFixedSize(470, 260);
    if (QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    m_session = std::make_unique<Session>(m_ui);
    m_run = std::make_unique<CheckRun>(*m_session);
    m_session->FormCreate();
    activerSauvegardes();
}

TFMain::~TFMain() = default;

void TFMain::creerDialogues()
{
    m_selectPatient = std::make_unique<TFSelectPatient>(*m_session, m_progression, this);
    m_selectOrganisme = std::make_unique<TFSelectOrganisme>(*m_session, this);
}

void TFMain::terminer(int code)
{
    fin = code;
    m_progression.arreter(nullptr, true);
    hide();
    QCoreApplication::exit(code);
}

void TFMain::BtValiderClick()
{
    m_runEnCours = true;
    activerSauvegardes();
    const auto f = garde::proteger(m_ui, [this] { m_run->BtValiderClick(); });
    m_runEnCours = false;
    activerSauvegardes();
    if (f)
        terminer(f->code);
}

void TFMain::activerSauvegardes() { BtSauvegardes->setEnabled(!m_runEnCours && m_session->baseOuverte); }

void TFMain::BtSauvegardesClick()
{
    // A run's own writes are never undone under it.
    if (m_runEnCours || !m_session->baseOuverte)
        return;
    const auto f = garde::proteger(m_ui, [this] {
        TFRestauration fenetre(*m_session, this);
        fenetre.exec();
        if (fenetre.fin)
            throw *fenetre.fin;
    });
    if (f)
        terminer(f->code);
}

void TFMain::closeEvent(QCloseEvent *e)
{
    e->ignore();
    if (fin) {
        e->accept();
        return;
    }
    if (m_runEnCours || !isEnabled())
        return;
    BtFermerClick();
    if (fin)
        e->accept();
}

void TFMain::BtFermerClick()
{
    if (const auto f = garde::proteger(m_ui, [this] { m_session->BtFermerClick(); }))
        terminer(f->code);
}
