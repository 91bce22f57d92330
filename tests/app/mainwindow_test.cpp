#include "support/Fixture.h"
#include "app/Main.h"
#include "app/Progress.h"
#include "dialogs/SelectOrg.h"
#include "dialogs/SelectPat.h"
#include "report/PrintRes.h"
#include "report/ShowRes.h"
#include "tools/demo/DemoData.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTranslator>
#include <QWindow>
#include <functional>

namespace {

QString L(const char *s) { return QString::fromUtf8(s); }

const QString kImprimer = L("Voulez-vous imprimer cette liste ?");
const QString kFermer = L("Aucun enregistrement erroné n'a été trouvé. Voulez-vous fermer le programme ?");

struct BoiteVue {
    QString texte;
    QMessageBox::Icon icone;
    QStringList boutons;   // without their accelerator marks
};

// Plays the user during a whole run: answers each modal window as it comes
// up, from a timer, and writes down what it saw.
class Pilote : public QObject {
public:
    bool imprimer = false;   // answer to the print question
    bool fermer = false;     // answer to the closing question
    QString pdf;             // the file the printer dialog prints to
    QList<BoiteVue> boites;
    QStringList visionneuse;   // the viewer's row after each move
    QString description;       // the viewer's first description
    QStringList rapport;       // the report's lines when the printer was asked for
    QStringList inattendus;
    // Runs when a box comes up, before it is answered.
    std::function<void(QMessageBox *)> avantReponse;

    Pilote()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { tic(); });
        m_timer.start(15);
    }

    int critiques() const
    {
        int n = 0;
        for (const BoiteVue &b : boites)
            n += b.icone == QMessageBox::Critical;
        return n;
    }
    QList<BoiteVue> boitesDe(const QString &texte) const
    {
        QList<BoiteVue> out;
        for (const BoiteVue &b : boites)
            if (b.texte == texte)
                out << b;
        return out;
    }

private:
    void tic()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (m_occupe || !w || !w->isVisible())
            return;
        m_occupe = true;
        if (auto *b = qobject_cast<QMessageBox *>(w))
            repondre(b);
        else if (auto *v = qobject_cast<TFShowRes *>(w))
            parcourir(v);
        else if (auto *d = qobject_cast<QPrintDialog *>(w))
            choisirImprimante(d);
        else {
            inattendus << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->windowTitle();
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
            else
                w->close();
        }
        m_occupe = false;
    }

    void repondre(QMessageBox *b)
    {
        if (avantReponse)
            avantReponse(b);
        BoiteVue vue{b->text(), b->icon(), {}};
        for (QAbstractButton *bouton : b->buttons())
            vue.boutons << bouton->text().remove(QLatin1Char('&'));
        boites << vue;
        QAbstractButton *choix = nullptr;
        if (b->text() == kImprimer)
            choix = b->button(imprimer ? QMessageBox::Yes : QMessageBox::No);
        else if (b->text() == kFermer)
            choix = b->button(fermer ? QMessageBox::Yes : QMessageBox::No);
        else if (b->button(QMessageBox::No))
            choix = b->button(QMessageBox::No);   // later phases' questions: change nothing
        else
            choix = b->button(QMessageBox::Ok);
        if (!choix && !b->buttons().isEmpty())
            choix = b->buttons().first();
        if (choix)
            QTest::mouseClick(choix, Qt::LeftButton);
        else
            b->reject();
    }

    void parcourir(TFShowRes *v)
    {
        auto etat = [v] {
            const QColor c = enfant<QLabel>(v, "LNiveau")->palette().color(QPalette::WindowText);
            return enfant<QLabel>(v, "LCompteur")->text() + QLatin1Char('|') + enfant<QLabel>(v, "LNiveau")->text() + QLatin1Char('|') + c.name()
                   + QLatin1Char('|') + enfant<QLabel>(v, "LPatient")->text();
        };
        description = enfant<QPlainTextEdit>(v, "MemoAction")->toPlainText();
        visionneuse << etat();
        for (int i = 0; i < 3; ++i) {
            QTest::mouseClick(enfant<QPushButton>(v, "BtSuivant"), Qt::LeftButton);
            visionneuse << etat();
        }
        QTest::mouseClick(enfant<QPushButton>(v, "BtPrecedent"), Qt::LeftButton);
        visionneuse << etat();
        QTest::mouseClick(enfant<QPushButton>(v, "BtFermer"), Qt::LeftButton);
    }

    void choisirImprimante(QPrintDialog *d)
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *r = qobject_cast<TFPrint *>(w))
                rapport = enfant<QTextEdit>(r, "RichEdit1")->toPlainText().split(QLatin1Char('\n'));
        auto *imprimantes = d->findChild<QComboBox *>(L("printers"));
        auto *fichier = d->findChild<QLineEdit *>(L("filename"));
        auto *boutons = d->findChild<QDialogButtonBox *>();
        if (pdf.isEmpty() || !imprimantes || !fichier || !boutons) {
            d->reject();
            return;
        }
        imprimantes->setCurrentIndex(imprimantes->findText(L("PDF"), Qt::MatchContains));
        fichier->setText(pdf);
        QTest::mouseClick(boutons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }

    QTimer m_timer;
    bool m_occupe = false;
};

QStringList fichiersDeTravail(const QString &dir)
{
    QStringList out;
    for (const QString &n : QDir(dir).entryList(QDir::Files))
        if (n.startsWith(L("Aldurix"), Qt::CaseInsensitive) || n.startsWith(L("_QSQ"), Qt::CaseInsensitive))
            out << n;
    return out;
}

bool resteUneFenetreDuCompteRendu()
{
    for (QWidget *w : QApplication::allWidgets())
        if (qobject_cast<TFShowRes *>(w) || qobject_cast<TFPrint *>(w))
            return true;
    return false;
}

} // namespace

// The whole check run through the real main window: the button, the phases,
// the viewer, the print question, the printer dialog and the closing question.
class MainWindowTest : public QObject {
    Q_OBJECT

    QTranslator m_francais;

    static void medecin(PracticeFixture &f)
    {
        f.insert(L("MEDECINS"), {{L("MEDECINS_ID"), 1}, {L("MEDECINS_COMPTABLE_ID"), 1}, {L("NOM"), L("Martin")},
                                 {L("PRENOM"), L("Claire")}, {L("SYSTEM_FLAGS"), L("*US")}});
    }
    static void patient(PracticeFixture &f, int id, const QString &nom, const QString &prenom, const QString &nomon)
    {
        f.insert(L("PATIENTS"), {{L("PATIENTS_ID"), id}, {L("NOM"), nom}, {L("PRENOM"), prenom},
                                 {L("N_OMON"), nomon}, {L("MEDECINS_ID"), 1}});
    }

    // Only patient-record faults, one of which the database refuses to repair;
    // no accounting at all, so the other phases have nothing to say.
    static void dossiersFautifs(PracticeFixture &f)
    {
        medecin(f);
        patient(f, 1, L("Durand"), L("Jean"), L("X1"));
        patient(f, 2, L("Petit"), QString(), L("P000002"));
        patient(f, 3, L("Blanc"), L("Luc"), L("B3"));
        f.exec(L("CREATE TRIGGER refus BEFORE UPDATE OF N_OMON ON PATIENTS WHEN NEW.PATIENTS_ID=3 "
                 "BEGIN SELECT RAISE(ABORT,'dossier verrouillé'); END"));
    }

    static void verifierReparations(PracticeFixture &f)
    {
        QCOMPARE(f.scalar(L("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=1")).toString(), L("D000001"));
        QCOMPARE(f.scalar(L("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=3")).toString(), L("B3"));
        QCOMPARE(f.scalar(L("SELECT PRENOM FROM PATIENTS WHERE PATIENTS_ID=2")).toString(), L("Inconnu"));
        QCOMPARE(f.scalar(L("SELECT PRENOM FROM PATIENTS WHERE PATIENTS_ID=3")).toString(), L("Luc"));
    }

    static QStringList ouiNon() { return {L("Oui"), L("Non")}; }

    static void lancer(TFMain &main)
    {
        main.creerDialogues();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QVERIFY(enfant<QPushButton>(&main, "BtValider")->isEnabled());
        QTest::mouseClick(enfant<QPushButton>(&main, "BtValider"), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_francais.load(QLocale(QLocale::French, QLocale::France), L("qtbase"), L("_"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
        QApplication::installTranslator(&m_francais);
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    }

    // A shut-down asks the application loop to end, which in the program ends
    // the process; here the next test carries on, so the loop is let through
    // once, which clears the request (and runs the pending deletions).
    void cleanup()
    {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }

    void findingsReviewedWithoutPrinting()
    {
        PracticeFixture f;
        dossiersFautifs(f);
        Pilote pilote;
        TFMain main;
        lancer(main);

        QCOMPARE(pilote.inattendus, QStringList());
        QCOMPARE(pilote.critiques(), 0);
        QCOMPARE(pilote.visionneuse,
                 QStringList({L("1/3|important|#ff0000|BLANC Luc"), L("2/3|pour information|#008000|"),
                              L("3/3|pour information|#008000|"), L("1/3|important|#ff0000|BLANC Luc"),
                              L("3/3|pour information|#008000|")}));
        QCOMPARE(pilote.description,
                 L("Liste des patients : le champ N_OMON de la table PATIENTS, pour le dossier de Luc Blanc (n°3) "
                   "indique B3 alors qu'il devrait être B000003\nLe programme n'est pas parvenu à corriger cette "
                   "valeur pour la raison suivante : dossier verrouillé"));
        const QList<BoiteVue> question = pilote.boitesDe(kImprimer);
        QCOMPARE(question.size(), 1);
        QCOMPARE(question[0].icone, QMessageBox::Question);
        QCOMPARE(question[0].boutons, ouiNon());
        QVERIFY(pilote.boitesDe(kFermer).isEmpty());
        QVERIFY(pilote.rapport.isEmpty());   // no report without a Yes

        verifierReparations(f);
        QCOMPARE(main.session().TableResultats.recordCount(), 0);
        QVERIFY(!main.fin);
        QVERIFY(main.isVisible());
        QVERIFY(main.isEnabled());
        QVERIFY(enfant<QPushButton>(&main, "BtValider")->isEnabled());
        QVERIFY(!resteUneFenetreDuCompteRendu());
        QVERIFY(!main.progression().ProgressionVisible);
    }

    void findingsPrintedToAPdfFile()
    {
        if (QStandardPaths::findExecutable(L("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed");
        PracticeFixture f;
        dossiersFautifs(f);
        QTemporaryDir sortie;
        Pilote pilote;
        pilote.imprimer = true;
        pilote.pdf = sortie.filePath(L("compte-rendu.pdf"));
        TFMain main;
        lancer(main);

        QCOMPARE(pilote.inattendus, QStringList());
        QCOMPARE(pilote.critiques(), 0);
        QCOMPARE(pilote.visionneuse.size(), 5);
        QCOMPARE(pilote.boitesDe(kImprimer).size(), 1);
        QVERIFY(QFile::exists(pilote.pdf));

        // Blanks as one space, and the font's ligatures as their letters.
        const QString texte = textePdf(pilote.pdf).normalized(QString::NormalizationForm_KC).simplified();

        const QStringList attendues = {
            L("COMPTE RENDU DE ORBELIS COMPTABILITÉ CHECKER"),
            L("Ce document liste les anomalies et corrections effectuées par Orbelis Comptabilité Checker (Aldurix)."),
            L("Action n°1"),
            L("Identification du patient : BLANC Luc (dossier n°3)"),
            L("Anomalie rencontrée dans la table : Liste des patients (PATIENTS)"),
            L("Niveau de gravité : important"),
            L("Description : Liste des patients : le champ N_OMON de la table PATIENTS, pour le dossier de Luc Blanc "
              "(n°3) indique B3 alors qu'il devrait être B000003"),
            L("Le programme n'est pas parvenu à corriger cette valeur pour la raison suivante : dossier verrouillé"),
            L("Action n°2"),
            L("Niveau de gravité : pour information"),
            L("Description : Liste des patients : le champ N_OMON de la table PATIENTS a été corrigé pour 1 dossiers."),
            L("Action n°3"),
            L("Description : Liste des patients : le champ PRENOM de la table PATIENTS a été corrigé pour 1 dossiers "
              "en y inscrivant la valeur 'Inconnu'."),
        };
        int depuis = 0;
        for (const QString &l : attendues) {
            const int i = texte.indexOf(l, depuis);
            QVERIFY2(i >= 0, qPrintable(L("absent or out of order: ") + l));
            depuis = i + int(l.size());
        }
        // Every line of the document, as it stood when the printer was chosen, is on paper, in order.
        QVERIFY(pilote.rapport.size() > 20);
        depuis = 0;
        for (const QString &l : pilote.rapport) {
            const QString cherche = l.normalized(QString::NormalizationForm_KC).simplified();
            if (cherche.isEmpty())
                continue;
            const int i = texte.indexOf(cherche, depuis);
            QVERIFY2(i >= 0, qPrintable(L("absent or out of order: ") + cherche));
            depuis = i + int(cherche.size());
        }
        // The summaries are dated with the time they were written, month first.
        const QRegularExpression date(L("Consultation du \\d\\d/\\d\\d/\\d{4}"));
        int dates = 0;
        for (auto it = date.globalMatch(texte); it.hasNext(); it.next())
            ++dates;
        QCOMPARE(dates, 3);

        verifierReparations(f);
        QCOMPARE(main.session().TableResultats.recordCount(), 0);
        QVERIFY(main.isEnabled());
        QVERIFY(!main.fin);
        QVERIFY(!resteUneFenetreDuCompteRendu());
    }

    void healthyPracticeClosesOnYes()
    {
        PracticeFixture f;
        medecin(f);
        patient(f, 1, L("Durand"), L("Jean"), L("D000001"));
        Pilote pilote;
        pilote.fermer = true;
        TFMain main;
        QCOMPARE(fichiersDeTravail(f.prive).size(), 5);
        lancer(main);

        QCOMPARE(pilote.inattendus, QStringList());
        QCOMPARE(pilote.critiques(), 0);
        QVERIFY(pilote.visionneuse.isEmpty());
        const QList<BoiteVue> question = pilote.boitesDe(kFermer);
        QCOMPARE(question.size(), 1);
        QCOMPARE(question[0].icone, QMessageBox::Information);
        QCOMPARE(question[0].boutons, ouiNon());
        QCOMPARE(pilote.boites.last().texte, kFermer);
        QVERIFY(pilote.boitesDe(kImprimer).isEmpty());
        QVERIFY(main.fin.has_value());
        QCOMPARE(*main.fin, 0);
        QVERIFY(!main.isVisible());
        QCOMPARE(fichiersDeTravail(f.prive), QStringList());
        QCOMPARE(f.scalar(L("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=1")).toString(), L("D000001"));
    }

    // A shut-down that fails on the way (a work file that cannot be
    // removed) is shown as an error, and the program ends all the same.
    void failedShutDownOnYesIsShownAndEnds()
    {
        PracticeFixture f;
        medecin(f);
        patient(f, 1, L("Durand"), L("Jean"), L("D000001"));
        Pilote pilote;
        pilote.fermer = true;
        pilote.avantReponse = [&](QMessageBox *b) {
            if (b->text() == kFermer)
                QDir(f.prive).mkpath(L("Aldurix3.DB-wal/bloque"));
        };
        TFMain main;
        lancer(main);

        QCOMPARE(pilote.inattendus, QStringList());
        QCOMPARE(pilote.critiques(), 1);
        QCOMPARE(pilote.boites.last().icone, QMessageBox::Critical);
        QVERIFY2(pilote.boites.last().texte.contains(L("Aldurix3.DB-wal")), qPrintable(pilote.boites.last().texte));
        QVERIFY(main.fin.has_value());
        QCOMPARE(*main.fin, 1);
        QVERIFY(!main.isVisible());
    }

    void failedShutDownAfterAFailedStartUpIsShownAndEnds()
    {
        PracticeFixture f;
        f.exec(L("DROP TABLE CPORG"));
        QVERIFY(QDir(f.prive).mkpath(L("Aldurix1.DB-wal/bloque")));
        Pilote pilote;
        std::optional<int> code;
        try {
            TFMain main;
        } catch (const common::FinProgramme &fin) {
            code = fin.code;
        }
        QCOMPARE(pilote.inattendus, QStringList());
        QCOMPARE(code, std::optional<int>(1));
        QCOMPARE(pilote.boites.size(), 2);
        QVERIFY(pilote.boites[0].texte.startsWith(L("Erreur à l'ouverture du programme.")));
        QCOMPARE(pilote.boites[1].icone, QMessageBox::Critical);
        QVERIFY2(pilote.boites[1].texte.contains(L("Aldurix1.DB-wal")), qPrintable(pilote.boites[1].texte));
    }

    // The window manager's close (Alt+F4, a close button it adds) is the
    // "Fermer" button, and is refused while a run goes on.
    void closingTheWindowShutsDownUnlessARunIsUnderWay()
    {
        PracticeFixture f;
        medecin(f);
        patient(f, 1, L("Durand"), L("Jean"), L("D000001"));
        Pilote pilote;
        TFMain main;
        QStringList pendantLeTraitement;
        pilote.avantReponse = [&](QMessageBox *b) {
            if (b->text() != kFermer)
                return;
            pendantLeTraitement << QString::number(main.close()) << QString::number(main.isVisible())
                                << QString::number(main.fin.has_value())
                                << QString::number(fichiersDeTravail(f.prive).size());
        };
        lancer(main);
        QCOMPARE(pendantLeTraitement, QStringList({L("0"), L("1"), L("0"), L("5")}));
        QVERIFY(!main.fin);

        QVERIFY(main.close());
        QVERIFY(main.fin.has_value());
        QCOMPARE(*main.fin, 0);
        QCOMPARE(fichiersDeTravail(f.prive), QStringList());
        QCOMPARE(pilote.critiques(), 0);
    }

    // The progress window stays above the main window and under every box
    // the program shows while it is open; no window of the program asks for
    // minimise, maximise or close buttons.
    void progressWindowStaysUnderTheBoxes()
    {
        PracticeFixture f;
        medecin(f);
        Pilote pilote;
        TFMain main;
        main.creerDialogues();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        Interaction &ui = main.session().ui;
        ui.DemarrerProgression(L("Correction des petits soldes des caisses principales..."), 10, 1, 0, true);
        TFProgress *p = main.progression().fenetre();
        QVERIFY(p && p->isVisible());
        QVERIFY(!main.isEnabled());
        QVERIFY(p->isEnabled());   // its text is not greyed with its disabled owner
        QVERIFY(!enfant<QPushButton>(p, "BtInterrompre")->isVisible());   // no run to stop
        QVERIFY(!(p->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(p->windowHandle());
        QCOMPARE(p->windowHandle()->transientParent(), main.windowHandle());

        QWindow *proprietaire = nullptr;
        pilote.avantReponse = [&](QMessageBox *b) { proprietaire = b->windowHandle()->transientParent(); };
        QVERIFY(!ui.question(Boite::QuestionAvert, L("Nous vous conseillons de cliquer sur \"Oui\".")));
        QCOMPARE(proprietaire, p->windowHandle());
        ui.message(Boite::Information, L("pour information"));
        QCOMPARE(proprietaire, p->windowHandle());

        QVERIFY(!p->close());   // the work goes on
        QVERIFY(p->isVisible());

        for (QWidget *w : std::initializer_list<QWidget *>{&main, p, main.selectPatient(), main.selectOrganisme()}) {
            const Qt::WindowFlags flags = w->windowFlags();
            QVERIFY2((flags & Qt::CustomizeWindowHint) && (flags & Qt::WindowTitleHint), qPrintable(w->objectName()));
            QVERIFY2(!(flags & (Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)),
                     qPrintable(w->objectName()));
        }
        ui.ArreterProgression(true);
        QVERIFY(!main.progression().fenetre());
        QVERIFY(main.isEnabled());
        // With no progress window, a box belongs to the window in front.
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        ui.message(Boite::Information, L("pour information"));
        QCOMPARE(proprietaire, main.windowHandle());
    }

    // "Interrompre" on the run's progress window, clicked while phase 9
    // walks its rows: the run ends in order with the information box.
    void interruptButtonEndsTheRunInOrder()
    {
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        Pilote pilote;
        TFMain main;
        QStringList vusAvecLeBouton;   // progress texts shown while the button was offered
        QString libelle;
        QSize taille;
        bool clique = false, actifApresClic = true;
        QTimer guetteur;
        connect(&guetteur, &QTimer::timeout, &main, [&] {
            TFProgress *p = main.progression().fenetre();
            if (clique || !p || !p->isVisible())
                return;
            auto *bouton = enfant<QPushButton>(p, "BtInterrompre");
            if (!bouton->isVisible() || !bouton->isEnabled())
                return;
            vusAvecLeBouton << p->Panel1->text();
            if (!p->Panel1->text().startsWith(L("  Recherche des doublons dans la comptabilité (")))
                return;
            libelle = bouton->text();
            taille = p->size();
            QTest::mouseClick(bouton, Qt::LeftButton);
            clique = true;
            actifApresClic = bouton->isEnabled();
        });
        guetteur.start(0);
        lancer(main);
        guetteur.stop();

        QVERIFY(clique);
        QCOMPARE(libelle, L("Interrompre"));
        QCOMPARE(taille, QSize(506, 65));
        QVERIFY(!actifApresClic);   // asked once
        QVERIFY(vusAvecLeBouton.first().startsWith(L("  Vérification de la numérotation")));
        QCOMPARE(pilote.inattendus, QStringList());
        const QString interrompu = L("Le traitement a été interrompu à votre demande. Les corrections déjà effectuées sont "
                                     "conservées ; elles peuvent être annulées par la restauration de la sauvegarde de ce "
                                     "traitement.");
        QCOMPARE(pilote.boitesDe(interrompu).size(), 1);
        QCOMPARE(pilote.boitesDe(interrompu)[0].icone, QMessageBox::Information);
        QCOMPARE(pilote.boitesDe(interrompu)[0].boutons, QStringList({L("OK")}));
        // Then the review, the print question, and nothing of phase 10 on.
        QVERIFY(!pilote.visionneuse.isEmpty());
        QCOMPARE(pilote.boitesDe(kImprimer).size(), 1);
        QCOMPARE(pilote.boites.size(), 2);
        for (const QString &t : main.progression().historique)
            QVERIFY2(!t.contains(L("patients inconnus")), qPrintable(t));
        QCOMPARE(main.session().TableResultats.recordCount(), 0);
        QVERIFY(!main.fin);
        QVERIFY(main.isEnabled());
        QVERIFY(!main.progression().ProgressionVisible);
        QVERIFY(enfant<QPushButton>(&main, "BtValider")->isEnabled());
    }

    void healthyPracticeStaysOpenOnNo()
    {
        PracticeFixture f;
        medecin(f);
        patient(f, 1, L("Durand"), L("Jean"), L("D000001"));
        Pilote pilote;
        TFMain main;
        lancer(main);

        QCOMPARE(pilote.inattendus, QStringList());
        QCOMPARE(pilote.boitesDe(kFermer).size(), 1);
        QVERIFY(!main.fin);
        QVERIFY(main.isVisible());
        QVERIFY(main.isEnabled());
        QVERIFY(enfant<QPushButton>(&main, "BtValider")->isEnabled());
        QVERIFY(enfant<QPushButton>(&main, "BtFermer")->isEnabled());
        QCOMPARE(main.session().TableResultats.recordCount(), 0);
        QCOMPARE(fichiersDeTravail(f.prive).size(), 5);   // the work tables stay for the next run

        // The window is idle: the button runs the check again.
        QTest::mouseClick(enfant<QPushButton>(&main, "BtValider"), Qt::LeftButton);
        QCOMPARE(pilote.boitesDe(kFermer).size(), 2);
        QVERIFY(!main.fin);
        QVERIFY(main.isEnabled());
        QCOMPARE(pilote.critiques(), 0);
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
