#include "db/backends/OdbcBackend.h"
#include "db/DbError.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace db {

void OdbcBackend::open(const Settings &setting)
{
    addAndOpen(QStringLiteral("QODBC"),
               odbcConnectionString(setting(QStringLiteral("SERVER NAME")), setting(QStringLiteral("DATABASE NAME")),
                                    setting(QStringLiteral("USER NAME")), setting(QStringLiteral("PASSWORD"))),
               QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=8;SQL_ATTR_CONNECTION_TIMEOUT=8"));
}

QVariant OdbcBackend::toStorage(const QVariant &value, ColumnKind) const
{
    if (value.isNull() || !value.isValid())
        return QVariant();
    return value;
}

QVariant OdbcBackend::fromStorage(const QVariant &stored, ColumnKind) const { return stored; }

ColumnKind OdbcBackend::resultColumnKind(const QSqlQuery &q, int column) const
{
    return kindOfMetaType(q.record().field(column).metaType().id());
}

QHash<QString, ColumnKind> OdbcBackend::tableColumnKinds(const QString &table) const
{
    const QSqlRecord rec = database().record(table);
    QHash<QString, ColumnKind> out;
    for (int i = 0; i < rec.count(); ++i) {
        const ColumnKind k = kindOfMetaType(rec.field(i).metaType().id());
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

void OdbcBackend::doSavepoint(const QString &name) { run(QStringLiteral("SAVE TRANSACTION ") + name); }
void OdbcBackend::doRelease(const QString &) {}
void OdbcBackend::doRollbackTo(const QString &name) { run(QStringLiteral("ROLLBACK TRANSACTION ") + name); }

QString odbcConnectionString(const QString &server, const QString &database, const QString &user,
                             const QString &password)
{
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
         + QStringLiteral(";PWD=") + braced(password) + QStringLiteral(";TDS_Version=7.3;ClientCharset=UTF-8");
    return s;
}

} // namespace db
