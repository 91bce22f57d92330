#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace db {

class Connection;

// What a run's backup says of itself, as the restore window lists it.
struct BackupInfo {
    QString file;             // absolute path of the backup
    QDateTime started;        // when the run started
    QDateTime ended;          // invalid while it never ended
    QString engine;           // "SQLITE", "PARADOX", "MSSQL", "ODBC"
    QString database;         // where the data is (directory, or server and database)
    QString state;            // "en cours" (never ended), "terminé", "interrompu", "arrêté sur une erreur"
    qint64 changedRows = 0;   // rows the run changed, as its practice database committed them
    QString summary;          // the run's journal summary; empty when it never ended
    QString report;           // the kept report (absolute path), empty when none
    QDateTime restored;       // invalid when never restored
    bool noticed = false;     // a run that never ended, already told at a start-up
    // The database as the user reads it ("Paradox : C:\...").
    QString databaseText() const;
};

// The backups of a directory, newest first; files that are not backups (or
// cannot be read) are left out.
QList<BackupInfo> listBackups(const QString &directory);
// One backup; throws db::DbError when it cannot be read.
BackupInfo readBackup(const QString &file);
// Records that start-up told the user of this unfinished run.
void markNoticed(const QString &file);

// The outcome of a restore.
struct RestoreResult {
    int undone = 0;          // rows put back as they were before the run
    int unchanged = 0;       // rows already as they were (nothing to do)
    // One line per row left as it is, because it changed after the run (or
    // could not be put back), in the user's words.
    QStringList leftAlone;
};

// Undoes the run of a backup on the open practice connection: its changes
// in reverse order, in one transaction (all or nothing should the database
// fail). A row that changed after the run is never overwritten: it is left
// and listed. Throws db::DbError, in the user's words, when the backup is not
// of this database or cannot be read, or the database fails; nothing is
// changed then. progress(done, total) is called along the way.
RestoreResult restoreBackup(Connection &connection, const QString &file,
                            const std::function<void(int done, int total)> &progress = {});

} // namespace db
