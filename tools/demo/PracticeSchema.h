#pragma once
#include "db/TableCursor.h"
#include "db/paradox/ParadoxDriver.h"

#include <QSqlDatabase>
#include <QString>
#include <vector>

namespace demo {

struct Column {
    QString name;
    db::FieldType type;
    int size = 0;   // text columns
};

struct TableDef {
    QString name;
    std::vector<Column> columns;
    QString key;    // primary key column; empty when the table has none
};

// The tables of a practice database as the practice software lays them out,
// as far as the checker reads or repairs them (plus a few patient-based ones).
const std::vector<TableDef> &practiceTables();
const TableDef *findTable(const QString &name);

// Creates every table, empty, in a SQLite practice database. Dates are stored
// as "yyyy-MM-dd HH:mm:ss" text in DATETIME columns, booleans as 0 and 1.
void createPracticeTables(QSqlDatabase db);

// The secondary indexes a practice written as Paradox tables carries on its
// big tables, as years of use of the practice software leave them.
const std::vector<db::paradox::SecondaryIndexSpec> &practiceSecondaryIndexes();
QString createStatement(const TableDef &t);

} // namespace demo
