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
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

std::optional<QDateTime> fromStorageText(const QString &text)
{
    if (text.size() < 10 || text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-'))
        return std::nullopt;
    const QDate d = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        return std::nullopt;
    if (text.size() == 10)
        return QDateTime(d, QTime(0, 0));
    QString rest = text.mid(11);
    const int dot = rest.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        rest = rest.left(dot);
    const QTime t = QTime::fromString(rest, QStringLiteral("HH:mm:ss"));
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
