#include "db/paradox/PxLib.h"
#include "db/DbError.h"

#include <QFile>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <cstring>
extern "C" {
#include <paradox.h>
}

namespace db::paradox {

namespace {

void keepError(pxdoc_t *, int type, const char *msg, void *data)
{
    if (type != PX_Warning && data)
        static_cast<PxDoc *>(data)->noteError(msg);
}

bool blank(const char *data, int size)
{
    for (int i = 0; i < size; ++i)
        if (data[i] != 0)
            return false;
    return true;
}

FILE *openFile(const QString &path, const char *mode)
{
    return std::fopen(QFile::encodeName(path).constData(), mode);
}

// pxlib takes ownership of field arrays and names and frees them with the
// document's allocator.
pxfield_t *makeFields(pxdoc_t *doc, const std::vector<NewField> &fields)
{
    auto *out = static_cast<pxfield_t *>(doc->malloc(doc, fields.size() * sizeof(pxfield_t), "fields"));
    if (!out)
        throw DbError(QStringLiteral("Mémoire insuffisante."));
    for (size_t i = 0; i < fields.size(); ++i) {
        out[i].px_fname = PX_strdup(doc, fields[i].rawName.constData());
        out[i].px_ftype = char(fields[i].type);
        out[i].px_flen = fields[i].size;
        out[i].px_fdc = fields[i].decimals;
    }
    return out;
}

} // namespace

PxDoc::PxDoc()
{
    m_doc = PX_new3(keepError, nullptr, nullptr, nullptr, this);
    if (!m_doc)
        throw DbError(QStringLiteral("Mémoire insuffisante pour ouvrir une table Paradox."));
}

PxDoc::~PxDoc()
{
    if (m_doc)
        PX_delete(m_doc);
}

void PxDoc::noteError(const char *msg) { m_error = QString::fromLocal8Bit(msg); }

// The codecs never touch the document beyond its allocator, so one per
// thread is enough.
static pxdoc_t *codecDoc()
{
    thread_local PxDoc doc;
    return doc.get();
}

std::optional<qint64> readInteger(const FieldInfo &f, const char *data)
{
    if (blank(data, f.size))
        return std::nullopt;
    pxdoc_t *doc = codecDoc();
    char *d = const_cast<char *>(data);
    switch (f.type) {
    case ftShort: {
        short v = 0;
        PX_get_data_short(doc, d, 2, &v);
        return v;
    }
    case ftLogical: {
        char v = 0;
        PX_get_data_byte(doc, d, 1, &v);
        return v != 0 ? 1 : 0;
    }
    default: {
        long v = 0;
        PX_get_data_long(doc, d, 4, &v);
        return qint32(v);
    }
    }
}

std::optional<double> readFloat(const FieldInfo &f, const char *data)
{
    if (blank(data, 8))
        return std::nullopt;
    double v = 0;
    PX_get_data_double(codecDoc(), const_cast<char *>(data), 8, &v);
    return v;
}

std::optional<QByteArray> readBcd(const FieldInfo &f, const char *data)
{
    const auto first = static_cast<unsigned char>(data[0]);
    // A blank BCD keeps its digit count in the first byte; its digits are all zero.
    if (first == 0 || ((first & 0x80) == 0 && blank(data + 1, 16)))
        return std::nullopt;
    // pxlib refuses (and leaks) when the stored digit count differs.
    if ((first & 0x3f) != f.decimals)
        return std::nullopt;
    pxdoc_t *doc = codecDoc();
    char *text = nullptr;
    if (PX_get_data_bcd(doc, reinterpret_cast<unsigned char *>(const_cast<char *>(data)), f.decimals, &text) < 0
        || !text)
        return std::nullopt;
    QByteArray out(text);
    doc->free(doc, text);
    // The decimal point comes from the C locale in force.
    out.replace(',', '.');
    for (char c : out)
        if (!(c == '-' || c == '.' || (c >= '0' && c <= '9')))
            return std::nullopt;
    return out;
}

void writeInteger(const FieldInfo &f, char *data, qint64 v)
{
    pxdoc_t *doc = codecDoc();
    switch (f.type) {
    case ftShort: PX_put_data_short(doc, data, 2, short(v)); break;
    case ftLogical: PX_put_data_byte(doc, data, 1, char(v ? 1 : 0)); break;
    default: PX_put_data_long(doc, data, 4, int(v)); break;
    }
}

void writeFloat(const FieldInfo &, char *data, double v)
{
    PX_put_data_double(codecDoc(), data, 8, v);
}

void writeBcd(const FieldInfo &f, char *data, const QByteArray &decimalText)
{
    QByteArray t = decimalText;
    PX_put_data_bcd(codecDoc(), data, f.decimals, t.data());
}

void putChainCounts(char *o, qint64 records, int n)
{
    putLe32(o + hdr::NumRecords, quint32(records));
    putLe16(o + hdr::NextBlock, quint16(n));
    putLe16(o + hdr::FileBlocks, quint16(n));
    putLe16(o + hdr::FirstBlock, quint16(n ? 1 : 0));
    putLe16(o + hdr::LastBlock, quint16(n));
    putLe16(o + hdr::MaxBlocks, quint16(n));
}

QByteArray primaryIndexHeader(const Header &db, const QString &table)
{
    std::vector<NewField> keys;
    for (int i = 0; i < db.keyFields; ++i)
        keys.push_back(NewField{db.fields[i].rawName, db.fields[i].type, db.fields[i].size, db.fields[i].decimals});
    PxDoc index;
    FILE *f = std::tmpfile();
    if (!f)
        throw DbError(QStringLiteral("Table %1 : pas de fichier temporaire pour l'index primaire.").arg(table));
    const int rc = PX_create_fp(index.get(), makeFields(index.get(), keys), int(keys.size()), f, pxfFileTypPrimIndex);
    QByteArray out;
    if (rc == 0) {
        pxhead_t *h = index.get()->px_head;
        h->px_maxtablesize = db.blockSize / 1024;
        h->px_sortorder = char(db.sortOrder);
        // Setting the name writes the header again, with the values above.
        PX_set_tablename(index.get(), "");
        std::fflush(f);
        out.resize(h->px_headersize);
        std::rewind(f);
        out.resize(qsizetype(std::fread(out.data(), 1, size_t(out.size()), f)));
    }
    std::fclose(f);
    if (rc != 0 || out.size() < hdr::Fixed)
        throw DbError(QStringLiteral("Table %1 : impossible de préparer l'index primaire (%2).").arg(table, index.lastError()));
    return out;
}

QByteArray emptyFileHeader(const std::vector<NewField> &fields, int fileType, int keyFields, int blockKb, int codePage,
                           int sortOrder, const QByteArray &tableName, const QString &table)
{
    PxDoc doc;
    FILE *f = std::tmpfile();
    if (!f)
        throw DbError(QStringLiteral("Table %1 : pas de fichier temporaire pour préparer un en-tête.").arg(table));
    const int rc = PX_create_fp(doc.get(), makeFields(doc.get(), fields), int(fields.size()), f, fileType);
    QByteArray out;
    if (rc == 0) {
        pxhead_t *h = doc.get()->px_head;
        h->px_primarykeyfields = keyFields;
        h->px_maxtablesize = blockKb;
        h->px_doscodepage = codePage;
        h->px_sortorder = char(sortOrder);
        // Setting the name writes the header again, with the values above.
        PX_set_tablename(doc.get(), tableName.constData());
        std::fflush(f);
        out.resize(h->px_headersize);
        std::rewind(f);
        out.resize(qsizetype(std::fread(out.data(), 1, size_t(out.size()), f)));
    }
    std::fclose(f);
    if (rc != 0 || out.size() < 0x78)
        throw DbError(QStringLiteral("Table %1 : impossible de préparer un en-tête de fichier (%2).").arg(table, doc.lastError()));
    return out;
}

namespace {

// The three numbers after the key of an index record are unsigned words in
// the order of the record's data: big-endian with the top bit inverted, so
// that block 32768 is stored as 00 00 and 65535 as 7F FF.
void putIndexWord(char *p, quint32 v)
{
    p[0] = char(((v >> 8) & 0xff) ^ 0x80);
    p[1] = char(v & 0xff);
}

int indexWord(const char *p)
{
    return ((std::uint8_t(p[0]) ^ 0x80) << 8) | std::uint8_t(p[1]);
}

// Record counts above the first level are sums kept in a word: they wrap.
quint32 wrappedCount(qint64 n) { return quint32(n) & 0xffffu; }

QByteArray indexRecord(const QByteArray &key, int block, qint64 records)
{
    QByteArray r = key;
    r.resize(key.size() + 6);
    putIndexWord(r.data() + key.size(), quint32(block));
    putIndexWord(r.data() + key.size() + 2, wrappedCount(records));
    putIndexWord(r.data() + key.size() + 4, 0);
    return r;
}

constexpr int kMaxIndexLevels = 8;

} // namespace

QByteArray buildPrimaryIndex(const QByteArray &header, const Header &db, const std::vector<IndexEntry> &entries,
                             const QString &table)
{
    const int keySize = db.keySize();
    const int recordSize = keySize + 6;
    const int blockSize = int(std::uint8_t(header[0x05])) * 1024;
    const int perBlock = (blockSize - 6) / recordSize;
    if (perBlock < 2)
        throw DbError(QStringLiteral("Table %1 : la clé est trop longue pour les blocs de l'index primaire.").arg(table));
    // One level of index blocks over the level below, until one block (the
    // root) holds it all. Each record: the first key of what it points to,
    // that block's number and the records under it.
    struct Rec {
        QByteArray key;
        qint64 records;
        int child;   // below level 1: index of the block in the level below
    };
    std::vector<std::vector<std::vector<Rec>>> levels;   // [level][block][record], level 0 = level 1
    {
        std::vector<Rec> recs;
        for (const IndexEntry &e : entries)
            recs.push_back(Rec{e.firstKey.left(keySize), e.records, e.block});
        while (true) {
            std::vector<std::vector<Rec>> blocks;
            for (size_t i = 0; i < recs.size(); ++i) {
                if (i % size_t(perBlock) == 0)
                    blocks.emplace_back();
                blocks.back().push_back(recs[i]);
            }
            levels.push_back(std::move(blocks));
            if (levels.back().size() <= 1)
                break;
            if (int(levels.size()) >= kMaxIndexLevels)
                throw DbError(QStringLiteral("Table %1 : la table est trop grande pour son index primaire.").arg(table));
            recs.clear();
            const auto &below = levels.back();
            for (size_t b = 0; b < below.size(); ++b) {
                qint64 sum = 0;
                for (const Rec &r : below[b])
                    sum += r.records;
                recs.push_back(Rec{below[b].front().key, sum, int(b)});
            }
        }
    }
    // In the file: the root first, then each level down to the first.
    std::vector<int> firstNumber(levels.size());
    int n = 0;
    for (int l = int(levels.size()) - 1; l >= 0; --l) {
        firstNumber[size_t(l)] = n + 1;
        n += int(levels[size_t(l)].size());
    }
    if (entries.empty())
        n = 0;
    if (n > kMaxBlocks)
        throw DbError(QStringLiteral("Table %1 : la table est trop grande pour son index primaire.").arg(table));
    QByteArray out = header;
    out.resize(header.size() + qsizetype(n) * blockSize, '\0');
    qint64 total = 0;
    for (int l = int(levels.size()) - 1; l >= 0 && n > 0; --l) {
        for (size_t b = 0; b < levels[size_t(l)].size(); ++b) {
            const int number = firstNumber[size_t(l)] + int(b);
            char *p = out.data() + header.size() + qsizetype(number - 1) * blockSize;
            putLe16(p, quint16(number < n ? number + 1 : 0));
            putLe16(p + 2, quint16(number - 1));
            const auto &recs = levels[size_t(l)][b];
            putLe16(p + 4, quint16((int(recs.size()) - 1) * recordSize));
            for (size_t j = 0; j < recs.size(); ++j) {
                const int target = l == 0 ? recs[j].child : firstNumber[size_t(l) - 1] + recs[j].child;
                const QByteArray r = indexRecord(recs[j].key, target, recs[j].records);
                std::memcpy(p + 6 + j * size_t(recordSize), r.constData(), size_t(recordSize));
            }
            total += qint64(recs.size());
        }
    }
    char *o = out.data();
    putChainCounts(o, total, n);
    putLe16(o + hdr::IndexRoot, quint16(n ? 1 : 0));
    o[hdr::IndexLevels] = char(n ? levels.size() : 0);
    return out;
}

QString checkPrimaryIndex(const QByteArray &bytes, const Header &db, const std::vector<IndexEntry> &entries,
                          const QString &table)
{
    Header px;
    try {
        px = parseHeader(bytes, bytes.size(), table);
    } catch (const DbError &e) {
        return e.message();
    }
    if (px.fileType != 1 && px.fileType != 4 && px.fileType != 7)
        return QStringLiteral("ce n'est pas un index primaire");
    if (px.keyFields != db.keyFields)
        return QStringLiteral("l'index porte sur %1 champs, la clé en compte %2").arg(px.keyFields).arg(db.keyFields);
    for (int i = 0; i < db.keyFields; ++i)
        if (px.fields[i].type != db.fields[i].type || px.fields[i].size != db.fields[i].size)
            return QStringLiteral("le champ de clé %1 diffère dans l'index").arg(db.fields[i].name);
    const int keySize = db.keySize();
    // Blocks are reached by number from the root, whatever chains link them.
    auto recordsOf = [&](int number) -> std::vector<const char *> {
        std::vector<const char *> out;
        if (number < 1 || number > px.fileBlocks)
            return out;
        const qint64 at = px.blockOffset(number);
        if (at + px.blockSize > bytes.size())
            return out;
        const char *p = bytes.constData() + at;
        const int add = qint16(le16(p + 4));
        if (add < 0 || add % px.recordSize != 0 || add / px.recordSize + 1 > px.recordsPerBlock())
            return out;
        for (int j = 0; j <= add / px.recordSize; ++j)
            out.push_back(p + 6 + j * px.recordSize);
        return out;
    };
    const int levels = std::uint8_t(bytes[hdr::IndexLevels]);
    const int root = le16(bytes.constData() + hdr::IndexRoot);
    std::vector<const char *> level1;
    QString problem;
    std::set<int> seen;
    // Walks down from a block of the given level, appending the first level's
    // records in order; the records under each entry must add up to its count.
    std::function<qint64(int, int)> descend = [&](int number, int level) -> qint64 {
        if (!problem.isEmpty())
            return 0;
        if (!seen.insert(number).second) {
            problem = QStringLiteral("le bloc %1 de l'index est atteint deux fois").arg(number);
            return 0;
        }
        const std::vector<const char *> recs = recordsOf(number);
        if (recs.empty()) {
            problem = QStringLiteral("le bloc %1 de l'index est vide ou absent").arg(number);
            return 0;
        }
        qint64 sum = 0;
        for (const char *r : recs) {
            const qint64 count = indexWord(r + keySize + 2);
            if (level == 1) {
                level1.push_back(r);
                sum += count;
                continue;
            }
            const std::vector<const char *> below = recordsOf(indexWord(r + keySize));
            if (below.empty() || std::memcmp(r, below.front(), size_t(keySize)) != 0) {
                problem = QStringLiteral("une entrée de niveau %1 de l'index ne correspond pas à ses entrées").arg(level);
                return 0;
            }
            const qint64 under = descend(indexWord(r + keySize), level - 1);
            if (problem.isEmpty() && wrappedCount(under) != quint32(count))
                problem = QStringLiteral("une entrée de niveau %1 de l'index ne correspond pas à ses entrées").arg(level);
            sum += under;
        }
        return sum;
    };
    if (px.numRecords == 0) {
        // An empty index has nothing to say.
    } else if (levels >= 1 && levels <= kMaxIndexLevels) {
        descend(root, levels);
        if (!problem.isEmpty())
            return problem;
    } else {
        return QStringLiteral("index à %1 niveaux, que ce moteur ne lit pas").arg(levels);
    }
    std::vector<const IndexEntry *> used;
    for (const IndexEntry &e : entries)
        if (e.records > 0)
            used.push_back(&e);
    if (level1.size() != used.size())
        return QStringLiteral("l'index référence %1 blocs, la table en a %2").arg(level1.size()).arg(used.size());
    for (size_t i = 0; i < used.size(); ++i) {
        const char *r = level1[i];
        if (indexWord(r + keySize) != used[i]->block || indexWord(r + keySize + 2) != used[i]->records)
            return QStringLiteral("l'entrée %1 de l'index ne correspond pas au bloc %2").arg(i + 1).arg(used[i]->block);
        if (std::memcmp(r, used[i]->firstKey.constData(), size_t(keySize)) != 0)
            return QStringLiteral("la clé de l'entrée %1 de l'index diffère du premier enregistrement du bloc %2")
                .arg(i + 1).arg(used[i]->block);
    }
    return QString();
}

int blockSizeFor(int recordSize, int keySize, qint64 expectedRows, const QString &table)
{
    // The block sizes the desktop engine offers; past 4 KB only for tables
    // that need them. The smallest that holds a few records, keeps at least
    // three keys in an index block and leaves room for the table to double.
    const int sizes[] = {2, 4, 16, 32};
    for (int kb : sizes) {
        const int perBlock = (kb * 1024 - 6) / recordSize;
        const bool last = kb == 32;
        if (perBlock < 1 || (perBlock < 8 && !last))
            continue;
        if (keySize > 0 && (kb * 1024 - 6) / (keySize + 6) < 3)
            continue;
        const qint64 blocks = (expectedRows + perBlock - 1) / perBlock;
        if (blocks > kMaxBlocks || (2 * blocks > kMaxBlocks && !last))
            continue;
        return kb;
    }
    if ((32 * 1024 - 6) / recordSize < 1)
        throw DbError(QStringLiteral("Table %1 : enregistrement trop long (%2 octets).").arg(table).arg(recordSize));
    throw DbError(QStringLiteral("Table %1 : %2 enregistrements de %3 octets dépassent la taille maximale d'une table "
                                 "Paradox (65 535 blocs de 32 Ko, soit %4 enregistrements).")
                      .arg(table).arg(expectedRows).arg(recordSize)
                      .arg(qint64(kMaxBlocks) * ((32 * 1024 - 6) / recordSize)));
}

void createEmptyTable(const QString &dbFile, const QString &mbFile, const std::vector<NewField> &fields,
                      int keyFields, int codePage, const QString &table, qint64 expectedRows)
{
    int recordSize = 0;
    int keySize = 0;
    bool blobs = false;
    for (size_t i = 0; i < fields.size(); ++i) {
        recordSize += fields[i].size;
        if (int(i) < keyFields)
            keySize += fields[i].size;
        blobs = blobs || isBlobType(fields[i].type);
    }
    const int blockKb = blockSizeFor(recordSize, keySize, expectedRows, table);

    PxDoc doc;
    FILE *fp = openFile(dbFile, "w+b");
    if (!fp)
        throw DbError(QStringLiteral("Table %1 : impossible de créer %2.").arg(table, dbFile));
    if (PX_create_fp(doc.get(), makeFields(doc.get(), fields), int(fields.size()), fp,
                     keyFields > 0 ? pxfFileTypIndexDB : pxfFileTypNonIndexDB) < 0) {
        std::fclose(fp);
        throw DbError(QStringLiteral("Table %1 : création impossible (%2).").arg(table, doc.lastError()));
    }
    pxdoc_t *d = doc.get();
    d->px_stream->close = px_true;
    d->px_head->px_primarykeyfields = keyFields;
    d->px_head->px_doscodepage = codePage;
    d->px_head->px_maxtablesize = blockKb;
    // Setting the name writes the header again, with the values above.
    const QByteArray fileName = QFile::encodeName(QFile(dbFile).fileName().section(QLatin1Char('/'), -1));
    if (PX_set_tablename(d, fileName.constData()) < 0)
        throw DbError(QStringLiteral("Table %1 : création impossible (%2).").arg(table, doc.lastError()));
    if (blobs) {
        // pxlib 0.6.8 overruns its stack in its memo file code, so the memo
        // file is written here, as the desktop software writes an empty one.
        QByteArray head(4096, '\0');
        const unsigned char known[][2] = {{0x01, 0x01}, {0x03, 0x01}, {0x05, 0x82}, {0x06, 0x73}, {0x07, 0x02},
                                          {0x09, 0x29}, {0x0c, 0x10}, {0x0e, 0x10}, {0x10, 0x10}, {0x11, 0x40},
                                          {0x14, 0x08}, {0x29, 0xa1}, {0x2a, 0x02}};
        for (const auto &k : known)
            head[k[0]] = char(k[1]);
        QFile mb(mbFile);
        if (!mb.open(QIODevice::WriteOnly | QIODevice::Truncate) || mb.write(head) != head.size())
            throw DbError(QStringLiteral("Table %1 : impossible de créer le fichier des mémos %2.").arg(table, mbFile));
    }
    if (!doc.lastError().isEmpty())
        throw DbError(QStringLiteral("Table %1 : création impossible (%2).").arg(table, doc.lastError()));
}

} // namespace db::paradox
