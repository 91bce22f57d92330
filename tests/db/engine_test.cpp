#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Formats.h"
#include "db/IniFile.h"
#include "db/Query.h"
#include "db/TableCursor.h"
#include "db/backends/OdbcBackend.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace db;

// The engine layer on real SQLite files: statements, parameters, dates,
// cursors, the configuration and the errors it raises.
class EngineTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    std::unique_ptr<Connection> cnx;
    QString dbFile;

    void sql(const QString &text)
    {
        Query q;
        q.setDatabaseName(QStringLiteral("EngineTest"));
        q.addLine(text);
        q.execSQL();
    }

private slots:
    void initTestCase()
    {
        Engine::instance().setConfigFile(tmp.path() + QStringLiteral("/engine.cfg"));
        dbFile = tmp.path() + QStringLiteral("/practice.sqlite");
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("seed"));
            d.setDatabaseName(dbFile);
            QVERIFY(d.open());
            QSqlQuery q(d);
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE T (ID INTEGER, NOM VARCHAR(20), QUAND DATETIME, MONTANT FLOAT, OK BOOLEAN)")));
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE ID_VALUES (KEY_NAME VARCHAR(30), LAST_VALUE INTEGER)")));
            d.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("seed"));
        Engine::instance().addAlias(QStringLiteral("EngineTest"), QStringLiteral("SQLITE"), {QStringLiteral("PATH=") + dbFile});
        cnx = std::make_unique<Connection>();
        cnx->databaseName = QStringLiteral("EngineTest");
        cnx->open();
    }

    void cleanupTestCase() { cnx.reset(); }

    void init() { sql(QStringLiteral("DELETE FROM T")); }

    void parametersBindByNameAndUnsetIsNull()
    {
        Query ins;
        ins.setDatabaseName(QStringLiteral("EngineTest"));
        // The same name twice, names in another case, a colon inside quotes.
        ins.addLine(QStringLiteral("INSERT INTO T (ID, NOM, MONTANT, OK) VALUES (:id, ':pas_un_parametre', :Id * 10, :ok)"));
        QCOMPARE(ins.paramNames(), QStringList({QStringLiteral("id"), QStringLiteral("ok")}));
        ins.setInteger(QStringLiteral("ID"), 4);
        ins.execSQL();
        Query q;
        q.setDatabaseName(QStringLiteral("EngineTest"));
        q.addLine(QStringLiteral("SELECT ID, NOM, MONTANT, OK, QUAND FROM T"));
        q.open();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.fieldByName(QStringLiteral("id")).asInteger(), 4);
        QCOMPARE(q.fieldByName(QStringLiteral("NOM")).asString(), QStringLiteral(":pas_un_parametre"));
        QCOMPARE(q.fieldByName(QStringLiteral("MONTANT")).asString(), QStringLiteral("40"));
        QVERIFY(q.fieldByName(QStringLiteral("OK")).isNull());
        // NULL readings.
        const Field quand = q.fieldByName(QStringLiteral("QUAND"));
        QCOMPARE(quand.asString(), QString());
        QCOMPARE(quand.asDateTime(), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
        QCOMPARE(q.fieldByName(QStringLiteral("OK")).asBoolean(), false);
        QVERIFY_THROWS_EXCEPTION(DbError, q.fieldByName(QStringLiteral("ABSENT")));

        // Text set to nothing is the empty text, never NULL: a NOT NULL text
        // column of a server takes it. Only a parameter never set is NULL.
        Query vide;
        vide.setDatabaseName(QStringLiteral("EngineTest"));
        vide.addLine(QStringLiteral("INSERT INTO T (ID, NOM) VALUES (:id, :nom)"));
        vide.setInteger(QStringLiteral("id"), 5);
        vide.setText(QStringLiteral("nom"), QString());
        vide.execSQL();
        vide.setInteger(QStringLiteral("id"), 6);
        vide.setText(QStringLiteral("nom"), QStringLiteral(""));
        vide.execSQL();
        Query types;
        types.setDatabaseName(QStringLiteral("EngineTest"));
        types.addLine(QStringLiteral("SELECT typeof(NOM) FROM T WHERE ID IN (5, 6) ORDER BY ID"));
        types.open();
        QCOMPARE(types.field(0).asString(), QStringLiteral("text"));
        types.next();
        QCOMPARE(types.field(0).asString(), QStringLiteral("text"));
    }

    void dateTimeEqualitySelectsExactlyTheRowsWritten()
    {
        Query ins;
        ins.setDatabaseName(QStringLiteral("EngineTest"));
        ins.addLine(QStringLiteral("INSERT INTO T (ID, QUAND) VALUES (:id, :quand)"));
        const QDateTime matin(QDate(2024, 3, 5), QTime(9, 30, 0));
        const QDateTime minuit(QDate(2024, 3, 5), QTime(0, 0));
        ins.setInteger(QStringLiteral("id"), 1);
        ins.setDateTime(QStringLiteral("quand"), matin);
        ins.execSQL();
        ins.setInteger(QStringLiteral("id"), 2);
        ins.setDate(QStringLiteral("quand"), QDate(2024, 3, 5));
        ins.execSQL();
        ins.setInteger(QStringLiteral("id"), 3);
        ins.setDateTime(QStringLiteral("quand"), matin);
        ins.execSQL();
        // A quarter of a second later is another moment.
        ins.setInteger(QStringLiteral("id"), 4);
        ins.setDateTime(QStringLiteral("quand"), matin.addMSecs(250));
        ins.execSQL();
        Query q;
        q.setDatabaseName(QStringLiteral("EngineTest"));
        q.addLine(QStringLiteral("SELECT ID, QUAND FROM T WHERE QUAND=:quand ORDER BY ID"));
        q.setDateTime(QStringLiteral("quand"), matin);
        q.open();
        QCOMPARE(q.recordCount(), 2);
        QCOMPARE(q.fieldByName(QStringLiteral("QUAND")).asDateTime(), matin);
        q.setDateTime(QStringLiteral("quand"), minuit);
        q.open();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.fieldByName(QStringLiteral("ID")).asInteger(), 2);
        // A date-time as text: the date in the short format, the time unless midnight.
        QCOMPARE(q.fieldByName(QStringLiteral("QUAND")).asString(), QStringLiteral("05/03/2024"));
        QCOMPARE(q.param(QStringLiteral("quand")).asString(), QStringLiteral("05/03/2024"));
        q.setDateTime(QStringLiteral("quand"), matin);
        q.open();
        QCOMPARE(q.fieldByName(QStringLiteral("QUAND")).asString(), QStringLiteral("05/03/2024 09:30:00"));
        q.setDateTime(QStringLiteral("quand"), matin.addMSecs(250));
        q.open();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.fieldByName(QStringLiteral("QUAND")).asDateTime(), matin.addMSecs(250));
        // MAX over the stored form is the latest date-time.
        Query m;
        m.setDatabaseName(QStringLiteral("EngineTest"));
        m.addLine(QStringLiteral("SELECT MAX(QUAND) FROM T"));
        m.open();
        QCOMPARE(m.field(0).asDateTime(), matin.addMSecs(250));
    }

    void resultSetIsStaticAndWalksBothWays()
    {
        for (int i = 1; i <= 3; ++i)
            sql(QStringLiteral("INSERT INTO T (ID, MONTANT) VALUES (%1, %2)").arg(i).arg(i * 1.5));
        Query q;
        q.setDatabaseName(QStringLiteral("EngineTest"));
        q.addLine(QStringLiteral("SELECT * FROM T ORDER BY ID"));
        q.open();
        QCOMPARE(q.recordCount(), 3);
        QVERIFY(!q.eof());
        QCOMPARE(q.recNo(), 1);
        sql(QStringLiteral("DELETE FROM T WHERE ID=2"));
        q.next();
        QCOMPARE(q.fieldByName(QStringLiteral("ID")).asInteger(), 2);   // still listed
        QCOMPARE(q.fieldByName(QStringLiteral("MONTANT")).asString(), QStringLiteral("3"));
        q.next();
        QCOMPARE(q.fieldByName(QStringLiteral("MONTANT")).asString(), QStringLiteral("4,5"));
        q.next();
        QVERIFY(q.eof());
        QCOMPARE(q.recNo(), 3);
        q.prior();
        QVERIFY(!q.eof());
        QCOMPARE(q.recNo(), 2);
        q.last();
        QCOMPARE(q.recNo(), 3);
        q.first();
        QCOMPARE(q.recNo(), 1);
        Query vide;
        vide.setDatabaseName(QStringLiteral("EngineTest"));
        vide.addLine(QStringLiteral("SELECT * FROM T WHERE ID < 0"));
        vide.open();
        QVERIFY(vide.eof());
        QCOMPARE(vide.recordCount(), 0);
        QCOMPARE(vide.field(0).asInteger(), 0);
    }

    void errorsCarryTheEngineMessage()
    {
        Query q;
        q.setDatabaseName(QStringLiteral("EngineTest"));
        q.addLine(QStringLiteral("SELECT * FROM ABSENTE"));
        try {
            q.open();
            QFAIL("no error");
        } catch (const DbError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("no such table: ABSENTE")), qPrintable(e.message()));
        }
        sql(QStringLiteral("CREATE TRIGGER refus BEFORE INSERT ON T WHEN NEW.ID=99 BEGIN SELECT RAISE(ABORT,'refus du moteur'); END"));
        try {
            sql(QStringLiteral("INSERT INTO T (ID) VALUES (99)"));
            QFAIL("no error");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("refus du moteur"));
        }
        sql(QStringLiteral("DROP TRIGGER refus"));
    }

    void connectionFailures()
    {
        Engine::instance().addAlias(QStringLiteral("Absente"), QStringLiteral("SQLITE"), {QStringLiteral("PATH=") + tmp.path() + QStringLiteral("/nulle.sqlite")});
        Connection c;
        c.databaseName = QStringLiteral("Absente");
        QVERIFY_THROWS_EXCEPTION(DbError, c.open());
        QVERIFY(!QFile::exists(tmp.path() + QStringLiteral("/nulle.sqlite")));   // never created
        QFile texte(tmp.path() + QStringLiteral("/texte.sqlite"));
        QVERIFY(texte.open(QIODevice::WriteOnly));
        texte.write(QByteArray(4096, 'x'));
        texte.close();
        Engine::instance().addAlias(QStringLiteral("Texte"), QStringLiteral("SQLITE"), {QStringLiteral("PATH=") + texte.fileName()});
        Connection t;
        t.databaseName = QStringLiteral("Texte");
        try {
            t.open();
            QFAIL("opened a text file");
        } catch (const DbError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("not a database")), qPrintable(e.message()));
        }
        Connection inconnue;
        inconnue.databaseName = QStringLiteral("PasUnAlias");
        QVERIFY_THROWS_EXCEPTION(DbError, inconnue.open());
        // A SQL Server that does not answer: the driver's own message.
        Engine::instance().addAlias(QStringLiteral("Serveur"), QStringLiteral("MSSQL"), {QStringLiteral("USER NAME=sa")});
        Connection s;
        s.databaseName = QStringLiteral("Serveur");
        s.params << QStringLiteral("SERVER NAME=127.0.0.1,1") << QStringLiteral("DATABASE NAME=Orbelis") << QStringLiteral("PASSWORD=x");
        try {
            s.open();
            QFAIL("connected to nothing");
        } catch (const DbError &e) {
            QVERIFY(!e.message().isEmpty());
        }
        QVERIFY(!s.connected());
    }

    void odbcStringQuotesValues()
    {
        const QString s = odbcConnectionString(QStringLiteral("SRV\\SQLEXPRESS"), QStringLiteral("Base"), QStringLiteral("sa"), QStringLiteral("a;b}c"));
        QVERIFY(s.contains(QStringLiteral("SERVER={SRV}")));
        QVERIFY(s.contains(QStringLiteral("INSTANCE={SQLEXPRESS}")));
        QVERIFY(s.contains(QStringLiteral("PWD={a;b}}c}")));
        QVERIFY(odbcConnectionString(QStringLiteral("h,1500"), {}, {}, {}).contains(QStringLiteral("PORT=1500")));
    }

    // A generic alias: its lines are the connection's keys, the engine's
    // names for them translated, its own settings left out, the
    // connection's lines over the alias's.
    void genericOdbcAliasLines()
    {
        QCOMPARE(odbcConnectionStringOfLines({QStringLiteral("ODBC DRIVER=PostgreSQL Unicode"), QStringLiteral("SERVER NAME=db1"),
                                              QStringLiteral("DATABASE NAME=Orbelis"), QStringLiteral("USER NAME=sa"),
                                              QStringLiteral("PASSWORD=p;w}d"), QStringLiteral("BLOB SIZE=300"),
                                              QStringLiteral("LANGDRIVER=BLLT1FR0"), QStringLiteral("Port=5433"),
                                              QStringLiteral("USER NAME=praticien")}),
                 QStringLiteral("DRIVER={PostgreSQL Unicode};SERVER=db1;DATABASE=Orbelis;UID=praticien;PWD={p;w}}d};PORT=5433"));
        QCOMPARE(odbcConnectionStringOfLines({QStringLiteral("DSN=Orbelis"), QStringLiteral("PATH=C:\\Base")}), QStringLiteral("DSN=Orbelis"));
        // Through an alias: a DSN that does not exist is the driver manager's refusal, nothing is left open.
        Engine::instance().addAlias(QStringLiteral("SourceOdbc"), QStringLiteral("ODBC"), {QStringLiteral("DSN=AldurixAbsente")});
        Connection c;
        c.databaseName = QStringLiteral("SourceOdbc");
        try {
            c.open();
            QFAIL("connected to nothing");
        } catch (const DbError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("Data source name not found")), qPrintable(e.message()));
        }
        QVERIFY(!c.connected());
    }

    void workTableCursor()
    {
        const QString dir = tmp.path() + QStringLiteral("/prive");
        QDir().mkpath(dir);
        TableCursor t;
        t.setDatabaseName(dir);
        t.setTableName(QStringLiteral("Journal.DB"));
        t.fieldDefs() = {{QStringLiteral("ID"), FieldType::AutoInc, 0, true},
                         {QStringLiteral("NIVEAU"), FieldType::Integer, 0, true},
                         {QStringLiteral("ORIGINE"), FieldType::Text, 50, false},
                         {QStringLiteral("QUAND"), FieldType::DateTime, 0, false}};
        t.createTable();
        t.addIndex(QString(), QStringLiteral("ID"), ixPrimary | ixUnique);
        t.addIndex(QStringLiteral("Ordre"), QStringLiteral("NIVEAU;ORIGINE;ID"), ixUnique | ixCaseInsensitive);
        t.open();
        t.setIndexName(QStringLiteral("Ordre"));
        const QList<QPair<int, QString>> lignes = {{3, QStringLiteral("b")}, {1, QStringLiteral("Z")}, {3, QStringLiteral("A")},
                                                   {1, QStringLiteral("a")}, {3, QStringLiteral("b")}};
        for (const auto &l : lignes) {
            t.append();
            t.setFieldValue(QStringLiteral("NIVEAU"), l.first);
            t.setFieldValue(QStringLiteral("ORIGINE"), l.second);
            t.setFieldValue(QStringLiteral("QUAND"), QDateTime(QDate(2024, 1, 2), QTime(10, 0)));
            t.post();
        }
        QStringList ordre;
        for (t.first(); !t.eof(); t.next())
            ordre << t.fieldByName(QStringLiteral("NIVEAU")).asString() + t.fieldByName(QStringLiteral("ORIGINE")).asString()
                         + t.fieldByName(QStringLiteral("ID")).asString();
        // Level, then origin without regard to case, then insertion order.
        QCOMPARE(ordre, QStringList({QStringLiteral("1a4"), QStringLiteral("1Z2"), QStringLiteral("3A3"), QStringLiteral("3b1"), QStringLiteral("3b5")}));
        t.setIndexName(QString());
        QVERIFY(t.findKey({3}));
        QCOMPARE(t.fieldByName(QStringLiteral("ORIGINE")).asString(), QStringLiteral("A"));
        QCOMPARE(t.fieldByName(QStringLiteral("QUAND")).asDateTime(), QDateTime(QDate(2024, 1, 2), QTime(10, 0)));
        QVERIFY(!t.findKey({42}));
        t.edit();
        t.setFieldValue(QStringLiteral("ORIGINE"), QStringLiteral("modifiée"));
        t.post();
        QVERIFY(t.findKey({3}));
        QCOMPARE(t.fieldByName(QStringLiteral("ORIGINE")).asString(), QStringLiteral("modifiée"));
        // A required field left empty is refused by the engine, and cancel drops the row.
        t.append();
        t.setFieldValue(QStringLiteral("ORIGINE"), QStringLiteral("sans niveau"));
        QVERIFY_THROWS_EXCEPTION(DbError, t.post());
        t.cancel();
        QCOMPARE(t.recordCount(), 5);
        // The directory's tables are reachable by SQL too.
        Query q;
        q.setDatabaseName(dir);
        q.addLine(QStringLiteral("SELECT * FROM Journal"));
        q.addLine(QStringLiteral("ORDER BY NIVEAU, ORIGINE, ID"));
        q.open();
        QCOMPARE(q.recordCount(), 5);
        t.emptyTable();
        QCOMPARE(t.recordCount(), 0);
        q.close();
        t.deleteTable();
        QVERIFY(QDir(dir).entryList(QDir::Files).isEmpty());
    }

    void copyModeTakesTheSourceColumns()
    {
        sql(QStringLiteral("INSERT INTO T (ID, NOM, QUAND, MONTANT, OK) VALUES (2, NULL, '2024-02-01 00:00:00', 1.5, 1)"));
        sql(QStringLiteral("INSERT INTO T (ID, NOM, QUAND, MONTANT, OK) VALUES (1, 'Léa', NULL, NULL, 0)"));
        Query src;
        src.setDatabaseName(QStringLiteral("EngineTest"));
        src.addLine(QStringLiteral("SELECT ID, NOM, QUAND, OK FROM T ORDER BY ID"));
        src.open();
        const QString dir = tmp.path() + QStringLiteral("/copie");
        QDir().mkpath(dir);
        TableCursor t;
        t.setDatabaseName(dir);
        t.setTableName(QStringLiteral("Copie.DB"));
        t.fieldDefs() = {{QStringLiteral("ID"), FieldType::Integer, 0, true}, {QStringLiteral("NOM"), FieldType::Text, 5, true}};
        t.createTable();
        t.copyFrom(src);   // NOM null is accepted: the definition is the source's
        t.addIndex(QString(), QStringLiteral("ID"), ixPrimary | ixUnique);
        t.open();
        QCOMPARE(t.fieldNames(), QStringList({QStringLiteral("ID"), QStringLiteral("NOM"), QStringLiteral("QUAND"), QStringLiteral("OK")}));
        QCOMPARE(t.recordCount(), 2);
        QVERIFY(t.findKey({2}));
        QCOMPARE(t.fieldByName(QStringLiteral("QUAND")).asDateTime(), QDateTime(QDate(2024, 2, 1), QTime(0, 0)));
        QCOMPARE(t.fieldByName(QStringLiteral("OK")).asBoolean(), true);
        QVERIFY(t.findKey({1}));
        QCOMPARE(t.fieldByName(QStringLiteral("NOM")).asString(), QStringLiteral("Léa"));
    }

    void connectionTableCursorOnKeyList()
    {
        TableCursor t;
        t.setDatabaseName(QStringLiteral("EngineTest"));
        t.setTableName(QStringLiteral("ID_VALUES"));
        t.open();
        t.setIndexFieldNames(QStringLiteral("KEY_NAME"));
        t.append();
        t.setFieldValue(QStringLiteral("KEY_NAME"), QStringLiteral("MOTCONSU"));
        t.setFieldValue(QStringLiteral("LAST_VALUE"), 10);
        t.post();
        QVERIFY(t.findKey({QStringLiteral("MOTCONSU")}));
        QVERIFY(!t.findKey({QStringLiteral("motconsu")}));   // exact search
        QVERIFY(t.findKey({QStringLiteral("MOTCONSU")}));
        t.edit();
        t.setFieldValue(QStringLiteral("LAST_VALUE"), 11);
        t.post();
        t.close();
        Query q;
        q.setDatabaseName(QStringLiteral("EngineTest"));
        q.addLine(QStringLiteral("SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME='MOTCONSU'"));
        q.open();
        QCOMPARE(q.field(0).asInteger(), 11);
        QVERIFY(Engine::instance().tableNames(QStringLiteral("EngineTest"), QString(), false, false).contains(QStringLiteral("ID_VALUES")));
    }

    void configurationFileKeepsItsLayout()
    {
        const QString path = tmp.path() + QStringLiteral("/PRAXELLE.VER");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("; commentaire\r\n[DBKERNEL]\r\nDBType = 1\r\nAlias=\\\\SERVEUR\\Base\r\n\r\n[application]\r\nProgName=Praxelle\r\n");
        f.close();
        IniFile ini(path);
        QCOMPARE(ini.readInteger(QStringLiteral("dbkernel"), QStringLiteral("DBTYPE"), -1), 1);
        QCOMPARE(ini.readString(QStringLiteral("DBKERNEL"), QStringLiteral("Alias")), QStringLiteral("\\\\SERVEUR\\Base"));
        QCOMPARE(ini.readString(QStringLiteral("Application"), QStringLiteral("ProgName")), QStringLiteral("Praxelle"));
        QCOMPARE(ini.readInteger(QStringLiteral("DBKERNEL"), QStringLiteral("Absent"), -1), -1);
        ini.writeInteger(QStringLiteral("Troubles"), QStringLiteral("InitBDESettings"), 0);
        ini.writeString(QStringLiteral("DBKERNEL"), QStringLiteral("ServerName"), QStringLiteral("SRV"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray after = f.readAll();
        QCOMPARE(after, QByteArray("; commentaire\r\n[DBKERNEL]\r\nDBType = 1\r\nAlias=\\\\SERVEUR\\Base\r\nServerName=SRV\r\n\r\n"
                                   "[application]\r\nProgName=Praxelle\r\n\r\n[Troubles]\r\nInitBDESettings=0\r\n"));
        // Garbage is read as nothing at all, without failing.
        QFile g(tmp.path() + QStringLiteral("/garbage.ini"));
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write(QByteArray("\xff\xfe[\x00\x01=\x80\x81\n=x\n[DataBase\nServer", 30));
        g.close();
        IniFile garbage(g.fileName());
        QCOMPARE(garbage.readString(QStringLiteral("DataBase"), QStringLiteral("Server"), QStringLiteral("def")), QStringLiteral("def"));
    }

    void dateTextConversions()
    {
        formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
        QCOMPARE(formats::textToDate(QStringLiteral("05/03/2024")), std::optional<QDate>(QDate(2024, 3, 5)));
        QCOMPARE(formats::textToDate(QStringLiteral(" 5/ 3/2024")), std::optional<QDate>(QDate(2024, 3, 5)));
        QVERIFY(!formats::textToDate(QStringLiteral("31/02/1950")));
        QVERIFY(!formats::textToDate(QStringLiteral("  /  /    ")));
        QVERIFY(!formats::textToDate(QString()));
        QCOMPARE(formats::textToDateTime(QStringLiteral("05/03/2024 09:30:00")), std::optional<QDateTime>(QDateTime(QDate(2024, 3, 5), QTime(9, 30))));
        formats::setShortDateFormat(QStringLiteral("MM/dd/yyyy"));
        QCOMPARE(formats::textToDate(QStringLiteral("03/05/2024")), std::optional<QDate>(QDate(2024, 3, 5)));
        QCOMPARE(formats::dateTimeToText(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), QStringLiteral("12/30/1899"));
        formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
        // The stored form: milliseconds only when there are some, years before 1 signed.
        QCOMPARE(formats::storageText(QDateTime(QDate(2024, 3, 5), QTime(9, 30))), QStringLiteral("2024-03-05 09:30:00"));
        QCOMPARE(formats::storageText(QDateTime(QDate(-2, 12, 31), QTime(1, 0, 0, 40))),
                 QStringLiteral("-0002-12-31 01:00:00.040"));
        QCOMPARE(formats::fromStorageText(QStringLiteral("-0002-12-31 01:00:00.040")),
                 std::optional<QDateTime>(QDateTime(QDate(-2, 12, 31), QTime(1, 0, 0, 40))));
        QCOMPARE(formats::fromStorageText(QStringLiteral("12345-01-02 00:00:00.5")),
                 std::optional<QDateTime>(QDateTime(QDate(12345, 1, 2), QTime(0, 0, 0, 500))));
        QCOMPARE(formats::fromStorageText(QStringLiteral("2024-03-05")), std::optional<QDateTime>(QDateTime(QDate(2024, 3, 5), QTime(0, 0))));
        for (const char *bad : {"2024-03-05 09:30:00.", "2024-03-05 09:30", "2024-02-30 00:00:00", "24-03-05", "2024-03-05 09:30:00x"})
            QVERIFY2(!formats::fromStorageText(QLatin1String(bad)), bad);
        QCOMPARE(formats::floatToText(100.1), QStringLiteral("100,1"));
        QCOMPARE(formats::floatToText(-0.0), QStringLiteral("0"));
        QCOMPARE(formats::upperAscii(QStringLiteral("élodie chèque")), QStringLiteral("éLODIE CHèQUE"));
    }
};

QTEST_GUILESS_MAIN(EngineTest)
#include "engine_test.moc"
