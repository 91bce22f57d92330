#pragma once
#include <QString>
#include <optional>
#include <vector>

namespace db {

// What a statement that changes rows will change, as its text tells: the
// forms the program writes (UPDATE t SET ... WHERE w, DELETE FROM t WHERE w,
// INSERT INTO t (...) VALUES (...)), so that the rows can be read before
// they change. Parameters are the positional "?" of the prepared text.
struct WriteStatement {
    enum class Kind { Insert, Update, Delete };
    Kind kind = Kind::Update;
    QString table;       // the table's own name, unquoted, without owner
    QString tableText;   // the table as the statement writes it
    QString condition;   // after WHERE; empty: every row
    int conditionParam = 0;   // the condition's first parameter
    int params = 0;           // parameters in all
    // UPDATE: the columns assigned; INSERT: the columns given (none when the
    // statement lists none). Each with the parameter it takes, -1 when it is
    // an expression; null: the column is set to NULL.
    struct Column {
        QString name;
        int param = -1;
        bool null = false;
    };
    std::vector<Column> columns;
};

// Nothing for a statement that only reads. Throws db::DbError, in words the
// user reads, for a statement that may change rows in any other form: it
// must not run, since what it changes could not be kept beforehand.
std::optional<WriteStatement> classifyWrite(const QString &sql);

} // namespace db
