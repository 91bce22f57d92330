// Phase-1-like work on a practice database held as a SQLite file and as
// Paradox tables: read every patient, then correct homonym numbers one
// statement at a time. Prints the times of both and their ratio.
//
//   paradox_bench [patients] [updates]      (defaults: 20000 and 1000)
#include "db/Engine.h"
#include "db/Query.h"
#include "db/paradox/ParadoxDriver.h"
#include "tools/demo/PracticeSchema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <memory>

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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
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
