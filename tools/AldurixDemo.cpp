// Writes a demo practice for the checker: a database full of plausible data
// with a known set of faults, its PRAXELLE.VER, and a program directory whose
// Praxelle.ini and engine configuration lead the checker to it.
//
//   AldurixDemo --out DIR --program-dir PDIR [--patients N] [--seed S] [--force]
//               [--faults PERCENT] [--paradox | --server ODBC [--server-database NAME]]
//
// Exit codes: 0 done, 1 wrong command line, 2 the database directory is not
// empty (and --force was not given), 3 the writing failed.

#include "db/DbError.h"
#include "db/IniFile.h"
#include "db/paradox/ParadoxDriver.h"
#include "tools/demo/BulkFaults.h"
#include "tools/demo/DemoData.h"
#include "tools/demo/PracticeSchema.h"
#include "tools/demo/ServerPractice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>

#include <cstdio>

namespace {

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

// The Paradox copy of the practice: the same tables and rows, written from
// the finished SQLite database into a directory of its own, with its own
// PRAXELLE.VER; Praxelle.ini then names that directory, so the checker opens
// the practice as a Paradox one.
QString writeParadoxPractice(QSqlDatabase practice, const demo::DemoLayout &layout)
{
    const QString dir = layout.out + QStringLiteral("/BaseParadox");
    QDir(dir).removeRecursively();
    if (!QDir().mkpath(dir))
        throw db::DbError(QStringLiteral("impossible de créer le répertoire %1").arg(dir));
    db::paradox::exportSqliteDatabase(practice, dir, demo::practiceSecondaryIndexes());
    db::IniFile version(dir + QStringLiteral("/PRAXELLE.VER"));
    version.writeInteger(QStringLiteral("DBKERNEL"), QStringLiteral("DBType"), 1);
    version.writeString(QStringLiteral("Application"), QStringLiteral("ProgName"), QStringLiteral("Praxelle"));
    db::IniFile ini(layout.iniFile());
    ini.writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), QDir::toNativeSeparators(dir));
    return dir;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("AldurixDemo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Écrit une base de démonstration pour Orbelis Comptabilité Checker : des patients, des médecins et une "
        "comptabilité vraisemblables, avec un jeu connu d'enregistrements erronés."));
    parser.addHelpOption();
    const QCommandLineOption outOpt(QStringLiteral("out"),
                                    QStringLiteral("Répertoire de la démonstration (reçoit Base et Private)."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption programOpt(QStringLiteral("program-dir"),
                                        QStringLiteral("Répertoire du programme (reçoit Praxelle.ini et AldurixEngine.cfg)."),
                                        QStringLiteral("PDIR"));
    const QCommandLineOption patientsOpt(QStringLiteral("patients"),
                                         QStringLiteral("Nombre de patients (au moins %1, %2 par défaut).")
                                             .arg(demo::kMinimumPatients)
                                             .arg(demo::kDefaultPatients),
                                         QStringLiteral("N"), QString::number(demo::kDefaultPatients));
    const QCommandLineOption seedOpt(QStringLiteral("seed"),
                                     QStringLiteral("Graine du générateur (%1 par défaut).").arg(demo::kDefaultSeed),
                                     QStringLiteral("S"), QString::number(demo::kDefaultSeed));
    const QCommandLineOption forceOpt(QStringLiteral("force"),
                                      QStringLiteral("Remplace une base de démonstration existante."));
    const QCommandLineOption paradoxOpt(QStringLiteral("paradox"),
                                        QStringLiteral("Écrit aussi la base en tables Paradox (BaseParadox), que le programme ouvrira."));
    const QCommandLineOption serverOpt(
        QStringLiteral("server"),
        QStringLiteral("Écrit aussi la base sur un serveur de bases de données, par la chaîne de connexion ODBC donnée "
                       "(sans DATABASE), que le programme ouvrira."),
        QStringLiteral("ODBC"));
    const QCommandLineOption serverDbOpt(QStringLiteral("server-database"),
                                         QStringLiteral("Nom de la base créée sur le serveur (remplacée si elle existe ; orbelis_demo par défaut)."),
                                         QStringLiteral("NAME"), QStringLiteral("orbelis_demo"));
    const QCommandLineOption faultsOpt(
        QStringLiteral("faults"),
        QStringLiteral("Ajoute des erreurs en nombre : chaque sorte d'erreur que le programme corrige sans dialogue touche "
                       "ce pourcentage des enregistrements sains (1 pour un sur cent)."),
        QStringLiteral("PERCENT"));
    parser.addOptions({outOpt, programOpt, patientsOpt, seedOpt, forceOpt, faultsOpt, paradoxOpt, serverOpt, serverDbOpt});
    parser.process(app);

    if (!parser.isSet(outOpt) || !parser.isSet(programOpt)) {
        err() << "Les options --out et --program-dir sont obligatoires.\n\n" << parser.helpText();
        return 1;
    }
    bool ok = false;
    const int patients = parser.value(patientsOpt).toInt(&ok);
    if (!ok || patients < demo::kMinimumPatients || patients > 1000000) {
        err() << QStringLiteral("Nombre de patients incorrect : %1 (de %2 à 1000000).\n")
                     .arg(parser.value(patientsOpt))
                     .arg(demo::kMinimumPatients);
        return 1;
    }
    const quint64 seed = parser.value(seedOpt).toULongLong(&ok);
    if (!ok) {
        err() << QStringLiteral("Graine incorrecte : %1 (un entier positif est attendu).\n").arg(parser.value(seedOpt));
        return 1;
    }

    double percent = 0;
    if (parser.isSet(faultsOpt)) {
        percent = parser.value(faultsOpt).toDouble(&ok);
        // Eight kinds share the accounting rows: above 12 % they would overlap.
        if (!ok || percent <= 0 || percent > 12) {
            err() << QStringLiteral("Pourcentage d'erreurs incorrect : %1 (plus de 0 et au plus 12).\n").arg(parser.value(faultsOpt));
            return 1;
        }
    }

    if (parser.isSet(paradoxOpt) && parser.isSet(serverOpt)) {
        err() << "Les options --paradox et --server s'excluent.\n";
        return 1;
    }
    // The name goes into the server's statements as it stands.
    if (!QRegularExpression(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,62}$")).match(parser.value(serverDbOpt)).hasMatch()) {
        err() << QStringLiteral("Nom de base incorrect : %1 (lettres sans accent, chiffres et _ ; pas de chiffre en tête).\n")
                     .arg(parser.value(serverDbOpt));
        return 1;
    }

    const demo::DemoLayout layout(parser.value(outOpt), parser.value(programOpt));
    QElapsedTimer timer;
    timer.start();
    demo::PlantedFaults faults;
    demo::BulkFaults bulk;
    QString paradoxDir;
    try {
        faults = demo::writeDemoPractice(layout, patients, seed, parser.isSet(forceOpt));
        if (percent > 0) {
            const QString connection = QStringLiteral("demo-faults");
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
                db.setDatabaseName(layout.databaseFile());
                if (!db.open())
                    throw db::DbError(db.lastError().text());
                bulk = demo::applyBulkFaults(db, percent, seed);
                db.close();
            }
            QSqlDatabase::removeDatabase(connection);
        }
        if (parser.isSet(paradoxOpt)) {
            const QString connection = QStringLiteral("demo-paradox");
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
                db.setDatabaseName(layout.databaseFile());
                if (!db.open())
                    throw db::DbError(db.lastError().text());
                paradoxDir = writeParadoxPractice(db, layout);
                db.close();
            }
            QSqlDatabase::removeDatabase(connection);
        }
        if (parser.isSet(serverOpt))
            demo::writeDemoServerPractice(layout, parser.value(serverOpt), parser.value(serverDbOpt));
    } catch (const demo::BaseInUse &e) {
        err() << e.message() << '\n';
        return 2;
    } catch (const db::DbError &e) {
        err() << QStringLiteral("Écriture de la démonstration impossible : %1\n").arg(e.message());
        return 3;
    } catch (const std::exception &e) {
        err() << QStringLiteral("Écriture de la démonstration impossible : %1\n").arg(QString::fromLocal8Bit(e.what()));
        return 3;
    }

    out() << QStringLiteral("Base de démonstration écrite en %1 s : %2 patients, %3 médecins, %4 enregistrements de comptabilité.\n")
                 .arg(double(timer.elapsed()) / 1000.0, 0, 'f', 1)
                 .arg(faults.patients)
                 .arg(faults.physicians)
                 .arg(faults.cpmainRows);
    if (percent > 0)
        out() << QStringLiteral("Erreurs ajoutées (%1 %) :\n%2\n").arg(percent).arg(demo::describe(bulk));
    out() << QStringLiteral("  Base de données : %1\n").arg(QDir::toNativeSeparators(layout.databaseFile()));
    if (!paradoxDir.isEmpty())
        out() << QStringLiteral("  Tables Paradox  : %1 (ouvertes par le programme)\n").arg(QDir::toNativeSeparators(paradoxDir));
    if (parser.isSet(serverOpt))
        out() << QStringLiteral("  Serveur         : base %1 (ouverte par le programme)\n").arg(parser.value(serverDbOpt));
    out() << QStringLiteral("  Praxelle.ini    : %1\n").arg(QDir::toNativeSeparators(layout.iniFile()));
    out() << QStringLiteral("  Configuration   : %1 (alias %2)\n")
                 .arg(QDir::toNativeSeparators(layout.engineConfig()), demo::kDemoAlias);
    return 0;
}
