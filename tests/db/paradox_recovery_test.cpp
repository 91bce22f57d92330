// What an interrupted write leaves, and what brings the table back: a real
// process killed in the middle of a statement, files that cannot grow, an
// undo that fails, journals torn or unreadable, tables changed by another
// program. Results are checked byte for byte and from outside with pxlib.
#include "support/ParadoxDirs.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Query.h"
#include "db/paradox/ParadoxDriver.h"
#include "db/paradox/PxFiles.h"
#include "db/paradox/PxRecovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <memory>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>
extern "C" {
#include <paradox.h>
}

using namespace db::paradox;

namespace {

const QString kHelper = QStringLiteral(ALDURIX_BINARY_DIR "/tests/paradox_crash_helper");
int g_alias = 0;

using Files = QMap<QString, QByteArray>;

void restore(const QString &dir, const Files &files)
{
    for (const QString &f : QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot))
        if (!files.contains(f)) {
            QDir(dir + QLatin1Char('/') + f).removeRecursively();
            QFile::remove(dir + QLatin1Char('/') + f);
        }
    for (auto it = files.begin(); it != files.end(); ++it) {
        QFile file(dir + QLatin1Char('/') + it.key());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(it.value());
    }
}

void patch(const QString &file, qint64 at, const QByteArray &bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(at));
    QCOMPARE(f.write(bytes), bytes.size());
}

struct Outcome {
    bool killed = false;
    int code = -1;
    QString output;
};

Outcome helper(const QString &dir, const QString &mode, qint64 n, const QString &sql)
{
    QProcess p;
    p.start(kHelper, {dir, mode, QString::number(n), sql});
    p.waitForFinished(60000);
    Outcome o;
    o.killed = p.exitStatus() == QProcess::CrashExit;
    o.code = p.exitCode();
    o.output = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    return o;
}

// pxlib's view: record count, and whether it takes the .PX as the index.
std::pair<int, bool> pxlibView(const QString &dir)
{
    int records = -1;
    bool accepted = false;
    pxdoc_t *doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(dir + QStringLiteral("/PATIENTS.DB")).constData()) == 0) {
        records = PX_get_num_records(doc);
        pxdoc_t *px = PX_new();
        if (QFile::exists(dir + QStringLiteral("/PATIENTS.PX"))
            && PX_open_file(px, QFile::encodeName(dir + QStringLiteral("/PATIENTS.PX")).constData()) == 0
            && PX_read_primary_index(px) == 0) {
            accepted = PX_add_primary_index(doc, px) == 0;
            if (!accepted)
                PX_delete(px);
        } else {
            PX_delete(px);
        }
    }
    PX_delete(doc);
    return {records, accepted};
}

Files withoutIndexes(Files files)
{
    for (const QString &f : files.keys())
        if (f.endsWith(QLatin1String(".PX")))
            files.remove(f);
    return files;
}

const TableRecovery *outcomeOf(const std::vector<TableRecovery> &all, const QString &table)
{
    for (const TableRecovery &r : all)
        if (r.table == table)
            return &r;
    return nullptr;
}

} // namespace

class ParadoxRecoveryTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_dir;
    QString m_journal;
    Files m_base;
    ParadoxConnections m_conns{QStringLiteral("PXR")};

    QString connect() { return m_conns.connect(m_dir); }
    QStringList column(const QString &sql)
    {
        db::Query q;
        q.setDatabaseName(connect());
        q.setSql(sql);
        q.open();
        QStringList out;
        for (; !q.eof(); q.next())
            out << q.field(0).asString();
        return out;
    }

    // Kills the helper at each file operation of the statement in turn,
    // from the first; calls check after each kill. Returns the number of kills.
    int killAtEveryStep(const QString &sql, const std::function<void(int)> &check)
    {
        int kills = 0;
        for (int k = 0; k < 200; ++k) {
            restore(m_dir, m_base);
            const Outcome o = helper(m_dir, QStringLiteral("kill"), k, sql);
            if (!o.killed) {
                if (o.code != 0)
                    qWarning("%s", qPrintable(o.output));
                return kills;
            }
            ++kills;
            check(k);
            if (QTest::currentTestFailed())
                return kills;
        }
        return kills;
    }

    // The last kill point of the statement at which a journal is left.
    int lastKillWithJournal(const QString &sql)
    {
        int last = -1;
        killAtEveryStep(sql, [&](int k) {
            if (QFileInfo(m_journal).size() > 0)
                last = k;
        });
        return last;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        QVERIFY2(QFile::exists(kHelper), qPrintable(kHelper));
        db::Engine::instance().setConfigFile(m_tmp.filePath(QStringLiteral("engine.cfg")));
    }

    // PATIENTS: 50 rows in blocks of 24, a memo for every third one.
    void init()
    {
        m_dir = m_tmp.filePath(QStringLiteral("r%1").arg(++g_alias));
        QVERIFY(QDir().mkpath(m_dir));
        const QString file = m_dir + QStringLiteral("/PATIENTS.DB");
        createTable(file,
                    {{QStringLiteral("PATIENTS_ID"), ColumnType::Long, 0}, {QStringLiteral("NOM"), ColumnType::Alpha, 50},
                     {QStringLiteral("N_OMON"), ColumnType::Alpha, 10}, {QStringLiteral("NOTE"), ColumnType::Memo, 10}},
                    QStringLiteral("PATIENTS_ID"));
        std::vector<QVariantList> rows;
        for (int i = 1; i <= 50; ++i)
            rows.push_back({i, QStringLiteral("Nom%1").arg(i), QStringLiteral("N%1").arg(i),
                            i % 3 == 0 ? QVariant(QStringLiteral("Note longue du patient %1").arg(i)) : QVariant()});
        appendRows(file, rows);
        m_journal = file + QStringLiteral(".aldjrn");
        m_base = snapshot(m_dir);
    }

    void cleanup()
    {
        faults::failAfter(-1);
        m_conns.clear();
    }

    // A real process killed at every file operation of a statement in turn:
    // the next start-up (or the next reader) puts the table back, to the
    // byte, and pxlib reads it as before.
    void killedWriteIsUndone_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("withoutIndex");
        QTest::newRow("in place") << "UPDATE PATIENTS SET N_OMON = 'X' || PATIENTS_ID WHERE PATIENTS_ID IN (1, 25, 50)"
                                  << "SELECT group_concat(N_OMON) FROM PATIENTS WHERE N_OMON LIKE 'X%'" << "X1,X25,X50" << false;
        QTest::newRow("memos") << "UPDATE PATIENTS SET NOTE = 'une note réécrite, assez longue ' || PATIENTS_ID WHERE PATIENTS_ID <= 4"
                               << "SELECT count(*) FROM PATIENTS WHERE NOTE LIKE 'une note réécrite%'" << "4" << false;
        QTest::newRow("file written anew") << "DELETE FROM PATIENTS WHERE PATIENTS_ID > 44"
                                           << "SELECT count(*) FROM PATIENTS" << "44" << false;
        QTest::newRow("new blocks and memos") << "INSERT INTO PATIENTS (PATIENTS_ID, NOM, NOTE) SELECT PATIENTS_ID + 100, NOM, "
                                                 "'note de la copie ' || NOM FROM PATIENTS"
                                              << "SELECT count(*) FROM PATIENTS" << "100" << false;
        // The index did not exist: the undo removes the one being written.
        QTest::newRow("index created") << "UPDATE PATIENTS SET NOM = 'x' WHERE PATIENTS_ID = 2"
                                       << "SELECT NOM FROM PATIENTS WHERE PATIENTS_ID = 2" << "x" << true;
    }

    void killedWriteIsUndone()
    {
        QFETCH(QString, sql);
        QFETCH(QString, check);
        QFETCH(QString, expected);
        QFETCH(bool, withoutIndex);
        if (withoutIndex) {
            QVERIFY(QFile::remove(m_dir + QStringLiteral("/PATIENTS.PX")));
            m_base = snapshot(m_dir);
        }
        int journals = 0;
        const int kills = killAtEveryStep(sql, [&](int k) {
            const bool journal = QFileInfo::exists(m_journal);
            const bool leftovers = !QDir(m_dir).entryList({QStringLiteral("*.ald*")}).isEmpty();
            journals += journal;
            if (k % 2 == 0) {
                const auto all = recoverDirectory(m_dir);
                QCOMPARE(all.empty(), !leftovers);
                for (const TableRecovery &r : all)
                    QVERIFY2(r.outcome != TableRecovery::Kept, qPrintable(r.message));
            } else {
                // The next reader does it when start-up did not; work files
                // written before the journal stay until the next start-up.
                QCOMPARE(column(QStringLiteral("SELECT count(*) FROM PATIENTS")), QStringList{"50"});
                Files now = snapshot(m_dir);
                for (const QString &f : now.keys())
                    if (f.endsWith(QLatin1String(".aldnew")) || f.endsWith(QLatin1String(".aldbak")))
                        now.remove(f);
                QCOMPARE(now, m_base);
                recoverDirectory(m_dir);
            }
            QCOMPARE(snapshot(m_dir), m_base);
            const auto [records, accepted] = pxlibView(m_dir);
            QCOMPARE(records, 50);
            QCOMPARE(accepted, !withoutIndex);
        });
        QVERIFY2(kills >= 3, qPrintable(QString::number(kills)));
        QVERIFY(journals >= 1);
        // Past the last operation the statement is done, and whole.
        QCOMPARE(column(check), QStringList{expected});
        QVERIFY(QDir(m_dir).entryList({QStringLiteral("*.ald*")}).isEmpty());
        QVERIFY(pxlibView(m_dir).second);
    }

    // A transaction that changes two tables, killed at every file operation
    // of its commit: start-up (or the next reader of either table) leaves
    // both tables as they were, or both as the commit made them, to the
    // byte; never one without the other.
    void killedCommitOfTwoTablesIsAllOrNothing()
    {
        const QString medecins = m_dir + QStringLiteral("/MEDECINS.DB");
        createTable(medecins, {{QStringLiteral("MEDECINS_ID"), ColumnType::Long, 0}, {QStringLiteral("NOM"), ColumnType::Alpha, 30}},
                    QStringLiteral("MEDECINS_ID"));
        appendRows(medecins, {{1, QStringLiteral("Un")}, {2, QStringLiteral("Deux")}, {3, QStringLiteral("Trois")}});
        m_base = snapshot(m_dir);
        const QString sql = QStringLiteral("BEGIN; SAVEPOINT a; UPDATE PATIENTS SET N_OMON = 'G' || PATIENTS_ID WHERE PATIENTS_ID <= 30; "
                                           "RELEASE a; DELETE FROM PATIENTS WHERE PATIENTS_ID > 47; "
                                           "UPDATE MEDECINS SET NOM = 'Dr ' || NOM; DELETE FROM MEDECINS WHERE MEDECINS_ID = 2; COMMIT");
        QCOMPARE(helper(m_dir, QStringLiteral("run"), 0, sql).code, 0);
        const Files after = snapshot(m_dir);
        QVERIFY(after != m_base);
        int old = 0, committed = 0;
        const int kills = killAtEveryStep(sql, [&](int k) {
            if (k % 2 == 0) {
                for (const TableRecovery &r : recoverDirectory(m_dir))
                    QVERIFY2(r.outcome != TableRecovery::Kept, qPrintable(r.message));
            } else {
                // Either table read first: the other follows it.
                column(k % 4 == 1 ? QStringLiteral("SELECT count(*) FROM MEDECINS") : QStringLiteral("SELECT count(*) FROM PATIENTS"));
                recoverDirectory(m_dir);
            }
            // A .PX header holds bytes of the process that wrote it: the
            // committed indexes are checked by pxlib below.
            const Files now = snapshot(m_dir);
            const bool isOld = now == m_base, isNew = withoutIndexes(now) == withoutIndexes(after);
            QVERIFY2(isOld || isNew, qPrintable(QStringLiteral("kill %1").arg(k)));
            old += isOld;
            committed += isNew;
            QCOMPARE(pxlibView(m_dir).first, isOld ? 50 : 47);
            QVERIFY(pxlibView(m_dir).second);
        });
        QVERIFY2(kills >= 10, qPrintable(QString::number(kills)));
        QVERIFY(old >= 5);
        QVERIFY(committed >= 1);
    }

    // After the crash another program changed the table: the journal would
    // undo its change too, so it is not played back. The table stays as
    // the other program left it, the journal stays for inspection, and the
    // table is refused until someone decides.
    void tableChangedAfterTheCrashIsLeftAlone_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("a row the statement did not touch") << "other row";
        QTest::newRow("inside what the statement wrote") << "same block";
        QTest::newRow("rows added at the end") << "appended";
        QTest::newRow("a memo of another row") << "memo";
        QTest::newRow("the index") << "index";
    }

    void tableChangedAfterTheCrashIsLeftAlone()
    {
        QFETCH(QString, change);
        const QString sql = change == QLatin1String("index")
            ? QStringLiteral("DELETE FROM PATIENTS WHERE PATIENTS_ID > 44")
            : QStringLiteral("UPDATE PATIENTS SET N_OMON = 'X', NOTE = 'note nouvelle et longue' WHERE PATIENTS_ID IN (1, 2)");
        const int k = lastKillWithJournal(sql);
        QVERIFY(k >= 0);
        restore(m_dir, m_base);
        QVERIFY(helper(m_dir, QStringLiteral("kill"), k, sql).killed);
        QVERIFY(QFileInfo(m_journal).size() > 0);
        const QString db = m_dir + QStringLiteral("/PATIENTS.DB");
        if (change == QLatin1String("other row")) {
            patch(db, 2048 + 2048 + 6 + 4, "Autre");   // row 25, second block
        } else if (change == QLatin1String("same block")) {
            patch(db, 2048 + 6 + 4, "Zzz");            // row 1, first block, which the statement rewrote
        } else if (change == QLatin1String("appended")) {
            QFile f(db);
            QVERIFY(f.open(QIODevice::Append));
            f.write(QByteArray(2048, '\x11'));
        } else if (change == QLatin1String("memo")) {
            patch(m_dir + QStringLiteral("/PATIENTS.MB"), 4096 + 9, "autre");   // the memo of row 3
        } else {
            patch(m_dir + QStringLiteral("/PATIENTS.PX"), QFileInfo(m_dir + QStringLiteral("/PATIENTS.PX")).size() - 10, "\x01");
        }
        const Files changed = snapshot(m_dir);
        const auto all = recoverDirectory(m_dir);
        const TableRecovery *r = outcomeOf(all, QStringLiteral("PATIENTS"));
        QVERIFY(r);
        QCOMPARE(r->outcome, TableRecovery::Kept);
        QVERIFY2(r->message.contains(QStringLiteral("La table PATIENTS a été modifiée par un autre programme")), qPrintable(r->message));
        QVERIFY2(r->message.contains(QStringLiteral("PATIENTS.DB.aldjrn est conservé")), qPrintable(r->message));
        QCOMPARE(snapshot(m_dir), changed);
        QString err;
        try {
            column(QStringLiteral("SELECT count(*) FROM PATIENTS"));
        } catch (const db::DbError &e) {
            err = e.message();
        }
        QVERIFY2(err.contains(QStringLiteral("modifiée par un autre programme")), qPrintable(err));
        QCOMPARE(snapshot(m_dir), changed);
    }

    // Journals that cannot be played back, and recoveries that fail: the
    // journal stays, the table is not touched, the reason names the table.
    void journalThatCannotBePlayedBackIsKept_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("thenRecovers");
        QTest::newRow("bad checksum") << "checksum" << "est endommagé" << false;
        QTest::newRow("bad entry") << "entry" << "est endommagé" << false;
        QTest::newRow("unreadable journal") << "unreadable" << "ne peut pas être lu" << false;
        QTest::newRow("table locked") << "lock" << "verrouillée par un autre programme" << true;
        QTest::newRow("memo file missing") << "nomb" << "PATIENTS.MB est absent ou illisible" << false;
        QTest::newRow("read-only table") << "readonly" << "accessible en écriture" << true;
    }

    void journalThatCannotBePlayedBackIsKept()
    {
        QFETCH(QString, damage);
        QFETCH(QString, message);
        QFETCH(bool, thenRecovers);
        if (damage == QLatin1String("readonly") && ::geteuid() == 0)
            QSKIP("Running as root, which ignores file permissions: a read-only table cannot be provoked.");
        const QString sql = QStringLiteral("UPDATE PATIENTS SET N_OMON = 'X', NOTE = 'note nouvelle et longue' WHERE PATIENTS_ID IN (1, 2)");
        const int k = lastKillWithJournal(sql);
        restore(m_dir, m_base);
        QVERIFY(helper(m_dir, QStringLiteral("kill"), k, sql).killed);
        QFile j(m_journal);
        QVERIFY(j.open(QIODevice::ReadOnly));
        QByteArray journal = j.readAll();
        j.close();
        int lockFd = -1;
        if (damage == QLatin1String("checksum")) {
            journal[journal.size() / 2] = char(journal[journal.size() / 2] ^ 0x40);
        } else if (damage == QLatin1String("entry")) {
            journal[8 + 4] = char(9);   // the first entry's kind; the checksum made to match
            quint32 h = 2166136261u;
            for (qsizetype i = 0; i < journal.size() - 12; ++i) {
                h ^= quint8(journal[i]);
                h *= 16777619u;
            }
            for (int i = 0; i < 4; ++i)
                journal[journal.size() - 4 + i] = char((h >> (8 * i)) & 0xff);
        } else if (damage == QLatin1String("unreadable")) {
            QVERIFY(QFile::remove(m_journal));
            QVERIFY(QDir().mkdir(m_journal));
        } else if (damage == QLatin1String("lock")) {
            lockFd = ::open(QFile::encodeName(m_dir + QStringLiteral("/PATIENTS.DB")).constData(), O_RDONLY);
            QCOMPARE(::flock(lockFd, LOCK_SH), 0);
        } else if (damage == QLatin1String("nomb")) {
            QVERIFY(QFile::remove(m_dir + QStringLiteral("/PATIENTS.MB")));
        } else {
            QFile::setPermissions(m_dir + QStringLiteral("/PATIENTS.DB"), QFile::ReadOwner);
        }
        if (damage == QLatin1String("checksum") || damage == QLatin1String("entry")) {
            QVERIFY(j.open(QIODevice::WriteOnly | QIODevice::Truncate));
            j.write(journal);
            j.close();
        }
        const Files before = snapshot(m_dir);
        const auto all = recoverDirectory(m_dir);
        const TableRecovery *r = outcomeOf(all, QStringLiteral("PATIENTS"));
        QVERIFY(r);
        QCOMPARE(r->outcome, TableRecovery::Kept);
        QVERIFY2(r->message.contains(message) && r->message.contains(QStringLiteral("PATIENTS")), qPrintable(r->message));
        QVERIFY(QFileInfo::exists(m_journal));
        QCOMPARE(snapshot(m_dir), before);
        if (lockFd >= 0)
            ::close(lockFd);
        QFile::setPermissions(m_dir + QStringLiteral("/PATIENTS.DB"), QFile::ReadOwner | QFile::WriteOwner);
        if (thenRecovers) {
            const auto again = recoverDirectory(m_dir);
            QCOMPARE(outcomeOf(again, QStringLiteral("PATIENTS"))->outcome, TableRecovery::RolledBack);
            QCOMPARE(snapshot(m_dir), m_base);
        }
    }

    // A journal cut short was written before any change: it is only removed.
    // So are work files left without a journal.
    void journalCutShortAndLeftoversAreRemoved()
    {
        const QString sql = QStringLiteral("DELETE FROM PATIENTS WHERE PATIENTS_ID > 44");
        // The first kill that leaves a journal with something in it: the
        // journal is complete, nothing of the table written yet.
        int first = -1;
        killAtEveryStep(sql, [&](int k) {
            if (first < 0 && QFileInfo(m_journal).size() > 0)
                first = k;
        });
        QVERIFY(first >= 0);
        restore(m_dir, m_base);
        QVERIFY(helper(m_dir, QStringLiteral("kill"), first, sql).killed);
        QFile j(m_journal);
        QVERIFY(j.resize(j.size() / 2));
        QVERIFY(!QDir(m_dir).entryList({QStringLiteral("*.aldnew")}).isEmpty());
        // Another table's leftovers, without a journal.
        QFile stray(m_dir + QStringLiteral("/AUTRE.PX.aldbak"));
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.close();
        const auto all = recoverDirectory(m_dir);
        QCOMPARE(outcomeOf(all, QStringLiteral("PATIENTS"))->outcome, TableRecovery::Cleaned);
        QCOMPARE(outcomeOf(all, QStringLiteral("AUTRE"))->outcome, TableRecovery::Cleaned);
        QCOMPARE(snapshot(m_dir), m_base);
    }

    // Every operation from one on fails, the undo's too: the statement fails,
    // the journal stays, and the next reader (here a fresh connection) puts
    // the table back.
    void undoThatFailsLeavesTheJournalForTheNextReader()
    {
        const QString name = connect();
        const QString sql = QStringLiteral("INSERT INTO PATIENTS (PATIENTS_ID, NOM, NOTE) SELECT PATIENTS_ID + 100, NOM, "
                                           "'note de la copie ' || NOM FROM PATIENTS");
        int kept = 0;
        for (int k = 0; k < 100; ++k) {
            restore(m_dir, m_base);
            faults::failAfter(k, 1000);
            const QString err = failure(name, sql);
            faults::failAfter(-1);
            if (err.isEmpty())
                break;
            QVERIFY2(err.contains(QLatin1String("impossible")), qPrintable(err));
            if (QFileInfo(m_journal).size() == 0)
                continue;
            ++kept;
            QVERIFY(snapshot(m_dir) != m_base);
            QCOMPARE(column(QStringLiteral("SELECT count(*) FROM PATIENTS")), QStringList{"50"});
            QCOMPARE(snapshot(m_dir), m_base);
            // The failed connection reads the files again too.
            db::Query q;
            q.setDatabaseName(name);
            q.setSql(QStringLiteral("SELECT count(*) FROM PATIENTS"));
            q.open();
            QCOMPARE(q.field(0).asInteger(), 50);
        }
        QVERIFY(kept >= 2);
    }

    // No room to write (a file size limit on the writing process): a short
    // write, then an error, in the middle of the statement's writes.
    void shortWriteRollsBack_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sql");
        QTest::newRow("data file") << "PATIENTS.DB" << "INSERT INTO PATIENTS (PATIENTS_ID, NOM) SELECT PATIENTS_ID + 100, NOM FROM PATIENTS";
        QTest::newRow("memo file") << "PATIENTS.MB" << "INSERT INTO PATIENTS (PATIENTS_ID, NOTE) VALUES (51, 'une note qui ne trouvera pas de place')";
    }

    void shortWriteRollsBack()
    {
        QFETCH(QString, file);
        QFETCH(QString, sql);
        const qint64 limit = QFileInfo(m_dir + QLatin1Char('/') + file).size() + 700;
        const Outcome o = helper(m_dir, QStringLiteral("fsize"), limit, sql);
        QVERIFY(!o.killed);
        QCOMPARE(o.code, 3);
        QVERIFY2(o.output.contains(QStringLiteral("impossible")), qPrintable(o.output));
        QCOMPARE(snapshot(m_dir), m_base);
        QCOMPARE(pxlibView(m_dir), std::make_pair(50, true));
        // With room, the same statement goes through.
        QCOMPARE(helper(m_dir, QStringLiteral("run"), 0, sql).code, 0);
        QVERIFY(column(QStringLiteral("SELECT count(*) FROM PATIENTS")) != QStringList{"50"});
    }

    // A memo file at the format's end (4 GB, sparse here) takes no memo more.
    void fullMemoFileIsRefusedBeforeAnyChange()
    {
        const QString mb = m_dir + QStringLiteral("/PATIENTS.MB");
        QFile f(mb);
        QVERIFY(f.resize(0xffffff00LL - 100));
        const QString name = connect();
        QFile db(m_dir + QStringLiteral("/PATIENTS.DB"));
        const QString err = failure(name, QStringLiteral("UPDATE PATIENTS SET NOTE = 'une note de plus, assez longue' WHERE PATIENTS_ID = 1"));
        QVERIFY2(err.contains(QStringLiteral("est plein")), qPrintable(err));
        QCOMPARE(QFileInfo(mb).size(), 0xffffff00LL - 100);
        QVERIFY(db.open(QIODevice::ReadOnly));
        QCOMPARE(db.readAll(), m_base.value(QStringLiteral("PATIENTS.DB")));
        QVERIFY(QDir(m_dir).entryList({QStringLiteral("*.ald*")}).isEmpty());
        QVERIFY(f.resize(m_base.value(QStringLiteral("PATIENTS.MB")).size()));
    }

    // Another program writes the table while a statement runs (here from a
    // function the statement calls, between its reading and its writing):
    // the statement is refused and the other program's change stays.
    void anotherProgramChangesTheTableDuringAStatement()
    {
        const QString name = connect();
        QSqlDatabase d = db::Engine::instance().connection(name)->database();
        auto *handle = *static_cast<sqlite3 *const *>(d.driver()->handle().data());
        static QString dbFile;
        dbFile = m_dir + QStringLiteral("/PATIENTS.DB");
        auto other = [](sqlite3_context *ctx, int, sqlite3_value **argv) {
            QFile f(dbFile);
            if (f.open(QIODevice::ReadWrite) && f.seek(2048 + 2048 + 6 + 4))   // row 25, second block
                f.write("Autre");
            sqlite3_result_value(ctx, argv[0]);
        };
        QCOMPARE(sqlite3_create_function(handle, "autre_programme", 1, SQLITE_UTF8, nullptr, other, nullptr, nullptr), SQLITE_OK);
        const QString err = failure(name, QStringLiteral("UPDATE PATIENTS SET NOM = autre_programme('x') WHERE PATIENTS_ID = 2"));
        QVERIFY2(err.contains(QStringLiteral("modifiée par un autre programme pendant l'instruction")), qPrintable(err));
        QVERIFY(QDir(m_dir).entryList({QStringLiteral("*.ald*")}).isEmpty());
        QCOMPARE(column(QStringLiteral("SELECT NOM FROM PATIENTS WHERE PATIENTS_ID IN (2, 25)")), (QStringList{"Nom2", "Autre"}));
    }
};

QTEST_GUILESS_MAIN(ParadoxRecoveryTest)
#include "paradox_recovery_test.moc"
