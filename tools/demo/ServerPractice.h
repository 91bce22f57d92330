#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// A practice database on a database server reached through ODBC, as a
// practice on SQL Server has it: typed columns, a primary key on each table,
// the tables under the owner "dbo". Written from a finished SQLite practice.
namespace demo {

// A connection string without its database, and the name of a database.
QString withDatabase(const QString &odbcConnection, const QString &database);

// Creates the database (dropping one of that name first), with the owner
// "dbo" that its tables go under. Throws db::DbError.
void createServerDatabase(const QString &odbcConnection, const QString &database);
void dropServerDatabase(const QString &odbcConnection, const QString &database);

// Creates every practice table in the (empty) server database and copies
// every row of the SQLite practice into it, typed by the table's layout.
// Throws db::DbError.
void exportToServer(QSqlDatabase sqlitePractice, QSqlDatabase server);

struct DemoLayout;
// The demo practice of that layout (written with writeDemoPractice) copied
// into a new database of the server, and the demo alias turned into an
// ODBC alias that reaches it: the checker then opens the server's copy.
void writeDemoServerPractice(const DemoLayout &layout, const QString &odbcConnection, const QString &database);

// The parameter lines of an engine alias of driver ODBC for that
// connection string ("ODBC DRIVER=...", "SERVER=...", ...).
QStringList aliasLines(const QString &odbcConnection);

} // namespace demo
