#pragma once
#include "db/Field.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

namespace db {

class Backend;
class Query;
class SqliteBackend;

enum class FieldType { Integer, AutoInc, Text, Memo, DateTime, Boolean, Float };

struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    int size = 0;
    bool required = false;
};

enum IndexOption { ixPrimary = 1, ixUnique = 2, ixCaseInsensitive = 4 };

// A table reached row by row: either a local work table (a SQLite file named
// like the table, in a directory) or a table of an open connection.
class TableCursor {
public:
    explicit TableCursor(const QString &name = QString());
    ~TableCursor();
    TableCursor(const TableCursor &) = delete;
    TableCursor &operator=(const TableCursor &) = delete;

    // Local files when the name is a directory, otherwise a connection.
    void setDatabaseName(const QString &connectionOrDirectory);
    const QString &databaseName() const { return m_database; }
    void setTableName(const QString &table);
    const QString &tableName() const { return m_table; }
    bool isLocal() const;
    QString localFile() const;   // the file of a local table
    bool exists() const;

    std::vector<FieldDef> &fieldDefs() { return m_defs; }
    void createTable();                  // replaces an existing table
    // Copy mode: the source's columns and all its rows. A source not yet
    // open is opened, unless the engine copies its rows by itself (from a
    // SQLite or Paradox database into a work file), which leaves it closed.
    void copyFrom(Query &source);
    void addIndex(const QString &name, const QString &fields, int options);

    void open();
    void close();
    bool active() const { return m_active; }
    // An empty name selects the primary index.
    void setIndexName(const QString &name);
    void setIndexFieldNames(const QString &fields);

    // Exact search on the active index; positions on the row found.
    bool findKey(const QVariantList &values);

    void first();
    void next();
    void prior();
    void last();
    bool eof() const;
    bool bof() const;
    int recordCount();
    int recNo() const;   // 1-based; 0 when empty

    void append();
    void edit();
    void setFieldValue(const QString &field, const QVariant &value);
    void post();
    void cancel();
    bool editing() const { return m_state != State::Browse; }

    Field fieldByName(const QString &field);
    QStringList fieldNames();

    void emptyTable();
    void deleteTable();

private:
    enum class State { Browse, Insert, Edit };
    // The connection's backend, or the SQLite one of a local work file.
    Backend &backend();
    void ensureLoaded();
    void settle() const;
    void reload();
    QString orderBy();
    QString quotedColumn(const QString &field) const;
    int columnIndex(const QString &field) const;   // without regard to case; -1 when absent
    void loadSchema();
    ColumnKind kindOf(const QString &field) const;
    void requireActive() const;

    QString m_name;
    QString m_database;
    QString m_table;
    std::unique_ptr<SqliteBackend> m_local;   // a local work file
    QString m_localName;                      // its Qt connection name
    std::vector<FieldDef> m_defs;
    bool m_active = false;
    bool m_loaded = false;
    bool m_firstPending = false;   // first() asked before the rows were read
    bool m_bof = true;
    bool m_eof = true;
    int m_pos = 0;
    State m_state = State::Browse;

    QStringList m_indexFields;
    QList<bool> m_indexNoCase;
    QStringList m_columns;
    QHash<QString, ColumnKind> m_kindByColumn;   // upper-cased column name
    // As stored; the first value: row identity (rowid) when used.
    std::vector<std::vector<QVariant>> m_rows;
    QHash<qint64, int> m_posByRowid;
    // The first row (in index order) of each value of an integer first index
    // column: the run looks its snapshots up by number at every row.
    QHash<qint64, int> m_posByKey;
    enum class KeyIndex { Unbuilt, Built, Unusable } m_keyIndex = KeyIndex::Unbuilt;
    bool findIntegerKey(const QVariant &value, bool *found);
    QHash<QString, QVariant> m_pending;          // upper-cased column -> value
    std::vector<QVariant> m_editOriginal;
};

} // namespace db
