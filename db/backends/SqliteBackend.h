#pragma once
#include "db/Backend.h"

struct sqlite3;

namespace db {

// SQLite files: a practice database of our own (the demo, the tests) and
// the program's local work tables. Date-times are stored as the text
// formats::storageText() writes, flags as 0 and 1, so that equality and
// ordering on them work in SQL.
class SqliteBackend : public Backend {
public:
    using Backend::Backend;

    // PATH: an existing SQLite file. A file that is no database is refused
    // here, not at the first statement of a phase.
    void open(const Settings &setting) override;
    // A work file of the program's own, created when missing. Several
    // cursors on one file share its Qt connection (same qtName): this opens
    // it again when another one closed it.
    void openWorkFile(const QString &file);
    // An empty database onto which every .db file of the directory is
    // attached under its base name; files that appeared since the last call
    // are attached too.
    void openDirectory(const QString &directory);

    // Appends the rows of a SELECT of this database to an existing table of
    // a SQLite file, in one statement: values go across as stored.
    void copyInto(const QString &file, const QString &table, const QString &select);

    // The stored form of a value, for whoever writes this storage.
    static QVariant storageValue(const QVariant &value, ColumnKind kind = ColumnKind::Unknown);

    QVariant toStorage(const QVariant &value, ColumnKind kind) const override { return storageValue(value, kind); }
    static QVariant readStored(const QVariant &stored, ColumnKind kind);
    StorageReader storageReader() const override { return &readStored; }
    ColumnKind resultColumnKind(const QSqlQuery &q, int column) const override;
    QHash<QString, ColumnKind> tableColumnKinds(const QString &table) const override;
    bool hasRowIdentity() const override { return true; }
    QList<IndexColumn> indexColumns(const QString &index) const override;
    QString failureMessage() const override;
    QString addLookupIndex(const QString &table, const QStringList &columns) override;

protected:
    sqlite3 *handle() const;

    void doBegin() override;
    void doCommit() override;
    void doRollback() override;
    void doSavepoint(const QString &name) override;
    void doRelease(const QString &name) override;
    void doRollbackTo(const QString &name) override;
};

} // namespace db
