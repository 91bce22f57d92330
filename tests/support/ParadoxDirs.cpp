#include "support/ParadoxDirs.h"

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
