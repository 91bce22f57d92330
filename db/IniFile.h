#pragma once
#include <QString>
#include <QStringList>
#include <QPair>
#include <QList>

namespace db {

// A Windows profile file (sections and keys). Sections and keys are matched
// without regard to case and values are taken raw (a backslash is a path
// separator, not an escape). Writing changes only the line concerned, so the
// practice software's own files keep their layout, comments and order.
class IniFile {
public:
    explicit IniFile(const QString &path);

    bool exists() const;
    const QString &path() const { return m_path; }

    QString readString(const QString &section, const QString &key, const QString &def = QString()) const;
    // Non-numeric text gives the default, as the Windows profile API does.
    int readInteger(const QString &section, const QString &key, int def) const;
    bool hasSection(const QString &section) const;
    bool hasKey(const QString &section, const QString &key) const;
    QList<QPair<QString, QString>> sectionValues(const QString &section) const;
    QStringList sections() const;

    // Writes through at once; throws db::DbError when the file cannot be written.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value) { writeString(section, key, QString::number(value)); }
    void eraseSection(const QString &section);

private:
    void load();
    void save() const;
    int findSection(const QString &section) const;     // index of the header line, -1
    int sectionEnd(int header) const;                   // index after its last line
    int findKey(int header, const QString &key) const;  // index of the key line, -1

    QString m_path;
    QStringList m_lines;
    bool m_exists = false;
    bool m_crlf = false;
};

} // namespace db
