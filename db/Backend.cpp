#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/backends/OdbcBackend.h"
#include "db/backends/ParadoxBackend.h"
#include "db/backends/SqliteBackend.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace db {

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

void Backend::exec(QSqlQuery &q)
{
    countStatement();
    if (!q.exec())
        throw DbError(message(q.lastError()));
}

void Backend::exec(QSqlQuery &q, const QString &sql)
{
    countStatement();
    if (!q.exec(sql))
        throw DbError(message(q.lastError()));
}

void Backend::run(const QString &sql) const
{
    QSqlQuery q(database());
    if (!q.exec(sql))
        throw DbError(message(q.lastError()));
}

void Backend::begin()
{
    countStatement();
    doBegin();
}

void Backend::commit()
{
    countStatement();
    doCommit();
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

Transaction::Transaction(Backend &backend) : m_backend(backend) { m_backend.begin(); }

Transaction::Transaction(Connection &connection) : Transaction(connection.backend()) {}

Transaction::~Transaction()
{
    if (m_done)
        return;
    try {
        m_backend.doRollback();
    } catch (...) {
        // Already on a failure's way out: the first error is the one to tell.
    }
}

void Transaction::commit()
{
    m_backend.commit();
    m_done = true;
}

namespace {
int g_savepoints = 0;
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

} // namespace db
