#pragma once
#include "db/Field.h"
#include "db/WriteStatement.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <list>
#include <memory>

class QSqlError;
class QSqlRecord;

namespace db {

class Connection;
class RunBackup;

// A name in double quotes, a quote inside doubled: the standard quoting,
// which every engine here takes.
QString quotedIdentifier(const QString &name);

// A column of an index, in the order the index sorts on.
struct IndexColumn {
    QString name;
    bool noCase = false;
};

// Everything that differs from one database driver to another, in one place:
// how values are stored and read back, what kind a column is, how the
// engine's messages read, transactions and savepoints. Statements and
// cursors ask their backend and never test which driver they run on.
//
// One backend per database: a connection owns the one of its alias's
// driver; a directory of local work tables has a SQLite one. The backend
// owns the Qt connection of that database.
class Backend {
public:
    explicit Backend(QString qtName) : m_qtName(std::move(qtName)) {}
    virtual ~Backend();
    Backend(const Backend &) = delete;
    Backend &operator=(const Backend &) = delete;

    // The backend of an alias's DRIVER ("SQLITE", "PARADOX", "MSSQL", or
    // "ODBC": any ODBC data source); null for a driver none serves.
    static std::unique_ptr<Backend> forDriver(const QString &driver, const QString &qtName);

    // The parameter lines of an alias with those of the connection over
    // them: a value by key (empty when absent), and every line.
    class Settings {
    public:
        explicit Settings(QStringList lines) : m_lines(std::move(lines)) {}
        QString operator()(const QString &key) const;
        const QStringList &lines() const { return m_lines; }

    private:
        QStringList m_lines;
    };

    // Opens the database from the alias's settings (PATH, SERVER NAME...).
    // Throws db::DbError with the engine's message; nothing is left open then.
    virtual void open(const Settings &setting) = 0;
    void close();
    QSqlDatabase database() const { return QSqlDatabase::database(m_qtName, false); }

    // Table names. A pattern and extensions only mean something where
    // tables are files.
    virtual QStringList tableNames(const QString &pattern, bool withExtensions, bool withSystemTables) const;
    // A table's name as statements the program builds write it: quoted, in
    // the spelling the database stores it under.
    virtual QString tableIdentifier(const QString &table) const;
    // The columns of a table; empty when there is no such table.
    virtual QSqlRecord tableRecord(const QString &table) const;

    // Values. toStorage: a value as this database stores and compares it
    // (a QDateTime, a bool, a number, a text; kind Boolean makes any value a
    // flag). fromStorage: a stored value of a column of that kind as the
    // program reads it, a date-time as a QDateTime; what it cannot read as
    // that kind stays as stored.
    virtual QVariant toStorage(const QVariant &value, ColumnKind kind = ColumnKind::Unknown) const = 0;
    QVariant fromStorage(const QVariant &stored, ColumnKind kind) const { return storageReader()(stored, kind); }
    // fromStorage() as a plain function, for rows that outlive the backend
    // that read them.
    using StorageReader = QVariant (*)(const QVariant &stored, ColumnKind kind);
    virtual StorageReader storageReader() const = 0;

    // Column kinds: of a column of an executed statement (Unknown for an
    // expression the engine gives no type), and of every column of a table
    // (keys upper-cased).
    virtual ColumnKind resultColumnKind(const QSqlQuery &q, int column) const = 0;
    virtual QHash<QString, ColumnKind> tableColumnKinds(const QString &table) const = 0;
    // Whether rows carry an identity ("rowid") that cursors can order, find
    // and update them by, whatever their key.
    virtual bool hasRowIdentity() const = 0;
    // The columns of a named index; empty when there is no such index.
    virtual QList<IndexColumn> indexColumns(const QString &index) const = 0;

    // An index for equality look-ups on these columns of a table, for a
    // while (see LookupIndex): its name when one was added, empty when the
    // table has a fitting one already or the engine adds none.
    virtual QString addLookupIndex(const QString &table, const QStringList &columns);
    void dropLookupIndex(const QString &name);

    // Why the engine would refuse to change a table (its own message), or
    // empty when nothing it can see stops it.
    virtual QString writeRefusal(const QString &) const { return QString(); }
    // The columns of a table's primary key, in order; empty when it has none.
    virtual QStringList keyColumns(const QString &table) const;

    // While set, every statement that may change rows is first classified
    // (one it cannot classify is refused, with a message, and does not run)
    // and hands the backup what it is about to change, inside its own
    // savepoint; a write outside any group runs in a transaction of its own,
    // so that its before-image is on disk before it is committed. The backup
    // is the caller's and must outlive the setting.
    void setRunBackup(RunBackup *backup) { m_backup = backup; }
    RunBackup *runBackup() const { return m_backup; }

    // The engine's text of an error, as the user reads it after "Erreur : ".
    virtual QString message(const QSqlError &error) const;

    // Every statement of the engine layer goes through these: a failure
    // throws db::DbError with message().
    void prepare(QSqlQuery &q, const QString &sql) const;
    void exec(QSqlQuery &q);
    void exec(QSqlQuery &q, const QString &sql);
    // The statement of this text, prepared once and kept for the next
    // caller: the phases set the same texts anew at every row. Forward only;
    // bind its values by position, exec() it, then finish() it. The most
    // recently used texts are kept (statement() of an evicted one prepares
    // it again). Throws db::DbError when the text does not prepare.
    QSqlQuery &statement(const QString &sql);

    // Grouped commits, reached through WriteGroup. While a group is open,
    // statements run inside one transaction (begun at the first of them),
    // each write inside a savepoint of its own: a statement that fails is
    // undone alone and the others stay, as they would with a commit each.
    bool grouping() const { return m_groupDepth > 0; }
    // Commits what the group did so far; the group goes on.
    void commitGroup();

    // For tests only: the k-th statement from now (1 for the next one) fails
    // with the engine error failureMessage(), without running; 0 disarms.
    void failStatement(int k) { m_failIn = k > 0 ? k : 0; }
    bool failureArmed() const { return m_failIn > 0; }
    // The text of that error, in the manner of this engine's own.
    virtual QString failureMessage() const = 0;

protected:
    const QString &qtName() const { return m_qtName; }
    // Adds the Qt connection of the given Qt driver; drops it again and
    // throws the engine's message when it does not open.
    QSqlDatabase addAndOpen(const QString &qtDriver, const QString &databaseName, const QString &options);
    void removeConnection();

    // Transactions and savepoints, reached through the Transaction and
    // Savepoint guards. doRollbackTo undoes the work since the savepoint and
    // ends it.
    virtual void doBegin() = 0;
    virtual void doCommit() = 0;
    virtual void doRollback() = 0;
    virtual void doSavepoint(const QString &name) = 0;
    virtual void doRelease(const QString &name) = 0;
    virtual void doRollbackTo(const QString &name) = 0;
    // Runs a statement of the backend's own (no count, no switch).
    void run(const QString &sql) const;
    // Likewise, prepared once: for the savepoints taken at every statement.
    void runCached(const QString &sql);
    // Whether a failing statement spoils the whole transaction (so that
    // reads need their savepoint in a group too).
    virtual bool errorAbortsTransaction() const { return false; }

private:
    friend class Transaction;
    friend class Savepoint;
    friend class WriteGroup;

    // Counts a statement about to run; throws when it is the one to fail.
    void countStatement();
    // Opening, committing and releasing count as statements. Undoing does
    // not: a rollback the switch skipped would leave the database inside
    // the transaction.
    void begin();
    void commit();
    void savepoint(const QString &name);
    void releaseSavepoint(const QString &name);
    // Runs one statement, inside its savepoint when the group asks for one.
    template <class Run> void execute(QSqlQuery &q, const QString &sql, Run &&run);
    template <class Run> void executeGuarded(QSqlQuery &q, const QString &sql, const WriteStatement &w, Run &&run);
    // Commits and rolls back the whole transaction, the run's backup in step.
    void commitAll();
    void rollbackAll();
    void ensureGroupTransaction();
    void endGroup();
    void dropStatements();

    QString m_qtName;
    int m_failIn = 0;
    struct Prepared {
        QString sql;
        std::unique_ptr<QSqlQuery> query;
    };
    std::list<Prepared> m_statements;   // most recently used first
    QHash<QString, std::list<Prepared>::iterator> m_statementByText;
    int m_groupDepth = 0;
    bool m_groupBegun = false;   // the group's transaction is open
    RunBackup *m_backup = nullptr;
    // The forms of the write texts met so far: the phases send the same
    // texts again at every row.
    QHash<QString, WriteStatement> m_writeForms;
};

// Undoes on the way out whatever was not committed: a failure between
// begin and commit leaves the database as it was before. Inside a write
// group it is a savepoint of the group's transaction.
class Transaction {
public:
    explicit Transaction(Backend &backend);
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    friend class Savepoint;
    Backend &m_backend;
    QString m_nested;   // its savepoint inside a group
    bool m_done = false;
};

// Lets a walk that looks rows up by equality on some columns of a big table
// reach them by an index rather than by reading the whole table each time,
// without changing which rows come back or their order (equal keys list in
// the table's own order). Where the engine lets us (a SQLite file), an index
// lives as long as this guard and is dropped with it; the Paradox driver
// indexes columns by itself; a server's schema is never changed.
class LookupIndex {
public:
    LookupIndex(Connection &connection, const QString &table, const QStringList &columns);
    ~LookupIndex();
    LookupIndex(const LookupIndex &) = delete;
    LookupIndex &operator=(const LookupIndex &) = delete;

private:
    Connection &m_connection;
    Backend *m_backend = nullptr;
    QString m_name;
};

// A long piece of work whose statements are committed together (see
// Backend::grouping). On the way out, normal or not, what succeeded is
// committed: a statement that ran is kept, as with a commit each; a failure
// of that last commit is told by close(), swallowed by the destructor (the
// error on its way out comes first). Groups nest: only the outermost
// commits. The connection may close meanwhile (the program ending from a
// dialog): its backend then commits on closing.
class WriteGroup {
public:
    explicit WriteGroup(Connection &connection);
    ~WriteGroup();
    WriteGroup(const WriteGroup &) = delete;
    WriteGroup &operator=(const WriteGroup &) = delete;
    // Ends the group, committing; throws db::DbError when the commit fails.
    void close();

private:
    Connection &m_connection;
    bool m_closed = false;
};

// A part of a transaction that can fail alone: undone on the way out unless
// released, leaving the earlier work of the transaction in place. Only
// inside a transaction: a savepoint that opens one is not undone by every
// driver (the Paradox tables ignore it).
class Savepoint {
public:
    explicit Savepoint(Transaction &transaction);
    ~Savepoint();
    Savepoint(const Savepoint &) = delete;
    Savepoint &operator=(const Savepoint &) = delete;
    void release();

private:
    Backend &m_backend;
    QString m_name;
    bool m_done = false;
};

} // namespace db
