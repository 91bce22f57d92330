#include "db/Engine.h"
#include "db/DbError.h"
#include "db/IniFile.h"
#include "db/paradox/ParadoxDriver.h"
#include "db/paradox/PxCodePage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <sqlite3.h>

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

bool wildcardMatch(const QString &pattern, const QString &name)
{
    if (pattern.isEmpty())
        return true;
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    return re.match(name).hasMatch();
}

// The page of the language driver that the engine's Paradox setting names
// (start-up maintains it), for the tables whose header names none; 0 when
// it names none this engine knows.
int paradoxCodePage()
{
    for (const auto &kv : Engine::instance().readNode(QStringLiteral("\\DRIVERS\\PARADOX\\INIT\\")))
        if (kv.first.compare(QLatin1String("LANGDRIVER"), Qt::CaseInsensitive) == 0)
            return paradox::CodePage::ofLanguageDriver(kv.second);
    return 0;
}

} // namespace

QString AliasDef::param(const QString &key) const { return lineValue(params, key); }

Engine &Engine::instance()
{
    static Engine e;
    return e;
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

DriverKind Engine::driverOf(const QString &name) const
{
    if (Connection *c = connection(name))
        return c->driver();
    return DriverKind::Directory;
}

QSqlDatabase Engine::database(const QString &name)
{
    if (Connection *c = connection(name)) {
        if (!c->connected())
            throw DbError(QStringLiteral("La connexion %1 n'est pas ouverte.").arg(name));
        return c->database();
    }
    // A directory: its local tables, each a SQLite file, attached under its own name.
    const QString dir = normalisedDir(name);
    if (!QFileInfo(dir).isDir())
        throw DbError(QStringLiteral("Base de données inconnue. Alias : %1").arg(name));
    QString qtName = m_directoryDbs.value(dir);
    if (qtName.isEmpty()) {
        qtName = QStringLiteral("dir:") + dir;
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), qtName);
        d.setDatabaseName(QStringLiteral(":memory:"));
        if (!d.open())
            throw DbError(d.lastError().text());
        m_directoryDbs.insert(dir, qtName);
    }
    QSqlDatabase d = QSqlDatabase::database(qtName, false);
    QSet<QString> attached;
    {
        QSqlQuery q(d);
        q.exec(QStringLiteral("PRAGMA database_list"));
        while (q.next())
            attached.insert(q.value(1).toString().toUpper());
    }
    const QStringList files = QDir(dir).entryList(QDir::Files);
    for (const QString &file : files) {
        if (!file.endsWith(QLatin1String(".db"), Qt::CaseInsensitive))
            continue;
        const QString schema = QFileInfo(file).completeBaseName();
        if (attached.contains(schema.toUpper()))
            continue;
        QSqlQuery q(d);
        q.prepare(QStringLiteral("ATTACH DATABASE ? AS \"%1\"").arg(schema));
        q.addBindValue(dir + QLatin1Char('/') + file);
        q.exec();   // a file that is no SQLite table is simply not reachable
    }
    return d;
}

void Engine::releaseDirectory(const QString &dir)
{
    const QString key = normalisedDir(dir);
    const QString qtName = m_directoryDbs.take(key);
    if (qtName.isEmpty())
        return;
    {
        QSqlDatabase d = QSqlDatabase::database(qtName, false);
        d.close();
    }
    QSqlDatabase::removeDatabase(qtName);
}

QStringList Engine::tableNames(const QString &connectionName, const QString &pattern, bool withExtensions,
                               bool withSystemTables) const
{
    Connection *c = connection(connectionName);
    if (!c || !c->connected())
        throw DbError(QStringLiteral("La connexion %1 n'est pas ouverte.").arg(connectionName));
    QStringList out;
    if (c->driver() == DriverKind::Paradox) {
        const QStringList files = QDir(c->directory()).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
        for (const QString &file : files) {
            if (!file.endsWith(QLatin1String(".db"), Qt::CaseInsensitive) || !wildcardMatch(pattern, file))
                continue;
            out << (withExtensions ? file : QFileInfo(file).completeBaseName());
        }
        return out;
    }
    // Server and SQLite tables have no file: the pattern and extensions do not apply.
    QSqlDatabase d = c->database();
    out = d.tables(QSql::Tables);
    if (withSystemTables)
        out += d.tables(QSql::SystemTables);
    return out;
}

// ---------------------------------------------------------------------------

QString odbcConnectionString(const QString &server, const QString &database, const QString &user,
                             const QString &password)
{
    // "host", "host,port", "host:port" or "host\instance".
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

void Connection::open()
{
    if (m_open)
        return;
    Engine &e = Engine::instance();
    const QString aliasToUse = aliasName.isEmpty() ? databaseName : aliasName;
    const AliasDef a = e.alias(aliasToUse);
    auto value = [&](const QString &key) {
        bool found = false;
        const QString v = lineValue(params, key, &found);
        return found ? v : a.param(key);
    };
    const QString driver = a.driver.toUpper();
    QSqlDatabase d;
    if (driver == QLatin1String("SQLITE")) {
        const QString file = QDir::fromNativeSeparators(value(QStringLiteral("PATH")));
        if (!QFileInfo(file).isFile())
            throw DbError(QStringLiteral("Le fichier de base de données %1 n'existe pas.").arg(file));
        d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_qtName);
        d.setDatabaseName(file);
        d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000"));
        m_driver = DriverKind::Sqlite;
    } else if (driver == QLatin1String("MSSQL")) {
        d = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_qtName);
        d.setDatabaseName(odbcConnectionString(value(QStringLiteral("SERVER NAME")),
                                               value(QStringLiteral("DATABASE NAME")),
                                               value(QStringLiteral("USER NAME")),
                                               value(QStringLiteral("PASSWORD"))));
        d.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=8;SQL_ATTR_CONNECTION_TIMEOUT=8"));
        m_driver = DriverKind::MsSql;
    } else if (driver == QLatin1String("PARADOX")) {
        m_directory = QDir::fromNativeSeparators(value(QStringLiteral("PATH")));
        while (m_directory.size() > 1 && m_directory.endsWith(QLatin1Char('/')))
            m_directory.chop(1);
        if (m_directory.isEmpty() || !QFileInfo(m_directory).isDir())
            throw DbError(QStringLiteral("Répertoire de base de données invalide : %1").arg(m_directory));
        d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_qtName);
        d.setDatabaseName(QStringLiteral(":memory:"));
        m_driver = DriverKind::Paradox;
    } else {
        throw DbError(QStringLiteral("Pilote inconnu pour l'alias %1 : %2").arg(aliasToUse, a.driver));
    }
    if (!d.open()) {
        const QString msg = d.lastError().text();
        d = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_qtName);
        throw DbError(msg);
    }
    try {
        if (m_driver == DriverKind::Sqlite) {
            // A file that is not a SQLite database opens; its first read tells.
            QSqlQuery q(d);
            if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
                throw DbError(q.lastError().databaseText().isEmpty() ? q.lastError().text()
                                                                     : q.lastError().databaseText());
        } else if (m_driver == DriverKind::Paradox) {
            auto *handle = *static_cast<sqlite3 *const *>(d.driver()->handle().data());
            paradox::attachDirectory(handle, m_directory, paradoxCodePage());
        }
    } catch (...) {
        d.close();
        d = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_qtName);
        throw;
    }
    m_open = true;
    e.registerConnection(databaseName, this);
}

void Connection::close()
{
    if (!m_open)
        return;
    {
        QSqlDatabase d = QSqlDatabase::database(m_qtName, false);
        d.close();
    }
    QSqlDatabase::removeDatabase(m_qtName);
    m_open = false;
}

} // namespace db
