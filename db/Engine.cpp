#include "db/Engine.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/IniFile.h"
#include "db/backends/SqliteBackend.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace db {

namespace {

const QString kAliasPrefix = QStringLiteral("ALIAS ");

QString lineValue(const QStringList &lines, const QString &key, bool *found = nullptr)
{
    for (const QString &l : lines) {
        const int eq = l.indexOf(QLatin1Char('='));
        if (eq > 0 && l.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            if (found)
                *found = true;
            return l.mid(eq + 1);
        }
    }
    if (found)
        *found = false;
    return QString();
}

QString normalisedDir(const QString &dir)
{
    QString d = QDir::fromNativeSeparators(dir);
    while (d.size() > 1 && d.endsWith(QLatin1Char('/')))
        d.chop(1);
    return d;
}

} // namespace

QString AliasDef::param(const QString &key) const { return lineValue(params, key); }

Engine::Engine() = default;

Engine &Engine::instance()
{
    static Engine *e = new Engine;
    return *e;
}

QString Engine::configFile() const
{
    if (!m_configFile.isEmpty())
        return m_configFile;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/AldurixEngine.cfg");
}

void Engine::setConfigFile(const QString &path) { m_configFile = path; }

void Engine::ensureConfig() const
{
    IniFile f(configFile());
    if (f.exists())
        return;
    // A fresh engine starts with the settings a default installation has.
    f.writeString(QStringLiteral("\\SYSTEM\\INIT\\"), QStringLiteral("LOCAL SHARE"), QStringLiteral("FALSE"));
    f.writeString(QStringLiteral("\\SYSTEM\\INIT\\"), QStringLiteral("MAXFILEHANDLES"), QStringLiteral("48"));
    f.writeString(QStringLiteral("\\SYSTEM\\INIT\\"), QStringLiteral("LANGDRIVER"), QStringLiteral("DBWINUS0"));
    f.writeString(QStringLiteral("\\DRIVERS\\PARADOX\\INIT\\"), QStringLiteral("LANGDRIVER"), QStringLiteral("DBWINUS0"));
}

void Engine::setPrivateDir(const QString &dir) { m_privateDir = dir; }

void Engine::setNetDir(const QString &dir)
{
    if (!QFileInfo(QDir::fromNativeSeparators(dir)).isDir())
        throw DbError(QStringLiteral("Répertoire de contrôle réseau invalide : %1").arg(dir));
    m_netDir = dir;
}

bool Engine::aliasExists(const QString &name) const
{
    ensureConfig();
    return IniFile(configFile()).hasSection(kAliasPrefix + name);
}

AliasDef Engine::alias(const QString &name) const
{
    ensureConfig();
    IniFile f(configFile());
    if (!f.hasSection(kAliasPrefix + name))
        throw DbError(QStringLiteral("Base de données inconnue. Alias : %1").arg(name));
    AliasDef a;
    a.name = name;
    for (const auto &kv : f.sectionValues(kAliasPrefix + name)) {
        if (kv.first.compare(QLatin1String("DRIVER"), Qt::CaseInsensitive) == 0)
            a.driver = kv.second;
        else
            a.params << kv.first + QLatin1Char('=') + kv.second;
    }
    return a;
}

void Engine::addStandardAlias(const QString &name, const QString &path, const QString &driver)
{
    ensureConfig();
    IniFile f(configFile());
    f.writeString(kAliasPrefix + name, QStringLiteral("DRIVER"), driver);
    f.writeString(kAliasPrefix + name, QStringLiteral("PATH"), path);
}

void Engine::addAlias(const QString &name, const QString &driver, const QStringList &params)
{
    ensureConfig();
    IniFile f(configFile());
    f.writeString(kAliasPrefix + name, QStringLiteral("DRIVER"), driver);
    for (const QString &p : params) {
        const int eq = p.indexOf(QLatin1Char('='));
        if (eq > 0)
            f.writeString(kAliasPrefix + name, p.left(eq), p.mid(eq + 1));
    }
}

QList<QPair<QString, QString>> Engine::readNode(const QString &node) const
{
    ensureConfig();
    return IniFile(configFile()).sectionValues(node);
}

void Engine::writeNode(const QString &node, const QList<QPair<QString, QString>> &values)
{
    ensureConfig();
    IniFile f(configFile());
    for (const auto &kv : values)
        f.writeString(node, kv.first, kv.second);
}

void Engine::registerConnection(const QString &name, Connection *c) { m_connections.insert(name.toUpper(), c); }

void Engine::unregisterConnection(Connection *c)
{
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (it.value() == c)
            it = m_connections.erase(it);
        else
            ++it;
    }
}

Connection *Engine::connection(const QString &name) const { return m_connections.value(name.toUpper(), nullptr); }

Backend &Engine::backend(const QString &name)
{
    if (Connection *c = connection(name)) {
        if (!c->connected())
            throw DbError(QStringLiteral("La connexion %1 n'est pas ouverte.").arg(name));
        return c->backend();
    }
    // A directory: its local tables, each a SQLite file, attached under its own name.
    const QString dir = normalisedDir(name);
    if (!QFileInfo(dir).isDir())
        throw DbError(QStringLiteral("Base de données inconnue. Alias : %1").arg(name));
    std::unique_ptr<SqliteBackend> &b = m_directories[dir];
    if (!b)
        b = std::make_unique<SqliteBackend>(QStringLiteral("dir:") + dir);
    b->openDirectory(dir);
    return *b;
}

QSqlDatabase Engine::database(const QString &name) { return backend(name).database(); }

void Engine::releaseDirectory(const QString &dir)
{
    m_directories.erase(normalisedDir(dir));
}

QStringList Engine::tableNames(const QString &connectionName, const QString &pattern, bool withExtensions,
                               bool withSystemTables) const
{
    Connection *c = connection(connectionName);
    if (!c || !c->connected())
        throw DbError(QStringLiteral("La connexion %1 n'est pas ouverte.").arg(connectionName));
    return c->backend().tableNames(pattern, withExtensions, withSystemTables);
}

// ---------------------------------------------------------------------------

static int g_connectionCounter = 0;

Connection::Connection(const QString &objectName)
    : m_qtName(QStringLiteral("%1#%2").arg(objectName).arg(++g_connectionCounter))
{
}

Connection::~Connection()
{
    close();
    Engine::instance().unregisterConnection(this);
}

QString Connection::param(const QString &key) const { return lineValue(params, key); }

Backend &Connection::backend() const
{
    if (!m_backend)
        throw DbError(QStringLiteral("La connexion %1 n'est pas ouverte.").arg(databaseName));
    return *m_backend;
}

QSqlDatabase Connection::database() const { return m_backend ? m_backend->database() : QSqlDatabase(); }

void Connection::open()
{
    if (m_backend)
        return;
    Engine &e = Engine::instance();
    const QString aliasToUse = aliasName.isEmpty() ? databaseName : aliasName;
    const AliasDef a = e.alias(aliasToUse);
    std::unique_ptr<Backend> b = Backend::forDriver(a.driver, m_qtName);
    if (!b)
        throw DbError(QStringLiteral("Pilote inconnu pour l'alias %1 : %2").arg(aliasToUse, a.driver));
    // A parameter line of the connection wins over the alias's own.
    b->open(Backend::Settings(a.params + params));
    m_backend = std::move(b);
    e.registerConnection(databaseName, this);
}

void Connection::close() { m_backend.reset(); }

} // namespace db
