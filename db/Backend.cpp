#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/RunBackup.h"
#include "db/WriteStatement.h"
#include "db/backends/OdbcBackend.h"
#include "db/backends/ParadoxBackend.h"
#include "db/backends/SqliteBackend.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

namespace db {

namespace {

// How many prepared statements a backend keeps: the phases use a handful
// each, the dialogs a few dozen.
constexpr int kKeptStatements = 64;

// A statement that only reads needs no savepoint of its own in a group.
bool onlyReads(const QString &sql)
{
    int i = 0;
    while (i < sql.size() && (sql[i].isSpace() || sql[i] == QLatin1Char('(')))
        ++i;
    return sql.mid(i, 6).compare(QLatin1String("SELECT"), Qt::CaseInsensitive) == 0;
}

const QString kStatementSavepoint = QStringLiteral("aldurix_instruction");

} // namespace

Backend::~Backend() { removeConnection(); }

std::unique_ptr<Backend> Backend::forDriver(const QString &driver, const QString &qtName)
{
    const QString d = driver.toUpper();
    if (d == QLatin1String("SQLITE"))
        return std::make_unique<SqliteBackend>(qtName);
    if (d == QLatin1String("PARADOX"))
        return std::make_unique<ParadoxBackend>(qtName);
    if (d == QLatin1String("MSSQL"))
        return std::make_unique<OdbcBackend>(qtName, OdbcBackend::Source::SqlServer);
    if (d == QLatin1String("ODBC"))
        return std::make_unique<OdbcBackend>(qtName, OdbcBackend::Source::Generic);
    return nullptr;
}

QString Backend::Settings::operator()(const QString &key) const
{
    // The last line of a key wins: the connection's lines follow the alias's.
    for (qsizetype i = m_lines.size() - 1; i >= 0; --i) {
        const QString &l = m_lines[i];
        const int eq = l.indexOf(QLatin1Char('='));
        if (eq > 0 && l.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return l.mid(eq + 1);
    }
    return QString();
}

void Backend::close() { removeConnection(); }

void Backend::removeConnection()
{
    // Closing within a group (the program ending from a dialog) keeps what
    // the group did, as it would have been kept statement by statement.
    if (m_groupBegun) {
        m_groupBegun = false;
        try {
            commitAll();
        } catch (const std::exception &) {
        }
    }
    m_groupDepth = 0;
    dropStatements();
    if (!QSqlDatabase::contains(m_qtName))
        return;
    {
        QSqlDatabase d = QSqlDatabase::database(m_qtName, false);
        d.close();
    }
    QSqlDatabase::removeDatabase(m_qtName);
}

QSqlDatabase Backend::addAndOpen(const QString &qtDriver, const QString &databaseName, const QString &options)
{
    QSqlDatabase d = QSqlDatabase::addDatabase(qtDriver, m_qtName);
    d.setDatabaseName(databaseName);
    if (!options.isEmpty())
        d.setConnectOptions(options);
    if (!d.open()) {
        const QString msg = message(d.lastError());
        d = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_qtName);
        throw DbError(msg);
    }
    return d;
}

QStringList Backend::tableNames(const QString &, bool, bool withSystemTables) const
{
    const QSqlDatabase d = database();
    QStringList out = d.tables(QSql::Tables);
    if (withSystemTables)
        out += d.tables(QSql::SystemTables);
    return out;
}

QString quotedIdentifier(const QString &name)
{
    QString e = name;
    e.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + e + QLatin1Char('"');
}

QString Backend::tableIdentifier(const QString &table) const { return quotedIdentifier(table); }

QSqlRecord Backend::tableRecord(const QString &table) const { return database().record(table); }

QString Backend::addLookupIndex(const QString &, const QStringList &) { return QString(); }

QStringList Backend::keyColumns(const QString &table) const
{
    const QSqlIndex key = database().primaryIndex(table);
    QStringList out;
    for (int i = 0; i < key.count(); ++i)
        out << key.fieldName(i);
    return out;
}

void Backend::dropLookupIndex(const QString &name) { run(QStringLiteral("DROP INDEX IF EXISTS ") + quotedIdentifier(name)); }

QString Backend::message(const QSqlError &error) const
{
    QString m = error.databaseText().trimmed();
    if (m.isEmpty())
        m = error.text().trimmed();
    return m.isEmpty() ? QStringLiteral("Erreur inconnue du moteur de base de données.") : m;
}

void Backend::countStatement()
{
    if (m_failIn > 0 && --m_failIn == 0)
        throw DbError(failureMessage());
}

void Backend::prepare(QSqlQuery &q, const QString &sql) const
{
    if (!q.prepare(sql))
        throw DbError(message(q.lastError()));
}

template <class Run> void Backend::execute(QSqlQuery &q, const QString &sql, Run &&run)
{
    countStatement();
    if (m_backup && !onlyReads(sql)) {
        auto form = m_writeForms.constFind(sql);
        if (form == m_writeForms.constEnd()) {
            // A text refused is refused again each time it is sent.
            if (const std::optional<WriteStatement> w = classifyWrite(sql))
                form = m_writeForms.insert(sql, *w);
        }
        if (form != m_writeForms.constEnd()) {
            executeGuarded(q, sql, form.value(), run);
            return;
        }
    }
    if (!grouping()) {
        if (!run())
            throw DbError(message(q.lastError()));
        return;
    }
    ensureGroupTransaction();
    if (onlyReads(sql) && !errorAbortsTransaction()) {
        if (!run())
            throw DbError(message(q.lastError()));
        return;
    }
    doSavepoint(kStatementSavepoint);
    if (!run()) {
        const QString error = message(q.lastError());
        try {
            doRollbackTo(kStatementSavepoint);
        } catch (const std::exception &) {
            // The statement's own error is the one to tell.
        }
        throw DbError(error);
    }
    doRelease(kStatementSavepoint);
}

template <class Run>
void Backend::executeGuarded(QSqlQuery &q, const QString &sql, const WriteStatement &w, Run &&run)
{
    // Outside a group the write gets a transaction of its own: its image
    // must be on disk before the write is.
    const bool own = !grouping();
    if (own)
        doBegin();
    else
        ensureGroupTransaction();
    auto undo = [&] {
        m_backup->abandonWrite();
        try {
            if (own)
                rollbackAll();
            else
                doRollbackTo(kStatementSavepoint);
        } catch (const std::exception &) {
            // The first error is the one to tell.
        }
    };
    try {
        doSavepoint(kStatementSavepoint);
    } catch (...) {
        if (own)
            rollbackAll();
        throw;
    }
    try {
        m_backup->beginWrite(*this, q, sql, w);
    } catch (...) {
        undo();
        throw;
    }
    if (!run()) {
        const QString error = message(q.lastError());
        undo();
        throw DbError(error);
    }
    try {
        m_backup->endWrite(*this, q, w);
        doRelease(kStatementSavepoint);
    } catch (...) {
        undo();
        throw;
    }
    if (own)
        commitAll();
}

void Backend::commitAll()
{
    if (m_backup) {
        try {
            m_backup->beforeCommit();
        } catch (const BackupError &e) {
            // Nothing is kept that the backup does not cover.
            try {
                rollbackAll();
            } catch (const std::exception &) {
            }
            throw BackupError(e.message() + QStringLiteral("\rLes corrections qu'elle devait couvrir ont été annulées."));
        }
    }
    doCommit();
    if (m_backup)
        m_backup->afterCommit();
}

void Backend::rollbackAll()
{
    if (m_backup)
        m_backup->afterRollback();
    doRollback();
}

void Backend::exec(QSqlQuery &q)
{
    execute(q, q.lastQuery(), [&q] { return q.exec(); });
}

void Backend::exec(QSqlQuery &q, const QString &sql)
{
    execute(q, sql, [&q, &sql] { return q.exec(sql); });
}

QSqlQuery &Backend::statement(const QString &sql)
{
    const auto found = m_statementByText.constFind(sql);
    if (found != m_statementByText.constEnd()) {
        m_statements.splice(m_statements.begin(), m_statements, found.value());
        QSqlQuery &q = *m_statements.front().query;
        // Work files share their Qt connection between cursors: another
        // cursor may have closed it under this statement.
        if (q.driver() && q.driver()->isOpen()) {
            q.finish();
            return q;
        }
        m_statementByText.remove(sql);
        m_statements.pop_front();
    }
    auto q = std::make_unique<QSqlQuery>(database());
    q->setForwardOnly(true);
    prepare(*q, sql);
    m_statements.push_front(Prepared{sql, std::move(q)});
    m_statementByText.insert(sql, m_statements.begin());
    if (m_statements.size() > size_t(kKeptStatements)) {
        m_statementByText.remove(m_statements.back().sql);
        m_statements.pop_back();
    }
    return *m_statements.front().query;
}

void Backend::dropStatements()
{
    m_statementByText.clear();
    m_statements.clear();
}

void Backend::run(const QString &sql) const
{
    QSqlQuery q(database());
    if (!q.exec(sql))
        throw DbError(message(q.lastError()));
}

void Backend::runCached(const QString &sql)
{
    QSqlQuery &q = statement(sql);
    const bool ok = q.exec();
    q.finish();
    if (!ok)
        throw DbError(message(q.lastError()));
}

void Backend::ensureGroupTransaction()
{
    if (m_groupBegun)
        return;
    doBegin();
    m_groupBegun = true;
}

void Backend::commitGroup()
{
    if (!m_groupBegun)
        return;
    // Whatever happens, the next statement starts a new transaction: a
    // failed commit leaves none open on every driver here.
    m_groupBegun = false;
    try {
        commitAll();
    } catch (const BackupError &) {
        throw;
    } catch (const DbError &) {
        // Some engines keep the transaction open after a refused commit:
        // end it, so that the next statement starts clean.
        try {
            rollbackAll();
        } catch (const std::exception &) {
        }
        throw;
    }
}

void Backend::endGroup()
{
    if (m_groupDepth == 0)
        return;
    if (--m_groupDepth == 0)
        commitGroup();
}

void Backend::begin()
{
    countStatement();
    doBegin();
}

void Backend::commit()
{
    countStatement();
    commitAll();
}

void Backend::savepoint(const QString &name)
{
    countStatement();
    doSavepoint(name);
}

void Backend::releaseSavepoint(const QString &name)
{
    countStatement();
    doRelease(name);
}

// ---------------------------------------------------------------------------

namespace {
int g_savepoints = 0;
}

Transaction::Transaction(Backend &backend) : m_backend(backend)
{
    if (!m_backend.grouping()) {
        m_backend.begin();
        return;
    }
    m_backend.ensureGroupTransaction();
    m_nested = QStringLiteral("aldurix_%1").arg(++g_savepoints);
    m_backend.savepoint(m_nested);
}

Transaction::Transaction(Connection &connection) : Transaction(connection.backend()) {}

Transaction::~Transaction()
{
    if (m_done)
        return;
    try {
        if (m_nested.isEmpty())
            m_backend.rollbackAll();
        else
            m_backend.doRollbackTo(m_nested);
    } catch (...) {
        // Already on a failure's way out: the first error is the one to tell.
    }
}

void Transaction::commit()
{
    if (m_nested.isEmpty())
        m_backend.commit();
    else
        m_backend.releaseSavepoint(m_nested);
    m_done = true;
}

Savepoint::Savepoint(Transaction &transaction)
    : m_backend(transaction.m_backend), m_name(QStringLiteral("aldurix_%1").arg(++g_savepoints))
{
    m_backend.savepoint(m_name);
}

Savepoint::~Savepoint()
{
    if (m_done)
        return;
    try {
        m_backend.doRollbackTo(m_name);
    } catch (...) {
        // As for a transaction: the error that brought us here comes first.
    }
}

void Savepoint::release()
{
    m_backend.releaseSavepoint(m_name);
    m_done = true;
}

LookupIndex::LookupIndex(Connection &connection, const QString &table, const QStringList &columns)
    : m_connection(connection)
{
    m_backend = &connection.backend();
    m_name = m_backend->addLookupIndex(table, columns);
}

LookupIndex::~LookupIndex()
{
    // Only on the backend that added it: the connection may have closed
    // (the index went with a rolled-back transaction, or stays harmless).
    if (m_name.isEmpty() || !m_connection.connected() || &m_connection.backend() != m_backend)
        return;
    try {
        m_backend->dropLookupIndex(m_name);
    } catch (const std::exception &) {
    }
}

WriteGroup::WriteGroup(Connection &connection) : m_connection(connection) { ++m_connection.backend().m_groupDepth; }

WriteGroup::~WriteGroup()
{
    if (m_closed)
        return;
    try {
        close();
    } catch (const std::exception &) {
        // On a failure's way out: that failure is the one the user reads.
    }
}

void WriteGroup::close()
{
    if (m_closed)
        return;
    m_closed = true;
    if (m_connection.connected())
        m_connection.backend().endGroup();
}

} // namespace db
