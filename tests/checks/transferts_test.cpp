#include "support/Fixture.h"
#include "checks/CheckRun.h"

#include <QTest>

// Phase 12: transfers that the accounting refers to but CPTRANS lacks.
class TransfertsTest : public QObject {
    Q_OBJECT

    static void recette(PracticeFixture &f, int id, const QVariant &transfert, const QVariant &date, const QVariant &medecin)
    {
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), id},
                                            {QStringLiteral("PATIENTS_ID"), 1},
                                            {QStringLiteral("CPTrans_ID"), transfert},
                                            {QStringLiteral("DATE_CONSULTATION"), date},
                                            {QStringLiteral("MEDECINS_ID"), medecin}});
    }

    static QString creation(const QString &numero, const QString &date)
    {
        return QStringLiteral("Transfert AG2035 inconnu : le programme a créé le transfert AG2035 n°") + numero
               + QStringLiteral(" à partir des données de la table de comptabilité (CPMAIN). Ce transfert est daté au ") + date
               + QStringLiteral(". ");
    }

private slots:
    void createsEachMissingTransferOnceFromItsRecords()
    {
        PracticeFixture f;
        // Transfer 7: latest date wins without its time, highest physician wins.
        recette(f, 1, 7, QDateTime(QDate(2023, 3, 1), QTime(10, 0)), 5);
        recette(f, 2, 7, QDateTime(QDate(2023, 5, 4), QTime(15, 30)), 2);
        recette(f, 3, 7, QDateTime(QDate(2022, 12, 31), QTime(23, 59)), 9);
        recette(f, 4, 3, QDateTime(QDate(2021, 1, 15), QTime(8, 0)), 4);
        recette(f, 5, QVariant(), QDateTime(QDate(2023, 1, 1), QTime(0, 0)), 4);   // no transfer
        recette(f, 6, 9, QDateTime(QDate(2023, 1, 1), QTime(0, 0)), 4);            // known transfer
        f.insert(QStringLiteral("CPTRANS"), {{QStringLiteral("CPTrans_ID"), 9}, {QStringLiteral("Medecins_ID"), 1},
                                             {QStringLiteral("CPTRANS_DATE"), QDateTime(QDate(2020, 1, 1), QTime(0, 0))}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        ui.progress.clear();
        CheckRun run(*s);
        run.CreerTransfertsInconnus();

        const auto cptrans = f.rows(QStringLiteral("SELECT CPTrans_ID, Medecins_ID, CPTRANS_DATE FROM CPTRANS ORDER BY CPTrans_ID"));
        QCOMPARE(cptrans.size(), 3);
        QCOMPARE(cptrans[0], (QVariantList{3, 4, fixtureDate(2021, 1, 15)}));
        QCOMPARE(cptrans[1], (QVariantList{7, 9, fixtureDate(2023, 5, 4)}));
        QCOMPARE(cptrans[2], (QVariantList{9, 1, fixtureDate(2020, 1, 1)}));

        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 2);
        // Same level and origin: in ascending transfer number.
        QCOMPARE(j[0].action, creation(QStringLiteral("3"), QStringLiteral("01/15/2021")));
        QCOMPARE(j[1].action, creation(QStringLiteral("7"), QStringLiteral("05/04/2023")));
        QCOMPARE(j[1].niveau, 2);
        QCOMPARE(j[1].origine, QStringLiteral("Transfert AG2035 (CPTRANS)"));
        QCOMPARE(j[1].medecinId.toInt(), 9);
        QVERIFY(j[1].patientId.isNull());
        QCOMPARE(j[1].date, QDateTime(QDate(2023, 5, 4), QTime(0, 0)));
        QVERIFY(ui.messages.isEmpty());

        QCOMPARE(ui.progress, (QStringList{QStringLiteral("  Création des transferts inconnus..."),
                                           QStringLiteral("  Création des transferts inconnus..."),
                                           QStringLiteral("  Création des transferts inconnus (1/2)"),
                                           QStringLiteral("  Création des transferts inconnus (2/2)")}));
        QVERIFY(!ui.progressOpen);
        QVERIFY(!ui.mainEnabled);
    }

    void nullDatesAndPhysiciansGiveTheZeroValues()
    {
        PracticeFixture f;
        recette(f, 1, 12, QVariant(), QVariant());
        recette(f, 2, 12, QVariant(), QVariant());
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerTransfertsInconnus();
        QCOMPARE(f.rows(QStringLiteral("SELECT Medecins_ID, CPTRANS_DATE FROM CPTRANS WHERE CPTrans_ID=12")),
                 (QList<QVariantList>{{0, fixtureDate(1899, 12, 30)}}));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].action, creation(QStringLiteral("12"), QStringLiteral("12/30/1899")));
        QCOMPARE(j[0].medecinId.toInt(), 0);
        QCOMPARE(j[0].date, QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    }

    void failedInsertIsJournalledAndTheNextTransferFollows()
    {
        PracticeFixture f;
        recette(f, 1, 4, QDateTime(QDate(2023, 6, 2), QTime(9, 0)), 3);
        recette(f, 2, 5, QDateTime(QDate(2023, 6, 3), QTime(9, 0)), 3);
        f.exec(QStringLiteral("CREATE TRIGGER refus BEFORE INSERT ON CPTRANS WHEN NEW.CPTrans_ID=4 "
                              "BEGIN SELECT RAISE(ABORT,'transfert verrouillé'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerTransfertsInconnus();
        QCOMPARE(f.rows(QStringLiteral("SELECT CPTrans_ID FROM CPTRANS")), (QList<QVariantList>{{5}}));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 2);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].medecinId.toInt(), 3);
        QCOMPARE(j[0].date, QDateTime(QDate(2023, 6, 2), QTime(0, 0)));
        QCOMPARE(j[0].action,
                 QStringLiteral("Transfert AG2035 inconnu : le programme n'est pas parvenu à créer le transfert AG2035 n°4 "
                                "trouvé à partir des données de la table de comptabilité (CPMAIN). Ce transfert est daté au "
                                "06/02/2023.\rErreur : transfert verrouillé\rIl doit être créé manuellement."));
        QCOMPARE(j[1].niveau, 2);
        QCOMPARE(j[1].action, creation(QStringLiteral("5"), QStringLiteral("06/03/2023")));
    }

    void unreadableDateIsReportedAndNeverTakesThePreviousOne()
    {
        PracticeFixture f;
        recette(f, 1, 1, QDateTime(QDate(2023, 2, 10), QTime(11, 0)), 2);
        recette(f, 2, 2, QStringLiteral("pas une date"), 2);
        recette(f, 3, 3, QDateTime(QDate(2023, 2, 12), QTime(0, 0)), 2);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerTransfertsInconnus();

        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Simple);
        const QString debut = QStringLiteral("Problème sur la date de consultation du transfert n°2\rErreur : ");
        QVERIFY2(ui.messages[0].text.startsWith(debut), qPrintable(ui.messages[0].text));
        QVERIFY(ui.messages[0].text.size() > debut.size());

        // Inserted without a date, and the transfer after it has its own again.
        QCOMPARE(f.rows(QStringLiteral("SELECT CPTrans_ID, coalesce(CPTRANS_DATE, 'NULL') FROM CPTRANS ORDER BY CPTrans_ID")),
                 (QList<QVariantList>{{1, fixtureDate(2023, 2, 10)}, {2, QStringLiteral("NULL")}, {3, fixtureDate(2023, 2, 12)}}));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 3);
        QCOMPARE(j[1].action, creation(QStringLiteral("2"), QString()));
        // No date text: the row carries the time it was written.
        QVERIFY(qAbs(j[1].date.secsTo(QDateTime::currentDateTime())) < 60);
        QCOMPARE(j[2].action, creation(QStringLiteral("3"), QStringLiteral("02/12/2023")));
    }

    void nothingMissingWritesNothing()
    {
        PracticeFixture f;
        recette(f, 1, QVariant(), QDateTime(QDate(2023, 2, 10), QTime(11, 0)), 2);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerTransfertsInconnus();
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM CPTRANS")).toInt(), 0);
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TransfertsTest)
#include "transferts_test.moc"
