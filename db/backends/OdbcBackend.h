#pragma once
#include "db/Backend.h"

namespace db {

// A database server through ODBC: today the practice's SQL Server, reached
// with FreeTDS. The ODBC driver types the values itself (date-times,
// flags, numbers), rows have no identity a cursor could use, and
// transactions are the driver's own.
class OdbcBackend : public Backend {
public:
    using Backend::Backend;

    // SERVER NAME, DATABASE NAME, USER NAME, PASSWORD.
    void open(const Settings &setting) override;

    QVariant toStorage(const QVariant &value, ColumnKind kind) const override;
    QVariant fromStorage(const QVariant &stored, ColumnKind kind) const override;
    ColumnKind resultColumnKind(const QSqlQuery &q, int column) const override;
    QHash<QString, ColumnKind> tableColumnKinds(const QString &table) const override;
    bool hasRowIdentity() const override { return false; }
    QList<IndexColumn> indexColumns(const QString &) const override { return {}; }
    QString failureMessage() const override;

protected:
    void doBegin() override;
    void doCommit() override;
    void doRollback() override;
    // SQL Server's spelling: SAVE TRANSACTION, ROLLBACK TRANSACTION; a
    // savepoint there is never released, it ends with its transaction.
    void doSavepoint(const QString &name) override;
    void doRelease(const QString &name) override;
    void doRollbackTo(const QString &name) override;
};

// The ODBC connection string for FreeTDS. The server is "host",
// "host,port", "host:port" or "host\instance".
QString odbcConnectionString(const QString &server, const QString &database, const QString &user,
                             const QString &password);

} // namespace db
