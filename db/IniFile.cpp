#include "db/IniFile.h"
#include "db/DbError.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

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

} // namespace

IniFile::IniFile(const QString &path) : m_path(path) { load(); }

void IniFile::load()
{
    m_lines.clear();
    QFile f(m_path);
    m_exists = f.exists();
    if (!m_exists || !f.open(QIODevice::ReadOnly))
        return;
    const QByteArray raw = f.readAll();
    m_crlf = raw.contains("\r\n");
    // Files written on Windows are in the ANSI code page; fall back to it when
    // the bytes are not valid UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(raw);
    if (utf8.hasError())
        text = QString::fromLatin1(raw);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_lines = text.split(QLatin1Char('\n'));
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
}

void IniFile::save() const
{
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly))
        throw DbError(QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(m_path, f.errorString()));
    const QString eol = m_crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString text;
    for (const QString &l : m_lines)
        text += l + eol;
    f.write(text.toUtf8());
    if (!f.commit())
        throw DbError(QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(m_path, f.errorString()));
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
    const QString line = key + QLatin1Char('=') + value;
    int h = findSection(section);
    if (h < 0) {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            m_lines << QString();
        m_lines << QLatin1Char('[') + section + QLatin1Char(']') << line;
    } else {
        const int k = findKey(h, key);
        if (k >= 0) {
            m_lines[k] = line;
        } else {
            // New keys go after the section's last non-blank line.
            int end = sectionEnd(h);
            while (end > h + 1 && m_lines[end - 1].trimmed().isEmpty())
                --end;
            m_lines.insert(end, line);
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
    m_lines.erase(m_lines.begin() + h, m_lines.begin() + sectionEnd(h));
    save();
}

} // namespace db
