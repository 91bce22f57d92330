#include "db/paradox/PxCodePage.h"
#include "db/DbError.h"

namespace db::paradox {

namespace {

const char *converterName(int number)
{
    switch (number) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 852: return "IBM852";
    case 857: return "IBM857";
    case 860: return "IBM860";
    case 861: return "IBM861";
    case 863: return "IBM863";
    case 865: return "IBM865";
    case 866: return "IBM866";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1252: return "windows-1252";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1257: return "windows-1257";
    default: return nullptr;
    }
}

bool allAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

bool CodePage::supported(int number)
{
    const char *name = converterName(number);
    return name && QStringDecoder(name).isValid() && QStringEncoder(name).isValid();
}

CodePage::CodePage(int number, const QString &tableName)
    : m_number(number), m_table(tableName)
{
    const char *name = converterName(number);
    if (name) {
        m_decoder = QStringDecoder(name, QStringConverter::Flag::Stateless);
        m_encoder = QStringEncoder(name, QStringConverter::Flag::Stateless);
    }
    if (!name || !m_decoder.isValid() || !m_encoder.isValid())
        throw DbError(QStringLiteral("Table %1 : la page de codes %2 n'est pas prise en charge.")
                          .arg(tableName).arg(number));
}

QString CodePage::decode(QByteArrayView bytes) const
{
    if (allAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    return m_decoder.decode(bytes);
}

QByteArray CodePage::decodeToUtf8(QByteArrayView bytes) const
{
    if (allAscii(bytes))
        return bytes.toByteArray();
    return decode(bytes).toUtf8();
}

QByteArray CodePage::encode(const QString &text, bool *ok, QString *badChar) const
{
    *ok = true;
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return text.toLatin1();
    m_encoder.resetState();
    QByteArray out = m_encoder.encode(text);
    // Qt flags characters it substituted; decoding back also catches pages
    // where ICU maps a character to a look-alike.
    if (!m_encoder.hasError() && decode(out) == text)
        return out;
    *ok = false;
    for (int i = 0; i < text.size(); ++i) {
        const int len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, len);
        m_encoder.resetState();
        const QByteArray b = m_encoder.encode(one);
        if (m_encoder.hasError() || decode(b) != one) {
            *badChar = one;
            break;
        }
        i += len - 1;
    }
    m_encoder.resetState();
    return QByteArray();
}

} // namespace db::paradox
