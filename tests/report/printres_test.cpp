#include "support/Fixture.h"
#include "app/Progress.h"
#include "report/PrintRes.h"
#include "report/RapportPdf.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

// The printed report, built from a real journal and printed through the
// printer dialog (or a PDF file).
class PrintResTest : public QObject {
    Q_OBJECT

    static QString L(const char *s) { return QString::fromUtf8(s); }

    static const QStringList &enTete()
    {
        static const QStringList lignes = {
            L("COMPTE RENDU DE ORBELIS COMPTABILITÉ CHECKER"), QString(), QString(),
            L("Ce document liste les anomalies et corrections effectuées par Orbelis Comptabilité Checker (Aldurix)."),
            QString()};
        return lignes;
    }

    static std::unique_ptr<Session> demarrer(PracticeFixture &f, ScriptedInteraction &ui)
    {
        f.insert(L("MEDECINS"), {{L("MEDECINS_ID"), 1}, {L("MEDECINS_COMPTABLE_ID"), 1}, {L("NOM"), L("Martin")},
                                 {L("PRENOM"), L("Claire")}});
        f.insert(L("PATIENTS"), {{L("PATIENTS_ID"), 1}, {L("NOM"), L("Durand")}, {L("PRENOM"), L("Jean")},
                                 {L("N_OMON"), L("D000001")}, {L("MEDECINS_ID"), 1}});
        return f.start(ui);
    }

    static QStringList lignesDe(const QTextDocument &d) { return d.toPlainText().split(QLatin1Char('\n')); }

    // Builds the report and keeps the document as it stood when the printer was
    // asked for; the printer choice is then cancelled.
    static std::unique_ptr<QTextDocument> construire(TFPrint &rapport, bool *demande = nullptr)
    {
        std::unique_ptr<QTextDocument> copie;
        rapport.choisirImprimante = [&](QPrinter &) {
            copie.reset(enfant<QTextEdit>(&rapport, "RichEdit1")->document()->clone());
            if (demande)
                *demande = true;
            return false;
        };
        rapport.BitBtn1Click();
        return copie;
    }

    // The report body cut into its actions, each without its leading empty line.
    static QList<QStringList> actions(const QStringList &lignes)
    {
        QList<QStringList> out;
        for (const QString &l : lignes) {
            if (l.startsWith(L("Action n°")))
                out << QStringList();
            else if (out.isEmpty())
                continue;
            if (!out.isEmpty() && !(l.isEmpty() && out.last().isEmpty()))
                out.last() << l;
        }
        for (QStringList &a : out)
            while (!a.isEmpty() && a.last().isEmpty())
                a.removeLast();
        return out;
    }

    static QTextCharFormat formatA(const QTextDocument &d, int position)
    {
        QTextCursor c(const_cast<QTextDocument *>(&d));
        c.setPosition(position + 1);   // the format of the character before the cursor
        return c.charFormat();
    }

    static int positionDe(const QTextDocument &d, const QString &texte)
    {
        const QTextCursor c = d.find(texte);
        return c.isNull() ? -1 : c.selectionStart();
    }

    // Answers the platform's printer dialog as a user would: the PDF printer,
    // a file name, then Print or Cancel.
    static void repondreDialogue(const QString &pdf, bool imprimer, bool *vu)
    {
        auto *t = new QTimer(qApp);
        QObject::connect(t, &QTimer::timeout, qApp, [=] {
            auto *d = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            if (!d)
                return;
            t->stop();
            t->deleteLater();
            *vu = true;
            auto *imprimantes = d->findChild<QComboBox *>(L("printers"));
            auto *fichier = d->findChild<QLineEdit *>(L("filename"));
            auto *boutons = d->findChild<QDialogButtonBox *>();
            if (!imprimantes || !fichier || !boutons) {
                d->reject();
                return;
            }
            imprimantes->setCurrentIndex(imprimantes->findText(L("PDF"), Qt::MatchContains));
            fichier->setText(pdf);
            QTest::mouseClick(boutons->button(imprimer ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        t->start(10);
    }

    // Blanks as one space; the ligatures the font shapes ("ﬁ", "ﬀ") as their letters.
    static QString simplifie(const QString &s) { return s.normalized(QString::NormalizationForm_KC).simplified(); }

    // Every non-empty line of the document, in order, in the PDF's text.
    static QString lignesManquantes(const QStringList &lignes, const QString &pdf)
    {
        const QString texte = simplifie(pdf);
        int depuis = 0;
        for (const QString &l : lignes) {
            const QString cherche = simplifie(l);
            if (cherche.isEmpty())
                continue;
            const int i = texte.indexOf(cherche, depuis);
            if (i < 0)
                return cherche;
            depuis = i + cherche.size();
        }
        return QString();
    }

    // Prints the report to a PDF file without a dialog; the document's lines
    // as they stood when the printer was chosen.
    static QStringList imprimerPdf(TFPrint &rapport, const QString &pdf)
    {
        QStringList lignes;
        rapport.choisirImprimante = [&](QPrinter &printer) {
            lignes = lignesDe(*enfant<QTextEdit>(&rapport, "RichEdit1")->document());
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
        rapport.BitBtn1Click();
        return lignes;
    }

    // The text of each page of a PDF, as pdftotext reads that page alone.
    static QStringList pagesPdf(const QString &pdf)
    {
        QProcess info;
        info.start(L("pdfinfo"), {pdf});
        info.waitForFinished(30000);
        const QRegularExpressionMatch m =
            QRegularExpression(L("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
                .match(QString::fromUtf8(info.readAllStandardOutput()));
        QStringList pages;
        for (int i = 1; m.hasMatch() && i <= m.captured(1).toInt(); ++i) {
            QProcess p;
            p.start(L("pdftotext"), {L("-enc"), L("UTF-8"), L("-f"), QString::number(i), L("-l"), QString::number(i), pdf, L("-")});
            p.waitForFinished(30000);
            pages << QString::fromUtf8(p.readAllStandardOutput());
        }
        return pages;
    }

    // The pages (from 1) whose text has the whole word, or a line that is
    // exactly it when entiere.
    static QList<int> pagesAvec(const QStringList &pages, const QString &mot, bool ligneEntiere = false)
    {
        const QRegularExpression re(ligneEntiere ? L("^\\s*") + QRegularExpression::escape(mot) + L("\\s*$")
                                                 : L("(?<!\\S)") + QRegularExpression::escape(mot) + L("(?!\\S)"),
                                    QRegularExpression::MultilineOption);
        QList<int> out;
        for (int i = 0; i < pages.size(); ++i)
            if (re.match(pages[i]).hasMatch())
                out << i + 1;
        return out;
    }

    // Prints the report to a PDF file on A4 paper, as a user's printer
    // choice would, without a dialog.
    static void imprimerA4(TFPrint &rapport, const QString &pdf)
    {
        rapport.choisirImprimante = [&](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setPageSize(QPageSize(QPageSize::A4));
            printer.setOutputFileName(pdf);
            return true;
        };
        rapport.BitBtn1Click();
    }

    static QStringList fichiers(const QString &dossier)
    {
        return QDir(dossier).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    // Counts the report's progress windows that come up.
    struct GuetteurProgression : QObject {
        int vues = 0;
        GuetteurProgression() { qApp->installEventFilter(this); }
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if (e->type() == QEvent::Show && o->inherits("TFProgress"))
                ++vues;
            return false;
        }
    };

    // Rows of every kind the report lays out, and enough of them, some long,
    // for several pages whose breaks the report moves.
    static void remplirJournal(Session &s)
    {
        s.AjouterResultat(1, L("12/25/2023 10:30:00"), 1, L("Liste des patients (PATIENTS)"), 1,
                          L("première ligne\rseconde ligne\r\rquatrième, après une ligne vide"));
        s.AjouterResultat(0, QString(), 42, L("Comptabilité (CPMAIN)"), 2, L("médecin inconnu"));
        s.journal.ajouter({.patientId = 5, .date = QDateTime(QDate(2024, 3, 4), QTime(0, 0)), .niveau = 3,
                           .action = L("dossier seul")});
        s.journal.ajouter({.patientNom = L("NOM SEUL"), .origine = L("Relevés"), .niveau = 7, .action = L("niveau sans mot")});
        for (int i = 1; i <= 40; ++i) {
            QStringList lignes;
            for (int l = 0; l <= i % 4; ++l)
                lignes << QString(L("mot ")).repeated((i * 29 + l * 13) % 70) + L("fin#%1.%2").arg(i).arg(l);
            s.AjouterResultat(i % 2, QString(), i % 3 ? 1 : 42, L("Table %1").arg(i), 1 + i % 3,
                              lignes.join(QLatin1Char('\r')));
        }
    }

    static void casser(PracticeFixture &f)
    {
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(L("QSQLITE"), L("casse"));
            d.setDatabaseName(f.prive + L("/Aldurix3.DB"));
            QVERIFY(d.open());
            QSqlQuery q(d);
            QVERIFY2(q.exec(L("DROP TABLE Aldurix3")), qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(L("casse"));
    }

private slots:
    void headingAndItsStyles()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        TFPrint rapport(*s);
        QCOMPARE(rapport.windowTitle(), L("Orbelis Comptabilité Checker"));
        QVERIFY(!rapport.isVisible());
        const QTextDocument &d = *enfant<QTextEdit>(&rapport, "RichEdit1")->document();
        QCOMPARE(lignesDe(d), enTete());

        const QTextCharFormat titre = formatA(d, 0);
        QVERIFY(titre.fontWeight() >= QFont::Bold);
        QVERIFY(titre.fontUnderline());
        QVERIFY(!titre.fontItalic());
        QCOMPARE(titre.fontPointSize(), 11.0);
        QCOMPARE(titre.foreground().color(), QColor(0, 0, 255));
        QCOMPARE(d.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

        const int p = positionDe(d, L("Ce document liste"));
        QVERIFY(p > 0);
        const QTextCharFormat presentation = formatA(d, p);
        QVERIFY(presentation.fontItalic());
        QVERIFY(presentation.fontWeight() < QFont::Bold);
        QVERIFY(!presentation.fontUnderline());
        QCOMPARE(presentation.fontPointSize(), 10.0);
        QCOMPARE(presentation.foreground().color(), QColor(255, 0, 0));
        QCOMPARE(d.findBlock(p).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    }

    void actionsNumberedByLevelOriginAndRow()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(0, QString(), 0, L("Liste des patients (PATIENTS)"), 3, L("r1"));
        s->AjouterResultat(0, QString(), 0, L("Liste des patients (PATIENTS)"), 1, L("r2"));
        s->AjouterResultat(0, QString(), 0, L("Comptabilité (CPMAIN)"), 2, L("r3"));
        s->AjouterResultat(0, QString(), 0, L("comptabilité (CPMAIN)"), 1, L("r4"));   // case ignored
        s->AjouterResultat(0, QString(), 0, L("Liste des patients (PATIENTS)"), 1, L("r5"));
        s->AjouterResultat(0, QString(), 0, L("Comptabilité (CPMAIN)"), 1, L("r6"));
        TFPrint rapport(*s);
        const auto doc = construire(rapport);
        QVERIFY(doc);
        QStringList numeros, descriptions;
        for (const QStringList &a : actions(lignesDe(*doc))) {
            numeros << a.first();
            descriptions << a.last();
        }
        QCOMPARE(numeros, QStringList({L("Action n°1"), L("Action n°2"), L("Action n°3"), L("Action n°4"),
                                       L("Action n°5"), L("Action n°6")}));
        QCOMPARE(descriptions, QStringList({L("Description : r4"), L("Description : r6"), L("Description : r2"),
                                            L("Description : r5"), L("Description : r3"), L("Description : r1")}));
        // The body starts after the heading, each action after an empty line.
        const QStringList lignes = lignesDe(*doc);
        QCOMPARE(lignes.mid(0, 5), enTete());
        QCOMPARE(lignes.mid(5, 2), QStringList({QString(), L("Action n°1")}));
    }

    void linesOfOneAction()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        // Patient in the snapshot, date with a time, known physician, text on two lines.
        s->AjouterResultat(1, L("12/25/2023 10:30:00"), 1, L("O1"), 1, L("première\rseconde"));
        // Only a patient number; midnight; a physician missing from the snapshot.
        s->journal.ajouter({.patientId = 5, .date = QDateTime(QDate(2024, 3, 4), QTime(0, 0)), .medecinId = 42,
                            .origine = L("O2"), .niveau = 2, .action = L("b")});
        // Only a name; no date; physician 0; an unknown level.
        s->journal.ajouter({.patientNom = L("Anonyme"), .medecinId = 0, .origine = L("O3"), .niveau = 2, .action = L("c")});
        // Nothing but the level; no origin, no physician; an empty description.
        s->journal.ajouter({.niveau = 3});
        s->journal.ajouter({.origine = L("O5"), .niveau = 7, .action = L("e")});
        TFPrint rapport(*s);
        const auto doc = construire(rapport);
        QVERIFY(doc);
        const QList<QStringList> a = actions(lignesDe(*doc));
        QCOMPARE(a.size(), 5);
        QCOMPARE(a[0], QStringList({L("Action n°1"), L("Identification du patient : DURAND Jean (dossier n°1)"),
                                    L("Consultation du 12/25/2023 10:30:00"), L("Pour le médecin : Claire Martin"),
                                    L("Anomalie rencontrée dans la table : O1"), L("Niveau de gravité : important"),
                                    L("Description : première"), L("seconde")}));
        QCOMPARE(a[1], QStringList({L("Action n°2"), L("Identification du patient :  dossier n°5"),
                                    L("Consultation du 03/04/2024"), L("Pour le médecin : n°42"),
                                    L("Anomalie rencontrée dans la table : O2"),
                                    L("Niveau de gravité : à prendre en compte"), L("Description : b")}));
        QCOMPARE(a[2], QStringList({L("Action n°3"), L("Identification du patient : Anonyme"),
                                    L("Anomalie rencontrée dans la table : O3"),
                                    L("Niveau de gravité : à prendre en compte"), L("Description : c")}));
        QCOMPARE(a[3], QStringList({L("Action n°4"), L("Niveau de gravité : pour information"), L("Description : ")}));
        QCOMPARE(a[4], QStringList({L("Action n°5"), L("Anomalie rencontrée dans la table : O5"), L("Description : e")}));
    }

    void labelsStandOutFromTheirText()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(1, QString(), 1, L("O1"), 1, L("texte"));
        TFPrint rapport(*s);
        const auto doc = construire(rapport);
        QVERIFY(doc);
        const QColor bleu(0, 0, 255), navy(0, 0, 128);

        const int action = positionDe(*doc, L("Action n°1"));
        QVERIFY(action > 0);
        for (int i : {action, action + 9}) {   // the whole line, number included
            const QTextCharFormat c = formatA(*doc, i);
            QVERIFY(c.fontWeight() >= QFont::Bold && c.fontItalic());
            QCOMPARE(c.foreground().color(), bleu);
            QCOMPARE(c.fontPointSize(), 10.0);
        }
        const QString etiquette = L("Identification du patient :");
        const int p = positionDe(*doc, etiquette);
        QVERIFY(p > action);
        const QTextCharFormat debut = formatA(*doc, p), finEtiquette = formatA(*doc, p + int(etiquette.size()) - 1);
        for (const QTextCharFormat &c : {debut, finEtiquette}) {
            QVERIFY(c.fontWeight() >= QFont::Bold && c.fontItalic());
            QCOMPARE(c.foreground().color(), navy);
        }
        const QTextCharFormat texte = formatA(*doc, p + int(etiquette.size()) + 1);
        QVERIFY(texte.fontWeight() < QFont::Bold);
        QVERIFY(!texte.fontItalic());
        QCOMPARE(texte.fontPointSize(), 10.0);
        QCOMPARE(texte.foreground().color(), QApplication::palette().color(QPalette::WindowText));
        QCOMPARE(doc->findBlock(p).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        QCOMPARE(doc->findBlock(p).blockFormat().leftMargin(), 0.0);
    }

    void progressAnimationCyclesEverySixteenRows()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        for (int i = 1; i <= 18; ++i)
            s->AjouterResultat(0, QString(), 0, L("O"), 3, QString::number(i));
        TFPrint rapport(*s);
        bool fenetreFermee = false;
        rapport.choisirImprimante = [&](QPrinter &) {
            fenetreFermee = !rapport.fenetreProgression();
            return false;
        };
        rapport.BitBtn1Click();
        const QStringList &h = rapport.historiqueProgression;
        QCOMPARE(h.size(), 19);
        QCOMPARE(h[0], QString(28, QLatin1Char(' ')) + L("Préparation de l'impression. Veuillez patienter..."));
        const QString base = L("  Préparation de l'impression. Veuillez patienter ");
        auto espaces = [&](int rangee) {
            const QString t = h[rangee];
            if (!t.startsWith(base) || !t.endsWith(QLatin1Char('o')))
                return -1;
            const QString milieu = t.mid(base.size(), t.size() - base.size() - 1);
            return milieu.count(QLatin1Char(' ')) == milieu.size() ? int(milieu.size()) : -1;
        };
        QList<int> vus;
        for (int r = 1; r <= 18; ++r)
            vus << espaces(r);
        QCOMPARE(vus, QList<int>({2, 3, 4, 5, 6, 7, 8, 9, 1, 2, 3, 4, 5, 6, 7, 8, 2, 3}));
        QVERIFY(fenetreFermee);   // closed before the printer is asked for
        QVERIFY(!rapport.fenetreProgression());
        QVERIFY(!ui.progressOpen);   // the main window's progress is not involved
        QVERIFY(ui.mainEnabled);
    }

    void progressWindowOfTheReport()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        QWidget principale;
        principale.show();
        TFPrint rapport(*s, &principale);
        rapport.DemarrerProgression(QString());
        TFProgress *p = rapport.fenetreProgression();
        QVERIFY(p);
        QVERIFY(p->isVisible());
        QVERIFY(p->Barre->isHidden());
        QCOMPARE(p->Panel1->text(), QString(28, QLatin1Char(' ')) + L("Veuillez patienter"));
        QVERIFY(!enfant<QPushButton>(p, "BtInterrompre")->isVisible());   // the report cannot be stopped
        QVERIFY(principale.isEnabled());
        rapport.ArreterProgression();
        QVERIFY(!rapport.fenetreProgression());
        QVERIFY(principale.isEnabled());
    }

    void cancellingThePrinterDialogPrintsNothing()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(1, QString(), 1, L("O1"), 1, L("texte"));
        TFPrint rapport(*s);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(L("annule.pdf"));
        bool vu = false;
        repondreDialogue(pdf, false, &vu);
        rapport.BitBtn1Click();
        QVERIFY(vu);
        QVERIFY(!QFile::exists(pdf));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(lignesDe(*enfant<QTextEdit>(&rapport, "RichEdit1")->document()), enTete());
    }

    void printsEveryLineToAPdfFile()
    {
        if (QStandardPaths::findExecutable(L("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(1, L("12/25/2023 10:30:00"), 1, L("Liste des patients (PATIENTS)"), 1,
                           L("Liste des patients : le champ N_OMON de la table PATIENTS, pour le dossier de Jean Durand "
                             "(n°1) indique X alors qu'il devrait être D000001\rLe programme n'est pas parvenu à "
                             "corriger cette valeur pour la raison suivante : dossier verrouillé"));
        s->AjouterResultat(0, QString(), 42, L("Comptabilité (CPMAIN)"), 2, L("deuxième"));
        s->journal.ajouter({.patientId = 5, .niveau = 3, .action = L("troisième")});
        TFPrint rapport(*s);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(L("rapport.pdf"));
        // What the document held when the dialog came up is what must be on paper.
        QStringList attendu;
        bool vu = false;
        QTimer capture;
        connect(&capture, &QTimer::timeout, this, [&] {
            if (attendu.isEmpty() && qobject_cast<QPrintDialog *>(QApplication::activeModalWidget()))
                attendu = lignesDe(*enfant<QTextEdit>(&rapport, "RichEdit1")->document());
        });
        capture.start(5);
        repondreDialogue(pdf, true, &vu);
        rapport.BitBtn1Click();
        capture.stop();
        QVERIFY(vu);
        QVERIFY(QFile::exists(pdf));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(actions(attendu).size(), 3);
        const QString texte = textePdf(pdf);
        QCOMPARE(lignesManquantes(attendu, texte), QString());
        for (const char *l : {"COMPTE RENDU DE ORBELIS COMPTABILITÉ CHECKER", "Action n°1",
                              "Identification du patient : DURAND Jean (dossier n°1)",
                              "Consultation du 12/25/2023 10:30:00", "Pour le médecin : Claire Martin",
                              "Le programme n'est pas parvenu à corriger cette valeur pour la raison suivante : dossier verrouillé",
                              "Action n°2", "Pour le médecin : n°42", "Niveau de gravité : à prendre en compte",
                              "Action n°3", "Identification du patient : dossier n°5", "Description : troisième"})
            QVERIFY2(simplifie(texte).contains(L(l)), l);

        QProcess info;
        info.start(L("pdfinfo"), {pdf});
        info.waitForFinished(30000);
        QVERIFY(QString::fromUtf8(info.readAllStandardOutput()).contains(L("Compte rendu de Aldurix")));

        // Only the heading is left, and the next print builds the body anew, once.
        QCOMPARE(lignesDe(*enfant<QTextEdit>(&rapport, "RichEdit1")->document()), enTete());
        const auto doc = construire(rapport);
        QVERIFY(doc);
        QCOMPARE(actions(lignesDe(*doc)).size(), 3);
    }

    // Descriptions of every length, some on several lines: wherever the page
    // breaks fall, no action's heading is parted from its lines.
    void actionsAreNotSplitAcrossPages()
    {
        if (QStandardPaths::findExecutable(L("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        const int n = 60;
        for (int i = 1; i <= n; ++i) {
            QStringList lignes;
            for (int l = 0; l <= i % 5; ++l)
                lignes << QString(L("mot ")).repeated((i * 37 + l * 11) % 90);
            lignes.last() += L("fin#%1").arg(i);   // rows are read back by level: the number finds the action again
            s->AjouterResultat(i % 3 ? 1 : 0, QString(), i % 2, L("Table %1").arg(i), 1, lignes.join(QLatin1Char('\r')));
        }
        TFPrint rapport(*s);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(L("rapport.pdf"));
        const QStringList attendu = imprimerPdf(rapport, pdf);
        QVERIFY(ui.messages.isEmpty());
        if (!qEnvironmentVariableIsEmpty("ALDURIX_SHOTS"))   // to look at
            QFile::copy(pdf, qEnvironmentVariable("ALDURIX_SHOTS") + L("/rapport-pages.pdf"));
        const QList<QStringList> actionsAttendues = actions(attendu);
        QCOMPARE(actionsAttendues.size(), n);

        const QStringList pages = pagesPdf(pdf);
        QVERIFY2(pages.size() >= 4, qPrintable(QString::number(pages.size())));
        int pagePrecedente = 1;
        for (const QStringList &a : actionsAttendues) {
            const QString titre = a.first();
            const QString fin = a.last().section(QLatin1Char(' '), -1);
            QVERIFY2(fin.startsWith(L("fin#")), qPrintable(a.last()));
            const QList<int> pagesTitre = pagesAvec(pages, titre, true), pagesFin = pagesAvec(pages, fin);
            QCOMPARE(pagesTitre.size(), 1);
            QCOMPARE(pagesFin.size(), 1);
            QVERIFY2(pagesTitre == pagesFin, qPrintable(titre + L(": page %1, its last line on page %2")
                                                             .arg(pagesTitre.first()).arg(pagesFin.first())));
            // In order, and no page left blank by a break.
            QVERIFY(pagesTitre.first() == pagePrecedente || pagesTitre.first() == pagePrecedente + 1);
            pagePrecedente = pagesTitre.first();
        }
        QCOMPARE(pagePrecedente, int(pages.size()));
        // Only the pages changed: every line of the document is printed, in order.
        QCOMPARE(lignesManquantes(attendu, textePdf(pdf)), QString());
    }

    // An action longer than a page cannot be kept on one: it starts where it
    // falls and runs on, whole, and the actions after it are kept together.
    void actionLongerThanAPageRunsOn()
    {
        if (QStandardPaths::findExecutable(L("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        QStringList longues;
        for (int l = 1; l <= 150; ++l)
            longues << L("ligne %1 sur 150 de la longue description").arg(l) + (l % 3 ? QString() : L(" qui continue").repeated(12));
        // Origins that sort in the order written, as the report lists them.
        s->AjouterResultat(1, QString(), 1, L("O01"), 1, L("première"));
        s->AjouterResultat(1, QString(), 1, L("O02"), 1, longues.join(QLatin1Char('\r')));
        for (int i = 3; i <= 12; ++i)
            s->AjouterResultat(1, QString(), 1, L("O%1").arg(i, 2, 10, QLatin1Char('0')), 1,
                               L("courte\rsur deux lignes fin-%1").arg(i));
        TFPrint rapport(*s);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(L("rapport.pdf"));
        const QStringList attendu = imprimerPdf(rapport, pdf);
        QVERIFY(ui.messages.isEmpty());

        const QStringList pages = pagesPdf(pdf);
        QVERIFY2(pages.size() >= 3, qPrintable(QString::number(pages.size())));
        QCOMPARE(pagesAvec(pages, L("Action n°1"), true), QList<int>{1});
        QCOMPARE(pagesAvec(pages, L("Action n°2"), true), QList<int>{1});   // not pushed to a page of its own
        const QList<int> derniere = pagesAvec(pages, L("ligne 150 sur 150 de la longue description"));
        QCOMPARE(derniere.size(), 1);
        QVERIFY(derniere.first() >= 3);
        // Whole and in one piece, page numbers left out.
        const QString texte = simplifie(textePdf(pdf));
        QVERIFY2(texte.contains(simplifie(L("Description : ") + longues.join(QLatin1Char(' ')))), qPrintable(texte));
        QCOMPARE(lignesManquantes(attendu, texte), QString());
        for (int i = 3; i <= 12; ++i) {
            const QList<int> titre = pagesAvec(pages, L("Action n°%1").arg(i), true);
            QCOMPARE(titre.size(), 1);
            QCOMPARE(pagesAvec(pages, L("fin-%1").arg(i)), titre);
        }
    }

    // The kept file is the printed report: the same lines on the same pages,
    // under the same title, on A4, with no window or box along the way; the
    // journal is only read.
    void keptPdfIsThePrintedReport()
    {
        if (QStandardPaths::findExecutable(L("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        remplirJournal(*s);
        QTemporaryDir dir;
        const QString imprime = dir.filePath(L("imprime.pdf")), garde = dir.filePath(L("garde.pdf"));
        TFPrint rapport(*s);
        imprimerA4(rapport, imprime);
        QVERIFY(QFile::exists(imprime));

        const int rang = s->TableResultats.recNo(), nombre = s->journal.nombre();
        QVERIFY(rang > 0);
        const QStringList progression = ui.progress;
        GuetteurProgression guetteur;
        QString erreur = L("inchangée");
        QVERIFY(enregistrerRapportPdf(*s, garde, &erreur));
        QCOMPARE(erreur, L("inchangée"));
        QCOMPARE(guetteur.vues, 0);
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(ui.progress, progression);
        QCOMPARE(fichiers(dir.path()), QStringList({L("garde.pdf"), L("imprime.pdf")}));

        const QStringList pagesImprimees = pagesPdf(imprime), pagesGardees = pagesPdf(garde);
        QVERIFY2(pagesImprimees.size() >= 3, qPrintable(QString::number(pagesImprimees.size())));
        QCOMPARE(pagesGardees, pagesImprimees);
        const QString texte = textePdf(garde);
        QCOMPARE(texte, textePdf(imprime));
        QVERIFY(texte.contains(L("Pour le médecin : n°42")) && texte.contains(L("quatrième, après une ligne vide")));

        QProcess info;
        info.start(L("pdfinfo"), {garde});
        info.waitForFinished(30000);
        const QString infos = QString::fromUtf8(info.readAllStandardOutput());
        QVERIFY2(infos.contains(L("Compte rendu de Aldurix")), qPrintable(infos));
        QVERIFY2(infos.contains(L("(A4)")), qPrintable(infos));

        // The journal as the end of the run finds it: open, on its row, rows
        // still added in order, then emptied.
        QVERIFY(s->TableResultats.active());
        QVERIFY(!s->TableResultats.editing());
        QCOMPARE(s->TableResultats.recNo(), rang);
        QCOMPARE(s->journal.nombre(), nombre);
        s->AjouterResultat(0, QString(), 0, L("AAA"), 0, L("ajoutée après"));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(s->journal.nombre(), nombre + 1);
        QCOMPARE(s->journal.lignes().front().action.asString(), L("ajoutée après"));
        s->journal.vider();
        QCOMPARE(s->journal.nombre(), 0);
    }

    // Whatever became of the print, before or after it, through the function
    // or on the printing window itself, the kept file reads the same, and the
    // window prints as before; a second file of the same name replaces the first.
    void keptPdfWhateverThePrintDid()
    {
        if (QStandardPaths::findExecutable(L("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        remplirJournal(*s);
        QTemporaryDir dir;
        auto chemin = [&](const char *nom) { return dir.filePath(L(nom)); };

        QVERIFY(enregistrerRapportPdf(*s, chemin("avant.pdf")));
        TFPrint rapport(*s);
        bool vu = false;
        repondreDialogue(chemin("annule.pdf"), false, &vu);
        rapport.BitBtn1Click();
        QVERIFY(vu);
        QVERIFY(!QFile::exists(chemin("annule.pdf")));
        QVERIFY(enregistrerRapportPdf(*s, chemin("apres.pdf")));

        // Kept through the window that printed: it shows nothing and is left
        // with its heading, ready to print the whole report again.
        const QStringList historique = rapport.historiqueProgression;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setOutputFileName(chemin("fenetre.pdf"));
        rapport.imprimerSansDialogue(printer);
        QCOMPARE(rapport.historiqueProgression, historique);
        QVERIFY(!rapport.fenetreProgression());
        QCOMPARE(lignesDe(*enfant<QTextEdit>(&rapport, "RichEdit1")->document()), enTete());
        imprimerA4(rapport, chemin("imprime.pdf"));
        QCOMPARE(rapport.historiqueProgression.size(), historique.size() * 2);
        QVERIFY(ui.messages.isEmpty());

        const QStringList attendues = pagesPdf(chemin("avant.pdf"));
        QVERIFY(attendues.size() >= 3);
        for (const char *nom : {"apres.pdf", "fenetre.pdf", "imprime.pdf"})
            QVERIFY2(pagesPdf(chemin(nom)) == attendues, nom);

        s->AjouterResultat(0, QString(), 0, L("AAA"), 0, L("une de plus"));
        QVERIFY(enregistrerRapportPdf(*s, chemin("avant.pdf")));
        const QStringList remplacees = pagesPdf(chemin("avant.pdf"));
        QVERIFY(remplacees.join(QString()).contains(L("une de plus")));
        QVERIFY(!attendues.join(QString()).contains(L("une de plus")));
        QCOMPARE(fichiers(dir.path()),
                 QStringList({L("apres.pdf"), L("avant.pdf"), L("fenetre.pdf"), L("imprime.pdf")}));
    }

    void keptPdfNotWritten_data()
    {
        QTest::addColumn<QString>("cas");
        QTest::newRow("dossier absent") << L("absent");
        QTest::newRow("dossier qui est un fichier") << L("fichier");
        QTest::newRow("dossier en lecture seule") << L("lectureSeule");
        QTest::newRow("nom d'un dossier") << L("nomDossier");
        QTest::newRow("journal illisible") << L("journal");
    }

    // Nothing under the final name nor beside it, the reason in French, and
    // no box: the caller tells the user.
    void keptPdfNotWritten()
    {
        QFETCH(QString, cas);
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(1, QString(), 1, L("O1"), 1, L("texte"));
        QTemporaryDir dir;
        QString dossier = dir.path(), pdf = dir.filePath(L("rapport.pdf"));
        if (cas == L("absent")) {
            pdf = dir.filePath(L("absent/rapport.pdf"));
        } else if (cas == L("fichier")) {
            QFile fichier(dir.filePath(L("sauvegarde")));
            QVERIFY(fichier.open(QIODevice::WriteOnly));
            pdf = fichier.fileName() + L("/rapport.pdf");
        } else if (cas == L("lectureSeule")) {
            dossier = dir.filePath(L("verrouille"));
            QVERIFY(QDir().mkdir(dossier));
            QVERIFY(QFile::setPermissions(dossier, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            pdf = dossier + L("/rapport.pdf");
            QFile essai(dossier + L("/essai"));
            if (essai.open(QIODevice::WriteOnly)) {
                essai.remove();
                QSKIP("this user writes in a read-only directory (root)");
            }
        } else if (cas == L("nomDossier")) {
            QVERIFY(QDir().mkdir(pdf));
        } else {
            casser(f);
        }
        const QStringList avant = fichiers(dossier);

        QString erreur;
        QVERIFY(!enregistrerRapportPdf(*s, pdf, &erreur));
        const QString debut = L("Le compte rendu n'a pas pu être enregistré dans le fichier ")
                              + QDir::toNativeSeparators(QFileInfo(pdf).absoluteFilePath()) + L(" : ");
        QVERIFY2(erreur.startsWith(debut) && erreur.size() > debut.size() + 3, qPrintable(erreur));
        if (cas == L("journal"))
            QVERIFY2(erreur.contains(L("Aldurix3")), qPrintable(erreur));
        if (cas == L("lectureSeule"))
            QVERIFY2(erreur.endsWith(L("le droit d'écrire dans le dossier ") + QDir::toNativeSeparators(dossier)
                                     + L(" n'est pas accordé")),
                     qPrintable(erreur));
        QVERIFY(!QFileInfo(pdf).isFile());
        QCOMPARE(fichiers(dossier), avant);
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(!enregistrerRapportPdf(*s, pdf));   // without a place for the reason
        QCOMPARE(fichiers(dossier), avant);
        QFile::setPermissions(dossier, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void unreadableJournalPrintsNothing()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(1, QString(), 1, L("O1"), 1, L("texte"));
        casser(f);
        TFPrint rapport(*s);
        bool demande = false;
        rapport.choisirImprimante = [&](QPrinter &) {
            demande = true;
            return false;
        };
        rapport.BitBtn1Click();
        QVERIFY(!demande);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QVERIFY2(ui.messages[0].text.startsWith(L("Le compte rendu n'a pas pu être préparé.\rErreur : ")),
                 qPrintable(ui.messages[0].text));
        QVERIFY2(ui.messages[0].text.contains(L("Aldurix3")), qPrintable(ui.messages[0].text));
        QVERIFY(!rapport.fenetreProgression());
        QCOMPARE(lignesDe(*enfant<QTextEdit>(&rapport, "RichEdit1")->document()), enTete());
    }

    void printerFailureIsReported()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(1, QString(), 1, L("O1"), 1, L("texte"));
        TFPrint rapport(*s);
        const QString pdf = f.root + L("/absent/rapport.pdf");
        rapport.choisirImprimante = [&](QPrinter &printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
        rapport.BitBtn1Click();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(ui.messages[0].text, L("Le compte rendu n'a pas pu être imprimé sur ") + pdf + L("."));
        QCOMPARE(lignesDe(*enfant<QTextEdit>(&rapport, "RichEdit1")->document()), enTete());
    }
};

QTEST_MAIN(PrintResTest)
#include "printres_test.moc"
