#pragma once
#include "checks/Journal.h"

#include <QPointer>
#include <QStringList>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

class QPrinter;
class QPushButton;
class QTextEdit;
class Session;
class TFProgress;

// The printed report of the results journal: built in a rich text, printed
// and freed, never shown.
class TFPrint : public QWidget {
    Q_OBJECT
public:
    explicit TFPrint(Session &session, QWidget *parent = nullptr);
    ~TFPrint() override;

    // Builds the report from the journal, asks for the printer, prints, and
    // leaves only the heading in the document.
    void BitBtn1Click();
    // The same document on a printer already set up: no printer dialog, no
    // progress window, no message. Leaves only the heading, as BitBtn1Click
    // does; throws db::DbError, printing nothing, when the journal cannot be
    // read. The printer's state tells whether it printed.
    void imprimerSansDialogue(QPrinter &printer);

    // The report's own progress window: a text and no bar; the windows stay
    // enabled as they are.
    void DemarrerProgression(const QString &text);
    void ArreterProgression();
    TFProgress *fenetreProgression() const;

    // Chooses where to print; true prints. The platform's printer dialog
    // unless a caller puts its own choice here.
    std::function<bool(QPrinter &)> choisirImprimante;

    // Every text the progress window showed, in order.
    QStringList historiqueProgression;

private:
    // Widgets; tests find them by these object names.
    QTextEdit *RichEdit1;
    QPushButton *Button1;

    void FormCreate();
    void EcrireEnTete();
    void AjouterLigneAction(const QString &ligne);
    void AjouterLigneEtiquetee(const QString &etiquette, const QString &ligne);
    // Adds a line (several when it holds carriage returns) at the end; returns
    // the position of its first character.
    int ajouterLigne(const QString &texte);
    void formater(int debut, int fin, const QTextCharFormat &format);
    void afficherProgression(const QString &texte);
    void ajouterRangee(const Journal::Lue &ligne, int rang);
    // The journal's rows after the heading, one action each, telling the
    // progress window when there is one. Throws db::DbError when the journal
    // cannot be read; the document then holds part of them.
    void ecrireCorps();
    // The document as it stands, on the printer given, its pages kept.
    void imprimerDocument(QPrinter &printer);
    // Starts on a new page every action that the printer's pages would
    // otherwise cut in two, when it fits on one page.
    void garderActionsEntieres(QPrinter &printer);

    Session &s;
    QPointer<TFProgress> m_progression;
    QTextCharFormat m_normal;
    QTextBlockFormat m_paragraphe;
    bool m_vide = true;
    // Each action of the body: the numbers of its heading's block and of its last block.
    std::vector<std::pair<int, int>> m_actions;
};
