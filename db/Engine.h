#pragma once
#include <QHash>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>

namespace db {

class Backend;
class Connection;
class SqliteBackend;

struct AliasDef {
    QString name;
    // "Paradox", "MSSQL", or "SQLITE": a SQLite file of our own as a
    // practice database, for the demo and the tests.
    QString driver;
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
    // Throws db::DbError for a closed connection or an unknown name.
    Backend &backend(const QString &name);
    QSqlDatabase database(const QString &name);
    void registerConnection(const QString &name, Connection *c);
    void unregisterConnection(Connection *c);
    Connection *connection(const QString &name) const;
    // Drops the directory database so that a deleted work file is not held.
    void releaseDirectory(const QString &dir);

private:
    Engine();
    // Never destroyed: at exit its backends would remove Qt connections after
    // Qt's registry of them is gone.
    ~Engine() = delete;
    void ensureConfig() const;

    QString m_configFile;
    QString m_privateDir;
    QString m_netDir;
    QHash<QString, Connection *> m_connections;   // key: upper-cased name
    std::map<QString, std::unique_ptr<SqliteBackend>> m_directories;   // key: the directory, '/'-separated
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
    bool connected() const { return m_backend != nullptr; }
    // What differs with the alias's driver. Throws db::DbError when closed.
    Backend &backend() const;
    QSqlDatabase database() const;
    QString param(const QString &key) const;

private:
    QString m_qtName;
    std::unique_ptr<Backend> m_backend;
};

} // namespace db
