// Phase-1-like work on a practice database held as a SQLite file and as
// Paradox tables: read every patient, then correct homonym numbers one
// statement at a time. Prints the times of both and their ratio.
//
//   paradox_bench [patients] [updates]      (defaults: 20000 and 1000)
//
// The check run's pattern on a large CPMAIN, on Paradox alone: equality
// look-ups on three non-key columns interleaved with single-row deletes by
// key, then single-row updates, all in one transaction with a savepoint
// around each statement (a few rolled back to it), touching PATIENTS too,
// then one commit. Each run is a process of its own on a fresh copy of the
// tables, so that its peak memory is its own; medians are printed.
//
//   paradox_bench checkrun [rows] [runs] [cache directory]   (defaults: 200000, 3)
#include "db/Engine.h"
#include "db/Query.h"
#include "db/paradox/ParadoxDriver.h"
#include "tools/demo/PracticeSchema.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sqlite3.h>

namespace {

double millis(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e6;
}

struct Figures {
    double read = 0, updates = 0, lookups = 0, deletes = 0, inserts = 0;
};

Figures phase(const QString &db, int patients, int updates)
{
    Figures f;
    f.read = millis([&] {
        db::Query q;
        q.setDatabaseName(db);
        q.setSql(QStringLiteral("SELECT PATIENTS_ID, NOM, PRENOM, NE_LE, N_OMON FROM PATIENTS ORDER BY PATIENTS_ID"));
        q.open();
        if (q.recordCount() != patients)
            qFatal("%d patients read instead of %d", q.recordCount(), patients);
    });
    const int step = std::max(1, patients / updates);
    db::Query upd;
    upd.setDatabaseName(db);
    upd.setSql(QStringLiteral("UPDATE PATIENTS SET N_OMON=:n WHERE PATIENTS_ID=:id"));
    f.updates = millis([&] {
        for (int i = 0; i < updates; ++i) {
            const int id = 1 + (i * step) % patients;
            upd.setText(QStringLiteral("n"), QStringLiteral("X%1").arg(id, 6, 10, QLatin1Char('0')));
            upd.setInteger(QStringLiteral("id"), id);
            upd.execSQL();
        }
    });
    db::Query count;
    count.setDatabaseName(db);
    count.setSql(QStringLiteral("SELECT count(*) FROM PATIENTS WHERE PATIENTS_ID=:id"));
    f.lookups = millis([&] {
        for (int i = 0; i < updates; ++i) {
            count.setInteger(QStringLiteral("id"), 1 + (i * 7919) % patients);
            count.open();
        }
    });
    db::Query del;
    del.setDatabaseName(db);
    del.setSql(QStringLiteral("DELETE FROM PATIENTS WHERE PATIENTS_ID=:id"));
    f.deletes = millis([&] {
        for (int i = 0; i < 50; ++i) {
            del.setInteger(QStringLiteral("id"), 2 + i * 3);
            del.execSQL();
        }
    });
    db::Query ins;
    ins.setDatabaseName(db);
    ins.setSql(QStringLiteral("INSERT INTO PATIENTS (PATIENTS_ID, NOM, PRENOM) VALUES (:id, 'Nouveau', 'Patient')"));
    f.inserts = millis([&] {
        for (int i = 0; i < 50; ++i) {
            ins.setInteger(QStringLiteral("id"), patients + 1 + i);
            ins.execSQL();
        }
    });
    return f;
}

// ---------------------------------------------------------------------------
// The check run's pattern

constexpr int kStatements = 2000;

int patientOf(int id, int rows) { return 1 + id % std::max(1, rows / 10); }
int physicianOf(int id) { return 1 + id % 3; }
QByteArray dayOf(int id)
{
    return QDate(2015, 1, 1).addDays(id % 3000).toString(QStringLiteral("yyyy-MM-dd 00:00:00")).toLatin1();
}

void buildPractice(const QString &dir, int rows)
{
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("source.sqlite"));
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("checkrun"));
        d.setDatabaseName(file);
        d.open();
        demo::createPracticeTables(d);
        QSqlQuery q(d);
        auto run = [&](const QString &sql) {
            if (!q.exec(sql))
                qFatal("%s", qPrintable(q.lastError().text()));
        };
        run(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
                           "INSERT INTO PATIENTS (PATIENTS_ID, NOM, PRENOM, N_OMON) SELECT i, 'Nom' || i, 'Prenom', 'N' || i FROM n"));
        run(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                              "INSERT INTO CPMAIN (CPMAIN_ID, PATIENTS_ID, MEDECINS_ID, DATE_CONSULTATION, CodeActe1, "
                              "Tarif1, Montant1, Payeur, Mode1, LabelActe1) SELECT i, 1 + i % %2, 1 + i % 3, "
                              "date('2015-01-01', '+' || (i % 3000) || ' days') || ' 00:00:00', 'C', 25, 25, "
                              "'Patient ' || i, 'CHQ', 'Consultation' FROM n")
                   .arg(rows).arg(std::max(1, rows / 10)));
        db::paradox::exportSqliteDatabase(d, dir);
        d.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("checkrun"));
}

void exec(sqlite3 *db, const char *sql)
{
    char *err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK)
        qFatal("%s: %s", sql, err);
}

// One run in this process; prints "lookups+deletes updates commit maxrss-KB".
int checkRunOnce(const QString &dir, int rows)
{
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    db::paradox::attachDirectory(db, dir);
    sqlite3_stmt *sel = nullptr, *del = nullptr, *upd = nullptr, *pat = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM CPMAIN WHERE PATIENTS_ID=? AND DATE_CONSULTATION=? AND MEDECINS_ID=?", -1, &sel,
                       nullptr);
    sqlite3_prepare_v2(db, "DELETE FROM CPMAIN WHERE CPMAIN_ID=?", -1, &del, nullptr);
    sqlite3_prepare_v2(db, "UPDATE CPMAIN SET Payeur=?, Montant2=? WHERE CPMAIN_ID=?", -1, &upd, nullptr);
    sqlite3_prepare_v2(db, "UPDATE PATIENTS SET N_OMON=? WHERE PATIENTS_ID=?", -1, &pat, nullptr);
    auto step = [&](sqlite3_stmt *st) {
        int rc;
        int n = 0;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            ++n;
        if (rc != SQLITE_DONE)
            qFatal("%s", sqlite3_errmsg(db));
        sqlite3_reset(st);
        return n;
    };
    // Deletes come in runs of consecutive keys, so that blocks are left empty.
    const int runs = kStatements / 20;
    auto deletedKey = [&](int i) { return 1 + (i / 20) * (rows / runs) + i % 20; };
    Figures f;
    int found = 0;
    exec(db, "BEGIN");
    f.lookups = millis([&] {
        for (int i = 0; i < kStatements; ++i) {
            const int id = 1 + int((qint64(i) * 7919 + 13) % rows);
            const QByteArray day = dayOf(id);
            sqlite3_bind_int(sel, 1, patientOf(id, rows));
            sqlite3_bind_text(sel, 2, day.constData(), int(day.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int(sel, 3, physicianOf(id));
            exec(db, "SAVEPOINT s");
            found += step(sel);
            exec(db, "RELEASE s");
            exec(db, "SAVEPOINT s");
            sqlite3_bind_int(del, 1, deletedKey(i));
            step(del);
            // Now and then a protected statement fails and is undone.
            exec(db, i % 100 == 50 ? "ROLLBACK TO s" : "RELEASE s");
            if (i % 100 == 50)
                exec(db, "RELEASE s");
        }
    });
    f.updates = millis([&] {
        for (int i = 0; i < kStatements; ++i) {
            const int id = 1 + int((qint64(i) * 104729 + 7) % rows);
            const QByteArray payer = "Payeur " + QByteArray::number(i);
            exec(db, "SAVEPOINT s");
            sqlite3_bind_text(upd, 1, payer.constData(), int(payer.size()), SQLITE_TRANSIENT);
            sqlite3_bind_double(upd, 2, i * 0.5);
            sqlite3_bind_int(upd, 3, id);
            step(upd);
            if (i % 100 == 0) {
                sqlite3_bind_text(pat, 1, "X", 1, SQLITE_STATIC);
                sqlite3_bind_int(pat, 2, 1 + i % 1000);
                step(pat);
            }
            exec(db, i % 100 == 50 ? "ROLLBACK TO s" : "RELEASE s");
            if (i % 100 == 50)
                exec(db, "RELEASE s");
        }
    });
    f.deletes = millis([&] { exec(db, "COMMIT"); });
    if (found < kStatements / 2)
        qFatal("only %d rows found by the look-ups", found);
    for (sqlite3_stmt *st : {sel, del, upd, pat})
        sqlite3_finalize(st);
    sqlite3_close(db);
    // The peak of this program alone: ru_maxrss would count the parent's
    // pages as they were when it forked.
    long peakKb = 0;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                peakKb = line.mid(6).trimmed().split(' ').front().toLong();
    std::printf("%.1f %.1f %.1f %ld\n", f.lookups, f.updates, f.deletes, peakKb);
    return 0;
}

void copyDirectory(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QString &f : QDir(from).entryList(QDir::Files)) {
        QFile::remove(to + QLatin1Char('/') + f);
        QFile::copy(from + QLatin1Char('/') + f, to + QLatin1Char('/') + f);
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

int checkRun(int rows, int runs, QString cache)
{
    QTemporaryDir tmp;
    if (cache.isEmpty())
        cache = tmp.filePath(QStringLiteral("source"));
    if (!QFile::exists(cache + QStringLiteral("/CPMAIN.DB"))) {
        QDir().mkpath(cache);
        const double ms = millis([&] { buildPractice(cache, rows); });
        std::printf("CPMAIN of %d rows written in %.0f ms\n", rows, ms);
    }
    std::vector<double> looks, upds, commits, rss;
    for (int r = 0; r < runs; ++r) {
        const QString dir = tmp.filePath(QStringLiteral("run"));
        copyDirectory(cache, dir);
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("checkrun-once"), dir, QString::number(rows)});
        p.waitForFinished(-1);
        const QStringList parts = QString::fromLatin1(p.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
        if (p.exitCode() != 0 || parts.size() != 4)
            qFatal("run failed: %s", p.readAllStandardError().constData());
        looks.push_back(parts[0].toDouble());
        upds.push_back(parts[1].toDouble());
        commits.push_back(parts[2].toDouble());
        rss.push_back(parts[3].toDouble() / 1024);
        QDir(dir).removeRecursively();
    }
    std::printf("check run on CPMAIN of %d rows, %d runs (medians)\n", rows, runs);
    std::printf("%-60s %10.1f ms\n", "2000 look-ups on 3 non-key columns + 2000 deletes by key", median(looks));
    std::printf("%-60s %10.1f ms\n", "2000 updates by key (and 20 of PATIENTS)", median(upds));
    std::printf("%-60s %10.1f ms\n", "commit", median(commits));
    std::printf("%-60s %10.1f ms\n", "total", median(looks) + median(upds) + median(commits));
    std::printf("%-60s %10.1f MB\n", "peak memory (VmHWM)", median(rss));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "checkrun-once")
        return checkRunOnce(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    if (argc > 1 && QByteArray(argv[1]) == "checkrun")
        return checkRun(argc > 2 ? std::atoi(argv[2]) : 200000, argc > 3 ? std::atoi(argv[3]) : 3,
                        argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString());
    const int patients = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int updates = argc > 2 ? std::atoi(argv[2]) : 1000;
    QTemporaryDir tmp;
    db::Engine &engine = db::Engine::instance();
    engine.setConfigFile(tmp.filePath(QStringLiteral("engine.cfg")));
    const QString file = tmp.filePath(QStringLiteral("base.sqlite"));
    const QString dir = tmp.filePath(QStringLiteral("paradox"));
    double exportMs = 0;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("source"));
        d.setDatabaseName(file);
        d.open();
        demo::createPracticeTables(d);
        d.transaction();
        QSqlQuery q(d);
        q.prepare(QStringLiteral("INSERT INTO PATIENTS (PATIENTS_ID, NOM, PRENOM, NE_LE, N_OMON, MEDECINS_ID, SEXE, ADRESSE, CP, "
                                 "VILLE, TELEPHONE) VALUES (?, ?, ?, ?, ?, 1, 'F', '12 rue des Lilas', '69003', 'Lyon', "
                                 "'04 78 00 00 00')"));
        for (int i = 1; i <= patients; ++i) {
            q.addBindValue(i);
            q.addBindValue(QStringLiteral("Nom%1").arg(i % 997));
            q.addBindValue(QStringLiteral("Prénom%1").arg(i));
            q.addBindValue(QStringLiteral("1960-01-01 00:00:00"));
            q.addBindValue(QStringLiteral("N%1").arg(i, 6, 10, QLatin1Char('0')));
            q.exec();
        }
        d.commit();
        exportMs = millis([&] { db::paradox::exportSqliteDatabase(d, dir); });
        d.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("source"));
    engine.addAlias(QStringLiteral("SQ"), QStringLiteral("SQLITE"), {QStringLiteral("PATH=") + file});
    engine.addStandardAlias(QStringLiteral("PX"), dir, QStringLiteral("Paradox"));
    Figures sq, px;
    for (const char *name : {"SQ", "PX"}) {
        db::Connection c{QString::fromLatin1(name)};
        c.aliasName = QLatin1String(name);
        c.databaseName = QLatin1String(name);
        c.open();
        (QByteArray(name) == "SQ" ? sq : px) = phase(QLatin1String(name), patients, updates);
    }
    std::printf("%d patients, %d updates (export to Paradox: %.0f ms)\n", patients, updates, exportMs);
    std::printf("%-40s %12s %12s %8s\n", "", "SQLite ms", "Paradox ms", "ratio");
    auto row = [](const char *what, double a, double b) { std::printf("%-40s %12.1f %12.1f %8.2f\n", what, a, b, b / a); };
    row("read all patients (ORDER BY key)", sq.read, px.read);
    row("UPDATE ... WHERE PATIENTS_ID=:id", sq.updates, px.updates);
    row("SELECT count(*) ... WHERE PATIENTS_ID=:id", sq.lookups, px.lookups);
    row("50 x DELETE ... WHERE PATIENTS_ID=:id", sq.deletes, px.deletes);
    row("50 x INSERT", sq.inserts, px.inserts);
    row("phase 1 (read + updates)", sq.read + sq.updates, px.read + px.updates);
    return 0;
}
