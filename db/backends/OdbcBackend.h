#pragma once
#include "db/Backend.h"

class QSqlField;

namespace db {

// A database server through ODBC: the practice's SQL Server, reached with
// FreeTDS, or any data source an alias of driver ODBC describes. The ODBC
// driver types the values itself (date-times, flags, numbers), rows have no
// identity a cursor could use, and transactions are the driver's own. Below
// the connection string both are the same code.
class OdbcBackend : public Backend {
public:
    enum class Source {
        SqlServer,   // SERVER NAME, DATABASE NAME, USER NAME, PASSWORD, ENCRYPTION, through FreeTDS
        Generic      // the alias's lines are the connection's keys (odbcConnectionStringOfLines)
    };
    OdbcBackend(QString qtName, Source source) : Backend(std::move(qtName)), m_source(source) {}

    void open(const Settings &setting) override;

    // Tables as the server lists them, each with its owner ("dbo.CPMAIN").
    QStringList tableNames(const QString &pattern, bool withExtensions, bool withSystemTables) const override;
    QString tableIdentifier(const QString &table) const override;
    QSqlRecord tableRecord(const QString &table) const override;

    QVariant toStorage(const QVariant &value, ColumnKind kind) const override;
    static QVariant readStored(const QVariant &stored, ColumnKind kind);
    StorageReader storageReader() const override { return &readStored; }
    ColumnKind resultColumnKind(const QSqlQuery &q, int column) const override;
    QHash<QString, ColumnKind> tableColumnKinds(const QString &table) const override;
    bool hasRowIdentity() const override { return false; }
    QStringList keyColumns(const QString &table) const override;
    // Only the primary key is known ("<table>_PRIMARY"): the server's own.
    QList<IndexColumn> indexColumns(const QString &index) const override;
    QString failureMessage() const override;

protected:
    void doBegin() override;
    void doCommit() override;
    void doRollback() override;
    // SQL Server's spelling: SAVE TRANSACTION, ROLLBACK TRANSACTION; a
    // savepoint there is never released, it ends with its transaction.
    // Other servers take the standard SAVEPOINT statements.
    void doSavepoint(const QString &name) override;
    void doRelease(const QString &name) override;
    void doRollbackTo(const QString &name) override;
    // Some servers give up the whole transaction at a failing statement:
    // in a group, reads take their savepoint too.
    bool errorAbortsTransaction() const override { return true; }

private:
    bool sqlServer() const;
    static ColumnKind kindOf(const QSqlField &field);
    // The server's own spelling of a table's name (letter case, quoting),
    // from its listing; read once per connection.
    mutable QHash<QString, QString> m_tableNames;   // upper-cased name -> stored name
    Source m_source;
};

// The ODBC connection string for FreeTDS. The server is "host",
// "host,port", "host:port" or "host\instance". encryption is the alias's
// ENCRYPTION setting, FreeTDS's own values in any letter case: "request"
// (also when empty: TLS whenever the server offers it, the login otherwise
// in the clear as before), "require" (no connection to a server that
// offers none), "off" (never asked: for an old server whose TLS the driver
// cannot speak). Any other value throws db::DbError: a misspelt
// "require" must not quietly connect unencrypted.
QString odbcConnectionString(const QString &server, const QString &database, const QString &user,
                             const QString &password, const QString &encryption = QString());

// The ODBC connection string of a generic alias's lines: each "KEY=value"
// line is a key of the connection string ("DSN=...", "PORT=...", any key
// the driver knows), except the engine's names that have an ODBC one:
// "ODBC DRIVER" (DRIVER), "SERVER NAME" (SERVER), "DATABASE NAME"
// (DATABASE), "USER NAME" (UID), "PASSWORD" (PWD). Settings that only
// mean something to the engine (BLOB SIZE, LANGDRIVER...) are left out.
// A later line of a key replaces an earlier one.
QString odbcConnectionStringOfLines(const QStringList &lines);

} // namespace db
