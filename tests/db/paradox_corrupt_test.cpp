// Damaged Paradox files: a clear engine error, no crash, no file changed.
#include "support/ParadoxDirs.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Query.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

const QString kSamples = QStringLiteral(ALDURIX_SHARED_TESTDATA "/paradox");

void patch(const QString &file, qint64 at, const QByteArray &bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(at));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Every value of every row, as the program would read them.
int readAll(const QString &db, const QString &table)
{
    db::Query q;
    q.setDatabaseName(db);
    q.setSql(QStringLiteral("SELECT * FROM \"%1\"").arg(table));
    q.open();
    int n = 0;
    for (; !q.eof(); q.next(), ++n)
        for (int i = 0; i < q.fieldCount(); ++i)
            q.field(i).asString();
    return n;
}

QString errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const db::DbError &e) {
        return e.message();
    }
    return QString();
}

} // namespace

class ParadoxCorruptTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    ParadoxConnections m_conns{QStringLiteral("PXC")};

    QString copySamples(const QString &name)
    {
        const QString dir = m_tmp.filePath(name);
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        for (const QString &f : QDir(kSamples).entryList(QDir::Files))
            if (!f.endsWith(QLatin1String(".md"))) {
                QFile::copy(kSamples + QLatin1Char('/') + f, dir + QLatin1Char('/') + f);
                QFile::setPermissions(dir + QLatin1Char('/') + f, QFile::ReadOwner | QFile::WriteOwner);
            }
        return dir;
    }

    // A connection on dir under a new alias, or under the one given.
    QString connect(const QString &dir, const QString &alias = QString()) { return m_conns.connect(dir, alias); }
private slots:
    void initTestCase()
    {
        if (!QDir(kSamples).exists())
            QSKIP("The shared Paradox samples are absent: nothing to damage.");
        QVERIFY(m_tmp.isValid());
        db::Engine::instance().setConfigFile(m_tmp.filePath(QStringLiteral("engine.cfg")));
    }

    void cleanup() { m_conns.clear(); }

    void damageIsAClearError_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("message");
        QTest::newRow("truncated") << "truncate" << "biolife" << "*" << "tronqué";
        QTest::newRow("header garbage") << "garbage" << "country" << "*" << "endommagé";
        QTest::newRow("block loop") << "loop" << "biolife" << "*" << "chaînage des blocs";
        QTest::newRow("record count") << "count" << "country" << "*" << "enregistrements";
        QTest::newRow("block size") << "blocksize" << "biolife" << "*" << "taille de bloc";
        QTest::newRow("missing memo file") << "nomb" << "biolife" << "Category" << "mémos";
        QTest::newRow("unreadable memo file") << "mbdir" << "biolife" << "Category" << "mémos";
        QTest::newRow("memo pointer") << "memoptr" << "biolife" << "Notes" << "illisible";
        QTest::newRow("memo block size") << "memosize" << "TypSammlung" << "Memo" << "incohérent";
        QTest::newRow("not a table") << "junk" << "junk" << "*" << "endommagé";
    }

    void damageIsAClearError()
    {
        QFETCH(QString, damage);
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QString, message);
        const QString dir = copySamples(QStringLiteral("damage"));
        const QString bio = dir + QStringLiteral("/biolife.db");
        if (damage == QLatin1String("truncate")) {
            QFile f(bio);
            QVERIFY(f.resize(5000));
        } else if (damage == QLatin1String("garbage")) {
            patch(dir + QStringLiteral("/country.db"), 0, QByteArray(0x58, '\xAA'));
        } else if (damage == QLatin1String("loop")) {
            patch(bio, 2048 + 2048, QByteArray("\x01\x00", 2));   // block 2 leads back to block 1
        } else if (damage == QLatin1String("count")) {
            patch(dir + QStringLiteral("/country.db"), 6, QByteArray("\x13\x00\x00\x00", 4));
        } else if (damage == QLatin1String("blocksize")) {
            patch(bio, 2048 + 4, QByteArray("\x01\x00", 2));   // not a whole number of records
        } else if (damage == QLatin1String("nomb")) {
            QVERIFY(QFile::remove(dir + QStringLiteral("/biolife.mb")));
        } else if (damage == QLatin1String("mbdir")) {
            // Opens, but no byte of it can be read (root reads any file).
            QVERIFY(QFile::remove(dir + QStringLiteral("/biolife.mb")));
            QVERIFY(QDir().mkdir(dir + QStringLiteral("/biolife.mb")));
        } else if (damage == QLatin1String("memoptr")) {
            // The memo pointer of the first record, past the end of the .mb.
            patch(bio, 2048 + 6 + 8 + 15 + 30 + 40 + 8 + 8 + 50, QByteArray("\xff\x00\x00\x7f", 4));
        } else if (damage == QLatin1String("memosize")) {
            // The sub-block entry of the one memo claims another length.
            patch(dir + QStringLiteral("/TypSammlung.MB"), 0x1000 + 12 + 63 * 5 + 4, QByteArray("\x09", 1));
        } else {
            QFile f(dir + QStringLiteral("/junk.db"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(100, 'j'));
        }
        const auto before = snapshot(dir);
        const QString db = connect(dir);
        const QString err = errorOf([&] {
            db::Query q;
            q.setDatabaseName(db);
            q.setSql(QStringLiteral("SELECT %1 FROM \"%2\"").arg(column == QLatin1String("*") ? column : QLatin1Char('"') + column + QLatin1Char('"'), table));
            q.open();
            for (; !q.eof(); q.next())
                q.field(0).asString();
        });
        QVERIFY2(err.contains(message), qPrintable(err));
        QVERIFY2(err.contains(table), qPrintable(err));
        const QString writeErr = errorOf([&] {
            db::Query q;
            q.setDatabaseName(db);
            q.setSql(QStringLiteral("DELETE FROM \"%1\"").arg(table));
            q.execSQL();
        });
        QVERIFY(!writeErr.isEmpty() || damage == QLatin1String("memoptr") || damage == QLatin1String("memosize"));
        if (writeErr.isEmpty())
            return;   // a bad memo does not stop the rest of the table from being written
        QCOMPARE(snapshot(dir), before);
        // The other tables of the directory read on.
        QCOMPARE(readAll(db, table == QLatin1String("country") ? QStringLiteral("empty") : QStringLiteral("country")),
                 table == QLatin1String("country") ? 0 : 18);
    }

    // Random byte flips in copies of the real tables. ALDURIX_PARADOX_FUZZ
    // sets the number of rounds (and ALDURIX_PARADOX_FUZZ_SEED the seed) for
    // longer runs by hand; QTEST_FUNCTION_TIMEOUT (ms) lifts QtTest's limit.
    void randomDamageNeverCrashes()
    {
        const int rounds = qEnvironmentVariableIsSet("ALDURIX_PARADOX_FUZZ") ? qEnvironmentVariableIntValue("ALDURIX_PARADOX_FUZZ") : 400;
        const quint32 seed = qEnvironmentVariableIsSet("ALDURIX_PARADOX_FUZZ_SEED")
            ? quint32(qEnvironmentVariableIntValue("ALDURIX_PARADOX_FUZZ_SEED")) : 20240601u;
        QRandomGenerator rnd(seed);
        const QStringList tables{"biolife", "TypSammlung", "country"};
        const QStringList dbFiles{"biolife.db", "TypSammlung.DB", "country.db"};
        const QStringList mbFiles{"biolife.mb", "TypSammlung.MB", QString()};
        int errors = 0, reads = 0;
        for (int round = 0; round < rounds; ++round) {
            const int t = int(rnd.bounded(3));
            const QString dir = copySamples(QStringLiteral("fuzz"));
            const bool memo = !mbFiles[t].isEmpty() && rnd.bounded(3) == 0;
            const QString file = dir + QLatin1Char('/') + (memo ? mbFiles[t] : dbFiles[t]);
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray bytes = f.readAll();
            const int flips = 1 + int(rnd.bounded(8));
            for (int i = 0; i < flips; ++i) {
                // Headers first: they decide how everything else is read.
                const qsizetype span = rnd.bounded(2) ? std::min<qsizetype>(bytes.size(), 0x200) : bytes.size();
                bytes[rnd.bounded(int(span))] = char(rnd.bounded(256));
            }
            if (rnd.bounded(10) == 0)
                bytes.truncate(rnd.bounded(int(bytes.size())));
            f.seek(0);
            f.write(bytes);
            f.resize(bytes.size());
            f.close();
            const QString err = errorOf([&] {
                const QString db = connect(dir, QStringLiteral("FUZZ"));
                readAll(db, tables[t]);
                ++reads;
                if (rnd.bounded(4) == 0) {
                    db::Query q;
                    q.setDatabaseName(db);
                    q.setSql(QStringLiteral("DELETE FROM \"%1\" WHERE rowid = 1").arg(tables[t]));
                    q.execSQL();
                    readAll(connect(dir, QStringLiteral("FUZZ2")), tables[t]);
                }
            });
            errors += !err.isEmpty();
            QVERIFY2(err.isEmpty() || err.contains(tables[t], Qt::CaseInsensitive) || err.contains(QLatin1String("SQL")),
                     qPrintable(err));
            m_conns.clear();
        }
        qInfo("%d rounds (seed %u): %d read through, %d refused with an engine error", rounds, seed, reads, errors);
        QVERIFY(errors > 0);
    }
};

QTEST_GUILESS_MAIN(ParadoxCorruptTest)
#include "paradox_corrupt_test.moc"
