#include "tools/demo/ServerPractice.h"
#include "db/DbError.h"
#include "db/Formats.h"
#include "db/Engine.h"
#include "tools/demo/DemoData.h"
#include "tools/demo/PracticeSchema.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace demo {

using db::FieldType;

namespace {

bool sqlServer(const QSqlDatabase &d) { return d.driver()->dbmsType() == QSqlDriver::MSSqlServer; }

QString serverType(const Column &c, bool mssql)
{
    switch (c.type) {
    case FieldType::Integer:
    case FieldType::AutoInc: return QStringLiteral("INTEGER");
    case FieldType::Float: return QStringLiteral("FLOAT");
    case FieldType::Text: return QStringLiteral("%1(%2)").arg(mssql ? QStringLiteral("NVARCHAR") : QStringLiteral("VARCHAR")).arg(c.size);
    case FieldType::Memo: return mssql ? QStringLiteral("NVARCHAR(MAX)") : QStringLiteral("TEXT");
    case FieldType::DateTime: return mssql ? QStringLiteral("DATETIME") : QStringLiteral("TIMESTAMP");
    case FieldType::Boolean: return mssql ? QStringLiteral("BIT") : QStringLiteral("BOOLEAN");
    }
    return QString();
}

QMetaType metaTypeOf(FieldType t)
{
    switch (t) {
    case FieldType::Integer:
    case FieldType::AutoInc: return QMetaType::fromType<qlonglong>();
    case FieldType::Float: return QMetaType::fromType<double>();
    case FieldType::DateTime: return QMetaType::fromType<QDateTime>();
    case FieldType::Boolean: return QMetaType::fromType<bool>();
    case FieldType::Text:
    case FieldType::Memo: break;
    }
    return QMetaType::fromType<QString>();
}

void run(QSqlQuery &q, const QString &sql)
{
    if (!q.exec(sql))
        throw db::DbError(sql + QStringLiteral(" : ") + q.lastError().text());
}

// A database that would not open, told apart from a statement that failed.
class NotOpened : public db::DbError {
public:
    using db::DbError::DbError;
};

// Runs f on a connection of its own to the database, closed and removed
// afterwards whatever happens. Throws NotOpened when it does not open.
template <class F> void withConnection(const QString &qtDriver, const QString &databaseName, F f)
{
    const QString name = QStringLiteral("demo-server-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString notOpened;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(qtDriver, name);
        d.setDatabaseName(databaseName);
        if (d.open()) {
            try {
                f(d);
            } catch (...) {
                d.close();
                d = QSqlDatabase();
                QSqlDatabase::removeDatabase(name);
                throw;
            }
            d.close();
        } else {
            notOpened = d.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!notOpened.isNull())
        throw NotOpened(notOpened);
}

// Runs f on the server's own administration database: "postgres" on
// PostgreSQL, "master" on SQL Server, the first one that opens.
template <class F> void withAdministration(const QString &odbcConnection, F f)
{
    for (const QString &admin : {QStringLiteral("postgres"), QStringLiteral("master")}) {
        try {
            withConnection(QStringLiteral("QODBC"), withDatabase(odbcConnection, admin), f);
            return;
        } catch (const NotOpened &) {
        }
    }
    throw db::DbError(QStringLiteral("Serveur injoignable : %1").arg(odbcConnection));
}

} // namespace

QString withDatabase(const QString &odbcConnection, const QString &database)
{
    if (database.isEmpty())
        return odbcConnection;
    return odbcConnection + QStringLiteral(";DATABASE=") + database;
}

void createServerDatabase(const QString &odbcConnection, const QString &database)
{
    withAdministration(odbcConnection, [&](QSqlDatabase &d) {
        QSqlQuery q(d);
        if (sqlServer(d)) {
            run(q, QStringLiteral("IF DB_ID('%1') IS NOT NULL DROP DATABASE [%1]").arg(database));
            run(q, QStringLiteral("CREATE DATABASE [%1]").arg(database));
        } else {
            run(q, QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(database));
            run(q, QStringLiteral("CREATE DATABASE \"%1\"").arg(database));
            // Unqualified names find the practice's tables under "dbo", as a
            // SQL Server user's default schema does.
            run(q, QStringLiteral("ALTER DATABASE \"%1\" SET search_path = dbo").arg(database));
        }
    });
    withConnection(QStringLiteral("QODBC"), withDatabase(odbcConnection, database), [&](QSqlDatabase &d) {
        if (!sqlServer(d)) {
            QSqlQuery q(d);
            run(q, QStringLiteral("CREATE SCHEMA dbo"));
        }
    });
}

void dropServerDatabase(const QString &odbcConnection, const QString &database)
{
    // Clean-up: a server gone already has nothing left to drop.
    try {
        withAdministration(odbcConnection, [&](QSqlDatabase &d) {
            QSqlQuery q(d);
            run(q, sqlServer(d) ? QStringLiteral("DROP DATABASE [%1]").arg(database)
                                : QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(database));
        });
    } catch (const db::DbError &) {
    }
}

void exportToServer(QSqlDatabase sqlitePractice, QSqlDatabase server)
{
    const bool mssql = sqlServer(server);
    QSqlQuery ddl(server);
    for (const TableDef &t : practiceTables()) {
        QStringList cols;
        for (const Column &c : t.columns)
            cols << c.name + QLatin1Char(' ') + serverType(c, mssql)
                        + (c.name == t.key ? QStringLiteral(" NOT NULL PRIMARY KEY") : QString());
        run(ddl, QStringLiteral("CREATE TABLE dbo.%1 (%2)").arg(t.name, cols.join(QStringLiteral(", "))));
    }
    if (!server.transaction())
        throw db::DbError(server.lastError().text());
    try {
        for (const TableDef &t : practiceTables()) {
            QStringList names, holders;
            for (const Column &c : t.columns) {
                names << c.name;
                holders << QStringLiteral("?");
            }
            QSqlQuery from(sqlitePractice);
            from.setForwardOnly(true);
            run(from, QStringLiteral("SELECT %1 FROM %2").arg(names.join(QLatin1Char(',')), t.name));
            QSqlQuery to(server);
            if (!to.prepare(QStringLiteral("INSERT INTO dbo.%1 (%2) VALUES (%3)")
                                .arg(t.name, names.join(QLatin1Char(',')), holders.join(QLatin1Char(',')))))
                throw db::DbError(to.lastError().text());
            while (from.next()) {
                for (int i = 0; i < int(t.columns.size()); ++i) {
                    const Column &c = t.columns[size_t(i)];
                    const QVariant v = from.value(i);
                    QVariant typed(metaTypeOf(c.type));   // a typed null
                    if (!v.isNull()) {
                        switch (c.type) {
                        case FieldType::Integer:
                        case FieldType::AutoInc: typed = v.toLongLong(); break;
                        case FieldType::Float: typed = v.toDouble(); break;
                        case FieldType::DateTime: {
                            const auto dt = db::formats::fromStorageText(v.toString());
                            if (dt)
                                typed = *dt;
                            break;
                        }
                        case FieldType::Boolean: typed = v.toLongLong() != 0; break;
                        case FieldType::Text:
                        case FieldType::Memo: typed = v.toString(); break;
                        }
                    }
                    to.addBindValue(typed);
                }
                if (!to.exec())
                    throw db::DbError(QStringLiteral("%1 : %2").arg(t.name, to.lastError().text()));
            }
        }
    } catch (...) {
        server.rollback();
        throw;
    }
    if (!server.commit())
        throw db::DbError(server.lastError().text());
}

void writeDemoServerPractice(const DemoLayout &layout, const QString &odbcConnection, const QString &database)
{
    createServerDatabase(odbcConnection, database);
    withConnection(QStringLiteral("QSQLITE"), layout.databaseFile(), [&](QSqlDatabase &practice) {
        withConnection(QStringLiteral("QODBC"), withDatabase(odbcConnection, database),
                       [&](QSqlDatabase &server) { exportToServer(practice, server); });
    });
    db::Engine &engine = db::Engine::instance();
    engine.setConfigFile(layout.engineConfig());
    engine.addAlias(kDemoAlias, QStringLiteral("ODBC"), aliasLines(withDatabase(odbcConnection, database)));
}

QStringList aliasLines(const QString &odbcConnection)
{
    QStringList out;
    for (const QString &part : odbcConnection.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        QString key = part.left(eq).trimmed().toUpper();
        QString value = part.mid(eq + 1).trimmed();
        if (value.startsWith(QLatin1Char('{')) && value.endsWith(QLatin1Char('}')))
            value = value.mid(1, value.size() - 2).replace(QLatin1String("}}"), QLatin1String("}"));
        if (key == QLatin1String("DRIVER"))
            key = QStringLiteral("ODBC DRIVER");
        out << key + QLatin1Char('=') + value;
    }
    return out;
}

} // namespace demo
