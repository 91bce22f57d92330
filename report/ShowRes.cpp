#include "report/ShowRes.h"
#include "app/Garde.h"
#include "app/Messages.h"
#include "app/Session.h"
#include "db/DbError.h"
#include "db/Formats.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

namespace {

const QColor kNavy(0, 0, 128);
const QColor kGrisOmbre(128, 128, 128);
const QColor kRouge(255, 0, 0);
const QColor kFuchsia(255, 0, 255);
const QColor kVert(0, 128, 0);

QFont arial(int pixels, bool gras = false)
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixels);
    f.setBold(gras);
    return f;
}

void colorer(QWidget *w, QPalette::ColorRole role, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

// What a value label has room for: the whole text, or its start ending in "…".
QString texteVu(const QLabel *l)
{
    return l->fontMetrics().elidedText(l->text(), Qt::ElideRight, l->contentsRect().width());
}

// A value on its caption's line: the line has no room for a second row, so
// what does not fit ends in "…". text() keeps the whole value, for the code
// that reads it back.
class Valeur : public QLabel {
public:
    explicit Valeur(QWidget *parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        style()->drawItemText(&p, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                              isEnabled(), texteVu(this), foregroundRole());
    }
};

// A value cut short is still readable whole in its tooltip; one shown whole has none.
void afficher(QLabel *l, const QString &texte)
{
    l->setText(texte);
    l->setToolTip(texteVu(l) == texte ? QString() : texte);
}

} // namespace

TFShowRes::TFShowRes(Session &session, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      s(session)
{
    setObjectName(QStringLiteral("TFShowRes"));
    setWindowTitle(QStringLiteral("Résultat du traitement"));
    setFixedSize(486, 424);
    setAutoFillBackground(true);
    colorer(this, QPalette::Window, Qt::white);

    auto *bandeau = new QLabel(QStringLiteral("Visualisation des résultats du traitement"), this);
    bandeau->setObjectName(QStringLiteral("Panel1"));
    bandeau->setGeometry(0, 0, 486, 41);
    bandeau->setAutoFillBackground(true);
    bandeau->setFont(arial(19));
    bandeau->setContentsMargins(12, 0, 0, 0);
    colorer(bandeau, QPalette::Window, kGrisOmbre);
    colorer(bandeau, QPalette::WindowText, Qt::white);

    LCompteur = new QLabel(QStringLiteral("1/1"), this);
    LCompteur->setObjectName(QStringLiteral("LCompteur"));
    LCompteur->setFont(arial(13, true));
    LCompteur->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LCompteur->setGeometry(374, 46, 98, 18);

    // Each caption is followed by its value on the same line, whatever the caption's length.
    auto ligne = [this](const QString &legende, const char *nom, int y) {
        auto *l = new QLabel(legende, this);
        l->setFont(arial(13));
        colorer(l, QPalette::WindowText, kNavy);
        l->adjustSize();
        l->move(14, y);
        auto *valeur = new Valeur(this);
        valeur->setObjectName(QString::fromLatin1(nom));
        valeur->setFont(arial(13));
        colorer(valeur, QPalette::WindowText, Qt::black);
        const int x = 14 + l->width() + 6;
        valeur->setGeometry(x, y, 472 - x, l->height());
        return valeur;
    };
    LPatient = ligne(QStringLiteral("Patient :"), "LPatient", 70);
    LDateConsultation = ligne(QStringLiteral("Date de consultation :"), "LDateConsultation", 94);
    LMedecin = ligne(QStringLiteral("Médecin destinataire des actes :"), "LMedecin", 118);
    LTable = ligne(QStringLiteral("Nom de la table contenant l'erreur :"), "LTable", 142);
    LNiveau = ligne(QStringLiteral("Niveau de gravité de l'erreur :"), "LNiveau", 166);

    auto *description = new QLabel(QStringLiteral("Description :"), this);
    description->setFont(arial(13));
    colorer(description, QPalette::WindowText, kNavy);
    description->adjustSize();
    description->move(14, 194);

    MemoAction = new QPlainTextEdit(this);
    MemoAction->setObjectName(QStringLiteral("MemoAction"));
    MemoAction->setReadOnly(true);
    MemoAction->setFrameShape(QFrame::NoFrame);
    MemoAction->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoAction->setFont(arial(13));
    MemoAction->setGeometry(14, 214, 457, 169);

    BtPrecedent = new QPushButton(QStringLiteral("<<   &Précédent"), this);
    BtPrecedent->setObjectName(QStringLiteral("BtPrecedent"));
    BtPrecedent->setGeometry(14, 391, 112, 25);
    BtSuivant = new QPushButton(QStringLiteral("&Suivant   >>"), this);
    BtSuivant->setObjectName(QStringLiteral("BtSuivant"));
    BtSuivant->setGeometry(132, 391, 112, 25);
    BtFermer = new QPushButton(QStringLiteral("&Fermer"), this);
    BtFermer->setObjectName(QStringLiteral("BtFermer"));
    BtFermer->setGeometry(359, 391, 112, 25);
    for (auto [bouton, handler] : {std::pair{BtPrecedent, &TFShowRes::BtPrecedentClick},
                                   std::pair{BtSuivant, &TFShowRes::BtSuivantClick},
                                   std::pair{BtFermer, &TFShowRes::BtFermerClick}})
        connect(bouton, &QPushButton::clicked, this,
                [this, handler] { garde::protegerFenetre(*this, s.ui, [this, handler] { (this->*handler)(); }); });

    // Placed explicitly, so the dialog stays centred on the screen rather than on its parent.
    if (QScreen *ecran = QGuiApplication::primaryScreen())
        move(ecran->availableGeometry().center() - rect().center());
}

void TFShowRes::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        garde::protegerFenetre(*this, s.ui, [this] { FormShow(); });
}

void TFShowRes::FormShow()
{
    try {
        m_lignes = s.journal.lignes();
    } catch (const db::DbError &e) {
        // An unreadable journal leaves an empty viewer that can still be closed.
        m_lignes.clear();
        s.ui.message(Boite::Erreur, QStringLiteral("Impossible de lire la table des résultats.") + QStringLiteral("\r")
                                        + QStringLiteral("Erreur : ") + e.message());
    }
    m_rang = m_lignes.empty() ? 0 : 1;
    const bool seule = m_lignes.size() <= 1;
    BtPrecedent->setEnabled(!seule);
    BtSuivant->setEnabled(!seule);
    (seule ? BtFermer : BtSuivant)->setFocus();
    DataSource1DataChange();
    QCoreApplication::processEvents();
}

void TFShowRes::DataSource1DataChange()
{
    const int total = int(m_lignes.size());
    LCompteur->setText(QString::number(m_rang) + QLatin1Char('/') + QString::number(total));
    if (total == 0) {
        for (QLabel *l : {LPatient, LDateConsultation, LMedecin, LTable, LNiveau})
            afficher(l, QString());
        MemoAction->clear();
        return;
    }
    const Journal::Lue &ligne = m_lignes[size_t(m_rang - 1)];
    afficher(LPatient, ligne.patientNom.asString());
    const db::Field &date = ligne.date;
    QString texteDate;
    if (!date.isNull()) {
        try {
            texteDate = db::formats::dateTimeToText(date.asDateTime());
        } catch (const db::DbError &) {
            texteDate = date.asString();   // shown as written rather than not at all
        }
    }
    afficher(LDateConsultation, texteDate);
    afficher(LTable, ligne.origine.asString());
    MemoAction->setPlainText(messages::texteAffiche(ligne.action.asString()));

    const qint64 medecin = ligne.medecinId.asInteger();
    QString nomMedecin;
    if (medecin >= 1) {
        try {
            if (s.TableMedecins.findKey({medecin}))
                nomMedecin = s.TableMedecins.fieldByName(QStringLiteral("PRENOM")).asString() + QLatin1Char(' ')
                             + s.TableMedecins.fieldByName(QStringLiteral("NOM")).asString();
        } catch (const db::DbError &) {
            // An unreadable snapshot names no physician; the row itself is still shown.
        }
    }
    afficher(LMedecin, nomMedecin);

    const qint64 niveau = ligne.niveau.asInteger();
    afficher(LNiveau, Journal::motNiveau(niveau));
    // Any other level keeps the colour of the row shown before.
    static const QColor couleurs[] = {kRouge, kFuchsia, kVert};
    if (niveau >= 1 && niveau <= 3)
        colorer(LNiveau, QPalette::WindowText, couleurs[niveau - 1]);
}

void TFShowRes::BtSuivantClick()
{
    const int total = int(m_lignes.size());
    if (total == 0)
        return;
    m_rang = m_rang >= total ? 1 : m_rang + 1;
    DataSource1DataChange();
}

void TFShowRes::BtPrecedentClick()
{
    const int total = int(m_lignes.size());
    if (total == 0)
        return;
    m_rang = m_rang <= 1 ? total : m_rang - 1;
    DataSource1DataChange();
}

void TFShowRes::BtFermerClick()
{
    hide();
    accept();
}
