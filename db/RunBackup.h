#pragma once
#include "db/WriteStatement.h"

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <memory>
#include <vector>

class QSqlQuery;
struct sqlite3;
struct sqlite3_stmt;

namespace db {

class Backend;
class Connection;

// How a backup names the database it belongs to: the engine and where the
// data is (a directory or file, or a server and database), never a login's
// password.
struct DatabaseIdentity {
    QString engine;        // "SQLITE", "PARADOX", "MSSQL", "ODBC"
    QString location;      // directory, file, or server and database
    QString shortName;     // for file names: the last part of the location
    QString text() const;  // as the user reads it
};
DatabaseIdentity identityOf(const Connection &connection);

// The backup of one run: a SQLite file of its own, on its own connection,
// holding what every write of the run was about to change, before it
// changed it.
//
// The practice connection's backend hands it every write (see
// Backend::setRunBackup) inside the write's own savepoint:
// - UPDATE and DELETE: every row the statement's condition selects, whole,
//   read with the statement's own condition and values; an UPDATE's rows
//   are read again after it, so that a restore can tell a row changed since;
// - INSERT: the row as inserted.
// Before-images reach the disk (synchronously) before the practice database
// commits the writes they cover, and each group of them is marked applied
// once that commit is done: a run killed at any point leaves a backup that
// covers every change the database kept.
class RunBackup {
public:
    // The file of a run starting now, in the directory (made when missing).
    // Throws db::BackupError, in the user's words, when it cannot be written.
    RunBackup(const QString &directory, const DatabaseIdentity &database, const QDateTime &start);
    ~RunBackup();
    RunBackup(const RunBackup &) = delete;
    RunBackup &operator=(const RunBackup &) = delete;

    QString file() const { return m_file; }
    // The name beside the backup for a file of the same run (".pdf"...).
    QString companion(const QString &suffix) const;

    // From the backend, in this order around one write; each throws
    // db::DbError when the backup cannot be written, so that the write does
    // not happen (or is undone with its savepoint).
    void beginWrite(Backend &backend, const QSqlQuery &q, const QString &sql, const WriteStatement &w);
    void endWrite(Backend &backend, const QSqlQuery &q, const WriteStatement &w);
    void abandonWrite();   // the write failed: its images go
    // Around the practice database's commit.
    void beforeCommit();
    void afterCommit();
    void afterRollback();

    // For tests only: the k-th write from now (1 for the next one) finds the
    // backup unwritable; 0 disarms.
    void failWriteIn(int k) { m_failIn = k > 0 ? k : 0; }

    // The run's journal as it ended: its summary and its rows; then the
    // kept report's file name, beside the backup.
    struct JournalRow {
        int niveau = 0;
        QString origine;
        QString action;
    };
    void keepJournal(const QString &summary, const std::vector<JournalRow> &journal);
    void keepReport(const QString &fileName);
    // How the run ended ("terminé", "interrompu"...): from then on, start-up
    // no longer takes it for a run that never ended.
    void finish(const QString &state);
    bool finished() const { return m_finished; }

private:
    struct Shape;
    void exec(QSqlQuery &q);
    void commitBackup();
    void beginTransaction();
    void setMeta(const QString &key, const QVariant &value);
    int shapeOf(const QStringList &columns);
    qint64 keepImage(char kind, const QString &table, int shape, const QByteArray &before, const QByteArray &after);
    QStringList keyColumns(Backend &backend, const QString &table);

    QString m_file;
    QString m_qtName;
    QSqlDatabase m_db;
    // The statements of every write, on SQLite's own interface: the Qt layer
    // around each would cost more than the write they cover.
    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_insertImage = nullptr, *m_insertStatement = nullptr, *m_insertText = nullptr,
                        *m_setAfter = nullptr;
    void step(sqlite3_stmt *st);
    QHash<QString, qint64> m_texts;   // statement text -> its row in "textes"
    qint64 m_group = 1;
    qint64 m_statement = 0;
    qint64 m_writing = 0;   // the statement whose images are being taken; 0 between writes
    qint64 m_images = 0, m_imagesAtWrite = 0;
    bool m_inTransaction = false;
    bool m_groupHasImages = false;
    bool m_finished = false;
    int m_failIn = 0;
    QHash<QString, int> m_shapes;   // column names joined -> id
    QHash<QString, QStringList> m_keys;   // table -> its key columns (server engines)
    // The rows an UPDATE selected, to read again after it: the id of each
    // one's image, and the values that find it (its identity, or its key
    // columns as the statement leaves them).
    struct Pending {
        QStringList locator;   // the key columns; empty where rows have an identity
        std::vector<QVariantList> rows;
        std::vector<QVariantList> locators;
        QString table;         // as the statement writes it
    } m_pending;
};

// Serialised rows as the backup keeps them: the values with their types.
QByteArray packRow(const QVariantList &values);
QVariantList unpackRow(const QByteArray &bytes);

} // namespace db
