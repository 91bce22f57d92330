#include "db/IniFile.h"
#include "db/DbError.h"

#include <QFile>
#include <QSaveFile>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <iterator>

namespace db {

namespace {

QString sectionName(const QString &line)
{
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        return t.mid(1, t.size() - 2).trimmed();
    return QString();
}

bool isSectionLine(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'));
}

bool splitKey(const QString &line, QString *key, QString *value)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return false;
    const int eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    *key = t.left(eq).trimmed();
    if (value)
        *value = t.mid(eq + 1).trimmed();
    return true;
}

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves undefined stand
// for the control character of their number, as Windows reads them. Qt
// converts this page by name only when built with ICU, which a Windows build
// of Qt often is not; the rest of the page is Latin-1.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += QChar(b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

// *ok false when a character has no byte in the page; it is written '?'.
QByteArray toWindows1252(const QString &text, bool *ok)
{
    *ok = true;
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        char byte = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            byte = char(u);
        } else {
            const char16_t *hit = std::find(std::begin(kWindows1252High), std::end(kWindows1252High), u);
            if (hit != std::end(kWindows1252High)) {
                byte = char(0x80 + (hit - std::begin(kWindows1252High)));
            } else {
                *ok = false;
                // One '?' for a character outside the basic plane, not one per half.
                if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                    ++i;
            }
        }
        out += byte;
    }
    return out;
}

bool validUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(bytes);   // the decoding runs here, not at the call
    return !utf8.hasError();
}

bool allAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

const QByteArray kBom("\xEF\xBB\xBF");
const QByteArray kCrLf("\r\n");

} // namespace

IniFile::IniFile(const QString &path) : m_path(path) { load(); }

void IniFile::load()
{
    m_lines.clear();
    m_raw.clear();
    m_endings.clear();
    m_bom.clear();
    m_encoding = Encoding::Ascii;
    QFile f(m_path);
    m_exists = f.exists();
    if (!m_exists || !f.open(QIODevice::ReadOnly))
        return;
    QByteArray body = f.readAll();
    if (body.startsWith(kBom)) {
        m_bom = kBom;
        body.remove(0, kBom.size());
    }
    // Files written on Windows are in the ANSI code page: bytes that are not
    // valid UTF-8 are read in it.
    if (!validUtf8(body))
        m_encoding = Encoding::Ansi;
    else if (!m_bom.isEmpty() || !allAscii(body))
        m_encoding = Encoding::Utf8;

    // A line ends at CR LF, LF or a lone CR; each keeps its own ending.
    qsizetype start = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c != '\n' && c != '\r')
            continue;
        const qsizetype len = (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ? 2 : 1;
        m_raw << body.mid(start, i - start);
        m_endings << body.mid(i, len);
        i += len - 1;
        start = i + 1;
    }
    if (start < body.size()) {
        m_raw << body.mid(start);
        m_endings << QByteArray();
    }
    for (const QByteArray &r : std::as_const(m_raw))
        m_lines << (m_encoding == Encoding::Ansi ? fromWindows1252(r) : QString::fromUtf8(r));
}

void IniFile::save() const
{
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly))
        throw DbError(QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(m_path, f.errorString()));
    QByteArray bytes = m_bom;
    for (qsizetype i = 0; i < m_raw.size(); ++i)
        bytes += m_raw[i] + m_endings[i];
    f.write(bytes);
    if (!f.commit())
        throw DbError(QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(m_path, f.errorString()));
}

QByteArray IniFile::encode(const QString &text)
{
    switch (m_encoding) {
    case Encoding::Utf8:
        return text.toUtf8();
    case Encoding::Ansi: {
        bool ok = false;
        return toWindows1252(text, &ok);
    }
    case Encoding::Ascii: {
        bool ok = false;
        const QByteArray ansi = toWindows1252(text, &ok);
        if (!ok) {
            m_encoding = Encoding::Utf8;
            return text.toUtf8();
        }
        if (!allAscii(ansi))
            m_encoding = Encoding::Ansi;
        return ansi;
    }
    }
    return text.toUtf8();
}

QByteArray IniFile::usualEnding() const
{
    // The ending most lines have; CR LF, as Windows writes, when none has one.
    QHash<QByteArray, int> counts;
    for (const QByteArray &e : m_endings)
        if (!e.isEmpty())
            ++counts[e];
    QByteArray best = kCrLf;
    int bestCount = counts.value(kCrLf);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
        }
    return best;
}

void IniFile::replaceLine(int index, const QString &text)
{
    m_raw[index] = encode(text);
    m_lines[index] = m_encoding == Encoding::Ansi ? fromWindows1252(m_raw[index]) : QString::fromUtf8(m_raw[index]);
}

void IniFile::insertLines(int index, const QStringList &texts)
{
    if (texts.isEmpty())
        return;
    const QByteArray ending = index > 0 && !m_endings[index - 1].isEmpty() ? m_endings[index - 1] : usualEnding();
    // Lines added after a last line without end-of-line: that line gets one,
    // and the file still ends without.
    const bool lastWithout = index == m_raw.size() && index > 0 && m_endings[index - 1].isEmpty();
    if (lastWithout)
        m_endings[index - 1] = ending;
    for (int i = 0; i < texts.size(); ++i) {
        m_raw.insert(index + i, QByteArray());
        m_lines.insert(index + i, QString());
        m_endings.insert(index + i, lastWithout && i == texts.size() - 1 ? QByteArray() : ending);
        replaceLine(index + i, texts[i]);
    }
}

bool IniFile::exists() const { return m_exists; }

int IniFile::findSection(const QString &section) const
{
    for (int i = 0; i < m_lines.size(); ++i)
        if (isSectionLine(m_lines[i]) && sectionName(m_lines[i]).compare(section, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int IniFile::sectionEnd(int header) const
{
    int i = header + 1;
    while (i < m_lines.size() && !isSectionLine(m_lines[i]))
        ++i;
    return i;
}

int IniFile::findKey(int header, const QString &key) const
{
    const int end = sectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        QString k;
        if (splitKey(m_lines[i], &k, nullptr) && k.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const
{
    const int h = findSection(section);
    if (h < 0)
        return def;
    const int k = findKey(h, key);
    if (k < 0)
        return def;
    QString name, value;
    splitKey(m_lines[k], &name, &value);
    return value;
}

int IniFile::readInteger(const QString &section, const QString &key, int def) const
{
    bool ok = false;
    const QString s = readString(section, key, QString());
    const int v = s.toInt(&ok);
    if (ok)
        return v;
    // Hexadecimal values are accepted by the platform's reader too.
    if (s.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const int h = s.mid(2).toInt(&ok, 16);
        if (ok)
            return h;
    }
    return def;
}

bool IniFile::hasSection(const QString &section) const { return findSection(section) >= 0; }

bool IniFile::hasKey(const QString &section, const QString &key) const
{
    const int h = findSection(section);
    return h >= 0 && findKey(h, key) >= 0;
}

QList<QPair<QString, QString>> IniFile::sectionValues(const QString &section) const
{
    QList<QPair<QString, QString>> out;
    const int h = findSection(section);
    if (h < 0)
        return out;
    const int end = sectionEnd(h);
    for (int i = h + 1; i < end; ++i) {
        QString k, v;
        if (splitKey(m_lines[i], &k, &v))
            out.append({k, v});
    }
    return out;
}

QStringList IniFile::sections() const
{
    QStringList out;
    for (const QString &l : m_lines)
        if (isSectionLine(l))
            out << sectionName(l);
    return out;
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const int h = findSection(section);
    if (h < 0) {
        QStringList added;
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            added << QString();
        added << QLatin1Char('[') + section + QLatin1Char(']') << key + QLatin1Char('=') + value;
        insertLines(int(m_lines.size()), added);
    } else {
        const int k = findKey(h, key);
        if (k >= 0) {
            // The key keeps its spelling and indentation; only its value changes.
            QString name = m_lines[k].left(m_lines[k].indexOf(QLatin1Char('=')));
            while (!name.isEmpty() && name.back().isSpace())
                name.chop(1);
            replaceLine(k, name + QLatin1Char('=') + value);
        } else {
            // New keys go after the section's last non-blank line.
            int end = sectionEnd(h);
            while (end > h + 1 && m_lines[end - 1].trimmed().isEmpty())
                --end;
            insertLines(end, {key + QLatin1Char('=') + value});
        }
    }
    save();
    m_exists = true;
}

void IniFile::eraseSection(const QString &section)
{
    const int h = findSection(section);
    if (h < 0)
        return;
    const int end = sectionEnd(h);
    m_lines.remove(h, end - h);
    m_raw.remove(h, end - h);
    m_endings.remove(h, end - h);
    save();
}

} // namespace db
