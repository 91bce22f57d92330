#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

namespace db::paradox {

// The DOS or Windows code page a Paradox table stores its text in (header
// field "dosCodePage"). Text crosses it in both directions; a character the
// page cannot hold is reported, never replaced by "?".
class CodePage {
public:
    // Throws db::DbError when Qt has no converter for the page.
    explicit CodePage(int number, const QString &tableName);
    CodePage(const CodePage &other) : CodePage(other.m_number, other.m_table) {}
    CodePage &operator=(const CodePage &) = delete;

    int number() const { return m_number; }
    QString decode(QByteArrayView bytes) const;
    // Appends UTF-8 of the bytes; the common all-ASCII case costs one copy.
    QByteArray decodeToUtf8(QByteArrayView bytes) const;
    // Empty optional-like result: *ok false and *badChar the first character
    // the page cannot hold.
    QByteArray encode(const QString &text, bool *ok, QString *badChar) const;

    static bool supported(int number);
    // The page of a language driver of the engine's configuration, named by
    // its short name ("intl", "ancyrr", "DBWINUS0") or by the name the
    // configuration tools show ("Paradox 'intl'", "Pdox ANSI Cyrillic"),
    // in any letter case; 0 for a name it does not know.
    static int ofLanguageDriver(const QString &name);

private:
    int m_number;
    QString m_table;
    mutable QStringDecoder m_decoder;
    mutable QStringEncoder m_encoder;
};

} // namespace db::paradox
