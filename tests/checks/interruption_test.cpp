#include "support/Fixture.h"
#include "app/Common.h"
#include "checks/CheckRun.h"
#include "tools/demo/DemoData.h"

#include <QTest>

// "Interrompre" during the run: the run ends at the next record boundary,
// keeps what it did and offers it for review.
class InterruptionTest : public QObject {
    Q_OBJECT

    static QString L(const char *s) { return QString::fromUtf8(s); }

    static const QString kInterrompu;
    static const QString kSoldes;
    static const QString kImprimer;

    static void medecinEtPatient(PracticeFixture &f, int patient, const QString &nomon)
    {
        f.insert(L("MEDECINS"), {{L("MEDECINS_ID"), 1}, {L("MEDECINS_COMPTABLE_ID"), 1}, {L("NOM"), L("Dr")}, {L("PRENOM"), L("X")}});
        f.insert(L("PATIENTS"), {{L("PATIENTS_ID"), patient}, {L("NOM"), L("Durand")}, {L("PRENOM"), L("Jean")},
                                 {L("N_OMON"), nomon}, {L("MEDECINS_ID"), 1}});
    }

    static QStringList actions(const QList<JournalRow> &journal)
    {
        QStringList out;
        for (const JournalRow &r : journal)
            out << r.action;
        return out;
    }

    static int indexDe(const QStringList &textes, const QString &debut)
    {
        for (int i = 0; i < textes.size(); ++i)
            if (textes[i].startsWith(debut))
                return i;
        return -1;
    }

    // What a run on the demo practice stopped in phase 9 left behind.
    struct Issue {
        demo::PlantedFaults fautes;
        QList<JournalRow> revu;   // the journal as the viewer opened
        int viewerShown = 0;
        QList<ScriptedInteraction::Shown> messages, questions;
        QStringList progress;
        bool mainEnabled = false, progressOpen = true;
        int journalApres = -1;
        QList<int> paire, triple, vides;   // the duplicates and empty records still there
    };

    static Issue arreterPendantLesDoublons(const QString &texteDeLaDemande)
    {
        Issue out;
        PracticeFixture f;
        out.fautes = demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        if (!s) {
            QTest::qFail("start-up failed", __FILE__, __LINE__);
            return out;
        }
        ui.interrompreSi = [&](const QString &texte, int) { return texte == texteDeLaDemande; };
        ui.onViewer = [&] { out.revu = PracticeFixture::journal(*s); };
        ui.answers = {false};   // no printing
        CheckRun run(*s);
        run.BtValiderClick();
        out.viewerShown = ui.viewerShown;
        out.messages = ui.messages;
        out.questions = ui.questions;
        out.progress = ui.progress;
        out.mainEnabled = ui.mainEnabled;
        out.progressOpen = ui.progressOpen;
        out.journalApres = int(PracticeFixture::journal(*s).size());
        auto encore = [&f](const QList<int> &ids) {
            QList<int> la;
            for (int id : ids)
                if (f.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE CPMAIN_ID=%1").arg(id)).toInt() == 1)
                    la << id;
            return la;
        };
        out.paire = encore(out.fautes.duplicatePair);
        out.triple = encore(out.fautes.duplicateTriple);
        out.vides = encore(out.fautes.emptyCpmain);
        return out;
    }

    static QString doublonSupprime(int id)
    {
        return L("Enregistrement en double : l'enregistrement n°%1 figure en double dans la comptabilité. Cela génère des "
                 "éditions comptables éronnées. Cet enregistrement a été supprimé.").arg(id);
    }

private slots:
    // Asked while the first group of duplicates is handled: that group is
    // finished, the run stops before the next group and ends in order.
    void stopDuringTheDuplicatesEndsInOrder()
    {
        const Issue r = arreterPendantLesDoublons(L("  Gestion du doublon 1/2)"));
        QCOMPARE(r.fautes.duplicatePair.size(), 2);
        QCOMPARE(r.fautes.duplicateTriple.size(), 3);

        QCOMPARE(r.messages.size(), 1);
        QCOMPARE(r.messages[0].kind, Boite::Information);
        QCOMPARE(r.messages[0].text, kInterrompu);
        // Reviewed, with the print question, then emptied.
        QCOMPARE(r.viewerShown, 1);
        QCOMPARE(r.questions.size(), 1);
        QCOMPARE(r.questions[0].text, kImprimer);
        QCOMPARE(r.journalApres, 0);
        QVERIFY(r.mainEnabled);
        QVERIFY(!r.progressOpen);

        // Nothing after phase 9 ran: its last text is the row it stopped on,
        // the one after the pair's group.
        const int debut = indexDe(r.progress, L("  Recherche des doublons dans la comptabilité..."));
        QVERIFY(debut > 0);
        for (int i = debut; i < r.progress.size(); ++i)
            QVERIFY2(r.progress[i].startsWith(L("  Recherche des doublons dans la comptabilité"))
                         || r.progress[i].startsWith(L("  Gestion du doublon ")),
                     qPrintable(r.progress[i]));
        QCOMPARE(r.progress.at(r.progress.size() - 2), L("  Gestion du doublon 2/2)"));
        QVERIFY2(r.progress.last().startsWith(L("  Recherche des doublons dans la comptabilité (")), qPrintable(r.progress.last()));
        QVERIFY(!r.progress.contains(L("  Gestion du doublon 1/3)")));

        // Done before the stop and kept: phase 5's deletions, the pair's
        // duplicate; the triple, after the stop, is whole.
        QVERIFY(!r.fautes.emptyCpmain.isEmpty());
        QCOMPARE(r.vides, QList<int>());
        QCOMPARE(r.paire, QList<int>({r.fautes.duplicatePair[1]}));
        QCOMPARE(r.triple, r.fautes.duplicateTriple);
        const QStringList revu = actions(r.revu);
        QVERIFY(revu.contains(L("2 enregistrements vides ont été supprimés dans la table de la comptabilité.")));
        QVERIFY(revu.contains(doublonSupprime(r.fautes.duplicatePair[0])));
        QVERIFY(!revu.join(QLatin1Char('\n')).contains(L("Dossier patient inconnu")));
    }

    // Asked in the middle of the triple: both its duplicates go, as at the
    // end of a run, before the stop.
    void requestInsideAGroupWaitsForItsEnd()
    {
        const Issue r = arreterPendantLesDoublons(L("  Gestion du doublon 1/3)"));
        QCOMPARE(r.messages.size(), 1);
        QCOMPARE(r.messages[0].text, kInterrompu);
        QVERIFY(r.progress.contains(L("  Gestion du doublon 3/3)")));
        QCOMPARE(r.triple, QList<int>({r.fautes.duplicateTriple[1]}));
        QCOMPARE(r.paire, QList<int>({r.fautes.duplicatePair[1]}));
        const QStringList revu = actions(r.revu);
        QVERIFY(revu.contains(doublonSupprime(r.fautes.duplicateTriple[0])));
        QVERIFY(revu.contains(doublonSupprime(r.fautes.duplicateTriple[2])));
        QCOMPARE(indexDe(r.progress, L("  Recherche des patients inconnus")), -1);
    }

    // A walk summed up at its end is summed up at the stop: the review says
    // what was corrected before it.
    void stopInAWalkStillSumsItUp()
    {
        PracticeFixture f;
        medecinEtPatient(f, 1, L("X1"));
        for (int id = 2; id <= 5; ++id)
            f.insert(L("PATIENTS"), {{L("PATIENTS_ID"), id}, {L("NOM"), L("Petit")}, {L("PRENOM"), L("Luc")},
                                     {L("N_OMON"), L("X")}, {L("MEDECINS_ID"), 1}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        ui.interrompreSi = [](const QString &texte, int position) {
            return texte == L("  Vérification de la numérotation des dossiers patients...") && position == 3;
        };
        QList<JournalRow> revu;
        ui.onViewer = [&] { revu = PracticeFixture::journal(*s); };
        CheckRun run(*s);
        run.BtValiderClick();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].text, kInterrompu);
        QCOMPARE(f.scalar(L("SELECT count(*) FROM PATIENTS WHERE N_OMON='X' OR N_OMON='X1'")).toInt(), 3);
        QCOMPARE(f.scalar(L("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=1")).toString(), L("D000001"));
        QCOMPARE(actions(revu), QStringList({L("Liste des patients : le champ N_OMON de la table PATIENTS a été corrigé pour "
                                                "2 dossiers.")}));
        QCOMPARE(indexDe(ui.progress, L("  Vérification des prénoms")), -1);
    }

    // Phase 18's question and the corrections it decides go together; the
    // stop comes before phase 19.
    void smallBalancesAreCorrectedBeforeTheStop()
    {
        PracticeFixture f;
        medecinEtPatient(f, 1, L("D000001"));
        f.insert(L("CPMAIN"), {{L("CPMAIN_ID"), 1}, {L("PATIENTS_ID"), 1}, {L("MEDECINS_ID"), 1},
                               {L("MontantTiersPayant1"), 0.005}, {L("RegleTiersPayant1"), 0},
                               {L("MontantTiersPayant2"), 0}, {L("RegleTiersPayant2"), 0}, {L("MONNAIE1"), L("EUR")}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        ui.interrompreSi = [](const QString &texte, int) {
            return texte == L("  Recherche des petits soldes des caisses principales...");
        };
        ui.answers = {true, true, false};
        QList<JournalRow> revu;
        ui.onViewer = [&] { revu = PracticeFixture::journal(*s); };
        CheckRun run(*s);
        run.BtValiderClick();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].text, kInterrompu);
        QCOMPARE(ui.questions.size(), 3);
        QCOMPARE(ui.questions[0].text, kSoldes);
        QCOMPARE(ui.questions[2].text, kImprimer);
        QCOMPARE(f.scalar(L("SELECT MontantTiersPayant1 FROM CPMAIN WHERE CPMAIN_ID=1")).toDouble(), 0.0);
        QCOMPARE(indexDe(ui.progress, L("  Recherche des petits soldes des caisses complémentaires...")) > 0, true);
        QCOMPARE(indexDe(ui.progress, L("  Recherche des soldes créditeurs")), -1);
        QCOMPARE(revu.size(), 1);
        QVERIFY(revu[0].action.contains(L("1 soldes des caisses principales")));
    }

    // A stop asked while a resolution dialog settles a case is not honoured
    // inside it, even where the dialog's work shows progress: the case is
    // finished, the run stops when the phase moves on.
    void requestDuringADialogWaitsForItToClose()
    {
        PracticeFixture f;
        medecinEtPatient(f, 1, L("D000001"));
        for (int id : {4, 9})
            f.insert(L("CPMAIN"), {{L("CPMAIN_ID"), id}, {L("PATIENTS_ID"), id}, {L("MEDECINS_ID"), 1}, {L("MONTANT1"), 10}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        int dialogues = 0;
        bool arreteDedans = false;
        ui.onSelectPatient = [&] {
            ++dialogues;
            ui.interruption = true;
            try {
                s->UpdateProgression(L("Report de toutes les données du patient en cours..."), 3, 1);
                s->DemarrerProgression(L("Vérification des consultations..."), 0, 0, 0, false);
            } catch (const common::Interruption &) {
                arreteDedans = true;
            }
            return int(ResultatOk);
        };
        CheckRun run(*s);
        run.BtValiderClick();
        QVERIFY(!arreteDedans);
        QCOMPARE(dialogues, 1);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].text, kInterrompu);
        QVERIFY(ui.mainEnabled);
        QCOMPARE(indexDe(ui.progress, L("  Recherche des FSE non rattachées")), -1);
    }

    // A request left over from an earlier run (asked after its last
    // boundary) does not stop the next one.
    void requestFromBeforeTheRunIsForgotten()
    {
        PracticeFixture f;
        medecinEtPatient(f, 1, L("D000001"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        ui.interruption = true;
        ui.answers = {false, false};
        CheckRun run(*s);
        run.BtValiderClick();
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(ui.questions.size(), 2);
        QCOMPARE(ui.questions[1].text, L("Aucun enregistrement erroné n'a été trouvé. Voulez-vous fermer le programme ?"));
        QVERIFY(indexDe(ui.progress, L("  Recherche des soldes créditeurs")) > 0);
    }
};

const QString InterruptionTest::kInterrompu = QString::fromUtf8(
    "Le traitement a été interrompu à votre demande. Les corrections déjà effectuées sont conservées ; elles peuvent être "
    "annulées par la restauration de la sauvegarde de ce traitement.");
const QString InterruptionTest::kSoldes = QString::fromUtf8(
    "Souhaitez-vous solder les dettes des tiers payants présentant un solde inférieur à un centime d'Euro ?");
const QString InterruptionTest::kImprimer = QStringLiteral("Voulez-vous imprimer cette liste ?");

QTEST_MAIN(InterruptionTest)
#include "interruption_test.moc"
