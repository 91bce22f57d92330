#include "report/PrintRes.h"
#include "app/Garde.h"
#include "app/Progress.h"
#include "app/Session.h"
#include "db/DbError.h"
#include "db/Formats.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QHBoxLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTextFrame>
#include <QTextLayout>
#include <QVBoxLayout>

#include <climits>
#include <memory>

// The resolution QTextDocument::print() measures its 2 cm margins in; QtGui
// exports it, and the page laid out here must be the page it prints.
Q_GUI_EXPORT int qt_defaultDpiX();
Q_GUI_EXPORT int qt_defaultDpiY();

namespace {

const QColor kBleu(0, 0, 255);
const QColor kNavy(0, 0, 128);
const QColor kRouge(255, 0, 0);

// Walking the journal lets the progress window repaint, but a click in the
// main window (which the report leaves enabled) must not start a second run
// in the middle of the walk.
void laisserVivre() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

QTextCharFormat enForme(bool gras, bool italique, const QColor &couleur)
{
    QTextCharFormat f;
    f.setFontWeight(gras ? QFont::Bold : QFont::Normal);
    f.setFontItalic(italique);
    f.setForeground(couleur);
    return f;
}

QString texteDate(const db::Field &date)
{
    try {
        return db::formats::dateTimeToText(date.asDateTime());
    } catch (const db::DbError &) {
        return date.asString();
    }
}

} // namespace

TFPrint::TFPrint(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint), s(session)
{
    setObjectName(QStringLiteral("TFPrint"));
    setWindowTitle(QStringLiteral("Orbelis Comptabilité Checker"));
    setWindowState(Qt::WindowMaximized);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setFont(QFont(QStringLiteral("Arial")));
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setAcceptRichText(true);
    layout->addWidget(RichEdit1, 1);
    auto *bande = new QWidget(this);
    bande->setObjectName(QStringLiteral("Panel1"));
    auto *boutons = new QHBoxLayout(bande);
    boutons->addStretch();
    Button1 = new QPushButton(QStringLiteral("&Fermer"), bande);
    Button1->setObjectName(QStringLiteral("Button1"));
    boutons->addWidget(Button1);
    layout->addWidget(bande);
    connect(Button1, &QPushButton::clicked, this, [this] {
        // Nothing here ends the program; were it to, the event loop ends with it.
        if (const auto fin = garde::proteger(s.ui, [this] { BitBtn1Click(); }))
            QCoreApplication::exit(fin->code);
    });

    choisirImprimante = [this](QPrinter &printer) {
        QPrintDialog dialogue(&printer, parentWidget() ? parentWidget() : QApplication::activeWindow());
        dialogue.setObjectName(QStringLiteral("PrinterSetupDialog1"));
        return dialogue.exec() == QDialog::Accepted;
    };

    FormCreate();
}

TFPrint::~TFPrint() { ArreterProgression(); }

void TFPrint::FormCreate() { EcrireEnTete(); }

void TFPrint::DemarrerProgression(const QString &text)
{
    // Owned by the window in front (the main window), which the window
    // manager then keeps under it.
    if (!m_progression)
        m_progression = new TFProgress(QApplication::activeWindow());
    const QString texte = QString(28, QLatin1Char(' ')) + (text.isEmpty() ? QStringLiteral("Veuillez patienter") : text);
    m_progression->Panel1->setText(texte);
    historiqueProgression << m_progression->Panel1->text();
    laisserVivre();
    m_progression->show();
    laisserVivre();
}

void TFPrint::ArreterProgression() { delete m_progression.data(); }

TFProgress *TFPrint::fenetreProgression() const { return m_progression.data(); }

void TFPrint::afficherProgression(const QString &texte)
{
    if (!m_progression)
        return;
    m_progression->Panel1->setText(texte);
    historiqueProgression << m_progression->Panel1->text();
    laisserVivre();
}

int TFPrint::ajouterLigne(const QString &texte)
{
    QTextCursor c(RichEdit1->document());
    c.movePosition(QTextCursor::End);
    if (m_vide) {
        c.setBlockFormat(m_paragraphe);
        c.setBlockCharFormat(m_normal);
        m_vide = false;
    } else {
        c.insertBlock(m_paragraphe, m_normal);
    }
    const int debut = c.position();
    QString t = texte;
    t.replace(QLatin1String("\r\n"), QLatin1String("\r"));
    t.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    const QStringList lignes = t.split(QLatin1Char('\r'));
    for (int k = 0; k < lignes.size(); ++k) {
        if (k > 0)
            c.insertBlock(m_paragraphe, m_normal);
        c.insertText(lignes[k], m_normal);
    }
    return debut;
}

void TFPrint::formater(int debut, int fin, const QTextCharFormat &format)
{
    QTextCursor c(RichEdit1->document());
    c.setPosition(debut);
    c.setPosition(fin, QTextCursor::KeepAnchor);
    c.mergeCharFormat(format);
}

void TFPrint::EcrireEnTete()
{
    RichEdit1->clear();
    m_vide = true;
    m_actions.clear();
    m_normal = QTextCharFormat();
    m_normal.setFontFamilies({QStringLiteral("Arial")});
    m_normal.setFontPointSize(10);
    m_normal.setFontWeight(QFont::Normal);
    m_normal.setFontItalic(false);
    m_normal.setFontUnderline(false);
    m_normal.setForeground(QApplication::palette().color(QPalette::WindowText));
    m_paragraphe = QTextBlockFormat();
    m_paragraphe.setAlignment(Qt::AlignHCenter);

    ajouterLigne(QStringLiteral("COMPTE RENDU DE ORBELIS COMPTABILITÉ CHECKER"));
    const int deuxieme = ajouterLigne(QString());
    QTextCharFormat titre = enForme(true, false, kBleu);
    titre.setFontPointSize(11);
    titre.setFontUnderline(true);
    const int fin = RichEdit1->document()->characterCount() - 1;
    formater(0, fin, titre);
    formater(deuxieme, fin, enForme(true, true, kNavy));

    m_paragraphe.setAlignment(Qt::AlignLeft);
    m_paragraphe.setLeftMargin(0);
    m_paragraphe.setIndent(0);
    ajouterLigne(QString());
    const QString presentation = QStringLiteral(
        "Ce document liste les anomalies et corrections effectuées par Orbelis Comptabilité Checker (Aldurix).");
    ajouterLigne(presentation);
    QTextCursor trouve = RichEdit1->document()->find(presentation);
    if (!trouve.isNull())
        trouve.mergeCharFormat(enForme(false, true, kRouge));
    ajouterLigne(QString());
}

void TFPrint::AjouterLigneAction(const QString &ligne)
{
    const int debut = ajouterLigne(ligne);
    formater(debut, debut + int(ligne.size()), enForme(true, true, kBleu));
}

void TFPrint::AjouterLigneEtiquetee(const QString &etiquette, const QString &ligne)
{
    const int debut = ajouterLigne(ligne);
    formater(debut, debut + int(etiquette.size()), enForme(true, true, kNavy));
}

void TFPrint::ajouterRangee(const Journal::Lue &ligne, int rang)
{
    m_paragraphe.setLeftMargin(0);
    m_paragraphe.setIndent(0);
    ajouterLigne(QString());
    AjouterLigneAction(QStringLiteral("Action n°") + QString::number(rang));
    const int titre = RichEdit1->document()->blockCount() - 1;

    const QString patient = ligne.patientId.asString();
    const QString nom = ligne.patientNom.asString();
    const QString etiquettePatient = QStringLiteral("Identification du patient :");
    if (!patient.isEmpty() && !nom.isEmpty())
        AjouterLigneEtiquetee(etiquettePatient, etiquettePatient + QLatin1Char(' ') + nom + QStringLiteral(" (dossier n°")
                                                    + patient + QLatin1Char(')'));
    else if (!patient.isEmpty())
        AjouterLigneEtiquetee(etiquettePatient, etiquettePatient + QStringLiteral("  dossier n°") + patient);
    else if (!nom.isEmpty())
        AjouterLigneEtiquetee(etiquettePatient, etiquettePatient + QLatin1Char(' ') + nom);

    const db::Field &date = ligne.date;
    if (!date.asString().isEmpty())
        AjouterLigneEtiquetee(QStringLiteral("Consultation du"), QStringLiteral("Consultation du ") + texteDate(date));

    const db::Field &medecin = ligne.medecinId;
    if (!medecin.asString().isEmpty() && medecin.asInteger() >= 1) {
        QString texte = QStringLiteral("Pour le médecin : ");
        if (s.TableMedecins.findKey({medecin.asInteger()}))
            texte += s.TableMedecins.fieldByName(QStringLiteral("PRENOM")).asString() + QLatin1Char(' ')
                     + s.TableMedecins.fieldByName(QStringLiteral("NOM")).asString();
        else
            texte += QStringLiteral("n°") + medecin.asString();
        AjouterLigneEtiquetee(QStringLiteral("Pour le médecin :"), texte);
    }

    const QString origine = ligne.origine.asString();
    if (!origine.isEmpty())
        AjouterLigneEtiquetee(QStringLiteral("Anomalie rencontrée dans la table :"),
                              QStringLiteral("Anomalie rencontrée dans la table : ") + origine);

    if (!ligne.niveau.asString().isEmpty()) {
        const QString mot = Journal::motNiveau(ligne.niveau.asInteger());
        if (!mot.isEmpty())
            AjouterLigneEtiquetee(QStringLiteral("Niveau de gravité :"), QStringLiteral("Niveau de gravité : ") + mot);
    }

    AjouterLigneEtiquetee(QStringLiteral("Description :"),
                          QStringLiteral("Description : ") + ligne.action.asString());
    m_actions.emplace_back(titre, RichEdit1->document()->blockCount() - 1);
}

void TFPrint::garderActionsEntieres(QPrinter &printer)
{
    QTextDocument *doc = RichEdit1->document();
    // A document with pages of its own is printed as it is laid out already.
    const QSizeF pageDoc = doc->pageSize();
    if (pageDoc.isValid() && !pageDoc.isNull() && pageDoc.height() != INT_MAX)
        return;
    // print() gives a printer without margins 2 mm of them; given here
    // already, the page measured below is the page printed.
    if (printer.pageLayout().margins(QPageLayout::Millimeter).isNull())
        printer.setPageMargins(QMarginsF(2, 2, 2, 2), QPageLayout::Millimeter);
    const qreal hauteur = printer.height();
    if (hauteur <= 0 || printer.width() <= 0)
        return;

    // print() lays the text out afresh, on a copy, on the printer's page less
    // 2 cm all round, and breaks pages wherever a line stops fitting. The
    // same layout is made here, on copies of a stretch of the text. A page
    // break before a heading starts the rest at the top of a page, as a
    // document of its own would start, so the rest is laid out as one: Qt's
    // layout, updated in place after a new break, can keep a block's old page
    // gap and misplace what follows. A line's page depends only on the text
    // above it, so a stretch need not run to the end.
    std::unique_ptr<QTextDocument> modele(doc->clone());   // the document's settings, without its text
    {
        QTextCursor tout(modele.get());
        tout.select(QTextCursor::Document);
        tout.removeSelectedText();
    }
    const int margeX = int((2 / 2.54) * qt_defaultDpiX());
    const int margeY = int((2 / 2.54) * qt_defaultDpiY());
    struct Troncon {
        std::unique_ptr<QTextDocument> texte;
        int premier = 0;   // the number of its first block in the document
        int blocs = 0;
    };
    auto copier = [&](int premier, int blocs) {
        Troncon t{std::unique_ptr<QTextDocument>(modele->clone()), premier, 0};
        const QTextBlock source = doc->findBlockByNumber(premier);
        QTextBlock dernier = doc->findBlockByNumber(qMin(premier + blocs, doc->blockCount()) - 1);
        QTextCursor selection(doc);
        selection.setPosition(source.position());
        selection.setPosition(dernier.position() + dernier.length() - 1, QTextCursor::KeepAnchor);
        QTextCursor(t.texte.get()).insertFragment(QTextDocumentFragment(selection));
        QTextCursor premiere(t.texte->firstBlock());
        premiere.setBlockFormat(source.blockFormat());
        premiere.setBlockCharFormat(source.charFormat());
        t.blocs = t.texte->blockCount();
        for (QTextBlock de = source, vers = t.texte->firstBlock(); de.isValid() && vers.isValid();
             de = de.next(), vers = vers.next())
            vers.layout()->setFormats(de.layout()->formats());
        t.texte->documentLayout()->setPaintDevice(&printer);
        QTextFrameFormat cadre = t.texte->rootFrame()->frameFormat();
        cadre.setLeftMargin(margeX);
        cadre.setRightMargin(margeX);
        cadre.setTopMargin(margeY);
        cadre.setBottomMargin(margeY);
        t.texte->rootFrame()->setFrameFormat(cadre);
        t.texte->setPageSize(QSizeF(printer.width(), hauteur));
        return t;
    };
    // The page of a block's first or last line, counted from the stretch's first page (0).
    auto page = [&](Troncon &t, int numero, bool derniere) {
        while (numero >= t.premier + t.blocs && t.premier + t.blocs < doc->blockCount())
            t = copier(t.premier, t.blocs * 2);
        const QTextBlock b = t.texte->findBlockByNumber(numero - t.premier);
        t.texte->documentLayout()->blockBoundingRect(b);   // lays the stretch out as far as this block
        const QTextLayout *l = b.layout();
        const qreal y = l->position().y() + (l->lineCount() > 0 ? l->lineAt(derniere ? l->lineCount() - 1 : 0).y() : 0);
        return int(y / hauteur);
    };

    const int longueur = 256;   // blocks copied at first: a few pages of actions
    Troncon troncon = copier(0, longueur);
    for (const auto &[titre, fin] : m_actions) {
        if (page(troncon, titre, false) == page(troncon, fin, true))
            continue;
        Troncon suite = copier(titre, qMax(longueur, fin - titre + 1));
        if (page(suite, titre, false) != page(suite, fin, true))
            continue;   // longer than a page: it flows on from where it falls
        QTextBlockFormat saut = doc->findBlockByNumber(titre).blockFormat();
        saut.setPageBreakPolicy(saut.pageBreakPolicy() | QTextFormat::PageBreak_AlwaysBefore);
        QTextCursor(doc->findBlockByNumber(titre)).setBlockFormat(saut);
        troncon = std::move(suite);
    }
}

void TFPrint::ecrireCorps()
{
    int i = 0;
    int rang = 0;
    s.journal.parcourir([&](const Journal::Lue &ligne) {
        ++i;
        if (i == 17)
            i = 1;
        afficherProgression(QStringLiteral("  Préparation de l'impression. Veuillez patienter ")
                            + QString(i % 9 + 1, QLatin1Char(' ')) + QLatin1Char('o'));
        ajouterRangee(ligne, ++rang);
    });
}

void TFPrint::imprimerDocument(QPrinter &printer)
{
    printer.setDocName(QStringLiteral("Compte rendu de Aldurix"));
    garderActionsEntieres(printer);
    RichEdit1->print(&printer);
}

void TFPrint::imprimerSansDialogue(QPrinter &printer)
{
    try {
        ecrireCorps();
    } catch (const db::DbError &) {
        EcrireEnTete();
        throw;
    }
    imprimerDocument(printer);
    EcrireEnTete();
}

void TFPrint::BitBtn1Click()
{
    DemarrerProgression(QStringLiteral("Préparation de l'impression. Veuillez patienter..."));
    try {
        ecrireCorps();
    } catch (const db::DbError &e) {
        // A report cut short would pass for the whole journal: nothing is printed.
        ArreterProgression();
        s.ui.message(Boite::Erreur, QStringLiteral("Le compte rendu n'a pas pu être préparé.") + QStringLiteral("\r")
                                        + QStringLiteral("Erreur : ") + e.message());
        EcrireEnTete();
        return;
    }
    ArreterProgression();

    QPrinter printer(QPrinter::HighResolution);
    if (choisirImprimante && choisirImprimante(printer)) {
        imprimerDocument(printer);
        if (printer.printerState() == QPrinter::Error)
            s.ui.message(Boite::Erreur, QStringLiteral("Le compte rendu n'a pas pu être imprimé sur ")
                                            + (printer.outputFileName().isEmpty() ? printer.printerName()
                                                                                  : printer.outputFileName())
                                            + QLatin1Char('.'));
    }
    EcrireEnTete();
}
