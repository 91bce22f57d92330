#include "support/Fixture.h"
#include "report/ShowRes.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

// The results viewer on a real journal written by the session's own services.
class ShowResTest : public QObject {
    Q_OBJECT

    static QString L(const char *s) { return QString::fromUtf8(s); }

    // A practice with one patient and one physician in the snapshots.
    static std::unique_ptr<Session> demarrer(PracticeFixture &f, ScriptedInteraction &ui)
    {
        f.insert(L("MEDECINS"), {{L("MEDECINS_ID"), 1}, {L("MEDECINS_COMPTABLE_ID"), 1}, {L("NOM"), L("Martin")},
                                 {L("PRENOM"), L("Claire")}});
        f.insert(L("PATIENTS"), {{L("PATIENTS_ID"), 1}, {L("NOM"), L("Durand")}, {L("PRENOM"), L("Jean")},
                                 {L("N_OMON"), L("D000001")}, {L("MEDECINS_ID"), 1}});
        return f.start(ui);
    }

    static QColor couleur(QLabel *l) { return l->palette().color(QPalette::WindowText); }

    // What the viewer shows of its current row, in one line.
    static QString etat(TFShowRes &v)
    {
        return enfant<QLabel>(&v, "LCompteur")->text() + QLatin1Char('|') + enfant<QLabel>(&v, "LNiveau")->text() + QLatin1Char('|') + enfant<QLabel>(&v, "LTable")->text();
    }

    // Runs the action once the widget is the modal one, as a user would answer it.
    static void quandModal(QWidget *w, std::function<void()> action)
    {
        auto *t = new QTimer(w);
        QObject::connect(t, &QTimer::timeout, w, [t, w, action] {
            if (QApplication::activeModalWidget() != w)
                return;
            t->stop();
            t->deleteLater();
            action();
        });
        t->start(10);
    }

    // The columns of a widget's picture where something other than its
    // background is drawn: first and last, or {-1, -1} when blank.
    static QPair<int, int> encre(QWidget *w)
    {
        const QImage image = w->grab().toImage();
        const QRgb fond = image.pixel(image.width() - 1, 0);
        int premiere = -1, derniere = -1;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixel(x, y) != fond) {
                    if (premiere < 0)
                        premiere = x;
                    derniere = x;
                    break;
                }
        return {premiere, derniere};
    }

    static void montrer(TFShowRes &v)
    {
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
    }

private slots:
    void browsingWrapsAroundBothWays()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(0, QString(), 0, L("B"), 3, L("trois"));
        s->AjouterResultat(0, QString(), 0, L("C"), 1, L("un"));
        s->AjouterResultat(0, QString(), 0, L("A"), 2, L("deux"));
        TFShowRes v(*s);
        montrer(v);
        QCOMPARE(etat(v), L("1/3|important|C"));
        QVERIFY(enfant<QPushButton>(&v, "BtPrecedent")->isEnabled());
        QVERIFY(enfant<QPushButton>(&v, "BtSuivant")->isEnabled());
        QCOMPARE(v.focusWidget(), enfant<QPushButton>(&v, "BtSuivant"));
        QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);
        QCOMPARE(etat(v), L("2/3|à prendre en compte|A"));
        QCOMPARE(couleur(enfant<QLabel>(&v, "LNiveau")), QColor(255, 0, 255));
        QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);
        QCOMPARE(etat(v), L("3/3|pour information|B"));
        QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);
        QCOMPARE(etat(v), L("1/3|important|C"));
        QTest::mouseClick(enfant<QPushButton>(&v, "BtPrecedent"), Qt::LeftButton);
        QCOMPARE(etat(v), L("3/3|pour information|B"));
        QTest::mouseClick(enfant<QPushButton>(&v, "BtPrecedent"), Qt::LeftButton);
        QCOMPARE(etat(v), L("2/3|à prendre en compte|A"));
        QCOMPARE(enfant<QPlainTextEdit>(&v, "MemoAction")->toPlainText(), L("deux"));
    }

    void oneRowLeavesOnlyClosing()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(1, QString(), 1, L("Liste des patients (PATIENTS)"), 3, L("seule"));
        TFShowRes v(*s);
        QString compteur, apresSuivant;
        bool precedent = true, suivant = true;
        QWidget *focus = nullptr;
        quandModal(&v, [&] {
            compteur = enfant<QLabel>(&v, "LCompteur")->text();
            precedent = enfant<QPushButton>(&v, "BtPrecedent")->isEnabled();
            suivant = enfant<QPushButton>(&v, "BtSuivant")->isEnabled();
            focus = v.focusWidget();
            QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);   // disabled: nothing moves
            apresSuivant = enfant<QLabel>(&v, "LCompteur")->text();
            QTest::mouseClick(enfant<QPushButton>(&v, "BtFermer"), Qt::LeftButton);
        });
        QCOMPARE(v.exec(), int(QDialog::Accepted));
        QCOMPARE(compteur, L("1/1"));
        QVERIFY(!precedent);
        QVERIFY(!suivant);
        QCOMPARE(focus, enfant<QPushButton>(&v, "BtFermer"));
        QCOMPARE(apresSuivant, L("1/1"));
        QVERIFY(!v.isVisible());
    }

    void valuesOfTheCurrentRow()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        // The run's short date format reads month first.
        s->AjouterResultat(1, L("12/25/2023 10:30:00"), 1, L("O1"), 1, L("première\rseconde"));
        s->AjouterResultat(0, L("03/04/2024"), 0, L("O2"), 1, L("médecin 0"));
        s->AjouterResultat(7, L("03/04/2024"), 42, L("O3"), 1, L("médecin absent"));
        s->journal.ajouter({.origine = L("O4"), .niveau = 3, .action = L("vert")});
        s->journal.ajouter({.origine = L("O5"), .niveau = 7, .action = L("sans niveau")});
        TFShowRes v(*s);
        montrer(v);
        QCOMPARE(enfant<QLabel>(&v, "LPatient")->text(), L("DURAND Jean"));
        QCOMPARE(enfant<QLabel>(&v, "LDateConsultation")->text(), L("12/25/2023 10:30:00"));
        QCOMPARE(enfant<QLabel>(&v, "LMedecin")->text(), L("Claire Martin"));
        QCOMPARE(enfant<QLabel>(&v, "LTable")->text(), L("O1"));
        QCOMPARE(enfant<QPlainTextEdit>(&v, "MemoAction")->toPlainText(), L("première\nseconde"));
        QCOMPARE(enfant<QPlainTextEdit>(&v, "MemoAction")->document()->blockCount(), 2);
        QCOMPARE(couleur(enfant<QLabel>(&v, "LNiveau")), QColor(255, 0, 0));

        QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);
        QCOMPARE(enfant<QLabel>(&v, "LMedecin")->text(), QString());        // physician 0
        QCOMPARE(enfant<QLabel>(&v, "LPatient")->text(), QString());
        QCOMPARE(enfant<QLabel>(&v, "LDateConsultation")->text(), L("03/04/2024"));   // midnight: no time
        QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);
        QCOMPARE(enfant<QLabel>(&v, "LMedecin")->text(), QString());        // not in the snapshot
        QCOMPARE(enfant<QLabel>(&v, "LPatient")->text(), L("Dossier n°7 inconnu dans la base."));

        QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);
        QCOMPARE(enfant<QLabel>(&v, "LNiveau")->text(), L("pour information"));
        QCOMPARE(couleur(enfant<QLabel>(&v, "LNiveau")), QColor(0, 128, 0));
        QCOMPARE(enfant<QLabel>(&v, "LDateConsultation")->text(), QString());   // written without a date
        QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);
        QCOMPARE(enfant<QLabel>(&v, "LTable")->text(), L("O5"));
        QCOMPARE(enfant<QLabel>(&v, "LNiveau")->text(), QString());
        QCOMPARE(couleur(enfant<QLabel>(&v, "LNiveau")), QColor(0, 128, 0));   // an unknown level keeps the colour
        QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);   // back to the first row, level 1
        QCOMPARE(enfant<QLabel>(&v, "LNiveau")->text(), L("important"));
        QCOMPARE(couleur(enfant<QLabel>(&v, "LNiveau")), QColor(255, 0, 0));
        QCOMPARE(enfant<QLabel>(&v, "LMedecin")->text(), L("Claire Martin"));
    }

    // Level, then origin without regard to case (as the journal's own index
    // and the report order them), then order of writing.
    void rowsComeInTheJournalOrder()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(0, QString(), 0, L("Zeta"), 2, L("z"));
        s->AjouterResultat(0, QString(), 0, L("alpha"), 2, L("a1"));
        s->AjouterResultat(0, QString(), 0, L("Comptabilité (CPMAIN)"), 3, L("c"));
        s->AjouterResultat(0, QString(), 0, L("alpha"), 2, L("a2"));
        s->AjouterResultat(0, QString(), 0, L("Zeta"), 1, L("z1"));
        TFShowRes v(*s);
        montrer(v);
        QStringList vus;
        for (int i = 0; i < 5; ++i) {
            vus << enfant<QPlainTextEdit>(&v, "MemoAction")->toPlainText();
            QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);
        }
        QCOMPARE(vus, QStringList({L("z1"), L("a1"), L("a2"), L("z"), L("c")}));
        QStringList index;
        for (const JournalRow &r : PracticeFixture::journal(*s))
            index << r.action;
        QCOMPARE(vus, index);
    }

    void eachShowingReadsTheJournalAfresh()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(0, QString(), 0, L("O"), 3, L("premier"));
        TFShowRes v(*s);
        montrer(v);
        QCOMPARE(enfant<QLabel>(&v, "LCompteur")->text(), L("1/1"));
        v.BtFermerClick();
        s->AjouterResultat(0, QString(), 0, L("O"), 1, L("nouveau"));
        montrer(v);
        QCOMPARE(enfant<QLabel>(&v, "LCompteur")->text(), L("1/2"));
        QCOMPARE(enfant<QPlainTextEdit>(&v, "MemoAction")->toPlainText(), L("nouveau"));
        QVERIFY(enfant<QPushButton>(&v, "BtSuivant")->isEnabled());
        v.BtFermerClick();
        // The journal emptied between two runs, then written again.
        s->journal.vider();
        s->AjouterResultat(0, QString(), 0, L("O"), 2, L("second run"));
        montrer(v);
        QCOMPARE(enfant<QLabel>(&v, "LCompteur")->text(), L("1/1"));
        QCOMPARE(enfant<QPlainTextEdit>(&v, "MemoAction")->toPlainText(), L("second run"));
        QVERIFY(!enfant<QPushButton>(&v, "BtSuivant")->isEnabled());
    }

    void unreadableJournalIsReportedAndLeavesAnEmptyViewer()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(0, QString(), 0, L("O"), 3, L("x"));
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(L("QSQLITE"), L("casse"));
            d.setDatabaseName(f.prive + L("/Aldurix3.DB"));
            QVERIFY(d.open());
            QSqlQuery q(d);
            QVERIFY2(q.exec(L("DROP TABLE Aldurix3")), qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(L("casse"));
        TFShowRes v(*s);
        montrer(v);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(ui.messages[0].text, L("Impossible de lire la table des résultats.\rErreur : no such table: Aldurix3"));
        QCOMPARE(enfant<QLabel>(&v, "LCompteur")->text(), L("0/0"));
        QVERIFY(!enfant<QPushButton>(&v, "BtSuivant")->isEnabled());
        QVERIFY(!enfant<QPushButton>(&v, "BtPrecedent")->isEnabled());
        QCOMPARE(v.focusWidget(), enfant<QPushButton>(&v, "BtFermer"));
        v.BtSuivantClick();   // not reachable by a click, and harmless anyway
        v.BtPrecedentClick();
        QCOMPARE(enfant<QLabel>(&v, "LCompteur")->text(), L("0/0"));
    }

    // A value longer than its line is cut short with its whole text in the
    // tooltip; the next row's short values show whole, with no stale tooltip.
    void longValuesStayReadable()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        const QString nom = L("DE LA TOUR-D'AUVERGNE-MONTMORENCY Marie-Françoise Éléonore Gwendoline");
        const QString table = L("Liste des médecins/utilisateurs (MEDECINS)");
        s->journal.ajouter({.patientNom = nom, .date = QDateTime(QDate(2024, 3, 4), QTime(14, 50)), .medecinId = 1,
                            .origine = table, .niveau = 1, .action = L("long")});
        s->journal.ajouter({.patientNom = L("Dupont"), .origine = L("O2"), .niveau = 2, .action = L("court")});
        TFShowRes v(*s);
        montrer(v);
        QLabel *patient = enfant<QLabel>(&v, "LPatient");
        QLabel *lTable = enfant<QLabel>(&v, "LTable");
        const QList<QLabel *> valeurs = {patient, enfant<QLabel>(&v, "LDateConsultation"), enfant<QLabel>(&v, "LMedecin"),
                                         lTable, enfant<QLabel>(&v, "LNiveau")};

        if (!qEnvironmentVariableIsEmpty("ALDURIX_SHOTS")) {
            QDir().mkpath(qEnvironmentVariable("ALDURIX_SHOTS"));
            v.grab().save(qEnvironmentVariable("ALDURIX_SHOTS") + L("/viewer-long.png"));
        }

        QCOMPARE(patient->text(), nom);
        QCOMPARE(lTable->text(), table);
        for (QLabel *l : {patient, lTable}) {
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) > l->contentsRect().width(),
                     "the case needs a value longer than its line");
            QCOMPARE(l->toolTip(), l->text());
            // Drawn inside the label and so inside the window, stopping short of
            // the edge instead of running into it mid-letter.
            QVERIFY(v.rect().contains(l->geometry()));
            const auto [debut, fin] = encre(l);
            QVERIFY(debut >= 0);
            QVERIFY2(fin < l->width() - 1, qPrintable(l->objectName()));
            QVERIFY2(fin > l->width() / 2, qPrintable(l->objectName()));
        }
        for (QLabel *l : {enfant<QLabel>(&v, "LDateConsultation"), enfant<QLabel>(&v, "LMedecin"),
                          enfant<QLabel>(&v, "LNiveau")})
            QVERIFY2(l->toolTip().isEmpty(), qPrintable(l->objectName()));

        QTest::mouseClick(enfant<QPushButton>(&v, "BtSuivant"), Qt::LeftButton);
        QCOMPARE(patient->text(), L("Dupont"));
        QCOMPARE(lTable->text(), L("O2"));
        for (QLabel *l : valeurs) {
            QVERIFY2(l->toolTip().isEmpty(), qPrintable(l->objectName()));
            QVERIFY(v.rect().contains(l->geometry()));
        }
        // A short value is drawn whole: as wide as its text.
        const auto [debut, fin] = encre(patient);
        QVERIFY(debut >= 0);
        QVERIFY(qAbs(fin + 1 - patient->fontMetrics().horizontalAdvance(L("Dupont"))) <= 2);
    }

    void windowLayout()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = demarrer(f, ui);
        QVERIFY(s);
        s->AjouterResultat(0, QString(), 0, L("O"), 3, L("x"));
        TFShowRes v(*s);
        // What the viewer reads: the journal, in the private directory.
        QCOMPARE(s->TableResultats.databaseName(), s->CheminPrive);
        montrer(v);
        QCOMPARE(v.windowTitle(), L("Résultat du traitement"));
        QCOMPARE(v.size(), QSize(486, 424));
        QCOMPARE(enfant<QPushButton>(&v, "BtPrecedent")->text(), L("<<   &Précédent"));
        QCOMPARE(enfant<QPushButton>(&v, "BtSuivant")->text(), L("&Suivant   >>"));
        QCOMPARE(enfant<QPushButton>(&v, "BtFermer")->text(), L("&Fermer"));
        QCOMPARE(enfant<QPlainTextEdit>(&v, "MemoAction")->size(), QSize(457, 169));
        QVERIFY(enfant<QPlainTextEdit>(&v, "MemoAction")->isReadOnly());
        QLabel *bandeau = v.findChild<QLabel *>(L("Panel1"));
        QVERIFY(bandeau);
        QCOMPARE(bandeau->text(), L("Visualisation des résultats du traitement"));
        QCOMPARE(bandeau->height(), 41);
        // Every value sits inside the window, on its caption's line and right of it.
        const QList<QPair<QString, QLabel *>> lignes = {{L("Patient :"), enfant<QLabel>(&v, "LPatient")},
                                                        {L("Date de consultation :"), enfant<QLabel>(&v, "LDateConsultation")},
                                                        {L("Médecin destinataire des actes :"), enfant<QLabel>(&v, "LMedecin")},
                                                        {L("Nom de la table contenant l'erreur :"), enfant<QLabel>(&v, "LTable")},
                                                        {L("Niveau de gravité de l'erreur :"), enfant<QLabel>(&v, "LNiveau")}};
        for (const auto &[legende, valeur] : lignes) {
            QLabel *l = nullptr;
            for (QLabel *c : v.findChildren<QLabel *>())
                if (c->text() == legende)
                    l = c;
            QVERIFY2(l, qPrintable(legende));
            QCOMPARE(couleur(l), QColor(0, 0, 128));
            QCOMPARE(valeur->y(), l->y());
            QVERIFY(valeur->x() > l->geometry().right());
            QVERIFY(l->fontMetrics().horizontalAdvance(legende) <= l->width());
            QVERIFY(v.rect().contains(valeur->geometry()));
        }
    }
};

QTEST_MAIN(ShowResTest)
#include "showres_test.moc"
