#include "db/paradox/PxValidity.h"
#include "db/DbError.h"
#include "db/paradox/PxLib.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace db::paradox {

namespace {

constexpr int kFirstVersion = 0x09;
constexpr int kLastVersion = 0x0B;
// The indicator of a present check: the files described so far end it in
// 6B; the reading relies only on its being non-zero.
constexpr quint32 kPresent = 0x6B000000u;
constexpr qint64 kMsPerDay = 86400000;
// Beyond this the file is not a .VAL: a table's checks take a few KB.
constexpr qint64 kMaxFileSize = 1 << 20;

[[noreturn]] void refuse(const QString &table, const QString &file, const QString &why)
{
    throw DbError(QStringLiteral("Table %1 : son fichier de contrôles %2 %3 ; elle ne peut pas être modifiée.")
                      .arg(table, file, why));
}

bool allZero(const char *p, qsizetype n)
{
    return std::all_of(p, p + n, [](char c) { return c == 0; });
}

// What Paradox leaves in a field nobody filled: a BCD keeps its digit count
// in its first byte even then.
bool blankField(const FieldInfo &f, const char *d)
{
    if (f.type == ftBcd)
        return d[0] == 0 || ((std::uint8_t(d[0]) & 0x80) == 0 && allZero(d + 1, f.size - 1));
    return allZero(d, f.size);
}

bool comparable(int type)
{
    switch (type) {
    case ftAlpha:
    case ftDate:
    case ftShort:
    case ftLong:
    case ftCurrency:
    case ftNumber:
    case ftLogical:
    case ftTime:
    case ftTimestamp:
    case ftAutoInc:
    case ftBcd: return true;
    default: return false;
    }
}

struct Value {
    bool isText = false;
    double number = 0;
    QString text;
};

// Alpha values compare as decoded text, character by character in Unicode
// order, whatever the table's sort order: the same answer on every machine,
// and the one Paradox's "ascii" order gives for the letters and digits a
// bound is written with. Numbers, dates and times compare by value; a BCD
// through a double, exact for the 15 digits an amount of this practice
// needs.
std::optional<Value> decode(const FieldInfo &f, const char *d, const CodePage &page)
{
    Value v;
    switch (f.type) {
    case ftAlpha: {
        const auto n = qsizetype(strnlen(d, size_t(f.size)));
        if (n == 0)
            return std::nullopt;
        v.isText = true;
        v.text = page.decode(QByteArrayView(d, n));
        return v;
    }
    case ftNumber:
    case ftCurrency:
    case ftTimestamp: {
        const auto x = readFloat(f, d);
        if (!x || !std::isfinite(*x))
            return std::nullopt;
        v.number = *x;
        return v;
    }
    case ftBcd: {
        const auto t = readBcd(f, d);
        if (!t)
            return std::nullopt;
        v.number = t->toDouble();
        return v;
    }
    default: {
        if (!comparable(f.type))
            return std::nullopt;
        const auto x = readInteger(f, d);
        if (!x)
            return std::nullopt;
        v.number = double(*x);
        return v;
    }
    }
}

int compare(const Value &a, const Value &b)
{
    if (a.isText)
        return a.text.compare(b.text, Qt::CaseSensitive);
    return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
}

QString shown(const FieldInfo &f, const char *d, const CodePage &page)
{
    const auto v = decode(f, d, page);
    if (!v)
        return QStringLiteral("(illisible)");
    auto day = [](qint64 days) {
        return QDate::fromJulianDay(days + kJulianDayOffset).toString(QStringLiteral("dd/MM/yyyy"));
    };
    auto time = [](qint64 ms) {
        return QStringLiteral("%1:%2:%3")
            .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
            .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
            .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'));
    };
    switch (f.type) {
    case ftAlpha: return QStringLiteral("« %1 »").arg(v->text);
    case ftDate: return day(qint64(v->number));
    case ftTime: return time(qint64(v->number));
    case ftTimestamp: {
        const auto ms = qint64(v->number);
        const qint64 days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
        return day(days) + QLatin1Char(' ') + time(ms - days * kMsPerDay);
    }
    case ftLogical: return v->number != 0 ? QStringLiteral("Vrai") : QStringLiteral("Faux");
    case ftBcd: return QString::fromLatin1(*readBcd(f, d));
    default: return QString::number(v->number, 'g', 15);
    }
}

// The .VAL beside the table, in any letter case; empty when there is none.
QString validityPath(const QString &dbFile)
{
    const QFileInfo fi(dbFile);
    const QDir dir = fi.absoluteDir();
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        const QFileInfo c(name);
        if (c.completeBaseName().compare(fi.completeBaseName(), Qt::CaseInsensitive) == 0
            && c.suffix().compare(QLatin1String("VAL"), Qt::CaseInsensitive) == 0)
            return dir.filePath(name);
    }
    return QString();
}

// The size byte of a field as the table's own field list stores it: a
// BCD's is its number of decimals.
int sizeByte(const FieldInfo &f) { return f.type == ftBcd ? f.decimals : f.size; }

} // namespace

ValidityRules parseValidity(const QByteArray &bytes, const QString &fileName, const Header &db, const CodePage &page,
                            const QString &table)
{
    auto fail = [&](const QString &why) { refuse(table, fileName, why); };
    auto truncated = [&](const QString &where) { fail(QStringLiteral("est tronqué (%1)").arg(where)); };
    auto unreadable = [&](const QString &why) { fail(QStringLiteral("est illisible (%1)").arg(why)); };
    // Bytes the known layout does not explain: zero in every file it was
    // drawn from, so anything else is a check nobody has described (the
    // "required" flag among them).
    auto unknownRule = [&](qsizetype at, const QString &field) {
        fail(field.isEmpty()
                 ? QStringLiteral("contient une règle que ce moteur ne sait pas lire (octet 0x%1 du fichier)")
                       .arg(at, 0, 16)
                 : QStringLiteral("contient une règle sur le champ %1 que ce moteur ne sait pas lire (octet 0x%2 du fichier)")
                       .arg(field).arg(at, 0, 16));
    };
    auto checkZero = [&](qsizetype from, qsizetype to, const QString &field) {
        for (qsizetype i = from; i < to; ++i)
            if (bytes[i] != 0)
                unknownRule(i, field);
    };

    const char *b = bytes.constData();
    const qsizetype size = bytes.size();
    if (size <= val::Version)
        truncated(QStringLiteral("en-tête"));
    ValidityRules r;
    r.file = fileName;
    r.changeCount = std::uint8_t(b[val::ChangeCount]);
    r.version = std::uint8_t(b[val::Version]);
    if (r.version < kFirstVersion || r.version > kLastVersion)
        fail(QStringLiteral("est dans une version du format (%1) que ce moteur ne sait pas lire").arg(r.version));
    if (size < val::Body)
        truncated(QStringLiteral("en-tête"));
    const int count = std::uint8_t(b[val::Count]);
    // 0x03 to 0x06 hold a pointer of the software that wrote the file.
    checkZero(0x07, val::FooterPos, QString());
    checkZero(val::IntegrityPos + 4, val::Body, QString());
    const qint64 footer = le32(b + val::FooterPos);
    const qint64 integrity = le32(b + val::IntegrityPos);
    if (footer > size)
        truncated(QStringLiteral("le pied du fichier est annoncé à l'octet %1 d'un fichier de %2").arg(footer).arg(size));
    if (footer < val::Body)
        unreadable(QStringLiteral("pied du fichier à l'octet %1").arg(footer));

    // The footer first: the entries are read with the sizes it vouches for.
    const auto n = qsizetype(db.fields.size());
    auto need = [&](qsizetype at, qsizetype len, qsizetype end, const QString &what) {
        if (at + len <= end)
            return;
        if (end == size)
            truncated(what);
        unreadable(what);
    };
    qsizetype p = footer;
    need(p, 6, size, QStringLiteral("pied du fichier"));
    const int fieldCount = le16(b + p);
    checkZero(p + 2, p + 6, QString());
    p += 6;
    if (fieldCount != n)
        fail(QStringLiteral("ne décrit pas les champs de la table (%1 champs au lieu de %2)").arg(fieldCount).arg(n));
    need(p, 4 * n + val::TableName, size, QStringLiteral("liste des champs"));
    // Numbers with gaps are left by a restructure: which field an entry
    // then names is not known, so such a file is not trusted.
    for (qsizetype i = 0; i < n; ++i)
        if (le16(b + p + 2 * i) != i + 1)
            unreadable(QStringLiteral("le champ %1 y porte le numéro %2").arg(i + 1).arg(le16(b + p + 2 * i)));
    p += 2 * n;
    for (qsizetype i = 0; i < n; ++i) {
        const FieldInfo &f = db.fields[size_t(i)];
        const int type = std::uint8_t(b[p + 2 * i]);
        const int sz = std::uint8_t(b[p + 2 * i + 1]);
        if (type != f.type || sz != sizeByte(f))
            fail(QStringLiteral("ne décrit pas les champs de la table (le champ %1 y est de type %2 et de taille %3, "
                                "dans la table de type %4 et de taille %5)")
                     .arg(page.decode(f.rawName), typeName(type)).arg(sz).arg(typeName(f.type)).arg(sizeByte(f)));
    }
    p += 2 * n + val::TableName;
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype end = bytes.indexOf('\0', p);
        if (end < 0)
            truncated(QStringLiteral("noms des champs"));
        p = end + 1;
    }
    checkZero(p, size, QString());

    p = val::Body;
    std::vector<bool> seen(size_t(n), false);
    for (int e = 0; e < count; ++e) {
        need(p, val::Values, footer, QStringLiteral("contrôle %1 au-delà du pied du fichier").arg(e + 1));
        const char *entry = b + p;
        const int number = std::uint8_t(entry[val::Field]);
        if (number < 1 || number > n)
            unreadable(QStringLiteral("contrôle d'un champ %1 que la table n'a pas").arg(number));
        if (seen[size_t(number - 1)])
            unreadable(QStringLiteral("deux entrées pour le champ %1").arg(number));
        seen[size_t(number - 1)] = true;
        const FieldInfo &f = db.fields[size_t(number - 1)];
        const QString name = page.decode(f.rawName);
        if (entry[val::DependencyOrder] != 0 || entry[val::IntegrityStatus] != 0 || le32(entry + val::Lookup) != 0)
            fail(QStringLiteral("contient une règle de recherche dans une autre table (champ %1) que ce moteur ne sait pas "
                                "appliquer").arg(name));
        if (entry[val::PictureSize] != 0 || le32(entry + val::Picture) != 0)
            fail(QStringLiteral("contient un modèle de saisie (champ %1) que ce moteur ne sait pas appliquer").arg(name));
        checkZero(p + val::Lookup + 4, p + val::Minimum, name);
        checkZero(p + val::Picture + 4, p + val::Values, name);
        FieldRule rule;
        rule.column = number - 1;
        p += val::Values;
        for (auto [at, slot, what] : {std::tuple{val::Minimum, &rule.minimum, QStringLiteral("minimum")},
                                      std::tuple{val::Maximum, &rule.maximum, QStringLiteral("maximum")},
                                      std::tuple{val::Default, &rule.defaultValue, QStringLiteral("valeur par défaut")}}) {
            if (le32(entry + at) == 0)
                continue;
            if (!comparable(f.type))
                fail(QStringLiteral("contient un contrôle (%1) sur le champ %2 de type %3 que ce moteur ne sait pas "
                                    "appliquer").arg(what, name, typeName(f.type)));
            need(p, f.size, footer, QStringLiteral("%1 du champ %2 au-delà du pied du fichier").arg(what, name));
            const QByteArray value = bytes.mid(p, f.size);
            if (blankField(f, value.constData()) || !decode(f, value.constData(), page))
                unreadable(QStringLiteral("%1 du champ %2 vide ou illisible").arg(what, name));
            *slot = value;
            p += f.size;
        }
        if (rule.minimum || rule.maximum || rule.defaultValue)
            r.rules.push_back(std::move(rule));
    }
    // What lies between the checks and the footer is referential integrity:
    // a count of links to parent tables, or zero for a parent's list of
    // dependent tables.
    if (p != footer || (integrity != 0 && integrity != footer)) {
        if (p + 2 > footer)
            unreadable(QStringLiteral("intégrité référentielle annoncée à l'octet %1").arg(integrity));
        if (le16(b + p) != 0)
            fail(QStringLiteral("lie ses lignes à une autre table (intégrité référentielle) ; ce moteur ne sait pas "
                                "appliquer cette règle"));
        fail(QStringLiteral("en fait la table maître d'autres tables (intégrité référentielle) ; ce moteur ne sait pas "
                            "appliquer cette règle"));
    }
    return r;
}

std::optional<ValidityRules> readValidity(const QString &dbFile, const Header &db, const CodePage &page,
                                          const QString &table)
{
    const QString path = validityPath(dbFile);
    if (path.isEmpty())
        return std::nullopt;
    const QString name = QFileInfo(path).fileName();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        refuse(table, name, QStringLiteral("ne peut pas être lu (%1)").arg(f.errorString()));
    if (f.size() > kMaxFileSize)
        refuse(table, name, QStringLiteral("est illisible (%1 octets)").arg(f.size()));
    const QByteArray bytes = f.readAll();
    if (bytes.size() != f.size())
        refuse(table, name, QStringLiteral("ne peut pas être lu (%1)").arg(f.errorString()));
    return parseValidity(bytes, name, db, page, table);
}

void checkRecord(const ValidityRules &rules, const std::vector<FieldInfo> &fields, const char *record,
                 const CodePage &page, const QString &table, const std::vector<int> *columns)
{
    for (const FieldRule &rule : rules.rules) {
        if (columns && std::find(columns->begin(), columns->end(), rule.column) == columns->end())
            continue;
        const FieldInfo &f = fields[size_t(rule.column)];
        const char *d = record + f.offset;
        // Blank fields are the "required" check's business, not the bounds'.
        if (blankField(f, d))
            continue;
        const auto v = decode(f, d, page);
        if (!v)
            throw DbError(QStringLiteral("Table %1, champ %2 : la valeur ne peut pas être comparée aux bornes du fichier "
                                         "de contrôles %3.").arg(table, f.name, rules.file));
        auto breaks = [&](const std::optional<QByteArray> &bound, int sign, const QString &what) {
            if (!bound || compare(*v, *decode(f, bound->constData(), page)) * sign <= 0)
                return;
            throw DbError(QStringLiteral("Table %1, champ %2 : la valeur %3 est %4 %5 fixé par le fichier de contrôles %6.")
                              .arg(table, f.name, shown(f, d, page), what, shown(f, bound->constData(), page), rules.file));
        };
        breaks(rule.minimum, -1, QStringLiteral("inférieure au minimum"));
        breaks(rule.maximum, 1, QStringLiteral("supérieure au maximum"));
    }
}

void applyDefaults(const ValidityRules &rules, const std::vector<FieldInfo> &fields, char *record)
{
    for (const FieldRule &rule : rules.rules) {
        const FieldInfo &f = fields[size_t(rule.column)];
        if (rule.defaultValue && blankField(f, record + f.offset))
            std::memcpy(record + f.offset, rule.defaultValue->constData(), size_t(f.size));
    }
}

QByteArray buildValidityFile(const Header &db, const QByteArray &tableName, const std::vector<FieldRule> &rules,
                             int changeCount)
{
    std::vector<FieldRule> sorted;
    for (const FieldRule &r : rules)
        if (r.minimum || r.maximum || r.defaultValue)
            sorted.push_back(r);
    std::sort(sorted.begin(), sorted.end(), [](const FieldRule &a, const FieldRule &b) { return a.column < b.column; });

    QByteArray out(val::Body, '\0');
    out[val::ChangeCount] = char(changeCount);
    out[val::Version] = char(kFirstVersion);
    out[val::Count] = char(sorted.size());
    for (const FieldRule &r : sorted) {
        const FieldInfo &f = db.fields.at(size_t(r.column));
        QByteArray entry(val::Values, '\0');
        entry[val::Field] = char(r.column + 1);
        for (auto [at, value] : {std::pair{val::Minimum, &r.minimum}, std::pair{val::Maximum, &r.maximum},
                                 std::pair{val::Default, &r.defaultValue}}) {
            if (!*value)
                continue;
            if ((*value)->size() != f.size)
                throw DbError(QStringLiteral("Contrôle du champ %1 : %2 octets au lieu de %3.")
                                  .arg(r.column + 1).arg((*value)->size()).arg(f.size));
            putLe32(entry.data() + at, kPresent);
        }
        for (const auto *value : {&r.minimum, &r.maximum, &r.defaultValue})
            if (*value)
                entry += **value;
        out += entry;
    }
    const auto footer = quint32(out.size());
    putLe32(out.data() + val::FooterPos, footer);
    putLe32(out.data() + val::IntegrityPos, footer);

    const auto n = int(db.fields.size());
    QByteArray tail(6 + 4 * n, '\0');
    putLe16(tail.data(), quint16(n));
    for (int i = 0; i < n; ++i) {
        putLe16(tail.data() + 6 + 2 * i, quint16(i + 1));
        tail[6 + 2 * n + 2 * i] = char(db.fields[size_t(i)].type);
        tail[6 + 2 * n + 2 * i + 1] = char(sizeByte(db.fields[size_t(i)]));
    }
    QByteArray name = tableName.left(val::TableName - 1);
    name.resize(val::TableName, '\0');
    tail += name;
    for (const FieldInfo &f : db.fields)
        tail += f.rawName + '\0';
    return out + tail;
}

} // namespace db::paradox
