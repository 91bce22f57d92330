#include "db/backends/OdbcBackend.h"
#include "db/DbError.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

namespace db {

void OdbcBackend::open(const Settings &setting)
{
    const QString connection = m_source == Source::SqlServer
        ? odbcConnectionString(setting(QStringLiteral("SERVER NAME")), setting(QStringLiteral("DATABASE NAME")),
                               setting(QStringLiteral("USER NAME")), setting(QStringLiteral("PASSWORD")),
                               setting(QStringLiteral("ENCRYPTION")))
        : odbcConnectionStringOfLines(setting.lines());
    m_tableNames.clear();
    addAndOpen(QStringLiteral("QODBC"), connection, QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=8;SQL_ATTR_CONNECTION_TIMEOUT=8"));
}

bool OdbcBackend::sqlServer() const
{
    const QSqlDriver *d = database().driver();
    return d ? d->dbmsType() == QSqlDriver::MSSqlServer : m_source == Source::SqlServer;
}

QStringList OdbcBackend::tableNames(const QString &, bool, bool withSystemTables) const
{
    // The standard views name the owner of each table on every server; the
    // ODBC driver's own listing gives the bare names only.
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT TABLE_SCHEMA, TABLE_NAME FROM INFORMATION_SCHEMA.TABLES "
                               "WHERE TABLE_TYPE = 'BASE TABLE' ORDER BY TABLE_SCHEMA, TABLE_NAME")))
        throw DbError(message(q.lastError()));
    static const QStringList systemOwners = {QStringLiteral("sys"), QStringLiteral("INFORMATION_SCHEMA"),
                                             QStringLiteral("pg_catalog")};
    QStringList out;
    while (q.next()) {
        const QString owner = q.value(0).toString();
        if (!withSystemTables && systemOwners.contains(owner, Qt::CaseInsensitive))
            continue;
        out << (owner.isEmpty() ? QString() : owner + QLatin1Char('.')) + q.value(1).toString();
    }
    if (q.lastError().isValid())
        throw DbError(message(q.lastError()));
    return out;
}

QString OdbcBackend::tableIdentifier(const QString &table) const
{
    // SQL Server matches names without regard to case, quoted or not; other
    // servers match a quoted name exactly. The listed spelling suits both.
    if (m_tableNames.isEmpty()) {
        const QSqlDatabase d = database();
        for (const QString &t : d.tables(QSql::Tables))
            m_tableNames.insert(t.toUpper(), t);
    }
    return quotedIdentifier(m_tableNames.value(table.toUpper(), table));
}

QStringList OdbcBackend::keyColumns(const QString &table) const
{
    // The catalogue is asked under the name as the server lists it.
    return Backend::keyColumns(tableIdentifier(table));
}

QSqlRecord OdbcBackend::tableRecord(const QString &table) const
{
    const QString identifier = tableIdentifier(table);
    QSqlRecord rec = database().record(identifier);
    if (!rec.isEmpty() || !m_tableNames.contains(table.toUpper()))
        return rec;
    // Qt's catalogue look-up cuts a quoted name at its dots and keeps a
    // doubled quote doubled, so it finds nothing for a listed table whose
    // name holds either: a statement that returns no row describes it. Only
    // for a listed table, so that no statement fails (a failure would spoil
    // the transaction on some servers).
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (q.exec(QStringLiteral("SELECT * FROM ") + identifier + QStringLiteral(" WHERE 1=0")))
        rec = q.record();
    return rec;
}

QList<IndexColumn> OdbcBackend::indexColumns(const QString &index) const
{
    static const QString primary = QStringLiteral("_PRIMARY");
    if (!index.endsWith(primary, Qt::CaseInsensitive))
        return {};
    const QSqlIndex key = database().primaryIndex(tableIdentifier(index.chopped(primary.size())));
    QList<IndexColumn> out;
    for (int i = 0; i < key.count(); ++i)
        out.push_back({key.fieldName(i), false});
    return out;
}

QVariant OdbcBackend::toStorage(const QVariant &value, ColumnKind) const
{
    if (value.isNull() || !value.isValid())
        return QVariant();
    return value;
}

QVariant OdbcBackend::readStored(const QVariant &stored, ColumnKind kind)
{
    // Qt hands a BIT over as an integer.
    if (kind == ColumnKind::Boolean && !stored.isNull())
        return stored.toInt() != 0;
    return stored;
}

ColumnKind OdbcBackend::kindOf(const QSqlField &field)
{
    // The ODBC type tells a flag (SQL_BIT) from a number, which Qt's does not.
    constexpr int sqlBit = -7;
    if (field.typeID() == sqlBit)
        return ColumnKind::Boolean;
    return kindOfMetaType(field.metaType().id());
}

ColumnKind OdbcBackend::resultColumnKind(const QSqlQuery &q, int column) const
{
    return kindOf(q.record().field(column));
}

QHash<QString, ColumnKind> OdbcBackend::tableColumnKinds(const QString &table) const
{
    const QSqlRecord rec = tableRecord(table);
    QHash<QString, ColumnKind> out;
    for (int i = 0; i < rec.count(); ++i) {
        const ColumnKind k = kindOf(rec.field(i));
        out.insert(rec.fieldName(i).toUpper(), k == ColumnKind::Unknown ? ColumnKind::Text : k);
    }
    return out;
}

QString OdbcBackend::failureMessage() const
{
    return QStringLiteral("[FreeTDS][SQL Server]Délai d'attente de la demande de verrou dépassé.");
}

void OdbcBackend::doBegin()
{
    QSqlDatabase d = database();
    if (!d.transaction())
        throw DbError(message(d.lastError()));
}

void OdbcBackend::doCommit()
{
    QSqlDatabase d = database();
    if (!d.commit())
        throw DbError(message(d.lastError()));
}

void OdbcBackend::doRollback()
{
    QSqlDatabase d = database();
    if (!d.rollback())
        throw DbError(message(d.lastError()));
}

void OdbcBackend::doSavepoint(const QString &name)
{
    run((sqlServer() ? QStringLiteral("SAVE TRANSACTION ") : QStringLiteral("SAVEPOINT ")) + name);
}

void OdbcBackend::doRelease(const QString &name)
{
    if (!sqlServer())
        run(QStringLiteral("RELEASE SAVEPOINT ") + name);
}

void OdbcBackend::doRollbackTo(const QString &name)
{
    run((sqlServer() ? QStringLiteral("ROLLBACK TRANSACTION ") : QStringLiteral("ROLLBACK TO SAVEPOINT ")) + name);
    // The standard savepoint outlives its rollback; this one ends there.
    if (!sqlServer())
        run(QStringLiteral("RELEASE SAVEPOINT ") + name);
}

QString odbcConnectionString(const QString &server, const QString &database, const QString &user,
                             const QString &password, const QString &encryption)
{
    // The login and its password cross the network inside the TLS session
    // when there is one; without, they are only scrambled.
    QString chiffrement = encryption.trimmed().toLower();
    if (chiffrement.isEmpty())
        chiffrement = QStringLiteral("request");
    static const QStringList admis = {QStringLiteral("request"), QStringLiteral("require"), QStringLiteral("off")};
    if (!admis.contains(chiffrement))
        throw DbError(QStringLiteral("Réglage ENCRYPTION de l'alias inconnu : « %1 ». Valeurs admises : request (par défaut, "
                                     "chiffrement si le serveur le propose), require (connexion refusée sans chiffrement), "
                                     "off (jamais de chiffrement).")
                          .arg(encryption.trimmed()));

    QString host = server.trimmed();
    QString port;
    QString instance;
    int sep = host.indexOf(QLatin1Char(','));
    if (sep < 0)
        sep = host.indexOf(QLatin1Char(':'));
    if (sep > 0) {
        port = host.mid(sep + 1).trimmed();
        host = host.left(sep).trimmed();
    }
    const int bs = host.indexOf(QLatin1Char('\\'));
    if (bs > 0) {
        instance = host.mid(bs + 1);
        host = host.left(bs);
    }
    auto braced = [](const QString &v) {
        QString e = v;
        e.replace(QLatin1Char('}'), QLatin1String("}}"));
        return QLatin1Char('{') + e + QLatin1Char('}');
    };
    QString s = QStringLiteral("DRIVER={FreeTDS};SERVER=") + braced(host);
    if (!instance.isEmpty())
        s += QStringLiteral(";INSTANCE=") + braced(instance);
    s += QStringLiteral(";PORT=") + (port.isEmpty() ? QStringLiteral("1433") : port);
    s += QStringLiteral(";DATABASE=") + braced(database) + QStringLiteral(";UID=") + braced(user)
         + QStringLiteral(";PWD=") + braced(password) + QStringLiteral(";TDS_Version=7.3;ClientCharset=UTF-8;Encryption=")
         + chiffrement;
    return s;
}

QString odbcConnectionStringOfLines(const QStringList &lines)
{
    static const QHash<QString, QString> renamed = {
        {QStringLiteral("ODBC DRIVER"), QStringLiteral("DRIVER")},   {QStringLiteral("SERVER NAME"), QStringLiteral("SERVER")},
        {QStringLiteral("DATABASE NAME"), QStringLiteral("DATABASE")}, {QStringLiteral("USER NAME"), QStringLiteral("UID")},
        {QStringLiteral("PASSWORD"), QStringLiteral("PWD")}};
    static const QStringList engineOnly = {QStringLiteral("BLOB SIZE"), QStringLiteral("BLOBS TO CACHE"),
                                           QStringLiteral("LANGDRIVER"), QStringLiteral("SQLQRYMODE"),
                                           QStringLiteral("PATH"), QStringLiteral("DRIVER")};
    QStringList keys;
    QHash<QString, QString> values;
    for (const QString &l : lines) {
        const int eq = l.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        QString key = l.left(eq).trimmed().toUpper();
        if (engineOnly.contains(key))
            continue;
        key = renamed.value(key, key);
        if (!values.contains(key))
            keys << key;
        values.insert(key, l.mid(eq + 1));
    }
    QString s;
    for (const QString &k : keys) {
        const QString v = values.value(k);
        // Braces keep a value whole whatever it holds (";", "=", blanks);
        // a closing brace inside is doubled.
        const bool plain = k != QLatin1String("DRIVER") && !v.contains(QLatin1Char(';')) && !v.contains(QLatin1Char('{'))
                           && !v.contains(QLatin1Char('}')) && v.trimmed() == v;
        if (!s.isEmpty())
            s += QLatin1Char(';');
        s += k + QLatin1Char('=')
             + (plain ? v : QLatin1Char('{') + QString(v).replace(QLatin1Char('}'), QLatin1String("}}")) + QLatin1Char('}'));
    }
    return s;
}

} // namespace db
