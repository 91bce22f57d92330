#include "support/Fixture.h"
#include "checks/CheckRun.h"
#include "db/DbError.h"

#include <QTest>

// Phases 5 to 8: empty accounting records, empty tiers-payant statements,
// settlement lines of missing statements, references to missing care sheets.
class VidesTest : public QObject {
    Q_OBJECT

    static QString L(const char *s) { return QString::fromUtf8(s); }

    void recette(PracticeFixture &f, int id, QVariantMap autres = {})
    {
        autres.insert(L("CPMAIN_ID"), id);
        autres.insert(L("PATIENTS_ID"), 1);
        autres.insert(L("MEDECINS_ID"), 1);
        autres.insert(L("DATE_CONSULTATION"), QDateTime(QDate(2024, 1, 10), QTime(0, 0)));
        f.insert(L("CPMAIN"), autres);
    }
    void ventilation(PracticeFixture &f, int id, int releve, int recetteId, double montant)
    {
        f.insert(L("CPGEST"), {{L("CPGest_ID"), id}, {L("CPOrdpay_ID"), releve}, {L("CPMain_ID"), recetteId},
                               {L("Montant"), montant}});
    }
    static QString ids(PracticeFixture &f, const QString &colonne, const QString &table)
    {
        return f.scalar(QStringLiteral("SELECT group_concat(%1) FROM (SELECT %1 FROM %2 ORDER BY %1)").arg(colonne, table))
            .toString();
    }
    static void checkSummary(const JournalRow &r, const QString &origine, int niveau)
    {
        QCOMPARE(r.origine, origine);
        QCOMPARE(r.niveau, niveau);
        QVERIFY(r.patientId.isNull());
        QVERIFY(r.patientNom.isEmpty());
        QCOMPARE(r.medecinId.toInt(), 0);
        QVERIFY(qAbs(r.date.secsTo(QDateTime::currentDateTime())) < 120);
    }

private slots:
    // ---- phase 5
    void emptyRecordsAreThoseWithoutAnyAmount()
    {
        PracticeFixture f;
        recette(f, 1, {{L("CodeActe1"), L("C")}});   // acts but no amount: empty
        recette(f, 2);
        QVariantMap zeros;
        for (const char *c : {"MONTANT1", "MONTANT2", "MONTANT3", "MONTANT4", "PAIEMENT1", "PAIEMENT2",
                              "REGLETIERSPAYANT1", "REGLETIERSPAYANT2"})
            zeros.insert(L(c), 0);
        recette(f, 3, zeros);
        recette(f, 4, {{L("REGLETIERSPAYANT2"), 5}});
        recette(f, 5, {{L("Montant3"), 1}});
        recette(f, 6, {{L("Paiement1"), 10}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.progress.clear();
        run.SupprimerEnregistrementsVides();

        QCOMPARE(ids(f, L("CPMAIN_ID"), L("CPMAIN")), L("3,4,5,6"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        checkSummary(j[0], L("Comptabilité (CPMAIN)"), 3);
        QCOMPARE(j[0].action, L("2 enregistrements vides ont été supprimés dans la table de la comptabilité."));
        QCOMPARE(ui.progress, QStringList({L("  Recherche des enregistrements vides dans la comptabilité..."),
                                           L("  Suppression des enregistrements vides dans la comptabilité...")}));
        QVERIFY(!ui.progressOpen);
        QVERIFY(!ui.mainEnabled);
    }

    void noEmptyRecordNoDeletionStep()
    {
        PracticeFixture f;
        recette(f, 1, {{L("Montant1"), 0}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.progress.clear();
        run.SupprimerEnregistrementsVides();
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
        QCOMPARE(ids(f, L("CPMAIN_ID"), L("CPMAIN")), L("1"));
        QCOMPARE(ui.progress, QStringList({L("  Recherche des enregistrements vides dans la comptabilité...")}));
        QVERIFY(!ui.mainEnabled);
    }

    void refusedDeletionOfEmptyRecords()
    {
        PracticeFixture f;
        recette(f, 1);
        recette(f, 2);
        recette(f, 3, {{L("Montant1"), 20}});
        f.exec(L("CREATE TRIGGER verrou BEFORE DELETE ON CPMAIN WHEN OLD.CPMAIN_ID=2 "
                 "BEGIN SELECT RAISE(ABORT,'suppression interdite'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.SupprimerEnregistrementsVides();
        // One statement for all: refused as a whole.
        QCOMPARE(ids(f, L("CPMAIN_ID"), L("CPMAIN")), L("1,2,3"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        checkSummary(j[0], L("Comptabilité (CPMAIN)"), 1);
        QCOMPARE(j[0].action, L("2 enregistrements vides n'ont pas pu être supprimés dans la table de la comptabilité."
                                "\r\rErreur rencontrée : suppression interdite"));
        QVERIFY(!ui.progressOpen);
    }

    // ---- phase 6
    void deletesStatementsWithoutBody()
    {
        PracticeFixture f;
        f.insert(L("CPORDPAY"), {{L("CPORDPAY_ID"), 1}});
        f.insert(L("CPORDPAY"), {{L("CPORDPAY_ID"), 2}, {L("CPOrg_ID"), 3}});
        f.insert(L("CPORDPAY"), {{L("CPORDPAY_ID"), 3}, {L("PayeSum"), 50}});
        f.insert(L("CPORDPAY"), {{L("CPORDPAY_ID"), 4}, {L("CPOrg_ID"), 0}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.progress.clear();
        run.SupprimerRelevesVides();
        QCOMPARE(ids(f, L("CPORDPAY_ID"), L("CPORDPAY")), L("2,4"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        checkSummary(j[0], L("Suivi des tiers payants (CPORDPAY)"), 3);
        QCOMPARE(j[0].action, L("2 enregistrements vides ont été supprimés dans la table du suivi des réglements des "
                                "tiers payants (CPORDPAY)."));
        QCOMPARE(ui.progress, QStringList({L("  Recherche des enregistrements vides dans le suivi des tiers payant...")}));
        QVERIFY(!ui.progressOpen);
        QVERIFY(ui.mainEnabled);
    }

    void statementDeletionRunsEvenWhenNoneCounted()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.SupprimerRelevesVides();
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
        QVERIFY(ui.mainEnabled);

        // Counting succeeds with 0 on a view; only the deletion can fail on
        // it, so the failure shows that it ran, and that it is not guarded.
        f.exec(L("DROP TABLE CPORDPAY"));
        f.exec(L("CREATE VIEW CPORDPAY AS SELECT 1 AS CPORDPAY_ID, 3 AS CPOrg_ID"));
        QVERIFY_THROWS_EXCEPTION(db::DbError, run.SupprimerRelevesVides());
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
    }

    // ---- phase 7
    void orphanSettlementLinesOneRowPerStatement()
    {
        PracticeFixture f;
        f.insert(L("CPORDPAY"), {{L("CPORDPAY_ID"), 1}, {L("CPOrg_ID"), 3}});
        ventilation(f, 10, 1, 90, 5);      // its statement exists
        ventilation(f, 20, 5, 100, 12.5);
        ventilation(f, 21, 5, 101, 30);    // refused below
        ventilation(f, 22, 5, 102, 7.5);
        ventilation(f, 30, 8, 103, 4);
        f.exec(L("CREATE TRIGGER verrou BEFORE DELETE ON CPGEST WHEN OLD.CPGest_ID=21 "
                 "BEGIN SELECT RAISE(ABORT,'ventilation verrouillée'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.progress.clear();
        run.SupprimerVentilationsOrphelines();

        QCOMPARE(ids(f, L("CPGest_ID"), L("CPGEST")), L("10,21"));
        const QString entete = L("Ventilation du suivi des règlements des tiers payants : la table CPGest contient des "
                                 "enregistrements faisant référence à un relevé de tiers payant inexistant dans la table "
                                 "CPOrdPay. Actions menées :\r");
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 2);
        checkSummary(j[0], L("Ventilation des tiers payants (CPGEST)"), 2);
        checkSummary(j[1], L("Ventilation des tiers payants (CPGEST)"), 2);
        QCOMPARE(j[0].action,
                 entete
                     + L("   - suppression de l'enregistrement n°20 d'un montant de 12,50 EUR et faisant référence à "
                         "l'enregistrement n°100 de la table de la comptabilité (CPMAIN)\r"
                         "   - le programme n'est pas parvenu à supprimer l'enregistrement n°21 d'un montant de 30 EUR et "
                         "faisant référence à l'enregistrement n°101 de la table de la comptabilité (CPMAIN). Vous devez "
                         "effectuer cette suppression manuellement.\rL'erreur rencontrée est : ventilation verrouillée"
                         "   - suppression de l'enregistrement n°22 d'un montant de 7,50 EUR et faisant référence à "
                         "l'enregistrement n°102 de la table de la comptabilité (CPMAIN)\r"));
        QCOMPARE(j[1].action, entete
                                  + L("   - suppression de l'enregistrement n°30 d'un montant de 4 EUR et faisant référence "
                                      "à l'enregistrement n°103 de la table de la comptabilité (CPMAIN)\r"));
        QCOMPARE(ui.progress, QStringList({L("  Recherche des relevés tiers payants inconnus..."),
                                           L("  Recherche des relevés tiers payants inconnus..."),
                                           L("  Recherche des relevés tiers payants inconnus (1/2)"),
                                           L("  Recherche des relevés tiers payants inconnus (2/2)")}));
        QVERIFY(!ui.progressOpen);
        QVERIFY(ui.mainEnabled);
    }

    void lineThatCannotBeDeletedIsStillReported()
    {
        PracticeFixture f;
        ventilation(f, 40, 6, 100, 10);
        f.exec(L("CREATE TRIGGER verrou BEFORE DELETE ON CPGEST BEGIN SELECT RAISE(ABORT,'base en lecture seule'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.SupprimerVentilationsOrphelines();
        QCOMPARE(ids(f, L("CPGest_ID"), L("CPGEST")), L("40"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QVERIFY(j[0].action.endsWith(L("   - le programme n'est pas parvenu à supprimer l'enregistrement n°40 d'un montant "
                                       "de 10 EUR et faisant référence à l'enregistrement n°100 de la table de la "
                                       "comptabilité (CPMAIN). Vous devez effectuer cette suppression manuellement.\r"
                                       "L'erreur rencontrée est : base en lecture seule")));
    }

    // ---- phase 8
    void clearsReferencesToMissingCareSheets()
    {
        PracticeFixture f;
        f.insert(L("CPSVFACT"), {{L("CPSVFact_ID"), 1}});
        recette(f, 1, {{L("Montant1"), 1}, {L("CPSVFact_ID"), 1}});
        recette(f, 2, {{L("Montant1"), 1}, {L("CPSVFact_ID"), 5}});
        recette(f, 3, {{L("Montant1"), 1}, {L("CPSVFact_ID"), 5}});
        recette(f, 4, {{L("Montant1"), 1}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.progress.clear();
        run.AnnulerFSEInconnues();

        QCOMPARE(f.scalar(L("SELECT group_concat(CPMAIN_ID || ':' || ifnull(CPSVFact_ID, '-')) FROM "
                            "(SELECT * FROM CPMAIN ORDER BY CPMAIN_ID)")).toString(),
                 L("1:1,2:-,3:-,4:-"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        checkSummary(j[0], L("Comptabilité (CPMAIN)"), 3);
        QCOMPARE(j[0].action, L("FSE inconnues : 2 enregistrements de CPMAin mentionnaient des FSE inexistantes dans "
                                "CPSVFact. Cette information a été annulée."));
        QCOMPARE(ui.progress, QStringList({L("  Recherche des FSE inconnues dans la comptabilité..."),
                                           L("  Recherche des FSE inconnues dans la comptabilité..."),
                                           L("  Recherche des FSE inconnues dans la comptabilité (1/3)"),
                                           L("  Recherche des FSE inconnues dans la comptabilité (2/3)"),
                                           L("  Recherche des FSE inconnues dans la comptabilité (3/3)")}));
        QVERIFY(!ui.progressOpen);
        QVERIFY(ui.mainEnabled);
    }

    void careSheetZeroAndRefusedClearing()
    {
        PracticeFixture f;
        recette(f, 4, {{L("Montant1"), 1}, {L("CPSVFact_ID"), 0}});
        recette(f, 6, {{L("Montant1"), 1}, {L("CPSVFact_ID"), 9}});
        recette(f, 7, {{L("Montant1"), 1}, {L("CPSVFact_ID"), 9}});
        f.exec(L("CREATE TRIGGER verrou BEFORE UPDATE ON CPMAIN WHEN OLD.CPMAIN_ID=6 "
                 "BEGIN SELECT RAISE(ABORT,'FSE verrouillée'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.AnnulerFSEInconnues();

        QCOMPARE(f.scalar(L("SELECT group_concat(CPMAIN_ID || ':' || ifnull(CPSVFact_ID, '-')) FROM "
                            "(SELECT * FROM CPMAIN ORDER BY CPMAIN_ID)")).toString(),
                 L("4:-,6:9,7:-"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 2);
        checkSummary(j[0], L("Comptabilité (CPMAIN)"), 2);
        QCOMPARE(j[0].action, L("FSE inconnue : l'enregistrement n°6 indique une FSE inconnue dans CPSVFact. Le programme "
                                "n'est pas parvenu à annuler cette information avec pour la raison suivante :FSE verrouillée"));
        checkSummary(j[1], L("Comptabilité (CPMAIN)"), 3);
        QCOMPARE(j[1].action, L("FSE inconnues : 2 enregistrements de CPMAin mentionnaient des FSE inexistantes dans "
                                "CPSVFact. Cette information a été annulée."));
    }
};

QTEST_GUILESS_MAIN(VidesTest)
#include "vides_test.moc"
