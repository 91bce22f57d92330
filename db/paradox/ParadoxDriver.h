#pragma once
#include "db/TableCursor.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <vector>

struct sqlite3;

namespace db::paradox {

// Makes every Paradox table (.DB file) of a directory a table of the given
// SQLite connection, so that the practice's SQL runs on it unchanged. The
// table takes the file's base name as the file spells it; SQLite matches
// names without regard to case.
//
// How values look through SQL: alpha and memo fields are text converted from
// the table's code page; numbers, money and BCD are floating values; short,
// long and auto-increment fields integers; logical fields 0 and 1; dates
// "yyyy-MM-dd 00:00:00", timestamps "yyyy-MM-dd HH:mm:ss", times
// "1899-12-30 HH:mm:ss" (the platform's zero date, moved by the days of a
// time beyond the day), as formats::storageText() writes them: ".zzz" when
// there are milliseconds, a minus sign before years before 1. Binary,
// graphic, OLE, formatted memo and bytes fields are blobs. Blank fields, and
// they alone, are NULL. Writes take the same forms; an auto-increment field
// is numbered by the table alone, and a column set to what it reads keeps
// its stored bytes.
//
// A table whose header names no code page is read in fallbackCodePage (the
// page of the engine's Paradox language driver), or DOS US when it is 0,
// and is not written.
//
// Throws db::DbError with a clear message when the directory cannot be used.
void attachDirectory(sqlite3 *handle, const QString &directory, int fallbackCodePage = 0);

// The description of a column of a new table.
enum class ColumnType { Alpha, Number, Currency, Bcd, Short, Long, AutoInc, Logical, Date, Time, Timestamp,
                        Memo, Binary, Graphic, Bytes };
struct ColumnSpec {
    QString name;   // at most 25 characters
    ColumnType type = ColumnType::Alpha;
    // Alpha and Bytes: length (1 to 255). Memo, Binary, Graphic: bytes kept
    // in the record itself (1 to 240, 0 for 50). Bcd: decimals (0 to 32).
    int size = 0;
};

// Creates an empty table, replacing one of the same name: its .DB, its .MB
// when a column needs one and its primary index .PX when key is given. The
// key lists column names separated by ";", the first columns in order, as
// the format requires. The blocks are sized for about expectedRows rows (and
// room to grow); a table the format cannot hold is refused before any file
// changes. Throws db::DbError.
void createTable(const QString &dbFile, const std::vector<ColumnSpec> &columns, const QString &key,
                 int codePage = 1252, qint64 expectedRows = 0);
// The engine's own field definitions: integers become long fields, date-times
// timestamps, floats numbers, booleans logical fields, texts alpha fields.
void createTable(const QString &dbFile, const std::vector<FieldDef> &fields, const QString &key);

// Appends rows, values in column order: null, integers, doubles, booleans,
// texts, QDate, QTime, QDateTime or QByteArray. All or nothing. The loader of
// a new table: auto-increment fields keep the values given.
void appendRows(const QString &dbFile, const std::vector<QVariantList> &rows);

// A secondary index of a keyed table: on one column or several, with or
// without regard to letter case.
struct SecondaryIndexSpec {
    QString table;
    QStringList columns;
    bool caseless = false;
};

// Adds a maintained secondary index to a keyed table, written from its rows
// (.Xnn/.Ynn for one column with regard to case, .XGn/.YGn otherwise).
void addSecondaryIndex(const QString &dbFile, const QStringList &columns, bool caseless);

// Writes every table of a SQLite database as a Paradox table of the
// directory: one .DB per table, with a .PX on its primary key (moved to the
// first columns when it is not there), memos in a .MB, and the secondary
// indexes asked for.
void exportSqliteDatabase(QSqlDatabase source, const QString &directory,
                          const std::vector<SecondaryIndexSpec> &indexes = {});

// Why this engine would refuse to change the table now (its message), or
// empty when it would not. Throws nothing.
QString writeRefusal(const QString &dbFile, int fallbackCodePage = 0);

// The columns of the table's primary key, in order; empty when it has none.
// Throws db::DbError when the table cannot be read.
QStringList keyColumns(const QString &dbFile);

} // namespace db::paradox
