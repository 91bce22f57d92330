#pragma once
#include <QString>

struct sqlite3;

namespace db::paradox {

// Makes every Paradox table (.DB file) of a directory a table of the given
// SQLite connection, so that the practice's SQL runs on it unchanged.
// Throws db::DbError with a clear message when the directory cannot be used.
void attachDirectory(sqlite3 *handle, const QString &directory);

} // namespace db::paradox
