// The backends, where the drivers differ: how values are stored and read
// back, the engine's messages, transactions and savepoints, and the switch
// that fails a statement. The same cases run on a SQLite database, on the
// same database exported to Paradox tables, and on a database of the test
// server reached through a generic ODBC alias.
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Query.h"
#include "db/TableCursor.h"
#include "db/backends/OdbcBackend.h"
#include "db/backends/ParadoxBackend.h"
#include "db/backends/SqliteBackend.h"
#include "db/paradox/ParadoxDriver.h"
#include "tools/demo/ServerPractice.h"

#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

using namespace db;
using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime kQuand(QDate(2024, 3, 5), QTime(9, 30, 0, 250));
// The platform's zero date with a time: what a time-only value is stored as.
const QDateTime kHeure(QDate(1899, 12, 30), QTime(10, 15));
const QDate kJour(1950, 1, 1);

QStringList ids(const QString &base, const QString &sql, const std::function<void(Query &)> &params = {})
{
    Query q;
    q.setDatabaseName(base);
    q.setSql(sql);
    if (params)
        params(q);
    q.open();
    QStringList out;
    for (; !q.eof(); q.next())
        out << q.field(0).asString();
    return out;
}

void run(const QString &base, const QString &sql)
{
    Query q;
    q.setDatabaseName(base);
    q.setSql(sql);
    q.execSQL();
}

} // namespace

class BackendTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    std::vector<std::unique_ptr<Connection>> m_conns;
    int m_count = 0;

    enum Pilote { SQLite, Paradox, Serveur };
    QStringList m_basesServeur;

    // A fresh database holding the table T, opened through the driver asked.
    QString ouvrir(int pilote)
    {
        const QString name = u"B%1"_s.arg(++m_count);
        const QString file = m_tmp.filePath(name + u".sqlite"_s);
        if (pilote == Serveur) {
            const QString serveur = qEnvironmentVariable("ALDURIX_TEST_SERVER");
            const QString base = u"aldurix_backend_%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(m_count);
            demo::createServerDatabase(serveur, base);
            m_basesServeur << base;
            Engine::instance().addAlias(name, u"ODBC"_s, demo::aliasLines(demo::withDatabase(serveur, base)));
        } else {
            {
                QSqlDatabase d = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"seed"_s);
                d.setDatabaseName(file);
                d.open();
                QSqlQuery q(d);
                q.exec(u"CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOM VARCHAR(30), QUAND DATETIME, JOUR DATE, "
                       "OK BOOLEAN, MONTANT FLOAT)"_s);
                if (pilote == Paradox)
                    paradox::exportSqliteDatabase(d, m_tmp.filePath(name));
                d.close();
            }
            QSqlDatabase::removeDatabase(u"seed"_s);
            if (pilote == Paradox)
                Engine::instance().addStandardAlias(name, m_tmp.filePath(name), u"Paradox"_s);
            else
                Engine::instance().addAlias(name, u"SQLITE"_s, {u"PATH="_s + file});
        }
        auto c = std::make_unique<Connection>(name);
        c->databaseName = name;
        c->open();
        if (pilote == Serveur)
            run(name, u"CREATE TABLE dbo.T (ID INTEGER NOT NULL PRIMARY KEY, NOM VARCHAR(30), QUAND TIMESTAMP(3), JOUR DATE, "
                      "OK BOOLEAN, MONTANT FLOAT)"_s);
        m_conns.push_back(std::move(c));
        return name;
    }

    Backend &backend(const QString &base) { return Engine::instance().connection(base)->backend(); }

    static void surChaquePilote()
    {
        QTest::addColumn<int>("pilote");
        QTest::newRow("SQLite") << int(SQLite);
        QTest::newRow("Paradox") << int(Paradox);
        QTest::newRow("serveur") << int(Serveur);
    }

    // The server's row skips, saying why, where no test server runs.
    static int pilote()
    {
        QFETCH(int, pilote);
        return pilote;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        Engine::instance().setConfigFile(m_tmp.filePath(u"engine.cfg"_s));
    }

    void cleanup()
    {
        m_conns.clear();
        for (const QString &b : std::as_const(m_basesServeur))
            demo::dropServerDatabase(qEnvironmentVariable("ALDURIX_TEST_SERVER"), b);
        m_basesServeur.clear();
    }

    // ---- values

    // Pure conversions, on every backend: what is stored reads back as the
    // value written.
    void conversionsRoundTrip_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::newRow("SQLite") << u"SQLITE"_s;
        QTest::newRow("Paradox") << u"PARADOX"_s;
        QTest::newRow("ODBC") << u"MSSQL"_s;
    }

    void conversionsRoundTrip()
    {
        QFETCH(QString, driver);
        const auto b = Backend::forDriver(driver, u"conversions"_s);
        QVERIFY(b);
        const QList<QPair<QVariant, ColumnKind>> values = {
            {kQuand, ColumnKind::DateTime},
            {kHeure, ColumnKind::DateTime},
            {QDateTime(QDate(-2, 12, 31), QTime(1, 0, 0, 40)), ColumnKind::DateTime},
            {true, ColumnKind::Boolean},
            {false, ColumnKind::Boolean},
            {qint64(1), ColumnKind::Integer},
            {12.5, ColumnKind::Float},
            {u"2024-03-05 09:30:00"_s, ColumnKind::Text},   // a text stays a text
        };
        for (const auto &[v, kind] : values) {
            const QVariant stored = b->toStorage(v, kind);
            QCOMPARE(b->fromStorage(stored, kind), v);
        }
        QVERIFY(b->toStorage(QVariant(), ColumnKind::DateTime).isNull());
        QVERIFY(b->fromStorage(QVariant(), ColumnKind::DateTime).isNull());
        // A date is the date-time of its midnight.
        QCOMPARE(b->fromStorage(b->toStorage(kJour, ColumnKind::DateTime), ColumnKind::DateTime).toDateTime(),
                 QDateTime(kJour, QTime(0, 0)));
    }

    // On SQLite storage the text of a date-time is what SQL compares: it
    // must sort as the moments do, for MAX() and ORDER BY.
    void storedDateTimesSortAsTheMoments()
    {
        QList<QDateTime> moments;
        QRandomGenerator rnd(12);
        for (int i = 0; i < 200; ++i)
            moments << QDateTime(QDate(1000 + rnd.bounded(9000), 1 + rnd.bounded(12), 1 + rnd.bounded(28)),
                                 QTime(rnd.bounded(24), rnd.bounded(60), rnd.bounded(60), rnd.bounded(3) ? 0 : rnd.bounded(1000)));
        moments << QDateTime(QDate(2024, 3, 5), QTime(9, 30)) << QDateTime(QDate(2024, 3, 5), QTime(9, 30, 0, 1));
        QList<QString> stored;
        for (const QDateTime &m : moments)
            stored << SqliteBackend::storageValue(m).toString();
        std::sort(moments.begin(), moments.end());
        std::sort(stored.begin(), stored.end());
        for (int i = 0; i < moments.size(); ++i)
            QCOMPARE(stored[i], SqliteBackend::storageValue(moments[i]).toString());
    }

    // What a column holds that is not of its kind is read as stored.
    void readingKeepsWhatIsNotOfTheColumnKind()
    {
        const auto b = Backend::forDriver(u"SQLITE"_s, u"lecture"_s);
        QCOMPARE(b->fromStorage(u"pas une date"_s, ColumnKind::DateTime), QVariant(u"pas une date"_s));
        QCOMPARE(b->fromStorage(qint64(2), ColumnKind::Boolean), QVariant(qint64(2)));
        QCOMPARE(b->fromStorage(u"2024-03-05 09:30:00"_s, ColumnKind::Unknown), QVariant(u"2024-03-05 09:30:00"_s));
        // A flag given as a number is stored as a flag.
        QCOMPARE(b->toStorage(qint64(5), ColumnKind::Boolean), QVariant(1));
    }

    // Through real tables: parameters and cursors write, statements and
    // cursors read, and equality in SQL finds the rows written.
    void valuesComeBackAsWritten_data() { surChaquePilote(); }

    void valuesComeBackAsWritten()
    {
        if (pilote() == Serveur && qEnvironmentVariable("ALDURIX_TEST_SERVER").isEmpty())
            QSKIP("pas de serveur de test : ALDURIX_TEST_SERVER est vide (tools/test.sh le démarre)");
        const QString base = ouvrir(pilote());
        Query ins;
        ins.setDatabaseName(base);
        ins.setSql(u"INSERT INTO T (ID, NOM, QUAND, JOUR, OK, MONTANT) VALUES (:id, :nom, :quand, :jour, :ok, :montant)"_s);
        ins.setInteger(u"id"_s, 1);
        ins.setText(u"nom"_s, u"Zoé"_s);
        ins.setDateTime(u"quand"_s, kQuand);
        ins.setDate(u"jour"_s, kJour);
        ins.setBoolean(u"ok"_s, true);
        ins.setFloat(u"montant"_s, 12.5);
        ins.execSQL();
        ins.setInteger(u"id"_s, 2);
        ins.setDateTime(u"quand"_s, kHeure);
        ins.setBoolean(u"ok"_s, false);
        ins.execSQL();
        ins.setSql(u"INSERT INTO T (ID) VALUES (:id)"_s);
        ins.setInteger(u"id"_s, 3);
        ins.execSQL();

        TableCursor t;
        t.setDatabaseName(base);
        t.setTableName(u"T"_s);
        t.open();
        t.setIndexFieldNames(u"ID"_s);
        t.append();
        t.setFieldValue(u"ID"_s, 4);
        t.setFieldValue(u"QUAND"_s, kQuand);
        t.setFieldValue(u"JOUR"_s, kJour);
        t.setFieldValue(u"OK"_s, true);
        t.post();

        Query q;
        q.setDatabaseName(base);
        q.setSql(u"SELECT ID, QUAND, JOUR, OK, NOM FROM T ORDER BY ID"_s);
        q.open();
        QCOMPARE(q.recordCount(), 4);
        for (int id : {1, 4}) {
            QCOMPARE(q.fieldByName(u"ID"_s).asInteger(), id);
            QCOMPARE(q.fieldByName(u"QUAND"_s).value(), QVariant(kQuand));
            QCOMPARE(q.fieldByName(u"JOUR"_s).asDateTime(), QDateTime(kJour, QTime(0, 0)));
            QCOMPARE(q.fieldByName(u"OK"_s).value(), QVariant(true));
            QCOMPARE(q.fieldByName(u"OK"_s).asString(), u"True"_s);
            q.next();
            if (id == 1) {
                QCOMPARE(q.fieldByName(u"QUAND"_s).asDateTime(), kHeure);
                QCOMPARE(q.fieldByName(u"OK"_s).asBoolean(), false);
                q.next();
                QVERIFY(q.fieldByName(u"QUAND"_s).isNull());
                QVERIFY(q.fieldByName(u"OK"_s).isNull());
                QVERIFY(q.fieldByName(u"NOM"_s).isNull());
                q.next();
            }
        }
        // Equality on what was written, to the millisecond.
        auto quand = [](const QDateTime &v) { return [v](Query &p) { p.setDateTime(u"v"_s, v); }; };
        QCOMPARE(ids(base, u"SELECT ID FROM T WHERE QUAND = :v ORDER BY ID"_s, quand(kQuand)), (QStringList{u"1"_s, u"4"_s}));
        QCOMPARE(ids(base, u"SELECT ID FROM T WHERE QUAND = :v"_s, quand(kQuand.addMSecs(-250))), QStringList());
        QCOMPARE(ids(base, u"SELECT ID FROM T WHERE OK = :v ORDER BY ID"_s, [](Query &p) { p.setBoolean(u"v"_s, true); }),
                 (QStringList{u"1"_s, u"4"_s}));
        QCOMPARE(ids(base, u"SELECT ID FROM T WHERE JOUR = :v ORDER BY ID"_s, [](Query &p) { p.setDate(u"v"_s, kJour); }),
                 (QStringList{u"1"_s, u"2"_s, u"4"_s}));

        // An edited row reads the same before and after the cursor reloads it.
        QVERIFY(t.findKey({2}));
        t.edit();
        t.setFieldValue(u"QUAND"_s, kQuand);
        t.setFieldValue(u"OK"_s, 1);
        t.post();
        const QVariant quandAvant = t.fieldByName(u"QUAND"_s).value();
        const QVariant okAvant = t.fieldByName(u"OK"_s).value();
        t.close();
        t.open();
        t.setIndexFieldNames(u"ID"_s);
        QVERIFY(t.findKey({2}));
        QCOMPARE(t.fieldByName(u"QUAND"_s).value(), quandAvant);
        QCOMPARE(t.fieldByName(u"OK"_s).value(), okAvant);
        QCOMPARE(quandAvant, QVariant(kQuand));
        QCOMPARE(okAvant, QVariant(true));
    }

    // ---- messages

    void engineMessageIsTheEnginesOwnText()
    {
        const auto b = Backend::forDriver(u"SQLITE"_s, u"messages"_s);
        QCOMPARE(b->message(QSqlError(u"texte du pilote"_s, u" texte du moteur "_s)), u"texte du moteur"_s);
        QCOMPARE(b->message(QSqlError(u"texte du pilote"_s, QString())), u"texte du pilote"_s);
        QCOMPARE(b->message(QSqlError()), u"Erreur inconnue du moteur de base de données."_s);
    }

    // A refused open says why, and leaves nothing of the connection behind.
    void refusedOpenLeavesNothingOpen_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        const QString absent = m_tmp.filePath(u"absent"_s);
        QTest::newRow("SQLite, no file") << u"SQLITE"_s << absent << u"Le fichier de base de données %1 n'existe pas."_s.arg(absent);
        QTest::newRow("Paradox, no directory") << u"Paradox"_s << absent << u"Répertoire de base de données invalide : %1"_s.arg(absent);
        QTest::newRow("unknown driver") << u"DBASE"_s << absent << u"Pilote inconnu pour l'alias Refus : DBASE"_s;
    }

    void refusedOpenLeavesNothingOpen()
    {
        QFETCH(QString, driver);
        QFETCH(QString, path);
        QFETCH(QString, message);
        Engine::instance().addAlias(u"Refus"_s, driver, {u"PATH="_s + path});
        const QStringList avant = QSqlDatabase::connectionNames();
        Connection c(u"Refus"_s);
        c.databaseName = u"Refus"_s;
        try {
            c.open();
            QFAIL("opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), message);
        }
        QVERIFY(!c.connected());
        QVERIFY_THROWS_EXCEPTION(DbError, c.backend());
        QCOMPARE(QSqlDatabase::connectionNames(), avant);
    }

    // ---- the switch

    void switchFailsTheKthStatementOnce_data() { surChaquePilote(); }

    void switchFailsTheKthStatementOnce()
    {
        if (pilote() == Serveur && qEnvironmentVariable("ALDURIX_TEST_SERVER").isEmpty())
            QSKIP("pas de serveur de test : ALDURIX_TEST_SERVER est vide (tools/test.sh le démarre)");
        const QString base = ouvrir(pilote());
        Backend &b = backend(base);
        b.failStatement(3);
        QVERIFY(b.failureArmed());
        run(base, u"INSERT INTO T (ID) VALUES (1)"_s);
        QCOMPARE(ids(base, u"SELECT ID FROM T"_s), QStringList{u"1"_s});
        try {
            run(base, u"INSERT INTO T (ID) VALUES (2)"_s);
            QFAIL("the third statement ran");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), b.failureMessage());
        }
        QVERIFY(!b.failureArmed());
        // It did not run, and the next ones do.
        run(base, u"INSERT INTO T (ID) VALUES (3)"_s);
        QCOMPARE(ids(base, u"SELECT ID FROM T ORDER BY ID"_s), (QStringList{u"1"_s, u"3"_s}));

        // Cursors' statements count too; a statement refused does not change the cursor's rows.
        TableCursor t;
        t.setDatabaseName(base);
        t.setTableName(u"T"_s);
        t.open();
        t.setIndexFieldNames(u"ID"_s);
        QCOMPARE(t.recordCount(), 2);
        b.failStatement(1);
        t.append();
        t.setFieldValue(u"ID"_s, 4);
        QVERIFY_THROWS_EXCEPTION(DbError, t.post());
        t.cancel();
        QCOMPARE(t.recordCount(), 2);
        QCOMPARE(ids(base, u"SELECT count(*) FROM T"_s), QStringList{u"2"_s});

        // Disarmed, nothing fails; a failure leaves the connection usable.
        b.failStatement(2);
        b.failStatement(0);
        QVERIFY(!b.failureArmed());
        run(base, u"DELETE FROM T WHERE ID = 3"_s);
        QCOMPARE(ids(base, u"SELECT ID FROM T"_s), QStringList{u"1"_s});
    }

    // ---- transactions and savepoints

    void transactionUndoesWhatWasNotCommitted_data() { surChaquePilote(); }

    void transactionUndoesWhatWasNotCommitted()
    {
        if (pilote() == Serveur && qEnvironmentVariable("ALDURIX_TEST_SERVER").isEmpty())
            QSKIP("pas de serveur de test : ALDURIX_TEST_SERVER est vide (tools/test.sh le démarre)");
        const QString base = ouvrir(pilote());
        Connection &c = *Engine::instance().connection(base);
        Backend &b = c.backend();
        // A failure inside the group undoes the whole group.
        try {
            Transaction t(c);
            run(base, u"INSERT INTO T (ID) VALUES (1)"_s);
            b.failStatement(1);
            run(base, u"INSERT INTO T (ID) VALUES (2)"_s);
            t.commit();
            QFAIL("no failure");
        } catch (const DbError &) {
        }
        QCOMPARE(ids(base, u"SELECT count(*) FROM T"_s), QStringList{u"0"_s});
        {
            Transaction t(c);
            run(base, u"INSERT INTO T (ID) VALUES (3)"_s);
            t.commit();
        }
        // A commit refused is undone, and the connection is out of the transaction.
        {
            Transaction t(c);
            run(base, u"INSERT INTO T (ID) VALUES (4)"_s);
            b.failStatement(1);
            QVERIFY_THROWS_EXCEPTION(DbError, t.commit());
        }
        {
            Transaction t(c);
            run(base, u"INSERT INTO T (ID) VALUES (5)"_s);
            t.commit();
        }
        QCOMPARE(ids(base, u"SELECT ID FROM T ORDER BY ID"_s), (QStringList{u"3"_s, u"5"_s}));
        // What was committed is in the files for every other reader.
        m_conns.clear();
        Connection again(u"again"_s);
        again.databaseName = base;
        again.open();
        QCOMPARE(ids(base, u"SELECT ID FROM T ORDER BY ID"_s), (QStringList{u"3"_s, u"5"_s}));
    }

    void savepointUndoesOnlyItsPart_data() { surChaquePilote(); }

    void savepointUndoesOnlyItsPart()
    {
        if (pilote() == Serveur && qEnvironmentVariable("ALDURIX_TEST_SERVER").isEmpty())
            QSKIP("pas de serveur de test : ALDURIX_TEST_SERVER est vide (tools/test.sh le démarre)");
        const QString base = ouvrir(pilote());
        run(base, u"INSERT INTO T (ID) VALUES (9)"_s);
        Connection &c = *Engine::instance().connection(base);
        {
            Transaction t(c);
            run(base, u"INSERT INTO T (ID) VALUES (1)"_s);
            {
                Savepoint sp(t);
                run(base, u"INSERT INTO T (ID) VALUES (2)"_s);
                run(base, u"UPDATE T SET NOM = 'changé' WHERE ID = 1"_s);
            }
            {
                Savepoint sp(t);
                run(base, u"INSERT INTO T (ID) VALUES (3)"_s);
                sp.release();
            }
            {
                // Nested: the inner part released goes with the outer one.
                Savepoint dehors(t);
                run(base, u"DELETE FROM T WHERE ID = 9"_s);
                Savepoint dedans(t);
                run(base, u"INSERT INTO T (ID) VALUES (4)"_s);
                dedans.release();
            }
            t.commit();
        }
        QCOMPARE(ids(base, u"SELECT ID || coalesce(NOM, '') FROM T ORDER BY ID"_s), (QStringList{u"1"_s, u"3"_s, u"9"_s}));
    }

    void writeGroupKeepsEveryStatementThatSucceeded_data() { surChaquePilote(); }

    // A phase commits once, but each of its statements still succeeds or
    // fails alone, as with a commit each: a failure (even one that spoils a
    // server's transaction) undoes only its statement, a nested transaction
    // only its part, and what succeeded is kept when the group ends on an
    // error.
    void writeGroupKeepsEveryStatementThatSucceeded()
    {
        if (pilote() == Serveur && qEnvironmentVariable("ALDURIX_TEST_SERVER").isEmpty())
            QSKIP("pas de serveur de test : ALDURIX_TEST_SERVER est vide (tools/test.sh le démarre)");
        const QString base = ouvrir(pilote());
        run(base, u"INSERT INTO T (ID) VALUES (9)"_s);
        Connection &c = *Engine::instance().connection(base);
        Backend &b = c.backend();
        {
            WriteGroup groupe(c);
            QVERIFY(b.grouping());
            run(base, u"INSERT INTO T (ID) VALUES (1)"_s);
            QVERIFY_THROWS_EXCEPTION(DbError, run(base, u"INSERT INTO T (ID) VALUES (1)"_s));
            run(base, u"INSERT INTO T (ID) VALUES (2)"_s);
            {
                Transaction t(c);
                run(base, u"INSERT INTO T (ID) VALUES (3)"_s);
            }
            {
                Transaction t(c);
                run(base, u"INSERT INTO T (ID) VALUES (4)"_s);
                t.commit();
            }
            // The tests' switch counts the program's statements only.
            b.failStatement(2);
            run(base, u"UPDATE T SET NOM = 'a' WHERE ID = 1"_s);
            QVERIFY_THROWS_EXCEPTION(DbError, run(base, u"UPDATE T SET NOM = 'b' WHERE ID = 2"_s));
            run(base, u"UPDATE T SET NOM = 'c' WHERE ID = 4"_s);
            groupe.close();
        }
        QVERIFY(!b.grouping());
        try {
            WriteGroup groupe(c);
            run(base, u"INSERT INTO T (ID) VALUES (5)"_s);
            throw std::runtime_error("la phase s'arrête");
        } catch (const std::runtime_error &) {
        }
        const QStringList attendu{u"1a"_s, u"2"_s, u"4c"_s, u"5"_s, u"9"_s};
        QCOMPARE(ids(base, u"SELECT ID || coalesce(NOM, '') FROM T ORDER BY ID"_s), attendu);
        // Committed for every other reader.
        m_conns.clear();
        Connection again(u"again"_s);
        again.databaseName = base;
        again.open();
        QCOMPARE(ids(base, u"SELECT ID || coalesce(NOM, '') FROM T ORDER BY ID"_s), attendu);
    }

    // A lookup index lives as long as its guard, where the engine lets one
    // be added, and the rows of a look-up come back in the table's order.
    void lookupIndexServesItsWalkThenGoes()
    {
        const QString base = ouvrir(SQLite);
        for (int i = 1; i <= 30; ++i)
            run(base, u"INSERT INTO T (ID, NOM, MONTANT) VALUES (%1, '%2', %3)"_s.arg(31 - i).arg(i % 3).arg(i % 2));
        const QString recherche = u"SELECT ID FROM T WHERE NOM = '1' AND MONTANT = 1"_s;
        const QStringList avant = ids(base, recherche);
        auto plan = [&] {
            QSqlQuery q(Engine::instance().connection(base)->database());
            q.exec(u"EXPLAIN QUERY PLAN "_s + recherche);
            QStringList details;
            while (q.next())
                details << q.value(3).toString();
            return details;
        };
        auto index = [&] { return ids(base, u"SELECT count(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'T' AND sql IS NOT NULL"_s); };
        Connection &c = *Engine::instance().connection(base);
        {
            LookupIndex i(c, u"T"_s, {u"NOM"_s, u"MONTANT"_s});
            QVERIFY2(plan().join(QString()).contains(u"INDEX"_s), qPrintable(plan().join(QString())));
            QCOMPARE(ids(base, recherche), avant);
            // A table that has a fitting index of its own gets none.
            LookupIndex cle(c, u"T"_s, {u"ID"_s});
            QCOMPARE(index(), QStringList{u"1"_s});
        }
        QCOMPARE(index(), QStringList{u"0"_s});
    }
};

QTEST_GUILESS_MAIN(BackendTest)
#include "backend_test.moc"
