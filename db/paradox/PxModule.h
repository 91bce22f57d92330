#pragma once
#include <QString>

struct sqlite3;

namespace db::paradox {

// Registers the virtual-table module "paradox" on a SQLite connection:
//   CREATE VIRTUAL TABLE main."CPMAIN" USING paradox('/dir/CPMAIN.DB')
// makes the Paradox table a table of that connection. Throws db::DbError.
// Further arguments: 'codepage=N', the page of a table whose header names
// none; 'load', auto-increment fields take the values inserted.
void registerModule(sqlite3 *handle);

// The CREATE VIRTUAL TABLE statement for one file.
QString createStatement(const QString &tableName, const QString &dbFile, int fallbackCodePage = 0,
                        bool loading = false);

} // namespace db::paradox
