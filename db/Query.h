#pragma once
#include "db/Field.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace db {

enum class ParamType { Unset, Text, Integer, Float, Date, DateTime, Boolean, Memo };

struct Param {
    QString name;
    ParamType type = ParamType::Unset;
    QVariant value;
    // Text form, as messages quote a parameter (dates in the short date format).
    QString asString() const;
    bool isSet() const { return type != ParamType::Unset; }
};

// An SQL statement with ":name" parameters. Its result set is read whole when
// opened, so it can be walked both ways and counted, and it keeps listing rows
// that later statements delete.
class Query {
public:
    explicit Query(const QString &name = QString()) : m_name(name) {}

    const QString &name() const { return m_name; }
    void setDatabaseName(const QString &connectionOrDirectory) { m_database = connectionOrDirectory; }
    const QString &databaseName() const { return m_database; }

    // The SQL text, line by line; changing it drops the parameters' values.
    void clearSql();
    void addLine(const QString &line);
    void setSql(const QString &text);   // one line
    const QStringList &sqlLines() const { return m_lines; }
    QString text() const;               // the lines joined by line breaks

    void setInteger(const QString &name, qint64 v) { setParam(name, ParamType::Integer, v); }
    void setText(const QString &name, const QString &v) { setParam(name, ParamType::Text, v); }
    void setMemo(const QString &name, const QString &v) { setParam(name, ParamType::Memo, v); }
    void setFloat(const QString &name, double v) { setParam(name, ParamType::Float, v); }
    void setDate(const QString &name, const QDate &v) { setParam(name, ParamType::Date, QDateTime(v, QTime(0, 0))); }
    void setDateTime(const QString &name, const QDateTime &v) { setParam(name, ParamType::DateTime, v); }
    void setBoolean(const QString &name, bool v) { setParam(name, ParamType::Boolean, v); }
    void setParam(const QString &name, ParamType type, const QVariant &value);
    // A parameter of the text never set reads as Unset (and is bound as NULL).
    Param param(const QString &name) const;
    QStringList paramNames() const;

    void open();      // SELECT: throws db::DbError with the engine's message
    void execSQL();   // INSERT, UPDATE, DELETE: throws likewise
    void close();
    bool active() const { return m_active; }

    void first();
    void next();
    void prior();
    void last();
    bool eof() const;
    bool bof() const { return m_bof; }
    int recordCount() const { return int(m_rows.size()); }
    int recNo() const { return m_rows.empty() ? 0 : m_pos + 1; }   // 1-based

    int fieldCount() const { return int(m_columns.size()); }
    QStringList fieldNames() const { return m_columns; }
    bool hasField(const QString &name) const { return columnIndex(name) >= 0; }
    Field fieldByName(const QString &name) const;   // throws when no such column
    Field field(int index) const;

    int tag = 0;

private:
    void run(bool select);
    int columnIndex(const QString &name) const;
    void parseParams();

    QString m_name;
    QString m_database;
    QStringList m_lines;
    std::vector<QString> m_order;   // parameter name of each "?" in order
    QString m_positionalSql;
    std::vector<Param> m_params;
    bool m_parsed = false;

    bool m_active = false;
    bool m_bof = true;
    bool m_eof = true;
    int m_pos = 0;
    QStringList m_columns;
    std::vector<ColumnKind> m_kinds;
    std::vector<std::vector<QVariant>> m_rows;   // as stored
    QVariant (*m_reader)(const QVariant &, ColumnKind) = nullptr;   // their reading
};

} // namespace db
