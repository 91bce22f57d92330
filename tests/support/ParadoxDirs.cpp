#include "support/ParadoxDirs.h"
#include "db/DbError.h"
#include "db/Query.h"

#include <QDir>
#include <QFile>

QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> out;
    for (const QString &f : QDir(dir).entryList(QDir::Files | QDir::Hidden)) {
        QFile file(dir + QLatin1Char('/') + f);
        file.open(QIODevice::ReadOnly);
        out.insert(f, file.readAll());
    }
    return out;
}

QString ParadoxConnections::connect(const QString &dir, const QString &alias)
{
    const QString name = alias.isEmpty() ? m_prefix + QString::number(++m_count) : alias;
    if (!db::Engine::instance().aliasExists(name))
        db::Engine::instance().addStandardAlias(name, dir, QStringLiteral("Paradox"));
    auto c = std::make_unique<db::Connection>(name);
    c->aliasName = name;
    c->databaseName = name;
    c->open();
    m_conns.push_back(std::move(c));
    return name;
}

void run(const QString &db, const QString &sql)
{
    db::Query q;
    q.setDatabaseName(db);
    q.setSql(sql);
    q.execSQL();
}

QString failure(const QString &db, const QString &sql)
{
    try {
        run(db, sql);
    } catch (const db::DbError &e) {
        return e.message();
    }
    return QString();
}

QStringList column(const QString &db, const QString &sql)
{
    db::Query q;
    q.setDatabaseName(db);
    q.setSql(sql);
    q.open();
    QStringList out;
    for (; !q.eof(); q.next())
        out << q.field(0).asString();
    return out;
}
