#include "db/DbError.h"
#include "db/WriteStatement.h"

#include <QTest>

Q_DECLARE_METATYPE(db::WriteStatement::Kind)

// What a write will change must be read from its text before it runs: the
// table, the condition and which parameters belong to it. A text that does
// not say it plainly is refused rather than guessed.
class WriteStatementTest : public QObject {
    Q_OBJECT

private slots:
    void formsTheProgramWrites_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<db::WriteStatement::Kind>("kind");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("conditionParam");
        QTest::addColumn<QString>("columns");   // name:param, "n" for NULL, "e" for an expression
        using K = db::WriteStatement::Kind;
        QTest::newRow("update")
            << "UPDATE CPMAIN SET PATIENTS_ID = ? WHERE CPMAIN_ID=?" << K::Update << "CPMAIN" << "CPMAIN_ID=?" << 1
            << "PATIENTS_ID:0";
        QTest::newRow("update with expressions and NULL")
            << "UPDATE CPMAIN SET MontantTiersPayant1 = RegleTiersPayant1, CPSVFact_ID=NULL, Paiement1 = round(?, 2)\n"
               "WHERE abs(MontantTiersPayant1 - RegleTiersPayant1) < ? AND CPOrg_1_ID IS NOT NULL"
            << K::Update << "CPMAIN" << "abs(MontantTiersPayant1 - RegleTiersPayant1) < ? AND CPOrg_1_ID IS NOT NULL" << 1
            << "MontantTiersPayant1:e CPSVFact_ID:n Paiement1:e";
        QTest::newRow("quoted table, owner, lower case where")
            << "update \"dbo\".\"Table \"\"X\"\"\" set \"PATIENTS_ID\" =? where PATIENTS_ID=?" << K::Update << "Table \"X\""
            << "PATIENTS_ID=?" << 1 << "PATIENTS_ID:0";
        QTest::newRow("keywords and marks inside strings")
            << "UPDATE PATIENTS SET NOM = 'WHERE ?, (' WHERE PRENOM = 'a''b' AND PATIENTS_ID = ?" << K::Update << "PATIENTS"
            << "PRENOM = 'a''b' AND PATIENTS_ID = ?" << 0 << "NOM:e";
        QTest::newRow("update every row") << "UPDATE ID_VALUES SET LAST_VALUE = ?;" << K::Update << "ID_VALUES" << ""
                                          << 1 << "LAST_VALUE:0";
        QTest::newRow("delete") << "DELETE FROM CPGEST WHERE CPGest_ID=?" << K::Delete << "CPGEST" << "CPGest_ID=?" << 0 << "";
        QTest::newRow("delete all") << "delete from [CPREM]" << K::Delete << "CPREM" << "" << 0 << "";
        QTest::newRow("insert")
            << "INSERT INTO CPREM (CPRem_ID, Montant, Banque)\nVALUES (?, ?, NULL)" << K::Insert << "CPREM" << "" << 0
            << "CPRem_ID:0 Montant:1 Banque:n";
        QTest::newRow("insert of default values") << "INSERT INTO \"CPTRANS\" DEFAULT VALUES" << K::Insert << "CPTRANS" << ""
                                                  << 0 << "";
    }
    void formsTheProgramWrites()
    {
        QFETCH(QString, sql);
        QFETCH(db::WriteStatement::Kind, kind);
        QFETCH(QString, table);
        QFETCH(QString, condition);
        QFETCH(int, conditionParam);
        QFETCH(QString, columns);
        const std::optional<db::WriteStatement> w = db::classifyWrite(sql);
        QVERIFY(w);
        QCOMPARE(w->kind, kind);
        QCOMPARE(w->table, table);
        QCOMPARE(w->condition, condition);
        if (!condition.isEmpty())
            QCOMPARE(w->conditionParam, conditionParam);
        QCOMPARE(w->params, int(sql.count(QLatin1Char('?')) - sql.count(QStringLiteral("'WHERE ?"))));
        QStringList got;
        for (const auto &c : w->columns)
            got << c.name + QLatin1Char(':') + (c.null ? QStringLiteral("n") : c.param < 0 ? QStringLiteral("e") : QString::number(c.param));
        QCOMPARE(got.join(QLatin1Char(' ')), columns);
    }

    void readsAreNotWrites()
    {
        QVERIFY(!db::classifyWrite(QStringLiteral("SELECT * FROM CPMAIN WHERE CPMAIN_ID = ?")));
        QVERIFY(!db::classifyWrite(QStringLiteral(" (SELECT count(*) FROM PATIENTS)")));
    }

    // Each would change rows that no condition of its own tells beforehand.
    void formsWithoutAPlainConditionAreRefused_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("insert from a select") << "INSERT INTO CPREM (CPRem_ID) SELECT CPMAIN_ID FROM CPMAIN";
        QTest::newRow("several rows of values") << "INSERT INTO CPREM (CPRem_ID) VALUES (?), (?)";
        QTest::newRow("more values than columns") << "INSERT INTO CPREM (CPRem_ID) VALUES (?, ?)";
        QTest::newRow("update with a join") << "UPDATE CPMAIN SET PATIENTS_ID = 1 FROM PATIENTS WHERE CPMAIN.PATIENTS_ID = PATIENTS.PATIENTS_ID";
        QTest::newRow("update with an alias") << "UPDATE CPMAIN c SET PATIENTS_ID = 1 WHERE c.CPMAIN_ID = 2";
        QTest::newRow("ordered delete") << "DELETE FROM CPMAIN WHERE PATIENTS_ID = 1 ORDER BY CPMAIN_ID LIMIT 1";
        QTest::newRow("select into") << "SELECT * INTO COPIE FROM CPMAIN";
        QTest::newRow("a second statement") << "DELETE FROM CPMAIN WHERE CPMAIN_ID = 1; DELETE FROM PATIENTS";
        QTest::newRow("table change") << "DROP TABLE CPMAIN";
        QTest::newRow("named parameter left") << "DELETE FROM CPMAIN WHERE CPMAIN_ID = :id";
        QTest::newRow("unclosed string") << "UPDATE CPMAIN SET NOM = 'x WHERE CPMAIN_ID = 1";
    }
    void formsWithoutAPlainConditionAreRefused()
    {
        QFETCH(QString, sql);
        try {
            db::classifyWrite(sql);
            QFAIL("accepted");
        } catch (const db::BackupError &e) {
            QVERIFY(e.message().startsWith(QStringLiteral("Instruction refusée : ")));
            QVERIFY(e.message().endsWith(sql.simplified()));
        }
    }
};

QTEST_GUILESS_MAIN(WriteStatementTest)
#include "writestatement_test.moc"
