#pragma once
#include <QHash>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace db {

class Connection;

// The kinds of database the engine reaches. Sqlite is our own: an alias whose
// PATH is a SQLite file, used by the demo and the tests as a practice database.
enum class DriverKind { Paradox, MsSql, Sqlite, Directory };

struct AliasDef {
    QString name;
    QString driver;       // "Paradox", "MSSQL", "SQLITE"
    QStringList params;   // "PATH=...", "USER NAME=..." ...
    QString param(const QString &key) const;
};

// The engine environment, one for the program: private and network control
// directories, aliases and settings nodes (kept in the engine's own
// configuration file), and the registry of open connections.
class Engine {
public:
    static Engine &instance();

    // Where the configuration lives; beside the program unless told otherwise.
    QString configFile() const;
    void setConfigFile(const QString &path);

    QString privateDir() const { return m_privateDir; }
    void setPrivateDir(const QString &dir);
    QString netDir() const { return m_netDir; }
    // Refuses a directory that does not exist.
    void setNetDir(const QString &dir);

    bool aliasExists(const QString &name) const;
    AliasDef alias(const QString &name) const;    // throws when unknown
    void addStandardAlias(const QString &name, const QString &path, const QString &driver);
    void addAlias(const QString &name, const QString &driver, const QStringList &params);

    // Table names of an open connection. A pattern ("*.db") applies to the
    // files of a Paradox directory; extensions and system tables on request.
    QStringList tableNames(const QString &connectionName, const QString &pattern,
                           bool withExtensions, bool withSystemTables) const;

    // Settings nodes of the configuration ("\SYSTEM\INIT\"): name/value pairs.
    QList<QPair<QString, QString>> readNode(const QString &node) const;
    void writeNode(const QString &node, const QList<QPair<QString, QString>> &values);

    // Statements and cursors find their database by this name: a registered
    // connection's database name, or a directory of local work tables.
    QSqlDatabase database(const QString &name);
    DriverKind driverOf(const QString &name) const;
    void registerConnection(const QString &name, Connection *c);
    void unregisterConnection(Connection *c);
    Connection *connection(const QString &name) const;
    // Drops the directory database so that a deleted work file is not held.
    void releaseDirectory(const QString &dir);

private:
    Engine() = default;
    void ensureConfig() const;

    QString m_configFile;
    QString m_privateDir;
    QString m_netDir;
    QHash<QString, Connection *> m_connections;   // key: upper-cased name
    QHash<QString, QString> m_directoryDbs;       // directory -> Qt connection name
};

// The connection (DBOrbelis): alias, database name and parameter lines.
class Connection {
public:
    explicit Connection(const QString &objectName = QStringLiteral("DBOrbelis"));
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    QString databaseName;
    QString aliasName;
    QStringList params;
    bool loginPrompt = true;

    // Throws db::DbError carrying the driver's message.
    void open();
    void close();
    bool connected() const { return m_open; }
    DriverKind driver() const { return m_driver; }
    QSqlDatabase database() const { return QSqlDatabase::database(m_qtName, false); }
    // The directory of a Paradox connection.
    QString directory() const { return m_directory; }
    QString param(const QString &key) const;

private:
    QString m_qtName;
    bool m_open = false;
    DriverKind m_driver = DriverKind::Sqlite;
    QString m_directory;
};

// Builds the ODBC connection string for FreeTDS from the parameter lines.
QString odbcConnectionString(const QString &server, const QString &database,
                             const QString &user, const QString &password);

} // namespace db
