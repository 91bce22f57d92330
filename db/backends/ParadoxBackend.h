#pragma once
#include "db/backends/SqliteBackend.h"

namespace db {

// A directory of Paradox tables, reached as virtual tables of an in-memory
// SQLite database (db/paradox): values look as on SQLite storage, rows have
// an identity, and the driver takes part in SQLite's transactions and
// savepoints. Tables are files here, so names are listed from the directory.
class ParadoxBackend : public SqliteBackend {
public:
    using SqliteBackend::SqliteBackend;

    // PATH: the directory of the tables.
    void open(const Settings &setting) override;
    QStringList tableNames(const QString &pattern, bool withExtensions, bool withSystemTables) const override;
    QString failureMessage() const override;
    // The driver indexes the columns a statement compares by itself.
    QString addLookupIndex(const QString &, const QStringList &) override { return QString(); }
    QString writeRefusal(const QString &table) const override;
    QStringList keyColumns(const QString &table) const override;

private:
    QString m_directory;
};

} // namespace db
