#include "db/Formats.h"

#include <QStringList>
#include <cstdio>

namespace db::formats {

namespace {
QString g_shortDate = QStringLiteral("dd/MM/yyyy");

// Order of day, month and year in the short date pattern.
void fieldOrder(int *d, int *m, int *y)
{
    const QString f = g_shortDate.toLower();
    const int pd = f.indexOf(QLatin1Char('d'));
    const int pm = f.indexOf(QLatin1Char('m'));
    const int py = f.indexOf(QLatin1Char('y'));
    *d = (pd > pm) + (pd > py);
    *m = (pm > pd) + (pm > py);
    *y = (py > pd) + (py > pm);
}

QChar dateSeparator()
{
    for (const QChar c : g_shortDate)
        if (!c.isLetter())
            return c;
    return QLatin1Char('/');
}

bool parseNumber(const QString &s, int *out)
{
    const QString t = s.trimmed();
    if (t.isEmpty() || t.size() > 4)
        return false;
    for (const QChar c : t)
        if (!c.isDigit() || c.unicode() > 127)
            return false;
    *out = t.toInt();
    return true;
}

std::optional<QTime> parseTime(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    int h = 0, m = 0, s = 0;
    if (!parseNumber(parts[0], &h) || !parseNumber(parts[1], &m))
        return std::nullopt;
    if (parts.size() == 3 && !parseNumber(parts[2], &s))
        return std::nullopt;
    QTime t(h, m, s);
    if (!t.isValid())
        return std::nullopt;
    return t;
}
} // namespace

QString shortDateFormat() { return g_shortDate; }
void setShortDateFormat(const QString &qtPattern) { g_shortDate = qtPattern; }

QDateTime zeroDateTime() { return QDateTime(QDate(1899, 12, 30), QTime(0, 0)); }

QString dateToText(const QDate &d) { return d.toString(g_shortDate); }

QString dateTimeToText(const QDateTime &dt)
{
    QString s = dt.date().toString(g_shortDate);
    if (dt.time() != QTime(0, 0))
        s += QLatin1Char(' ') + dt.time().toString(QStringLiteral("HH:mm:ss"));
    return s;
}

std::optional<QDate> textToDate(const QString &text)
{
    const QStringList parts = text.trimmed().split(dateSeparator());
    if (parts.size() != 3)
        return std::nullopt;
    int od, om, oy;
    fieldOrder(&od, &om, &oy);
    int d, m, y;
    if (!parseNumber(parts[od], &d) || !parseNumber(parts[om], &m) || !parseNumber(parts[oy], &y))
        return std::nullopt;
    if (parts[oy].trimmed().size() <= 2)
        y += (y < 50) ? 2000 : 1900;
    const QDate date(y, m, d);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<QDateTime> textToDateTime(const QString &text)
{
    const QString t = text.trimmed();
    const int blank = t.indexOf(QLatin1Char(' '));
    if (blank < 0) {
        if (auto d = textToDate(t))
            return QDateTime(*d, QTime(0, 0));
        return std::nullopt;
    }
    auto d = textToDate(t.left(blank));
    auto tm = parseTime(t.mid(blank + 1));
    if (!d || !tm)
        return std::nullopt;
    return QDateTime(*d, *tm);
}

QString floatToText(long double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15Lg", v);
    QString s = QString::fromLatin1(buf);
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    s.replace(QLatin1Char('.'), decimalSeparator());
    return s;
}

QString storageText(const QDateTime &dt)
{
    // Milliseconds only where there are some: the texts stored before stay
    // the texts written now, and equality on them stays exact.
    if (dt.time().msec() != 0)
        return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

std::optional<QDateTime> fromStorageText(const QString &text)
{
    // The year as Qt writes it: four digits or more, a minus sign before the
    // years before year 1 (there is no year 0).
    const int dash = text.indexOf(QLatin1Char('-'), text.startsWith(QLatin1Char('-')) ? 1 : 0);
    if (dash < (text.startsWith(QLatin1Char('-')) ? 5 : 4) || text.size() < dash + 6 || text[dash + 3] != QLatin1Char('-'))
        return std::nullopt;
    auto digits = [&](int from, int count, int *out) {
        int v = 0;
        for (int i = from; i < from + count; ++i) {
            if (i >= text.size() || text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
                return false;
            v = v * 10 + (text[i].unicode() - '0');
        }
        *out = v;
        return true;
    };
    const bool negative = text.startsWith(QLatin1Char('-'));
    int year = 0, month = 0, day = 0;
    if (dash - negative > 7 || !digits(negative, dash - negative, &year) || !digits(dash + 1, 2, &month)
        || !digits(dash + 4, 2, &day))
        return std::nullopt;
    const QDate d(negative ? -year : year, month, day);
    if (!d.isValid())
        return std::nullopt;
    const int end = dash + 6;
    if (text.size() == end)
        return QDateTime(d, QTime(0, 0));
    if (text[end] != QLatin1Char(' '))
        return std::nullopt;
    int h = 0, m = 0, s = 0, ms = 0;
    if (!digits(end + 1, 2, &h) || text.size() < end + 9 || text[end + 3] != QLatin1Char(':') || !digits(end + 4, 2, &m)
        || text[end + 6] != QLatin1Char(':') || !digits(end + 7, 2, &s))
        return std::nullopt;
    int at = end + 9;
    if (at < text.size() && text[at] == QLatin1Char('.')) {
        // Milliseconds; digits beyond them cannot be kept by a date-time.
        int n = 0;
        for (++at; at < text.size() && text[at] >= QLatin1Char('0') && text[at] <= QLatin1Char('9'); ++at, ++n)
            if (n < 3)
                ms = ms * 10 + (text[at].unicode() - '0');
        if (n == 0)
            return std::nullopt;
        for (; n < 3; ++n)
            ms *= 10;
    }
    if (at != text.size())
        return std::nullopt;
    const QTime t(h, m, s, ms);
    if (!t.isValid())
        return std::nullopt;
    return QDateTime(d, t);
}

QString upperAscii(const QString &s)
{
    QString out = s;
    for (QChar &c : out)
        if (c.unicode() >= 'a' && c.unicode() <= 'z')
            c = QChar(c.unicode() - 32);
    return out;
}

} // namespace db::formats
