// Writes a demo practice for the checker: a database full of plausible data
// with a known set of faults, its PRAXELLE.VER, and a program directory whose
// Praxelle.ini and engine configuration lead the checker to it.
//
//   AldurixDemo --out DIR --program-dir PDIR [--patients N] [--seed S] [--force] [--paradox]
//
// Exit codes: 0 done, 1 wrong command line, 2 the database directory is not
// empty (and --force was not given), 3 the writing failed.

#include "db/DbError.h"
#include "tools/demo/DemoData.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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
// the finished SQLite database into the database directory, so that the
// checker can be tried on a Paradox practice too. The Paradox table writer
// (db/paradox) is not there yet; until it is, the option is refused before
// anything is written.
bool paradoxWriterAvailable() { return false; }

void writeParadoxTables(QSqlDatabase /*practice*/, const QString & /*baseDir*/)
{
    throw db::DbError(QStringLiteral("l'écriture des tables Paradox n'est pas encore disponible"));
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
                                        QStringLiteral("Écrit aussi les tables au format Paradox."));
    parser.addOptions({outOpt, programOpt, patientsOpt, seedOpt, forceOpt, paradoxOpt});
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
    if (parser.isSet(paradoxOpt) && !paradoxWriterAvailable()) {
        err() << "L'écriture des tables au format Paradox n'est pas encore disponible. Aucun fichier n'a été écrit.\n";
        return 1;
    }

    const demo::DemoLayout layout(parser.value(outOpt), parser.value(programOpt));
    QElapsedTimer timer;
    timer.start();
    demo::PlantedFaults faults;
    try {
        faults = demo::writeDemoPractice(layout, patients, seed, parser.isSet(forceOpt));
        if (parser.isSet(paradoxOpt)) {
            const QString connection = QStringLiteral("demo-paradox");
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
                db.setDatabaseName(layout.databaseFile());
                if (!db.open())
                    throw db::DbError(db.lastError().text());
                writeParadoxTables(db, layout.baseDir());
                db.close();
            }
            QSqlDatabase::removeDatabase(connection);
        }
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
    out() << QStringLiteral("  Base de données : %1\n").arg(QDir::toNativeSeparators(layout.databaseFile()));
    out() << QStringLiteral("  Praxelle.ini    : %1\n").arg(QDir::toNativeSeparators(layout.iniFile()));
    out() << QStringLiteral("  Configuration   : %1 (alias %2)\n")
                 .arg(QDir::toNativeSeparators(layout.engineConfig()), demo::kDemoAlias);
    return 0;
}
