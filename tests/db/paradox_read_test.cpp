// Reading real Paradox tables (written by the desktop software) through the
// engine, checked against their README and against pxlib itself.
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Formats.h"
#include "db/Query.h"
#include "db/paradox/ParadoxDriver.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>
#include <cstring>
#include <memory>
extern "C" {
#include <paradox.h>
}

using db::Query;

namespace {

const QString kSamples = QStringLiteral(ALDURIX_SHARED_TESTDATA "/paradox");

QVariant cell(const QString &sql, const QString &db = QStringLiteral("PXREAD"))
{
    Query q;
    q.setDatabaseName(db);
    q.setSql(sql);
    q.open();
    return q.eof() ? QVariant() : q.field(0).value();
}

// pxlib's own reading of one record, for comparison.
struct PxRecord {
    pxdoc_t *doc = nullptr;
    QByteArray data;
    PxRecord(const QString &file, int recno)
    {
        doc = PX_new();
        if (PX_open_file(doc, QFile::encodeName(file).constData()) < 0)
            return;
        data = QByteArray(PX_get_recordsize(doc), '\0');
        if (!PX_get_record(doc, recno, data.data()))
            data.clear();
    }
    ~PxRecord() { PX_delete(doc); }
    int offsetOf(int field) const
    {
        int o = 0;
        for (int i = 0; i < field; ++i)
            o += PX_get_field(doc, i)->px_flen;
        return o;
    }
    char *at(int field) { return data.data() + offsetOf(field); }
    int len(int field) const { return PX_get_field(doc, field)->px_flen; }
};

const char *codePageName(int cp)
{
    return cp == 437 ? "IBM437" : cp == 850 ? "IBM850" : cp == 866 ? "IBM866" : cp == 1251 ? "windows-1251" : "windows-1252";
}

// Takes the code page out of a table's header: as a Paradox 3.5 table has
// it (no part after the common header, names of 79 bytes, version 4), or as
// a 4.0+ header holding 0 for its page.
void dropCodePage(const QString &file, bool asOldHeader)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    const int headerSize = qFromLittleEndian<quint16>(bytes.constData() + 2);
    const int fields = qFromLittleEndian<qint16>(bytes.constData() + 0x21);
    QByteArray head = bytes.left(headerSize);
    if (asOldHeader) {
        const int nameLength = head[0x39] >= 12 ? 261 : 79;
        const int nameAt = 0x78 + 2 * fields + 4 + 4 * fields;
        QByteArray old = head.left(0x58) + head.mid(0x78, nameAt - 0x78) + head.mid(nameAt, 79)
            + head.mid(nameAt + nameLength);
        old.resize(headerSize, '\0');
        old[0x39] = 4;
        qToLittleEndian<quint32>(0, old.data() + 0x25);   // 3.5 keeps its encryption here
        head = old;
    } else {
        head[0x6A] = 0;
        head[0x6B] = 0;
    }
    bytes.replace(0, headerSize, head);
    QVERIFY(f.seek(0));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class ParadoxReadTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_dir;
    std::unique_ptr<db::Connection> m_conn;

private slots:
    void initTestCase()
    {
        if (!QDir(kSamples).exists())
            QSKIP("The shared Paradox samples are absent: nothing to read.");
        QVERIFY(m_tmp.isValid());
        m_dir = m_tmp.filePath(QStringLiteral("base"));
        QVERIFY(QDir().mkpath(m_dir));
        // The originals stay untouched: the engine only ever sees copies.
        for (const QString &f : QDir(kSamples).entryList(QDir::Files))
            if (!f.endsWith(QLatin1String(".md")))
                QVERIFY(QFile::copy(kSamples + QLatin1Char('/') + f, m_dir + QLatin1Char('/') + f));
        for (const QString &f : QDir(m_dir).entryList(QDir::Files))
            QFile::setPermissions(m_dir + QLatin1Char('/') + f, QFile::ReadOwner | QFile::WriteOwner);
        db::Engine::instance().setConfigFile(m_tmp.filePath(QStringLiteral("engine.cfg")));
        db::Engine::instance().addStandardAlias(QStringLiteral("PXREAD"), m_dir, QStringLiteral("Paradox"));
        m_conn = std::make_unique<db::Connection>();
        m_conn->aliasName = QStringLiteral("PXREAD");
        m_conn->databaseName = QStringLiteral("PXREAD");
        m_conn->open();
    }

    void cleanupTestCase() { m_conn.reset(); }

    void listingMatchesFilesWithoutRegardToCase()
    {
        const QStringList files = db::Engine::instance().tableNames(QStringLiteral("PXREAD"), QStringLiteral("*.db"), true, false);
        QCOMPARE(files, (QStringList{"biolife.db", "country.db", "empty.db", "TypSammlung.DB"}));
        QStringList tables = m_conn->database().tables();
        tables.sort(Qt::CaseInsensitive);
        QCOMPARE(tables, (QStringList{"biolife", "country", "empty", "TypSammlung"}));
        // Names from upper-case Windows habits reach lower-case files and back.
        QCOMPARE(cell(QStringLiteral("SELECT count(*) FROM BIOLIFE")).toInt(), 28);
        QCOMPARE(cell(QStringLiteral("SELECT count(*) FROM typsammlung")).toInt(), 5);
    }

    void recordCountsAndFields_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QStringList>("types");
        QTest::newRow("country") << "country" << 18 << QStringList{"Name", "Capital", "Continent", "Area", "Population"}
                                 << QStringList{"VARCHAR(24)", "VARCHAR(24)", "VARCHAR(24)", "FLOAT", "FLOAT"};
        QTest::newRow("biolife") << "biolife" << 28
                                 << QStringList{"Species No", "Category", "Common_Name", "Species Name", "Length (cm)",
                                                "Length_In", "Notes", "Graphic"}
                                 << QStringList{"FLOAT", "VARCHAR(15)", "VARCHAR(30)", "VARCHAR(40)", "FLOAT", "FLOAT",
                                                "MEMO TEXT", "GRAPHIC BLOB"};
        QTest::newRow("TypSammlung") << "TypSammlung" << 5
                                     << QStringList{"Alpha", "Numerisch", "Währung", "Integer kurz", "Integer lang", "BCD",
                                                    "Datum", "Zeit", "Datum/Zeit", "Memo", "Logisch", "Zähler", "Binär",
                                                    "Bytes"}
                                     << QStringList{"VARCHAR(30)", "FLOAT", "MONEY", "SMALLINT", "INTEGER", "BCD", "DATE",
                                                    "TIME", "DATETIME", "MEMO TEXT", "BOOLEAN", "INTEGER AUTOINC", "BLOB",
                                                    "BYTES BLOB"};
        QTest::newRow("empty") << "empty" << 0
                               << QStringList{"ID", "ScientificName", "CommonName", "Order", "Genus", "Notes", "Picture"}
                               << QStringList{"INTEGER", "VARCHAR(30)", "VARCHAR(30)", "VARCHAR(20)", "VARCHAR(20)",
                                              "MEMO TEXT", "GRAPHIC BLOB"};
    }

    void recordCountsAndFields()
    {
        QFETCH(QString, table);
        QFETCH(int, count);
        QFETCH(QStringList, columns);
        QFETCH(QStringList, types);
        QCOMPARE(cell(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)).toInt(), count);
        // Qt's record() and the declared types both go through PRAGMA table_info.
        const QSqlRecord rec = m_conn->database().record(table);
        QStringList names, declared;
        for (int i = 0; i < rec.count(); ++i)
            names << rec.fieldName(i);
        QSqlQuery info(m_conn->database());
        QVERIFY(info.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table)));
        while (info.next())
            declared << info.value(2).toString();
        QCOMPARE(names, columns);
        QCOMPARE(declared, types);
    }

    void countryValuesAreTheStoredDoubles()
    {
        Query q;
        q.setDatabaseName(QStringLiteral("PXREAD"));
        q.setSql(QStringLiteral("SELECT Name, Capital, Continent, Area, Population FROM country"));
        q.open();
        QCOMPARE(q.recordCount(), 18);
        QCOMPARE(q.field(0).asString(), QStringLiteral("Argentina"));
        QCOMPARE(q.field(1).asString(), QStringLiteral("Buenos Aires"));
        QCOMPARE(q.field(2).asString(), QStringLiteral("South America"));
        QCOMPARE(q.field(3).asFloat(), 2777815.0);
        QCOMPARE(q.field(4).asFloat(), 32300003.0);
        QCOMPARE(q.field(3).kind(), db::ColumnKind::Float);
        // Keyed look-up and a text comparison on the same table.
        QCOMPARE(cell(QStringLiteral("SELECT Capital FROM country WHERE Name = 'Peru'")).toString(), QStringLiteral("Lima"));
        QCOMPARE(cell(QStringLiteral("SELECT count(*) FROM country WHERE Continent = 'North America'")).toInt(), 7);
    }

    void biolifeMemoAndGraphicComeFromTheMbFile()
    {
        Query q;
        q.setDatabaseName(QStringLiteral("PXREAD"));
        q.setSql(QStringLiteral("SELECT \"Species No\", Category, Common_Name, \"Species Name\", \"Length (cm)\", Length_In, "
                                "Notes, Graphic FROM biolife"));
        q.open();
        QCOMPARE(q.field(0).asFloat(), 90020.0);
        QCOMPARE(q.field(1).asString(), QStringLiteral("Triggerfish"));
        QCOMPARE(q.field(2).asString(), QStringLiteral("Clown Triggerfish"));
        QCOMPARE(q.field(3).asString(), QStringLiteral("Ballistoides conspicillum"));
        QCOMPARE(q.field(4).asFloat(), 50.0);
        QVERIFY(qAbs(q.field(5).asFloat() - 19.685) < 0.001);
        const QString notes = q.field(6).asString();
        const QByteArray graphic = q.field(7).value().toByteArray();

        // pxlib 0.6.8 cannot open a memo file (it overruns its stack), so the
        // record's own part of each blob is the reference: the memo's first
        // bytes and sizes, and the bitmap's own size field.
        PxRecord px(m_dir + QStringLiteral("/biolife.db"), 0);
        QVERIFY(!px.data.isEmpty());
        const char *memoField = px.at(6);
        const int leader = px.len(6) - 10;
        QCOMPARE(notes.size(), int(qFromLittleEndian<quint32>(memoField + leader + 4)));
        QCOMPARE(notes.size(), 701);
        QCOMPARE(notes.left(leader).toLatin1(), QByteArray(memoField, leader));
        QVERIFY(notes.startsWith(QStringLiteral("Also known as the bi")));
        QVERIFY(!notes.contains(QChar(0)));
        QCOMPARE(graphic.size(), int(qFromLittleEndian<quint32>(px.at(7) + 4)) - 8);
        QVERIFY(graphic.startsWith("BM"));   // a Windows bitmap, whose header gives its size
        QCOMPARE(int(qFromLittleEndian<quint32>(graphic.constData() + 2)), graphic.size());
    }

    void typSammlungFirstRecordHasEveryType()
    {
        Query q;
        q.setDatabaseName(QStringLiteral("PXREAD"));
        q.setSql(QStringLiteral("SELECT * FROM TypSammlung"));
        q.open();
        QCOMPARE(q.fieldByName(QStringLiteral("Alpha")).asString(), QStringLiteral("AAA Irgendein Text"));
        QCOMPARE(q.fieldByName(QStringLiteral("Numerisch")).asFloat(), 40.0);
        QCOMPARE(q.fieldByName(QStringLiteral("Währung")).asFloat(), 40.0);
        QCOMPARE(q.fieldByName(QStringLiteral("Integer kurz")).asInteger(), 40);
        QCOMPARE(q.fieldByName(QStringLiteral("Integer lang")).asInteger(), 40);
        QCOMPARE(q.fieldByName(QStringLiteral("BCD")).asFloat(), 40.0);
        QCOMPARE(q.fieldByName(QStringLiteral("Datum")).asDateTime(), QDateTime(QDate(1970, 1, 1), QTime(0, 0)));
        QCOMPARE(q.fieldByName(QStringLiteral("Datum")).kind(), db::ColumnKind::DateTime);
        {
            // The stored text, as SQL sees it (statements read it as a date-time).
            QSqlQuery raw(db::Engine::instance().database(QStringLiteral("PXREAD")));
            QVERIFY(raw.exec(QStringLiteral("SELECT Zeit FROM TypSammlung")) && raw.next());
            QCOMPARE(raw.value(0).toString(), QStringLiteral("1899-12-30 00:00:00"));
        }
        QCOMPARE(q.fieldByName(QStringLiteral("Datum/Zeit")).asDateTime(), QDateTime(QDate(1970, 1, 1), QTime(11, 0)));
        QVERIFY(q.fieldByName(QStringLiteral("Memo")).isNull());
        QVERIFY(q.fieldByName(QStringLiteral("Logisch")).isNull());
        QCOMPARE(q.fieldByName(QStringLiteral("Logisch")).kind(), db::ColumnKind::Boolean);
        QCOMPARE(q.fieldByName(QStringLiteral("Zähler")).asInteger(), 1);
        QVERIFY(q.fieldByName(QStringLiteral("Binär")).isNull());
        QVERIFY(q.fieldByName(QStringLiteral("Bytes")).isNull());

        // The other records: negative BCD, a set logical, a memo from the .MB in cp1252.
        QCOMPARE(cell(QStringLiteral("SELECT BCD FROM TypSammlung WHERE \"Zähler\" = 2")).toDouble(), -40.0);
        QCOMPARE(cell(QStringLiteral("SELECT BCD FROM TypSammlung WHERE \"Zähler\" = 5")).toDouble(), 13.123457);
        QCOMPARE(cell(QStringLiteral("SELECT Alpha FROM TypSammlung WHERE \"Zähler\" = 5")).toString(),
                 QStringLiteral("Fünfter Datensatz"));
        QCOMPARE(cell(QStringLiteral("SELECT Logisch FROM TypSammlung WHERE Alpha = 'Erste Zeile'")).toInt(), 0);
        QCOMPARE(cell(QStringLiteral("SELECT Logisch FROM TypSammlung WHERE Alpha = 'Zweite Zeile'")).toInt(), 1);
        const QString memo = cell(QStringLiteral("SELECT Memo FROM TypSammlung WHERE Memo IS NOT NULL")).toString();
        QCOMPARE(memo, QStringLiteral("Dies ist eine Memo im 'Fünften Datensat'"));
        QCOMPARE(cell(QStringLiteral("SELECT count(*) FROM TypSammlung WHERE Memo IS NOT NULL")).toInt(), 1);
        // A date and a timestamp before year 1 are values, not NULL: 31 December 2 BC.
        QCOMPARE(cell(QStringLiteral("SELECT Datum || '|' || \"Datum/Zeit\" || '|' || Zeit FROM TypSammlung "
                                     "WHERE \"Zähler\" = 5")).toString(),
                 QStringLiteral("-0002-12-31 00:00:00|-0002-12-31 01:00:00|1899-12-30 01:10:12"));
        QCOMPARE(cell(QStringLiteral("SELECT count(*) FROM TypSammlung WHERE Datum IS NULL")).toInt(), 2);
    }

    // Every scalar field of every sample record read both ways.
    void scalarsAgreeWithPxlib_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::newRow("country") << "country.db" << "country";
        QTest::newRow("biolife") << "biolife.db" << "biolife";
        QTest::newRow("TypSammlung") << "TypSammlung.DB" << "TypSammlung";
    }

    void scalarsAgreeWithPxlib()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        Query q;
        q.setDatabaseName(QStringLiteral("PXREAD"));
        q.setSql(QStringLiteral("SELECT * FROM \"%1\"").arg(table));
        q.open();
        int compared = 0;
        for (int r = 0; !q.eof(); q.next(), ++r) {
            PxRecord px(m_dir + QLatin1Char('/') + file, r);
            QVERIFY(!px.data.isEmpty());
            for (int f = 0; f < q.fieldCount(); ++f) {
                const db::Field v = q.field(f);
                char *d = px.at(f);
                const int len = px.len(f);
                const bool blank = std::all_of(d, d + len, [](char c) { return c == 0; });
                switch (PX_get_field(px.doc, f)->px_ftype) {
                case pxfAlpha: {
                    char *s = nullptr;
                    PX_get_data_alpha(px.doc, d, len, &s);
                    QCOMPARE(v.isNull(), s == nullptr);
                    if (s) {
                        QStringDecoder dec(codePageName(px.doc->px_head->px_doscodepage));
                        QCOMPARE(v.asString(), QString(dec.decode(QByteArray(s))));
                        px.doc->free(px.doc, s);
                    }
                    ++compared;
                    break;
                }
                case pxfNumber:
                case pxfCurrency: {
                    double x = 0;
                    QCOMPARE(v.isNull(), PX_get_data_double(px.doc, d, len, &x) == 0);
                    if (!v.isNull())
                        QCOMPARE(v.asFloat(), x);
                    ++compared;
                    break;
                }
                case pxfShort: {
                    short x = 0;
                    QCOMPARE(v.isNull(), PX_get_data_short(px.doc, d, len, &x) == 0);
                    if (!v.isNull())
                        QCOMPARE(v.asInteger(), qint64(x));
                    ++compared;
                    break;
                }
                case pxfLong:
                case pxfAutoInc: {
                    // pxlib misreads a blank long on 64-bit: blank is checked first.
                    long x = 0;
                    QCOMPARE(v.isNull(), blank);
                    if (!blank) {
                        PX_get_data_long(px.doc, d, len, &x);
                        QCOMPARE(v.asInteger(), qint64(x));
                    }
                    ++compared;
                    break;
                }
                case pxfDate: {
                    // Every day number reads as its date, before year 1 too
                    // (TypSammlung has one); only the blank field is NULL.
                    QCOMPARE(v.isNull(), blank);
                    if (!blank) {
                        long x = 0;
                        PX_get_data_long(px.doc, d, len, &x);
                        int y = 0, m = 0, day = 0;
                        PX_SdnToGregorian(x + 1721425, &y, &m, &day);
                        QCOMPARE(v.asDateTime(), QDateTime(QDate(y, m, day), QTime(0, 0)));
                    }
                    ++compared;
                    break;
                }
                case pxfTime: {
                    QCOMPARE(v.isNull(), blank);
                    if (!blank) {
                        long x = 0;
                        PX_get_data_long(px.doc, d, len, &x);
                        QCOMPARE(db::formats::zeroDateTime().msecsTo(v.asDateTime()), qint64(x));
                    }
                    ++compared;
                    break;
                }
                case pxfTimestamp: {
                    // pxlib's own text goes wrong before year 1: its number is
                    // the reference, milliseconds on the scale of dates.
                    double x = 0;
                    QCOMPARE(v.isNull(), PX_get_data_double(px.doc, d, len, &x) == 0);
                    if (!v.isNull()) {
                        const QDateTime dt = v.asDateTime();
                        QCOMPARE((dt.date().toJulianDay() - 1721425) * 86400000.0 + dt.time().msecsSinceStartOfDay(), x);
                    }
                    ++compared;
                    break;
                }
                default:
                    break;
                }
            }
        }
        QVERIFY(compared > 0);
    }

    // A table whose header names no code page, written in Cyrillic: the
    // engine's Paradox language driver says its page, else DOS US as before.
    void headerWithoutCodePageReadsInTheDriversPage_data()
    {
        QTest::addColumn<int>("written");
        QTest::addColumn<bool>("oldHeader");
        QTest::addColumn<QString>("langDriver");
        QTest::addColumn<int>("read");
        QTest::newRow("3.5 header, ANSI Cyrillic") << 1251 << true << "ancyrr" << 1251;
        QTest::newRow("4.0 header, long name") << 1251 << false << "Pdox ANSI Cyrillic" << 1251;
        QTest::newRow("DOS Cyrillic") << 866 << true << "CYRR" << 866;
        QTest::newRow("unknown driver") << 1251 << true << "inconnu" << 437;
    }

    void headerWithoutCodePageReadsInTheDriversPage()
    {
        QFETCH(int, written);
        QFETCH(bool, oldHeader);
        QFETCH(QString, langDriver);
        QFETCH(int, read);
        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_'));
        const QString dir = m_tmp.filePath(tag);
        QVERIFY(QDir().mkpath(dir));
        const QString file = dir + QStringLiteral("/KLIENTY.DB");
        const QString name = QStringLiteral("Фамилия"), surname = QStringLiteral("Щукин Пётр"),
                      memo = QStringLiteral("Заметка врача, длиннее поля: она уходит в файл мемо.");
        db::paradox::createTable(file,
                                 {{QStringLiteral("ID"), db::paradox::ColumnType::Long, 0},
                                  {name, db::paradox::ColumnType::Alpha, 30},
                                  {QStringLiteral("NOTE"), db::paradox::ColumnType::Memo, 10}},
                                 QString(), written);
        db::paradox::appendRows(file, {{1, surname, memo}});
        dropCodePage(file, oldHeader);

        db::Engine &e = db::Engine::instance();
        e.writeNode(QStringLiteral("\\DRIVERS\\PARADOX\\INIT\\"), {{QStringLiteral("LANGDRIVER"), langDriver}});
        e.addStandardAlias(tag, dir, QStringLiteral("Paradox"));
        db::Connection c(tag);
        c.aliasName = tag;
        c.databaseName = tag;
        c.open();
        // What the stored bytes say in the page the table is read in.
        QStringEncoder enc(codePageName(written));
        QStringDecoder dec(codePageName(read));
        auto seen = [&](const QString &text) { return QString(dec.decode(QByteArray(enc.encode(text)))); };
        Query q;
        q.setDatabaseName(tag);
        q.setSql(QStringLiteral("SELECT * FROM KLIENTY"));
        q.open();
        QCOMPARE(q.fieldCount(), 3);
        QCOMPARE(q.fieldNames().value(1), seen(name));
        QCOMPARE(q.field(1).asString(), seen(surname));
        QCOMPARE(q.field(2).asString(), seen(memo));
        if (read == written)
            QCOMPARE(q.field(1).asString(), surname);

        // pxlib reads the converted file and finds no page in it.
        PxRecord px(file, 0);
        QVERIFY(!px.data.isEmpty());
        QCOMPARE(px.doc->px_head->px_doscodepage, 0);
        QCOMPARE(QByteArray(px.at(1)).left(30), QByteArray(enc.encode(surname)));

        // Writing it would be writing in a guessed page.
        QFile before(file);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray bytes = before.readAll();
        QString err;
        try {
            Query u;
            u.setDatabaseName(tag);
            u.setSql(QStringLiteral("UPDATE KLIENTY SET ID = 2"));
            u.execSQL();
        } catch (const db::DbError &ex) {
            err = ex.message();
        }
        QVERIFY2(err.contains(oldHeader ? QStringLiteral("version 4") : QStringLiteral("page de codes")), qPrintable(err));
        QVERIFY(before.seek(0));
        QCOMPARE(before.readAll(), bytes);
    }

    void emptyTableReadsNoRowsButItsFields()
    {
        Query q;
        q.setDatabaseName(QStringLiteral("PXREAD"));
        q.setSql(QStringLiteral("SELECT * FROM empty"));
        q.open();
        QVERIFY(q.eof());
        QCOMPARE(q.recordCount(), 0);
        QCOMPARE(q.fieldCount(), 7);
        QVERIFY(cell(QStringLiteral("SELECT max(ID) FROM empty")).isNull());
    }
};

QTEST_GUILESS_MAIN(ParadoxReadTest)
#include "paradox_read_test.moc"
