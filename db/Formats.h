#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

namespace db {

// The workstation's French settings, shared by every text conversion of the
// program. The short date format changes for the whole run on SQL Server.
namespace formats {

// Qt pattern of the short date format in force ("dd/MM/yyyy" by default).
QString shortDateFormat();
void setShortDateFormat(const QString &qtPattern);
inline QChar decimalSeparator() { return QLatin1Char(','); }

// The platform's zero date-time: what a null date reads as.
QDateTime zeroDateTime();

// Date, then a blank and the time unless it is midnight.
QString dateTimeToText(const QDateTime &dt);
QString dateToText(const QDate &d);
// Strict conversions of user or stored text under the short date format;
// nothing on failure.
std::optional<QDate> textToDate(const QString &text);
std::optional<QDateTime> textToDateTime(const QString &text);

// Shortest decimal writing with at most 15 significant digits and the decimal
// comma, as the platform writes floating values.
QString floatToText(long double v);

// How date-times are stored in a SQLite practice database and bound to
// parameters: one representation, so equality on a date-time is exact.
// "yyyy-MM-dd HH:mm:ss", with ".zzz" when there are milliseconds; years
// before 1 with a minus sign, as QDate numbers them.
QString storageText(const QDateTime &dt);
std::optional<QDateTime> fromStorageText(const QString &text);

// Upper-casing of the letters a to z only: accented letters stay as they are.
QString upperAscii(const QString &s);

} // namespace formats
} // namespace db
