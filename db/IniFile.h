#pragma once
#include <QString>
#include <QStringList>
#include <QPair>
#include <QList>

namespace db {

// A Windows profile file (sections and keys). Sections and keys are matched
// without regard to case and values are taken raw (a backslash is a path
// separator, not an escape).
//
// The practice software reads its own files (PRAXELLE.VER, Praxelle.ini)
// through the Windows profile API, in the ANSI code page. Writing changes
// only the lines concerned: every other byte is written back as it was read
// (its encoding, its line ending, a byte-order mark, a last line without
// end-of-line). A line written is encoded as the file is: UTF-8 in a file
// that is valid UTF-8 with other than ASCII in it (or a byte-order mark),
// Windows-1252 otherwise, which is what the profile API writes to a new or
// all-ASCII file. A character Windows-1252 cannot hold is written "?" in a
// Windows-1252 file, as the profile API does; in a new or all-ASCII file
// such a line is written in UTF-8 instead, which loses nothing.
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
    enum class Encoding { Ascii, Utf8, Ansi };

    void load();
    void save() const;
    // The line's text in the file's bytes.
    QByteArray encode(const QString &text);
    void replaceLine(int index, const QString &text);
    // New lines before index, ended as the line above them.
    void insertLines(int index, const QStringList &texts);
    QByteArray usualEnding() const;
    int findSection(const QString &section) const;     // index of the header line, -1
    int sectionEnd(int header) const;                   // index after its last line
    int findKey(int header, const QString &key) const;  // index of the key line, -1

    QString m_path;
    QStringList m_lines;          // decoded, for reading
    QList<QByteArray> m_raw;      // each line's bytes as in the file, without its ending
    QList<QByteArray> m_endings;  // "\r\n", "\n", "\r", or empty for a last line without one
    QByteArray m_bom;
    Encoding m_encoding = Encoding::Ascii;
    bool m_exists = false;
};

} // namespace db
