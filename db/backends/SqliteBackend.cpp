#include "db/backends/SqliteBackend.h"
#include "db/DbError.h"
#include "db/Formats.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlResult>
#include <sqlite3.h>

namespace db {

namespace {

const QString kBusyTimeout = QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000");

} // namespace

void SqliteBackend::open(const Settings &setting)
{
    const QString file = QDir::fromNativeSeparators(setting(QStringLiteral("PATH")));
    if (!QFileInfo(file).isFile())
        throw DbError(QStringLiteral("Le fichier de base de données %1 n'existe pas.").arg(file));
    addAndOpen(QStringLiteral("QSQLITE"), file, kBusyTimeout);
    QString refusal;
    {
        // A file that is not a SQLite database opens; its first read tells.
        QSqlQuery q(database());
        if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            refusal = message(q.lastError());
    }
    if (!refusal.isEmpty()) {
        removeConnection();
        throw DbError(refusal);
    }
    // The run looks records up all over a big table: pages kept in memory
    // (64 MB at most, for this connection only) spare a read at each.
    QSqlQuery cache(database());
    cache.exec(QStringLiteral("PRAGMA cache_size=-65536"));
}

void SqliteBackend::openWorkFile(const QString &file)
{
    if (QSqlDatabase::contains(qtName())) {
        QSqlDatabase d = database();
        if (!d.isOpen() && !d.open())
            throw DbError(message(d.lastError()));
        return;
    }
    QSqlDatabase d = addAndOpen(QStringLiteral("QSQLITE"), file, kBusyTimeout);
    // Work tables live for one run and are rebuilt at every start-up: they
    // need no flush to disk at each journal row.
    QSqlQuery pragma(d);
    pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
}

void SqliteBackend::copyInto(const QString &file, const QString &table, const QString &select)
{
    const QString schema = QStringLiteral("aldurix_copie");
    QSqlQuery q(database());
    q.prepare(QStringLiteral("ATTACH DATABASE ? AS %1").arg(schema));
    q.addBindValue(file);
    exec(q);
    try {
        // The work file is rebuilt at every start-up: no flush to disk needed.
        exec(q, QStringLiteral("PRAGMA %1.synchronous=OFF").arg(schema));
        exec(q, QStringLiteral("INSERT INTO %1.%2 %3").arg(schema, quotedIdentifier(table), select));
    } catch (...) {
        run(QStringLiteral("DETACH DATABASE ") + schema);
        throw;
    }
    q.finish();
    exec(q, QStringLiteral("DETACH DATABASE ") + schema);
}

QString SqliteBackend::addLookupIndex(const QString &table, const QStringList &columns)
{
    // Statements of the engine layer's own: they neither count for the
    // tests' failure switch nor fail the caller (the index only saves time).
    try {
        const QSqlDatabase d = database();
        QSqlQuery q(d);
        if (!q.exec(QStringLiteral("PRAGMA index_list(%1)").arg(quotedIdentifier(table))))
            return QString();
        QStringList indexes;
        while (q.next())
            indexes << q.value(1).toString();
        for (const QString &index : indexes) {
            QSqlQuery info(d);
            if (!info.exec(QStringLiteral("PRAGMA index_info(%1)").arg(quotedIdentifier(index))))
                continue;
            QStringList covered;
            while (info.next())
                covered << info.value(2).toString().toUpper();
            bool serves = covered.size() >= columns.size();
            for (int i = 0; serves && i < columns.size(); ++i)
                serves = covered[i] == columns[i].toUpper();
            if (serves)
                return QString();   // an index of the table's own serves already
        }
        const QString name = QStringLiteral("aldurix_recherche_") + table;
        QStringList quoted;
        for (const QString &c : columns)
            quoted << quotedIdentifier(c);
        run(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                .arg(quotedIdentifier(name), quotedIdentifier(table), quoted.join(QStringLiteral(", "))));
        return name;
    } catch (const std::exception &) {
        return QString();
    }
}

void SqliteBackend::openDirectory(const QString &directory)
{
    if (!QSqlDatabase::contains(qtName()))
        addAndOpen(QStringLiteral("QSQLITE"), QStringLiteral(":memory:"), QString());
    const QSqlDatabase d = database();
    QSet<QString> attached;
    {
        QSqlQuery q(d);
        q.exec(QStringLiteral("PRAGMA database_list"));
        while (q.next())
            attached.insert(q.value(1).toString().toUpper());
    }
    for (const QString &file : QDir(directory).entryList(QDir::Files)) {
        if (!file.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
            continue;
        const QString schema = QFileInfo(file).completeBaseName();
        if (attached.contains(schema.toUpper()))
            continue;
        QSqlQuery q(d);
        q.prepare(QStringLiteral("ATTACH DATABASE ? AS %1").arg(quotedIdentifier(schema)));
        q.addBindValue(directory + QLatin1Char('/') + file);
        q.exec();   // a file that is no SQLite table is simply not reachable
    }
}

QVariant SqliteBackend::storageValue(const QVariant &value, ColumnKind kind)
{
    if (value.isNull() || !value.isValid())
        return QVariant();
    switch (value.metaType().id()) {
    case QMetaType::QDateTime:
        return formats::storageText(value.toDateTime());
    case QMetaType::QDate:
        return formats::storageText(QDateTime(value.toDate(), QTime(0, 0)));
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    default:
        if (kind == ColumnKind::Boolean)
            return value.toBool() ? 1 : 0;
        return value;
    }
}

QVariant SqliteBackend::readStored(const QVariant &stored, ColumnKind kind)
{
    if (stored.isNull() || !stored.isValid())
        return stored;
    const int type = stored.metaType().id();
    if (kind == ColumnKind::DateTime && type == QMetaType::QString) {
        if (const auto dt = formats::fromStorageText(stored.toString()))
            return *dt;
    } else if (kind == ColumnKind::Boolean && (type == QMetaType::LongLong || type == QMetaType::Int)) {
        // Only what a flag is stored as: any other number stays a number.
        const qint64 v = stored.toLongLong();
        if (v == 0 || v == 1)
            return v == 1;
    }
    return stored;
}

ColumnKind SqliteBackend::resultColumnKind(const QSqlQuery &q, int column) const
{
    const QVariant h = q.result()->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3_stmt*") != 0)
        return ColumnKind::Unknown;
    sqlite3_stmt *stmt = *static_cast<sqlite3_stmt *const *>(h.data());
    const char *decl = stmt ? sqlite3_column_decltype(stmt, column) : nullptr;
    return decl ? kindOfDeclaredType(QString::fromUtf8(decl)) : ColumnKind::Unknown;
}

QHash<QString, ColumnKind> SqliteBackend::tableColumnKinds(const QString &table) const
{
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quotedIdentifier(table))))
        throw DbError(message(q.lastError()));
    QHash<QString, ColumnKind> out;
    while (q.next())
        out.insert(q.value(1).toString().toUpper(), kindOfDeclaredType(q.value(2).toString()));
    return out;
}

QList<IndexColumn> SqliteBackend::indexColumns(const QString &index) const
{
    QSqlQuery q(database());
    if (!q.exec(QStringLiteral("PRAGMA index_xinfo(%1)").arg(quotedIdentifier(index))))
        throw DbError(message(q.lastError()));
    QList<IndexColumn> out;
    while (q.next()) {
        if (q.value(5).toInt() == 0)   // the row identity and other auxiliary columns
            continue;
        out.append({q.value(2).toString(), q.value(4).toString().compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) == 0});
    }
    return out;
}

QString SqliteBackend::failureMessage() const { return QStringLiteral("la base de données est verrouillée"); }

sqlite3 *SqliteBackend::handle() const
{
    const QVariant h = database().driver()->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0)
        throw DbError(QStringLiteral("La connexion %1 n'est pas une base SQLite.").arg(qtName()));
    return *static_cast<sqlite3 *const *>(h.data());
}

void SqliteBackend::doBegin() { run(QStringLiteral("BEGIN")); }
void SqliteBackend::doCommit() { run(QStringLiteral("COMMIT")); }
void SqliteBackend::doRollback() { run(QStringLiteral("ROLLBACK")); }
void SqliteBackend::doSavepoint(const QString &name) { runCached(QStringLiteral("SAVEPOINT ") + quotedIdentifier(name)); }
void SqliteBackend::doRelease(const QString &name) { runCached(QStringLiteral("RELEASE SAVEPOINT ") + quotedIdentifier(name)); }

void SqliteBackend::doRollbackTo(const QString &name)
{
    // SQLite keeps the savepoint after going back to it; ending it too is
    // what the callers mean.
    runCached(QStringLiteral("ROLLBACK TO SAVEPOINT ") + quotedIdentifier(name));
    runCached(QStringLiteral("RELEASE SAVEPOINT ") + quotedIdentifier(name));
}

} // namespace db
