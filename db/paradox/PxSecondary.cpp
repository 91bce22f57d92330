#include "db/paradox/PxSecondary.h"
#include "db/DbError.h"
#include "db/paradox/PxLib.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <numeric>

namespace db::paradox {

namespace {

constexpr int kHintSize = 2;

const QRegularExpression &secondarySuffix()
{
    static const QRegularExpression re(QStringLiteral("^([XY])([0-9A-F]{2}|G[0-9A-F])$"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

QByteArray readWhole(const QString &path, const QString &table)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("Table %1 : l'index secondaire %2 ne peut pas être lu (%3).")
                          .arg(table, QFileInfo(path).fileName(), f.errorString()));
    return f.readAll();
}

[[noreturn]] void refuse(const QString &table, const QString &file, const QString &why)
{
    throw DbError(QStringLiteral("Table %1 : son index secondaire %2 %3 ; elle ne peut pas être modifiée.")
                      .arg(table, QFileInfo(file).fileName(), why));
}

// Index records after the header, block by block along the chain.
std::vector<const char *> recordsOf(const Header &h, const QByteArray &bytes, const QString &table)
{
    std::vector<const char *> out;
    for (const BlockInfo &b : walkBlocks(h, bytes, table))
        for (int j = 0; j < b.records; ++j)
            out.push_back(bytes.constData() + b.offset + 6 + qint64(j) * h.recordSize);
    return out;
}

} // namespace

// ---------------------------------------------------------------------------

KeyOrder::KeyOrder(const QByteArray &sortOrderName, const CodePage *page)
    : m_binary(sortOrderName.toLower().startsWith("ascii")), m_page(page)
{
}

KeyOrder::Key KeyOrder::key(const std::vector<FieldInfo> &fields, int count, const char *raw,
                            const std::vector<bool> &caseless)
{
    if (!m_binary && !m_collator) {
        m_collator = std::make_unique<QCollator>(QLocale(QLocale::French, QLocale::France));
        m_collator->setCaseSensitivity(Qt::CaseInsensitive);
    }
    Key parts;
    parts.reserve(size_t(count));
    for (int c = 0; c < count; ++c) {
        const FieldInfo &f = fields[size_t(c)];
        const char *d = raw + f.offset;
        Part k;
        if (f.type == ftAlpha) {
            k.bytes = QByteArray(d, int(strnlen(d, size_t(f.size))));
            k.blank = k.bytes.isEmpty();
            const bool noCase = c < int(caseless.size()) && caseless[size_t(c)];
            if (!m_binary) {
                k.text = m_collator->sortKey(m_page->decode(k.bytes));
                // Letter case breaks ties only where it counts.
                if (noCase)
                    k.bytes.clear();
            } else if (noCase && !k.blank) {
                bool ok = false;
                QString bad;
                const QByteArray upper = m_page->encode(m_page->decode(k.bytes).toUpper(), &ok, &bad);
                if (ok)
                    k.bytes = upper;
            }
        } else if (f.type == ftNumber || f.type == ftCurrency || f.type == ftTimestamp) {
            const auto v = readFloat(f, d);
            k.blank = !v;
            k.number = v.value_or(0);
        } else if (f.type == ftBcd) {
            const auto v = readBcd(f, d);
            k.blank = !v;
            k.number = v ? v->toDouble() : 0;
        } else if (isNumericType(f.type) || f.type == ftDate || f.type == ftTime) {
            const auto v = readInteger(f, d);
            k.blank = !v;
            k.number = double(v.value_or(0));
        } else {
            k.bytes = QByteArray(d, f.size);
            k.blank = false;
        }
        parts.push_back(std::move(k));
    }
    return parts;
}

QString KeyOrder::fold(const QByteArray &alpha) const
{
    return m_page->decode(QByteArrayView(alpha.constData(), qsizetype(strnlen(alpha.constData(), size_t(alpha.size())))))
        .toCaseFolded();
}

bool KeyOrder::less(const Key &a, const Key &b)
{
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].blank != b[i].blank)
            return a[i].blank;
        if (a[i].blank)
            continue;
        if (a[i].number != b[i].number)
            return a[i].number < b[i].number;
        if (a[i].text && b[i].text) {
            const int t = a[i].text->compare(*b[i].text);
            if (t != 0)
                return t < 0;
        }
        const int r = std::memcmp(a[i].bytes.constData(), b[i].bytes.constData(),
                                  size_t(std::min(a[i].bytes.size(), b[i].bytes.size())));
        if (r != 0)
            return r < 0;
        if (a[i].bytes.size() != b[i].bytes.size())
            return a[i].bytes.size() < b[i].bytes.size();
    }
    return false;
}

// ---------------------------------------------------------------------------

QStringList secondaryIndexFiles(const QString &dbFile)
{
    const QFileInfo fi(dbFile);
    const QDir dir = fi.absoluteDir();
    QStringList out;
    for (QString name : dir.entryList(QDir::Files | QDir::Hidden)) {
        for (const QString &work : {QStringLiteral(".aldbak"), QStringLiteral(".aldnew")})
            if (name.endsWith(work))
                name.chop(work.size());
        const QFileInfo c(name);
        if (c.completeBaseName().compare(fi.completeBaseName(), Qt::CaseInsensitive) == 0
            && secondarySuffix().match(c.suffix()).hasMatch() && !out.contains(dir.filePath(name)))
            out << dir.filePath(name);
    }
    std::sort(out.begin(), out.end(), [](const QString &a, const QString &b) {
        return QFileInfo(a).suffix().toUpper() < QFileInfo(b).suffix().toUpper();
    });
    return out;
}

std::vector<SecondaryIndex> readSecondaryIndexes(const QString &dbFile, const Header &db, const CodePage &page,
                                                 const QString &table)
{
    std::vector<SecondaryIndex> out;
    const QStringList files = secondaryIndexFiles(dbFile);
    for (const QString &file : files) {
        const QString suffix = QFileInfo(file).suffix().toUpper();
        if (suffix.startsWith(QLatin1Char('Y'))) {
            const bool paired = std::any_of(files.begin(), files.end(), [&](const QString &f) {
                return QFileInfo(f).suffix().toUpper() == QLatin1Char('X') + suffix.mid(1);
            });
            if (!paired)
                refuse(table, file, QStringLiteral("n'a pas de fichier de données .X correspondant"));
            continue;
        }
        SecondaryIndex ix;
        ix.xPath = file;
        for (const QString &f : files)
            if (QFileInfo(f).suffix().toUpper() == QLatin1Char('Y') + suffix.mid(1))
                ix.yPath = f;
        if (ix.yPath.isEmpty())
            refuse(table, file, QStringLiteral("n'a pas de fichier d'index .Y correspondant"));
        if (!QFileInfo::exists(file) || !QFileInfo::exists(ix.yPath))
            refuse(table, file, QStringLiteral("est incomplet sur le disque"));
        if (db.fileType != 0)
            refuse(table, file, QStringLiteral("porte sur une table sans clé primaire, ce que ce moteur ne sait pas tenir à jour"));

        const bool grouped = suffix.at(1) == QLatin1Char('G');
        const QByteArray xBytes = readWhole(file, table);
        const QString xName = QFileInfo(file).fileName();
        try {
            ix.x = parseHeader(xBytes, xBytes.size(), table + QLatin1Char('/') + xName);
        } catch (const DbError &e) {
            refuse(table, file, QStringLiteral("est illisible (%1)").arg(e.message()));
        }
        const Header &x = ix.x;
        ix.xHeader = xBytes.left(x.headerSize);
        const int expectedTypes[2] = {grouped ? 6 : 3, grouped ? 8 : 5};
        if (x.fileType != expectedTypes[0] && x.fileType != expectedTypes[1])
            refuse(table, file, QStringLiteral("est d'un type de fichier (%1) que ce moteur ne connaît pas").arg(x.fileType));
        if (x.encrypted)
            refuse(table, file, QStringLiteral("est chiffré"));
        // Paradox 7 marks a descending index there.
        if (x.versionId >= 12 && (std::uint8_t(xBytes[0x55]) & 0x10))
            refuse(table, file, QStringLiteral("est trié en ordre décroissant, ce que ce moteur ne sait pas tenir à jour"));
        const int fieldCount = int(x.fields.size());
        const int indexed = x.keyFields - db.keyFields;
        if (indexed < 1 || x.keyFields != fieldCount - 1 || int(x.fieldNumbers.size()) != fieldCount)
            refuse(table, file, QStringLiteral("a une description de champs que ce moteur ne sait pas lire"));
        const FieldInfo &hint = x.fields.back();
        if (hint.type != ftShort || hint.size != kHintSize)
            refuse(table, file, QStringLiteral("n'a pas le champ « Hint » attendu en dernier"));
        for (int i = 0; i < indexed; ++i) {
            const int n = x.fieldNumbers[size_t(i)];
            if (n < 1 || n > int(db.fields.size()))
                refuse(table, file, QStringLiteral("désigne un champ %1 que la table n'a pas").arg(n));
            const FieldInfo &f = db.fields[size_t(n - 1)];
            if (f.type != x.fields[size_t(i)].type || f.size != x.fields[size_t(i)].size)
                refuse(table, file, QStringLiteral("ne décrit pas le champ %1 comme la table").arg(f.name));
            if (isBlobType(f.type))
                refuse(table, file, QStringLiteral("porte sur un champ mémo ou binaire"));
            ix.columns.push_back(n - 1);
        }
        for (int i = 0; i < db.keyFields; ++i) {
            const FieldInfo &k = x.fields[size_t(indexed + i)];
            if (k.type != db.fields[size_t(i)].type || k.size != db.fields[size_t(i)].size)
                refuse(table, file, QStringLiteral("ne reprend pas la clé primaire de la table"));
        }
        if (!grouped && indexed != 1)
            refuse(table, file, QStringLiteral("porte sur plusieurs champs sous un nom réservé aux index d'un seul champ"));

        const QByteArray yBytes = readWhole(ix.yPath, table);
        Header y;
        try {
            y = parseHeader(yBytes, yBytes.size(), table + QLatin1Char('/') + QFileInfo(ix.yPath).fileName());
        } catch (const DbError &e) {
            refuse(table, ix.yPath, QStringLiteral("est illisible (%1)").arg(e.message()));
        }
        if (y.fileType != (grouped ? 7 : 4) || y.keyFields != x.keyFields)
            refuse(table, ix.yPath, QStringLiteral("ne correspond pas à son fichier de données %1").arg(xName));
        for (int i = 0; i < x.keyFields; ++i)
            if (y.fields[size_t(i)].type != x.fields[size_t(i)].type || y.fields[size_t(i)].size != x.fields[size_t(i)].size)
                refuse(table, ix.yPath, QStringLiteral("ne correspond pas à son fichier de données %1").arg(xName));
        ix.yHeader = yBytes.left(y.headerSize);

        // A single field gets a .XGn of its own only to ignore letter case.
        // A composite one says nothing of it in any description of the
        // format: its records, in the order the desktop engine kept them,
        // must tell.
        if (grouped && indexed == 1) {
            ix.caseless = true;
        } else if (grouped) {
            bool text = false;
            for (int c : ix.columns)
                text = text || db.fields[size_t(c)].type == ftAlpha;
            if (text) {
                std::vector<const char *> recs;
                try {
                    recs = recordsOf(x, xBytes, table);
                } catch (const DbError &e) {
                    refuse(table, file, QStringLiteral("est endommagé (%1)").arg(e.message()));
                }
                KeyOrder order(db.sortOrderName, &page);
                bool sensitiveHolds = true, caselessHolds = true;
                const std::vector<bool> all(size_t(x.keyFields), true);
                KeyOrder::Key sensitive, folded;
                for (size_t i = 0; i < recs.size() && (sensitiveHolds || caselessHolds); ++i) {
                    KeyOrder::Key s = order.key(x.fields, x.keyFields, recs[i]);
                    KeyOrder::Key f = order.key(x.fields, x.keyFields, recs[i], all);
                    if (i > 0) {
                        sensitiveHolds = sensitiveHolds && !KeyOrder::less(s, sensitive);
                        caselessHolds = caselessHolds && !KeyOrder::less(f, folded);
                    }
                    sensitive = std::move(s);
                    folded = std::move(f);
                }
                if (!sensitiveHolds && !caselessHolds)
                    refuse(table, file, QStringLiteral("n'est pas dans l'ordre de ses champs"));
                ix.caseless = caselessHolds && !sensitiveHolds;
                ix.caseUnknown = caselessHolds && sensitiveHolds;
            }
        }
        out.push_back(std::move(ix));
    }
    return out;
}

void appendSecondaryRecord(QByteArray &records, const SecondaryIndex &index, const Header &db, const char *raw, int block)
{
    const qsizetype at = records.size();
    records.resize(at + index.x.recordSize);
    char *o = records.data() + at;
    for (int c : index.columns) {
        const FieldInfo &f = db.fields[size_t(c)];
        std::memcpy(o, raw + f.offset, size_t(f.size));
        o += f.size;
    }
    std::memcpy(o, raw, size_t(db.keySize()));
    o += db.keySize();
    // The block number as Paradox stores a short, though read unsigned.
    o[0] = char(((block >> 8) & 0xff) ^ 0x80);
    o[1] = char(block & 0xff);
}

std::pair<QByteArray, QByteArray> buildSecondaryIndex(const SecondaryIndex &index, const QByteArray &flat,
                                                      KeyOrder &order, const QString &table)
{
    const Header &x = index.x;
    const qsizetype count = flat.size() / x.recordSize;
    auto rec = [&](qsizetype i) { return flat.constData() + i * x.recordSize; };
    std::vector<bool> caseless(size_t(x.keyFields), false);
    for (size_t i = 0; i < index.columns.size(); ++i)
        caseless[i] = index.caseless;
    std::vector<int> sorted(static_cast<size_t>(count));
    std::iota(sorted.begin(), sorted.end(), 0);
    // Whole numbers, dates and times are stored big-endian with the sign bit
    // turned over, and blank as zeros: their bytes sort as their values, blank
    // first. Keys of those alone need no decoding.
    const bool bytewise = std::all_of(x.fields.begin(), x.fields.begin() + x.keyFields, [](const FieldInfo &f) {
        return f.type == ftShort || f.type == ftLong || f.type == ftAutoInc || f.type == ftDate || f.type == ftTime;
    });
    if (bytewise) {
        const size_t keySize = size_t(x.keySize());
        std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) {
            return std::memcmp(rec(a), rec(b), keySize) < 0;
        });
    } else {
        std::vector<KeyOrder::Key> keys;
        keys.reserve(size_t(count));
        for (qsizetype i = 0; i < count; ++i)
            keys.push_back(order.key(x.fields, x.keyFields, rec(i), caseless));
        std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) { return KeyOrder::less(keys[size_t(a)], keys[size_t(b)]); });
    }
    if (index.caseUnknown) {
        // Kept case-sensitive; refused the day it would matter.
        std::vector<bool> folded = caseless;
        for (size_t i = 0; i < index.columns.size(); ++i)
            folded[i] = true;
        std::vector<KeyOrder::Key> other;
        other.reserve(size_t(count));
        for (qsizetype i = 0; i < count; ++i)
            other.push_back(order.key(x.fields, x.keyFields, rec(i), folded));
        std::vector<int> alt(static_cast<size_t>(count));
        std::iota(alt.begin(), alt.end(), 0);
        std::stable_sort(alt.begin(), alt.end(), [&](int a, int b) { return KeyOrder::less(other[size_t(a)], other[size_t(b)]); });
        if (alt != sorted)
            throw DbError(QStringLiteral("Table %1 : son index secondaire %2 ne dit pas s'il distingue les majuscules "
                                         "des minuscules, et la modification y mettrait deux valeurs qui ne diffèrent "
                                         "que par elles dans un ordre différent selon la réponse ; elle est refusée.")
                              .arg(table, QFileInfo(index.xPath).fileName()));
    }

    const int perBlock = x.recordsPerBlock();
    const qint64 blocks = (qint64(count) + perBlock - 1) / perBlock;
    if (blocks > kMaxBlocks)
        throw DbError(QStringLiteral("Table %1 : la table est trop grande pour son index secondaire %2.")
                          .arg(table, QFileInfo(index.xPath).fileName()));
    const int n = int(blocks);
    QByteArray xOut = index.xHeader;
    xOut.resize(x.headerSize + qsizetype(n) * x.blockSize, '\0');
    std::vector<IndexEntry> entries;
    for (int b = 0; b < n; ++b) {
        char *p = xOut.data() + x.blockOffset(b + 1);
        const int first = b * perBlock;
        const int here = std::min<int>(perBlock, int(count) - first);
        putLe16(p, quint16(b + 1 < n ? b + 2 : 0));
        putLe16(p + 2, quint16(b));
        putLe16(p + 4, quint16((here - 1) * x.recordSize));
        for (int j = 0; j < here; ++j)
            std::memcpy(p + 6 + j * x.recordSize, rec(sorted[size_t(first + j)]), size_t(x.recordSize));
        entries.push_back(IndexEntry{b + 1, here, QByteArray(rec(sorted[size_t(first)]), x.keySize())});
    }
    putChainCounts(xOut.data(), count, n);
    putLe16(xOut.data() + hdr::FirstFreeBlock, 0);
    const QString xTable = table + QLatin1Char('/') + QFileInfo(index.xPath).fileName();
    const Header built = parseHeader(xOut, xOut.size(), xTable);
    walkBlocks(built, xOut, xTable);
    Header keyed = x;
    QByteArray yOut = buildPrimaryIndex(index.yHeader, keyed, entries, table);
    const QString problem = checkPrimaryIndex(yOut, keyed, entries, table);
    if (!problem.isEmpty())
        throw DbError(QStringLiteral("Table %1 : l'index %2 préparé est incohérent (%3).")
                          .arg(table, QFileInfo(index.yPath).fileName(), problem));
    return {xOut, yOut};
}

QString createSecondaryIndexFiles(const QString &dbFile, const Header &db, const std::vector<int> &columns,
                                  bool caseless, const QByteArray &label, const QString &table)
{
    if (db.fileType != 0 || columns.empty())
        throw DbError(QStringLiteral("Table %1 : un index secondaire demande une table à clé primaire et au moins un champ.")
                          .arg(table));
    const QFileInfo fi(dbFile);
    const QDir dir = fi.absoluteDir();
    const bool upper = fi.suffix() == fi.suffix().toUpper();
    auto named = [&](const QString &suffix) {
        return dir.filePath(fi.completeBaseName() + QLatin1Char('.') + (upper ? suffix.toUpper() : suffix.toLower()));
    };
    const bool grouped = caseless || columns.size() > 1;
    QString xSuffix;
    if (!grouped) {
        xSuffix = QStringLiteral("X%1").arg(columns.front() + 1, 2, 16, QLatin1Char('0')).toUpper();
    } else {
        const QStringList existing = secondaryIndexFiles(dbFile);
        for (int g = 0; g < 16 && xSuffix.isEmpty(); ++g) {
            const QString s = QStringLiteral("XG%1").arg(g, 1, 16).toUpper();
            if (std::none_of(existing.begin(), existing.end(), [&](const QString &f) { return QFileInfo(f).suffix().toUpper() == s; }))
                xSuffix = s;
        }
        if (xSuffix.isEmpty())
            throw DbError(QStringLiteral("Table %1 : elle a déjà seize index secondaires composés.").arg(table));
    }
    const QString xPath = named(xSuffix);
    const QString yPath = named(QLatin1Char('Y') + xSuffix.mid(1));

    std::vector<NewField> fields;
    std::vector<int> numbers;
    for (int c : columns) {
        const FieldInfo &f = db.fields[size_t(c)];
        fields.push_back(NewField{grouped ? f.rawName : QByteArray("Sec Key"), f.type, f.size, f.decimals});
        numbers.push_back(c + 1);
    }
    for (int k = 0; k < db.keyFields; ++k) {
        const FieldInfo &f = db.fields[size_t(k)];
        fields.push_back(NewField{f.rawName, f.type, f.size, f.decimals});
        numbers.push_back(k + 1);
    }
    fields.push_back(NewField{QByteArray("Hint"), ftShort, kHintSize, 0});
    numbers.push_back(0);
    const int keyCount = int(fields.size()) - 1;
    QByteArray head = emptyFileHeader(fields, grouped ? 8 : 5, keyCount, db.blockSize / 1024, db.codePage, db.sortOrder,
                                      QFile::encodeName(QFileInfo(xPath).fileName()), table);
    char *h = head.data();
    putLe16(h + 0x23, quint16(keyCount));
    h[0x15] = char(grouped ? 0 : columns.front() + 1);
    // After the names: the fields' numbers, the sort order and the index's name.
    const int tableNameLen = std::uint8_t(h[0x39]) >= 12 ? 261 : 79;
    int q = 0x78 + 2 * int(fields.size()) + 4 + 4 * int(fields.size()) + tableNameLen;
    for (size_t i = 0; i < fields.size(); ++i)
        q = head.indexOf('\0', q) + 1;
    const QByteArray sortName = db.sortOrderName.isEmpty() ? QByteArray("ascii") : db.sortOrderName;
    QByteArray tail;
    for (int n : numbers) {
        tail.append(char(n & 0xff));
        tail.append(char((n >> 8) & 0xff));
    }
    tail += sortName + '\0' + (grouped ? label : QByteArray()) + '\0';
    if (q <= 0 || q + tail.size() > head.size())
        throw DbError(QStringLiteral("Table %1 : l'en-tête de l'index secondaire déborde.").arg(table));
    std::memset(h + q, 0, size_t(head.size() - q));
    std::memcpy(h + q, tail.constData(), size_t(tail.size()));

    const Header x = parseHeader(head, head.size(), table);
    QByteArray yHead = primaryIndexHeader(x, table);
    yHead[0x04] = char(grouped ? 7 : 4);
    for (const auto &[path, bytes] : {std::pair{xPath, head}, std::pair{yPath, yHead}}) {
        QFile f(path);
        if (f.exists() || !f.open(QIODevice::NewOnly) || f.write(bytes) != bytes.size())
            throw DbError(QStringLiteral("Table %1 : le fichier %2 ne peut pas être créé.").arg(table, QFileInfo(path).fileName()));
    }
    return xPath;
}

} // namespace db::paradox
