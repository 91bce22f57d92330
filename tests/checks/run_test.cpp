#include "support/Fixture.h"
#include "app/Common.h"
#include "checks/CheckRun.h"

#include <QDir>
#include <QTest>

// The frame of the run: the end with or without findings, the review, and an
// orderly stop on a failure no phase guards.
class RunTest : public QObject {
    Q_OBJECT

    static void healthyPatient(PracticeFixture &f, int id, const QString &nom, const QString &prenom)
    {
        f.insert(QStringLiteral("MEDECINS"), {{QStringLiteral("MEDECINS_ID"), id}, {QStringLiteral("MEDECINS_COMPTABLE_ID"), id},
                                               {QStringLiteral("NOM"), QStringLiteral("Dr")}, {QStringLiteral("PRENOM"), QStringLiteral("X")}});
        f.insert(QStringLiteral("PATIENTS"), {{QStringLiteral("PATIENTS_ID"), id}, {QStringLiteral("NOM"), nom}, {QStringLiteral("PRENOM"), prenom},
                                               {QStringLiteral("N_OMON"), CheckRun::numeroAttendu(nom, id)}, {QStringLiteral("MEDECINS_ID"), id}});
    }

    static const QString kRien;
    static const QString kSoldes;

    // The run always asks about small balances first; these tests answer No.
    static QList<ScriptedInteraction::Shown> endQuestions(const ScriptedInteraction &ui)
    {
        QList<ScriptedInteraction::Shown> out;
        for (const auto &q : ui.questions)
            if (q.text != kSoldes)
                out << q;
        return out;
    }

private slots:
    void nothingFoundOffersToClose()
    {
        PracticeFixture f;
        healthyPatient(f, 1, QStringLiteral("Durand"), QStringLiteral("Jean"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.answers = {false, false};
        run.BtValiderClick();
        QCOMPARE(ui.questions.first().text, kSoldes);
        QCOMPARE(endQuestions(ui).size(), 1);
        QCOMPARE(endQuestions(ui)[0].kind, Boite::QuestionInfo);
        QCOMPARE(endQuestions(ui)[0].text, kRien);
        QCOMPARE(ui.viewerShown, 0);
        QVERIFY(ui.mainEnabled);
        QVERIFY(!ui.progressOpen);
        // Yes closes the program, and the work files go with it.
        ui.answers = {false, true};
        QVERIFY_THROWS_EXCEPTION(common::FinProgramme, run.BtValiderClick());
        QVERIFY(QDir(f.prive).entryList({QStringLiteral("Aldurix*")}, QDir::Files).isEmpty());
    }

    void findingsAreReviewedThenTheJournalIsEmptied()
    {
        PracticeFixture f;
        healthyPatient(f, 1, QStringLiteral("Durand"), QStringLiteral("Jean"));
        f.exec(QStringLiteral("UPDATE PATIENTS SET N_OMON='X', PRENOM=NULL"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        int rowsSeen = -1;
        ui.onViewer = [&] { rowsSeen = int(PracticeFixture::journal(*s).size()); };
        ui.answers = {false, false};   // no printing
        run.BtValiderClick();
        QCOMPARE(ui.viewerShown, 1);
        QCOMPARE(rowsSeen, 2);
        QCOMPARE(endQuestions(ui).size(), 1);
        QCOMPARE(endQuestions(ui)[0].kind, Boite::Confirmation);
        QCOMPARE(endQuestions(ui)[0].text, QStringLiteral("Voulez-vous imprimer cette liste ?"));
        QCOMPARE(ui.printed, 0);
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
        // The next start of the program finds nothing of what the run repaired.
        s.reset();
        ScriptedInteraction ui2;
        auto s2 = f.start(ui2);
        QVERIFY(s2);
        CheckRun run2(*s2);
        ui2.answers = {false, false};
        run2.BtValiderClick();
        QCOMPARE(ui2.viewerShown, 0);
        QCOMPARE(endQuestions(ui2).size(), 1);
        QCOMPARE(endQuestions(ui2)[0].text, kRien);
    }

    void runOfFailuresOnlyStillReviewsAndPrints()
    {
        PracticeFixture f;
        healthyPatient(f, 1, QStringLiteral("Durand"), QStringLiteral("Jean"));
        f.exec(QStringLiteral("UPDATE PATIENTS SET N_OMON='X'"));
        f.exec(QStringLiteral("CREATE TRIGGER refus BEFORE UPDATE ON PATIENTS BEGIN SELECT RAISE(ABORT,'lecture seule'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.answers = {false, true};
        run.BtValiderClick();
        QCOMPARE(ui.viewerShown, 1);
        QCOMPARE(ui.printed, 1);
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
    }

    void unguardedFailureEndsTheRunInOrder()
    {
        PracticeFixture f;
        healthyPatient(f, 1, QStringLiteral("Durand"), QStringLiteral("Jean"));
        f.exec(QStringLiteral("UPDATE PATIENTS SET N_OMON='X'"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        // The patients table disappears after the snapshot: the correction of
        // phase 1 fails (journalled), the physicians' search of phase 3 cannot run.
        f.exec(QStringLiteral("DROP TABLE PATIENTS"));
        CheckRun run(*s);
        int rowsSeen = -1;
        ui.onViewer = [&] { rowsSeen = int(PracticeFixture::journal(*s).size()); };
        ui.answers = {false};
        run.BtValiderClick();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QVERIFY2(ui.messages[0].text.endsWith(QStringLiteral("Erreur : no such table: PATIENTS")), qPrintable(ui.messages[0].text));
        QVERIFY(ui.mainEnabled);
        QVERIFY(!ui.progressOpen);
        QCOMPARE(rowsSeen, 1);
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
    }

    void runWithoutDatabaseDoesNotCrash()
    {
        PracticeFixture f;
        f.writeVersion({QStringLiteral("[DBKERNEL]"), QStringLiteral("DBType=0")});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        QVERIFY(!s->baseOuverte);
        CheckRun run(*s);
        run.BtValiderClick();
        QCOMPARE(ui.messages.last().kind, Boite::Erreur);
        QVERIFY(ui.messages.last().text.contains(QStringLiteral("Erreur : ")));
        QVERIFY(ui.mainEnabled);
    }
};

const QString RunTest::kSoldes = QStringLiteral("Souhaitez-vous solder les dettes des tiers payants présentant un solde inférieur à un centime d'Euro ?");
const QString RunTest::kRien = QStringLiteral("Aucun enregistrement erroné n'a été trouvé. Voulez-vous fermer le programme ?");

QTEST_MAIN(RunTest)
#include "run_test.moc"
