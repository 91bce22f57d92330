// Paradox tables with secondary indexes: written through SQL, every index
// file must stay exactly its table (checked with pxlib alone), a failed or
// killed statement must leave them as they were, and the indexes this
// engine cannot keep up to date must keep the table from being written.
#include "support/ParadoxDirs.h"
#include "support/PxIndexCheck.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Query.h"
#include "db/paradox/ParadoxDriver.h"
#include "db/paradox/PxFiles.h"
#include "db/paradox/PxRecovery.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using db::Query;
using namespace db::paradox;

namespace {

const QString kHelper = QStringLiteral(ALDURIX_BINARY_DIR "/tests/paradox_crash_helper");

const char *const kNoms[] = {"Dupont", "DURAND", "Lefèvre", "martin", "Bernard", "ÉLOI", "Petit", "robert", "Richard", "Durand"};

// A keyed table of patients with one index of each kind: a number, a text,
// a text without regard to case, and a composite one. Blocks of 2 KB, so
// that the indexes span many blocks.
void makeTable(const QString &dir, int rows)
{
    const QString file = dir + QStringLiteral("/FICHES.DB");
    createTable(file,
                {{"FICHE_ID", ColumnType::Long, 0}, {"NOM", ColumnType::Alpha, 20}, {"PRENOM", ColumnType::Alpha, 12},
                 {"MEDECIN", ColumnType::Long, 0}, {"SOLDE", ColumnType::Currency, 0}},
                QStringLiteral("FICHE_ID"));
    std::vector<QVariantList> data;
    for (int i = 1; i <= rows; ++i)
        data.push_back({i, QString::fromUtf8(kNoms[i % 10]), QStringLiteral("P%1").arg(i % 7), i % 5 ? QVariant(i % 4) : QVariant(),
                        i * 1.5});
    appendRows(file, data);
    addSecondaryIndex(file, {QStringLiteral("MEDECIN")}, false);
    addSecondaryIndex(file, {QStringLiteral("NOM")}, false);
    addSecondaryIndex(file, {QStringLiteral("NOM")}, true);
    addSecondaryIndex(file, {QStringLiteral("MEDECIN"), QStringLiteral("NOM")}, false);
}

} // namespace

class ParadoxSecondaryTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;
    int m_count = 0;
    QString m_dir;
    QString m_db;
    ParadoxConnections m_conns{QStringLiteral("PXS")};

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        db::Engine::instance().setConfigFile(m_tmp.filePath(QStringLiteral("engine.cfg")));
    }

    void init()
    {
        m_dir = m_tmp.filePath(QStringLiteral("t%1").arg(++m_count));
        QVERIFY(QDir().mkpath(m_dir));
        try {
            makeTable(m_dir, 400);
        } catch (const db::DbError &e) {
            QFAIL(qPrintable(e.message()));
        }
        m_db = m_conns.connect(m_dir);
    }

    void cleanup()
    {
        faults::failAfter(-1);
        m_conns.clear();
    }

    void everyKindStaysItsTableThroughManyStatements()
    {
        QCOMPARE(secondaryDataFiles(m_dir).size(), 4);
        QCOMPARE(checkSecondaryIndexes(m_dir), QString());
        QRandomGenerator rng(16);
        int next = 1000;
        for (int step = 0; step < 60; ++step) {
            const int id = int(rng.bounded(1, 420));
            try {
            switch (step % 5) {
            case 0:
                run(m_db, QStringLiteral("DELETE FROM FICHES WHERE FICHE_ID BETWEEN %1 AND %2").arg(id).arg(id + 7));
                break;
            case 1:
                run(m_db, QStringLiteral("INSERT INTO FICHES (FICHE_ID, NOM, PRENOM, MEDECIN) VALUES (%1, '%2', 'Zoé', %3)")
                              .arg(next++).arg(QString::fromUtf8(kNoms[id % 10]).toLower()).arg(id % 3));
                break;
            case 2:   // a change of an indexed field, in place
                run(m_db, QStringLiteral("UPDATE FICHES SET MEDECIN = MEDECIN + 1 WHERE FICHE_ID % 9 = %1").arg(id % 9));
                break;
            case 3:   // rows move: their key changes
                run(m_db, QStringLiteral("UPDATE FICHES SET FICHE_ID = FICHE_ID + 5000 WHERE FICHE_ID = %1").arg(id));
                break;
            default:  // a field no index holds
                run(m_db, QStringLiteral("UPDATE FICHES SET SOLDE = 0 WHERE FICHE_ID < %1").arg(id));
            }
            } catch (const db::DbError &e) {
                QFAIL(qPrintable(QStringLiteral("étape %1 : ").arg(step) + e.message()));
            }
            const QString problems = checkSecondaryIndexes(m_dir);
            QVERIFY2(problems.isEmpty(), qPrintable(QStringLiteral("étape %1 : ").arg(step) + problems));
        }

        // The same indexes made anew from the final table are the same files.
        const QString again = m_tmp.filePath(QStringLiteral("anew%1").arg(m_count));
        QVERIFY(QDir().mkpath(again));
        const auto kept = snapshot(m_dir);
        for (auto it = kept.constBegin(); it != kept.constEnd(); ++it) {
            QFile f(again + QLatin1Char('/') + it.key());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(it.value());
        }
        for (const QString &x : secondaryDataFiles(again)) {
            QFile::remove(x);
            QFile::remove(x.left(x.size() - 3) + QLatin1Char('Y') + x.right(2));
        }
        addSecondaryIndex(again + QStringLiteral("/FICHES.DB"), {QStringLiteral("MEDECIN")}, false);
        addSecondaryIndex(again + QStringLiteral("/FICHES.DB"), {QStringLiteral("NOM")}, false);
        addSecondaryIndex(again + QStringLiteral("/FICHES.DB"), {QStringLiteral("NOM")}, true);
        addSecondaryIndex(again + QStringLiteral("/FICHES.DB"), {QStringLiteral("MEDECIN"), QStringLiteral("NOM")}, false);
        const auto anew = snapshot(again);
        QCOMPARE(anew.keys(), kept.keys());
        for (auto it = kept.constBegin(); it != kept.constEnd(); ++it) {
            QByteArray a = it.value(), b = anew.value(it.key());
            // A new header carries pxlib's own run-time pointers and clock:
            // the counts at its start and the blocks must agree.
            if (QFileInfo(it.key()).suffix().contains(QRegularExpression(QStringLiteral("^[XY]")))) {
                const int head = quint8(a[2]) | (quint8(a[3]) << 8);
                a = a.left(0x16) + a.mid(head);
                b = b.left(0x16) + b.mid(head);
            }
            qsizetype d = 0;
            while (d < qMin(a.size(), b.size()) && a[d] == b[d])
                ++d;
            QVERIFY2(a == b, qPrintable(it.key() + QStringLiteral(" : octet %1 sur %2/%3").arg(d).arg(a.size()).arg(b.size())));
        }
    }

    void textsAlikeButForCaseAreSortedAsTheIndexSays()
    {
        // "dupont" against "DUPONT": equal for the caseless index, which then
        // orders them by key; the case-sensitive ones order them by case.
        run(m_db, QStringLiteral("INSERT INTO FICHES (FICHE_ID, NOM, MEDECIN) VALUES (2001, 'DUPONT', 1)"));
        run(m_db, QStringLiteral("INSERT INTO FICHES (FICHE_ID, NOM, MEDECIN) VALUES (2000, 'dupont', 2)"));
        QCOMPARE(checkSecondaryIndexes(m_dir), QString());
    }

    void aCompositeIndexSilentOnCaseRefusesWhatWouldTell()
    {
        // Its records order alike with or without regard to case.
        const QString dir = m_tmp.filePath(QStringLiteral("silent"));
        QVERIFY(QDir().mkpath(dir));
        const QString file = dir + QStringLiteral("/NOMS.DB");
        createTable(file, {{"ID", ColumnType::Long, 0}, {"NOM", ColumnType::Alpha, 20}, {"MEDECIN", ColumnType::Long, 0}},
                    QStringLiteral("ID"));
        appendRows(file, {{1, QStringLiteral("Dupont"), 1}, {2, QStringLiteral("Martin"), 1}});
        addSecondaryIndex(file, {QStringLiteral("MEDECIN"), QStringLiteral("NOM")}, false);
        const QString db = m_conns.connect(dir);
        // Still alike either way: written.
        run(db, QStringLiteral("INSERT INTO NOMS VALUES (0, 'DUPONT', 1)"));
        QCOMPARE(checkSecondaryIndexes(dir), QString());
        // Here the two orders part: refused rather than placed by a guess.
        const auto before = snapshot(dir);
        const QString err = failure(db, QStringLiteral("INSERT INTO NOMS VALUES (-1, 'dupont', 1)"));
        QVERIFY2(err.contains(QStringLiteral("ne diffèrent que par elles")), qPrintable(err));
        QCOMPARE(snapshot(dir), before);
    }

    void aFailureAtAnyStepLeavesEveryFileAsItWas()
    {
        const QString sql = QStringLiteral("UPDATE FICHES SET FICHE_ID = FICHE_ID + 3000, NOM = 'Zola' WHERE FICHE_ID < 40");
        const auto before = snapshot(m_dir);
        int failures = 0;
        for (int k = 0; k < 200; ++k) {
            faults::failAfter(k);
            const QString err = failure(m_db, sql);
            faults::failAfter(-1);
            if (err.isEmpty())
                break;
            ++failures;
            QCOMPARE(snapshot(m_dir), before);
        }
        // Past the index files' own steps: each .X and .Y is written, kept and swapped.
        QVERIFY2(failures > 12, qPrintable(QString::number(failures)));
        QCOMPARE(checkSecondaryIndexes(m_dir), QString());
        QCOMPARE(column(m_db, QStringLiteral("SELECT count(*) FROM FICHES WHERE NOM = 'Zola'")), QStringList{"39"});
    }

    void aKilledStatementIsRolledBackIndexesIncluded()
    {
        const QString sql = QStringLiteral("DELETE FROM FICHES WHERE MEDECIN = 2");
        m_conns.clear();
        const auto before = snapshot(m_dir);
        int killed = 0;
        for (int k = 0; k < 200; ++k) {
            QProcess p;
            p.start(kHelper, {m_dir, QStringLiteral("kill"), QString::number(k), sql});
            QVERIFY(p.waitForFinished(60000));
            if (p.exitStatus() == QProcess::NormalExit) {
                QCOMPARE(p.exitCode(), 0);
                break;
            }
            ++killed;
            for (const TableRecovery &r : recoverDirectory(m_dir))
                QVERIFY2(r.outcome != TableRecovery::Kept, qPrintable(r.message));
            // Killed before its commit point, or after it: never in between.
            const auto now = snapshot(m_dir);
            if (now != before) {
                QCOMPARE(checkSecondaryIndexes(m_dir), QString());
                QCOMPARE(column(m_conns.connect(m_dir), QStringLiteral("SELECT count(*) FROM FICHES WHERE MEDECIN = 2")),
                         QStringList{"0"});
                break;
            }
        }
        QVERIFY(killed > 8);
        QCOMPARE(checkSecondaryIndexes(m_dir), QString());
    }

    void aRecoveryFindsTheIndexFilesByTheirNames()
    {
        // Index files added after the crash change the directory's list:
        // the journal still puts back the very files it changed.
        const QString sql = QStringLiteral("UPDATE FICHES SET FICHE_ID = FICHE_ID + 7000 WHERE MEDECIN = 1");
        m_conns.clear();
        const auto before = snapshot(m_dir);
        int checked = 0;
        for (int k = 0; k < 200; ++k) {
            QProcess p;
            p.start(kHelper, {m_dir, QStringLiteral("kill"), QString::number(k), sql});
            QVERIFY(p.waitForFinished(60000));
            if (p.exitStatus() == QProcess::NormalExit)
                break;
            if (!QFile::exists(m_dir + QStringLiteral("/FICHES.DB.aldjrn"))) {
                recoverDirectory(m_dir);
                continue;
            }
            for (const char *extra : {"/FICHES.X01", "/FICHES.Y01", "/FICHES.X00", "/FICHES.Y00"})
                QVERIFY(QFile::copy(m_dir + QStringLiteral("/FICHES.X04"), m_dir + QLatin1String(extra)));
            for (const TableRecovery &r : recoverDirectory(m_dir)) {
                QVERIFY2(r.outcome != TableRecovery::Kept, qPrintable(r.message));
                checked += r.outcome == TableRecovery::RolledBack;
            }
            auto now = snapshot(m_dir);
            for (const char *extra : {"FICHES.X01", "FICHES.Y01", "FICHES.X00", "FICHES.Y00"}) {
                now.remove(QLatin1String(extra));
                QFile::remove(m_dir + QLatin1Char('/') + QLatin1String(extra));
            }
            QCOMPARE(now, before);
        }
        QVERIFY2(checked > 8, qPrintable(QString::number(checked)));
    }

    void indexesThisEngineCannotKeepStopEveryWrite_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown file type") << "FICHES.X04" << 0x04 << QByteArray(1, '\x08') << "type de fichier (8)";
        QTest::newRow("field the table lacks") << "FICHES.XG1" << -1 << QByteArray() << "ne décrit pas le champ";
        QTest::newRow("index file unreadable") << "FICHES.YG0" << 0x05 << QByteArray(1, '\0') << "est illisible";
        QTest::newRow("several fields under a single-field name") << "FICHES.X0A" << -2 << QByteArray() << "type de fichier (8)";
    }

    void indexesThisEngineCannotKeepStopEveryWrite()
    {
        QFETCH(QString, file);
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        m_conns.clear();
        const QString path = m_dir + QLatin1Char('/') + file;
        if (offset == -2) {
            // A composite index's files under a single field's name.
            QVERIFY(QFile::rename(m_dir + QStringLiteral("/FICHES.XG1"), path));
            QVERIFY(QFile::rename(m_dir + QStringLiteral("/FICHES.YG1"), m_dir + QStringLiteral("/FICHES.Y0A")));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (offset == -1) {
                // Its first field said to be the table's field 5 (a currency).
                const QByteArray head = f.read(0x800);
                const int at = int(head.indexOf(QByteArray("Hint\0", 5))) + 5;
                QVERIFY(at > 5);
                f.seek(at);
                f.write(QByteArray("\x05\x00", 2));
            } else {
                f.seek(offset);
                f.write(bytes);
            }
        }
        const QString db = m_conns.connect(m_dir);
        const auto before = snapshot(m_dir);
        for (const QString &sql : {QStringLiteral("UPDATE FICHES SET SOLDE = 1 WHERE FICHE_ID = 3"),
                                   QStringLiteral("DELETE FROM FICHES WHERE FICHE_ID = 4"),
                                   QStringLiteral("INSERT INTO FICHES (FICHE_ID) VALUES (9999)")}) {
            const QString err = failure(db, sql);
            QVERIFY2(err.contains(message) && err.contains(QStringLiteral("ne peut pas être modifiée")), qPrintable(err));
        }
        QCOMPARE(snapshot(m_dir), before);
        QCOMPARE(column(db, QStringLiteral("SELECT count(*) FROM FICHES")), QStringList{"400"});
        // Start-up asks the same question before any change.
        QVERIFY(writeRefusal(m_dir + QStringLiteral("/FICHES.DB")).contains(message));
    }
};

QTEST_GUILESS_MAIN(ParadoxSecondaryTest)
#include "paradox_secondary_test.moc"
