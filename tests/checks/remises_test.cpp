#include "support/Fixture.h"
#include "checks/CheckRun.h"

#include <QTest>

// Phases 13 and 14: cheque deposits that the accounting or the tiers-payant
// follow-up refers to but CPREM lacks.
class RemisesTest : public QObject {
    Q_OBJECT

    static void recette(PracticeFixture &f, int id, const QVariant &remise, const QVariant &date, int medecin,
                        const QVariant &mode1, double paiement1, const QVariant &mode2 = QVariant(), double paiement2 = 0)
    {
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), id},
                                            {QStringLiteral("PATIENTS_ID"), 1},
                                            {QStringLiteral("CPRem_ID"), remise},
                                            {QStringLiteral("DATE_CONSULTATION"), date},
                                            {QStringLiteral("MEDECINS_ID"), medecin},
                                            {QStringLiteral("Mode1"), mode1},
                                            {QStringLiteral("Paiement1"), paiement1},
                                            {QStringLiteral("Mode2"), mode2},
                                            {QStringLiteral("Paiement2"), paiement2}});
    }

    static void releve(PracticeFixture &f, int id, const QVariant &remise, const QVariant &date, bool cheque, double somme,
                       int medecin, const QVariant &banque)
    {
        f.insert(QStringLiteral("CPORDPAY"), {{QStringLiteral("CPORDPAY_ID"), id},
                                              {QStringLiteral("CPOrg_ID"), 1},
                                              {QStringLiteral("CPRem_ID"), remise},
                                              {QStringLiteral("P_DATE"), date},
                                              {QStringLiteral("Cheque"), cheque},
                                              {QStringLiteral("PayeSum"), somme},
                                              {QStringLiteral("MEDECINS_ID"), medecin},
                                              {QStringLiteral("Bank"), banque}});
    }

    static void banque(PracticeFixture &f, int id, int medecin, const QString &label, const QString &nom)
    {
        f.insert(QStringLiteral("CPBANKS"), {{QStringLiteral("CPBanks_ID"), id},
                                             {QStringLiteral("Medecins_ID"), medecin},
                                             {QStringLiteral("Label"), label},
                                             {QStringLiteral("Name"), nom}});
    }

    static QString creee(const QString &numero, bool comptabilite, const QString &date, const QString &qte,
                         const QString &montant)
    {
        return QStringLiteral("Remise de chèques inconnue : le programme a créé la remise de chèque n°") + numero
               + (comptabilite ? QStringLiteral(" à partir des données de la table de comptabilité (CPMAIN).")
                               : QStringLiteral(" à partir des données du suivi des tiers payants (CPORDPAY)."))
               + QStringLiteral(" Cette remise de chèques est datée au ") + date + QStringLiteral(", elle contient ") + qte
               + QStringLiteral(" chèques pour un montant total de ") + montant + QStringLiteral(". ");
    }

    static QList<QVariantList> remise(PracticeFixture &f, int id)
    {
        return f.rows(QStringLiteral("SELECT coalesce(DATE_CONSULTATION, 'NULL'), Montant, Medecins_ID, Qte, Banque, "
                                     "CPBanks_ID, Patient FROM CPREM WHERE CPRem_ID=%1")
                          .arg(id));
    }

private slots:
    void fromTheAccountingCountsEveryRecordAndTotalsTheCheques()
    {
        PracticeFixture f;
        // Engine order of the deposit's records: by record number.
        recette(f, 1, 10, QDateTime(QDate(2023, 2, 1), QTime(9, 30)), 1, QStringLiteral("Chèque"), 50,
                QStringLiteral("cheque"), 20);
        recette(f, 2, 10, QDateTime(QDate(2023, 2, 3), QTime(0, 0)), 2, QStringLiteral("CHEQUE"), 30,
                QStringLiteral("Espèces"), 10);
        recette(f, 3, 10, QDateTime(QDate(2023, 1, 20), QTime(0, 0)), 3, QStringLiteral("Cheque"), 5.25);
        banque(f, 30, 3, QStringLiteral("Banque 2"), QStringLiteral("Banque Postale"));
        banque(f, 31, 3, QStringLiteral("Banque 1"), QStringLiteral("Crédit Agricole"));
        banque(f, 11, 1, QStringLiteral("Banque 1"), QStringLiteral("BNP"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        ui.progress.clear();
        CheckRun run(*s);
        run.CreerRemisesInconnuesComptabilite();

        // Date of the first record, physician of the last one and his "Banque 1".
        QCOMPARE(remise(f, 10), (QList<QVariantList>{{fixtureDate(2023, 2, 1), 55.25, 3, 3.0,
                                                      QStringLiteral("Crédit Agricole"), 31, 0}}));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].action, creee(QStringLiteral("10"), true, QStringLiteral("02/01/2023"), QStringLiteral("3"),
                                    QStringLiteral("55,25 EUR")));
        QCOMPARE(j[0].niveau, 2);
        QCOMPARE(j[0].origine, QStringLiteral("Remises de chèques (CPREM)"));
        QCOMPARE(j[0].medecinId.toInt(), 3);
        QVERIFY(j[0].patientId.isNull());
        QCOMPARE(j[0].date, QDateTime(QDate(2023, 2, 1), QTime(0, 0)));
        QVERIFY(ui.messages.isEmpty());
        QCOMPARE(ui.progress,
                 (QStringList{QStringLiteral("  Recherche des remises de chèques inconnues dans la comptabilité..."),
                              QStringLiteral("  Gestion des remises de chèques inconnues dans la comptabilité..."),
                              QStringLiteral("  Gestion des remises de chèques inconnues dans la comptabilité (1/1)")}));
        QVERIFY(!ui.progressOpen);
    }

    void depositWithoutChequeOrBankIsStillCreated()
    {
        PracticeFixture f;
        recette(f, 1, 20, QDateTime(QDate(2023, 4, 5), QTime(0, 0)), 6, QStringLiteral("Espèces"), 12);
        recette(f, 2, 20, QDateTime(QDate(2023, 4, 6), QTime(0, 0)), 6, QVariant(), 0, QStringLiteral("CB"), 8);
        banque(f, 61, 6, QStringLiteral("Banque 2"), QStringLiteral("LCL"));
        // Cheques summed on their decimal digits: 0.3 stored, not 0.30000000000000004.
        recette(f, 3, 21, QDateTime(QDate(2023, 4, 7), QTime(0, 0)), 6, QStringLiteral("Cheque"), 0.1,
                QStringLiteral("cheque"), 0.2);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerRemisesInconnuesComptabilite();
        QCOMPARE(remise(f, 20), (QList<QVariantList>{{fixtureDate(2023, 4, 5), 0.0, 6, 2.0, QString(), 0, 0}}));
        // No "Banque 1": the empty text, not NULL.
        QCOMPARE(f.scalar(QStringLiteral("SELECT typeof(Banque) FROM CPREM WHERE CPRem_ID=20")).toString(), QStringLiteral("text"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT Montant = 0.3 FROM CPREM WHERE CPRem_ID=21")).toInt(), 1);
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 2);
        QCOMPARE(j[0].action, creee(QStringLiteral("20"), true, QStringLiteral("04/05/2023"), QStringLiteral("2"),
                                    QStringLiteral("0 EUR")));
        QCOMPARE(j[1].action, creee(QStringLiteral("21"), true, QStringLiteral("04/07/2023"), QStringLiteral("1"),
                                    QStringLiteral("0,30 EUR")));
    }

    void fromTheFollowUpOneDepositForSeveralStatements()
    {
        PracticeFixture f;
        releve(f, 1, 30, QDateTime(QDate(2023, 3, 15), QTime(14, 0)), true, 10.5, 2, 41);
        releve(f, 2, 30, QDateTime(QDate(2023, 3, 20), QTime(0, 0)), false, 7, 8, 42);
        releve(f, 3, 30, QDateTime(QDate(2023, 3, 25), QTime(0, 0)), true, 4.25, 8, 42);
        releve(f, 4, QVariant(), QDateTime(QDate(2023, 3, 25), QTime(0, 0)), true, 99, 8, 42);   // no deposit
        banque(f, 41, 2, QStringLiteral("Banque 3"), QStringLiteral("BNP"));
        banque(f, 42, 8, QStringLiteral("Banque 1"), QStringLiteral("LCL"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        ui.progress.clear();
        CheckRun run(*s);
        run.CreerRemisesInconnuesSuivi();

        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM CPREM")).toInt(), 1);
        QCOMPARE(remise(f, 30), (QList<QVariantList>{{fixtureDate(2023, 3, 15), 14.75, 2, 3.0, QStringLiteral("BNP"), 41, 0}}));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].action, creee(QStringLiteral("30"), false, QStringLiteral("03/15/2023"), QStringLiteral("3"),
                                    QStringLiteral("14,75 EUR")));
        QCOMPARE(j[0].medecinId.toInt(), 2);
        // Every statement of the list moves the progress, the skipped ones too.
        QCOMPARE(ui.progress.mid(1),
                 (QStringList{
                     QStringLiteral("  Gestion des remises de chèques inconnues dans le suivi des tiers payants..."),
                     QStringLiteral("  Gestion des remises de chèques inconnues dans le suivi des tiers payants (1/3)"),
                     QStringLiteral("  Gestion des remises de chèques inconnues dans le suivi des tiers payants (2/3)"),
                     QStringLiteral("  Gestion des remises de chèques inconnues dans le suivi des tiers payants (3/3)")}));
    }

    void aKnownDepositIsNeverInsertedAgain()
    {
        PracticeFixture f;
        recette(f, 1, 40, QDateTime(QDate(2023, 4, 5), QTime(0, 0)), 6, QStringLiteral("CHEQUE"), 12);
        releve(f, 1, 40, QDateTime(QDate(2023, 3, 15), QTime(0, 0)), true, 10, 6, 0);
        f.insert(QStringLiteral("CPREM"), {{QStringLiteral("CPRem_ID"), 40}, {QStringLiteral("Montant"), 1.5}});
        // 41: recreated from the accounting, then seen by the follow-up's list no more.
        recette(f, 2, 41, QDateTime(QDate(2023, 4, 7), QTime(0, 0)), 6, QStringLiteral("CHEQUE"), 12);
        releve(f, 2, 41, QDateTime(QDate(2023, 3, 16), QTime(0, 0)), true, 10, 6, 0);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerRemisesInconnuesComptabilite();
        run.CreerRemisesInconnuesSuivi();
        QCOMPARE(f.rows(QStringLiteral("SELECT CPRem_ID, Montant FROM CPREM ORDER BY CPRem_ID")),
                 (QList<QVariantList>{{40, 1.5}, {41, 12.0}}));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QVERIFY(j[0].action.contains(QStringLiteral("(CPMAIN)")));
    }

    void failedInsertsAreJournalledAndTheNextDepositFollows()
    {
        PracticeFixture f;
        recette(f, 1, 11, QDateTime(QDate(2023, 5, 2), QTime(0, 0)), 4, QStringLiteral("cheque"), 20);
        recette(f, 2, 12, QDateTime(QDate(2023, 5, 3), QTime(0, 0)), 4, QStringLiteral("cheque"), 30);
        releve(f, 1, 13, QDateTime(QDate(2023, 5, 4), QTime(0, 0)), true, 15.5, 4, 0);
        releve(f, 2, 14, QDateTime(QDate(2023, 5, 5), QTime(0, 0)), true, 16, 4, 0);
        f.exec(QStringLiteral("CREATE TRIGGER refus BEFORE INSERT ON CPREM WHEN NEW.CPRem_ID IN (11, 13) "
                              "BEGIN SELECT RAISE(ABORT,'remise refusée'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerRemisesInconnuesComptabilite();
        run.CreerRemisesInconnuesSuivi();
        QCOMPARE(f.rows(QStringLiteral("SELECT CPRem_ID FROM CPREM ORDER BY CPRem_ID")), (QList<QVariantList>{{12}, {14}}));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 4);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].medecinId.toInt(), 4);
        QCOMPARE(j[0].date, QDateTime(QDate(2023, 5, 2), QTime(0, 0)));
        QCOMPARE(j[0].action,
                 QStringLiteral("Remise de chèques inconnue : le programme n'est pas parvenu à créer la remise de chèque n°11 "
                                "trouvée à partir des données de la table de comptabilité (CPMAIN). Cette remise de chèques "
                                "est datée au 05/02/2023, elle contient 1 chèque(s) pour un montant total de 20 EUR pour la "
                                "raison suivante : remise refusée\rElle doit être créée manuellement."));
        QCOMPARE(j[1].niveau, 1);
        QCOMPARE(j[1].action,
                 QStringLiteral("Remise de chèques inconnue : le programme n'est pas parvenu à créer la remise de chèque n°13 "
                                "trouvée à partir des données du suivi des tiers payants (CPORDPAY). Cette remise de chèques "
                                "est datée au 05/04/2023, elle contient 1 chèque(s) pour un montant total de 15,50 EUR pour la "
                                "raison suivante : remise refusée\rElle doit être créée manuellement."));
        QCOMPARE(j[2].action, creee(QStringLiteral("12"), true, QStringLiteral("05/03/2023"), QStringLiteral("1"),
                                    QStringLiteral("30 EUR")));
        QCOMPARE(j[3].action, creee(QStringLiteral("14"), false, QStringLiteral("05/05/2023"), QStringLiteral("1"),
                                    QStringLiteral("16 EUR")));
    }

    void unreadableDatesGoInEmpty()
    {
        PracticeFixture f;
        recette(f, 1, 50, QDateTime(QDate(2023, 5, 2), QTime(0, 0)), 4, QStringLiteral("cheque"), 20);
        recette(f, 2, 51, QStringLiteral("31/02/2023"), 4, QStringLiteral("cheque"), 30);
        releve(f, 1, 52, QDateTime(QDate(2023, 5, 4), QTime(0, 0)), true, 15, 4, 0);
        releve(f, 2, 53, QStringLiteral("jamais"), true, 16, 4, 0);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerRemisesInconnuesComptabilite();
        // From the accounting the user is told; from the follow-up nothing is said.
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Simple);
        const QString debut = QStringLiteral("Problème sur la date de consultation de la remise n°51\rErreur : ");
        QVERIFY2(ui.messages[0].text.startsWith(debut), qPrintable(ui.messages[0].text));
        QVERIFY(ui.messages[0].text.size() > debut.size());
        run.CreerRemisesInconnuesSuivi();
        QCOMPARE(ui.messages.size(), 1);

        // No date left over from the deposit before.
        QCOMPARE(f.rows(QStringLiteral("SELECT CPRem_ID, coalesce(DATE_CONSULTATION, 'NULL') FROM CPREM ORDER BY CPRem_ID")),
                 (QList<QVariantList>{{50, fixtureDate(2023, 5, 2)},
                                      {51, QStringLiteral("NULL")},
                                      {52, fixtureDate(2023, 5, 4)},
                                      {53, QStringLiteral("NULL")}}));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 4);
        QCOMPARE(j[1].action, creee(QStringLiteral("51"), true, QString(), QStringLiteral("1"), QStringLiteral("30 EUR")));
        QCOMPARE(j[3].action, creee(QStringLiteral("53"), false, QString(), QStringLiteral("1"), QStringLiteral("16 EUR")));
    }
};

QTEST_GUILESS_MAIN(RemisesTest)
#include "remises_test.moc"
