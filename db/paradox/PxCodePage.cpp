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

struct LanguageDriver {
    const char *shortName;
    const char *longName;
    int page;
};

// The engine's language drivers that its Paradox setting may name: the
// Paradox ones, the Windows (ANSI) ones and the DOS ones of its other
// drivers, each with the page its text is in (its sort order does not
// matter here). Drivers of pages without a converter stay listed, so that
// their tables say so instead of reading as another page.
const LanguageDriver kLanguageDrivers[] = {
    {"ascii", "Paradox 'ascii'", 437},
    {"intl", "Paradox 'intl'", 437},
    {"intl850", "Paradox 'intl' 850", 850},
    {"nordan", "Paradox 'nordan'", 865},
    {"nordan40", "Paradox 'nordan40'", 865},
    {"swedfin", "Paradox 'swedfin'", 437},
    {"SPANISH", "Paradox ESP 437", 437},
    {"iceland", "Paradox ISL 861", 861},
    {"turk", "Paradox 'turk'", 857},
    {"czech", "Paradox Czech 852", 852},
    {"czechw", "pdx Czech 852 'CH'", 852},
    {"hun852dc", "Paradox Hun 852 DC", 852},
    {"polish", "Paradox Polish 852", 852},
    {"slovene", "Paradox Slovene 852", 852},
    {"cyrr", "Paradox Cyrr 866", 866},
    {"ANSIINTL", "Pdox ANSI Intl", 1252},
    {"ANSII850", "Pdox ANSI Intl850", 1252},
    {"ANSINOR4", "Pdox ANSI Nordan4", 1252},
    {"ANSISWFN", "Pdox ANSI Swedfin", 1252},
    {"ANSISPAN", "Pdox ANSI Spanish", 1252},
    {"anczech", "Pdox ANSI Czech", 1250},
    {"anczechw", "pdx ANSI Czech 'CH'", 1250},
    {"anhundc", "Pdox ANSI Hun. DC", 1250},
    {"anpolish", "Pdox ANSI Polish", 1250},
    {"ansislov", "Pdox ANSI Slovene", 1250},
    {"ancyrr", "Pdox ANSI Cyrillic", 1251},
    {"BGPD1251", "Pdox ANSI Bulgaria", 1251},
    {"angreek1", "Pdox ANSI Greek", 1253},
    {"ANTURK", "Pdox ANSI Turkish", 1254},
    {"DBWINUS0", "'ascii' ANSI", 1252},
    {"DBWINWE0", "'WEurope' ANSI", 1252},
    {"DBWINES0", "'Spanish' ANSI", 1252},
    {"BLLT1DA0", "Borland DAN Latin-1", 1252},
    {"BLLT1DE0", "Borland DEU Latin-1", 1252},
    {"BLLT1UK0", "Borland ENG Latin-1", 1252},
    {"BLLT1US0", "Borland ENU Latin-1", 1252},
    {"BLLT1ES0", "Borland ESP Latin-1", 1252},
    {"BLLT1FI0", "Borland FIN Latin-1", 1252},
    {"BLLT1FR0", "Borland FRA Latin-1", 1252},
    {"BLLT1CA0", "Borland FRC Latin-1", 1252},
    {"BLLT1IS0", "Borland ISL Latin-1", 1252},
    {"BLLT1IT0", "Borland ITA Latin-1", 1252},
    {"BLLT1NL0", "Borland NLD Latin-1", 1252},
    {"BLLT1NO0", "Borland NOR Latin-1", 1252},
    {"BLLT1PT0", "Borland PTG Latin-1", 1252},
    {"BLLT1SV0", "Borland SVE Latin-1", 1252},
    {"DB437US0", "dBASE ENU cp437", 437},
    {"DB850US0", "dBASE ENU cp850", 850},
    {"DB437UK0", "dBASE ENG cp437", 437},
    {"DB850UK0", "dBASE ENG cp850", 850},
    {"DB437FR0", "dBASE FRA cp437", 437},
    {"DB850FR0", "dBASE FRA cp850", 850},
    {"DB850CF0", "dBASE FRC cp850", 850},
    {"DB863CF1", "dBASE FRC cp863", 863},
    {"DB437DE0", "dBASE DEU cp437", 437},
    {"DB850DE0", "dBASE DEU cp850", 850},
    {"DB437IT0", "dBASE ITA cp437", 437},
    {"DB850IT1", "dBASE ITA cp850", 850},
    {"DB437NL0", "dBASE NLD cp437", 437},
    {"DB850NL0", "dBASE NLD cp850", 850},
    {"DB437ES1", "dBASE ESP cp437", 437},
    {"DB850ES0", "dBASE ESP cp850", 850},
    {"DB850PT0", "dBASE PTB cp850", 850},
    {"DB860PT0", "dBASE PTG cp860", 860},
    {"DB437FI0", "dBASE FIN cp437", 437},
    {"DB437SV0", "dBASE SVE cp437", 437},
    {"DB850SV1", "dBASE SVE cp850", 850},
    {"DB865DA0", "dBASE DAN cp865", 865},
    {"DB865NO0", "dBASE NOR cp865", 865},
    {"DB852CZ0", "dBASE CSY cp852", 852},
    {"db852hdc", "dBASE HUN cp852", 852},
    {"db852po0", "dBASE PLK cp852", 852},
    {"db852sl0", "dBASE SLO cp852", 852},
    {"DB857TR0", "dBASE TRK cp857", 857},
    {"db866ru0", "dBASE RUS cp866", 866},
    {"grcp437", "Paradox Greek GR437", 737},
    {"hebrew", "Paradox 'hebrew'", 862},
    {"ANHEBREW", "Paradox ANSI HEBREW", 1255},
    {"BLWINAR0", "Borland ANSI Arabic", 1256},
    {"BULGARIA", "Paradox BUL 868", 868},
    {"cskamen", "Paradox Czech 867", 867},
    {"thai", "Paradox Thai 874", 874},
    {"japan", "Paradox 'japan'", 932},
    {"china", "Paradox China 936", 936},
    {"korea", "Paradox Korea 949", 949},
    {"taiwan", "Paradox Taiwan 950", 950},
};

} // namespace

int CodePage::ofLanguageDriver(const QString &name)
{
    const QString n = name.trimmed();
    for (const LanguageDriver &d : kLanguageDrivers)
        if (n.compare(QLatin1String(d.shortName), Qt::CaseInsensitive) == 0
            || n.compare(QLatin1String(d.longName), Qt::CaseInsensitive) == 0)
            return d.page;
    return 0;
}

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
