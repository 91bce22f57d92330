#include "db/paradox/PxFormat.h"
#include "db/DbError.h"

#include <QSet>

namespace db::paradox {

namespace {

[[noreturn]] void corrupt(const QString &table, const QString &why)
{
    throw DbError(QStringLiteral("Table %1 : le fichier est endommagé ou n'est pas une table Paradox (%2).")
                      .arg(table, why));
}

// Sizes a field of each type may have in the record; BCD stores its
// number of decimals in the size byte and always takes 17 bytes.
bool sizeFits(int type, int size)
{
    switch (type) {
    case ftAlpha:
    case ftBytes: return size >= 1 && size <= 255;
    case ftDate:
    case ftLong:
    case ftTime:
    case ftAutoInc: return size == 4;
    case ftShort: return size == 2;
    case ftCurrency:
    case ftNumber:
    case ftTimestamp: return size == 8;
    case ftLogical: return size == 1;
    case ftMemo:
    case ftBlob:
    case ftFmtMemo:
    case ftOle:
    case ftGraphic: return size >= 10 && size <= 250;
    case ftBcd: return size == 17;
    default: return false;
    }
}

bool hasDataHeader(int fileType, int versionId)
{
    // Primary and non-incremental secondary index files (1, 4, 7) have none.
    return fileType != 1 && fileType != 4 && fileType != 7 && versionId >= 5;
}

} // namespace

bool isBlobType(int type)
{
    return type == ftMemo || type == ftBlob || type == ftFmtMemo || type == ftOle || type == ftGraphic;
}

bool isNumericType(int type)
{
    switch (type) {
    case ftShort:
    case ftLong:
    case ftAutoInc:
    case ftLogical:
    case ftNumber:
    case ftCurrency:
    case ftBcd: return true;
    default: return false;
    }
}

QString typeName(int type)
{
    switch (type) {
    case ftAlpha: return QStringLiteral("alphanumérique");
    case ftDate: return QStringLiteral("date");
    case ftShort: return QStringLiteral("entier court");
    case ftLong: return QStringLiteral("entier long");
    case ftCurrency: return QStringLiteral("monétaire");
    case ftNumber: return QStringLiteral("numérique");
    case ftLogical: return QStringLiteral("logique");
    case ftMemo: return QStringLiteral("mémo");
    case ftBlob: return QStringLiteral("binaire");
    case ftFmtMemo: return QStringLiteral("mémo formaté");
    case ftOle: return QStringLiteral("OLE");
    case ftGraphic: return QStringLiteral("graphique");
    case ftTime: return QStringLiteral("heure");
    case ftTimestamp: return QStringLiteral("horodatage");
    case ftAutoInc: return QStringLiteral("auto-incrément");
    case ftBcd: return QStringLiteral("BCD");
    case ftBytes: return QStringLiteral("octets");
    default: return QStringLiteral("inconnu (%1)").arg(type);
    }
}

int Header::keySize() const
{
    int n = 0;
    for (int i = 0; i < keyFields && i < int(fields.size()); ++i)
        n += fields[i].size;
    return n;
}

Header parseHeader(const QByteArray &bytes, qint64 fileSize, const QString &table, bool lenient)
{
    if (bytes.size() < hdr::Fixed || fileSize < hdr::Fixed)
        corrupt(table, QStringLiteral("en-tête tronqué"));
    const char *b = bytes.constData();
    Header h;
    h.recordSize = le16(b + 0x00);
    h.headerSize = le16(b + 0x02);
    h.fileType = std::uint8_t(b[0x04]);
    const int blockKb = std::uint8_t(b[0x05]);
    h.numRecords = qint32(le32(b + 0x06));
    h.fileBlocks = le16(b + hdr::FileBlocks);
    h.firstBlock = le16(b + hdr::FirstBlock);
    h.lastBlock = le16(b + hdr::LastBlock);
    const int numFields = qint16(le16(b + 0x21));
    const int keyFields = qint16(le16(b + 0x23));
    const std::uint32_t enc1 = le32(b + 0x25);
    h.sortOrder = std::uint8_t(b[0x29]);
    h.writeProtected = b[0x38] != 0;
    h.versionId = std::uint8_t(b[0x39]);
    h.autoInc = qint32(le32(b + hdr::AutoInc));

    if (h.fileType > 8)
        corrupt(table, QStringLiteral("type de fichier %1").arg(h.fileType));
    if (h.versionId < 3 || h.versionId > 12) {
        if (!lenient || h.versionId < 3)
            corrupt(table, QStringLiteral("version de fichier %1").arg(h.versionId));
        h.versionId = 12;
    }
    if (blockKb < 1 || blockKb > 32)
        corrupt(table, QStringLiteral("taille de bloc %1").arg(blockKb));
    h.blockSize = blockKb * 1024;
    if (h.headerSize < hdr::Fixed || h.headerSize > fileSize || h.headerSize > bytes.size())
        corrupt(table, QStringLiteral("taille d'en-tête %1").arg(h.headerSize));
    if (h.recordSize < 1 || h.recordSize > h.blockSize - 6)
        corrupt(table, QStringLiteral("taille d'enregistrement %1").arg(h.recordSize));
    if (numFields < 1 || numFields > 255)
        corrupt(table, QStringLiteral("nombre de champs %1").arg(numFields));

    const bool dataHeader = hasDataHeader(h.fileType, h.versionId);
    if (dataHeader && h.headerSize < 0x78)
        corrupt(table, QStringLiteral("taille d'en-tête %1").arg(h.headerSize));
    h.codePage = dataHeader ? le16(b + 0x6A) : 0;
    std::uint32_t enc = enc1;
    if (enc1 == 0xFF00FF00u)
        enc = dataHeader ? le32(b + 0x5C) : 0;
    h.encrypted = enc != 0;

    int p = dataHeader ? 0x78 : hdr::Fixed;
    if (p + 2 * numFields > h.headerSize)
        corrupt(table, QStringLiteral("description des champs hors de l'en-tête"));
    int offset = 0;
    for (int i = 0; i < numFields; ++i) {
        FieldInfo f;
        f.type = std::uint8_t(b[p + 2 * i]);
        const int sizeByte = std::uint8_t(b[p + 2 * i + 1]);
        if (f.type == ftBcd) {
            f.decimals = sizeByte;
            f.size = 17;
            if (f.decimals > 32)
                corrupt(table, QStringLiteral("champ BCD de %1 décimales").arg(f.decimals));
        } else {
            f.size = sizeByte;
        }
        if (!sizeFits(f.type, f.size))
            corrupt(table, QStringLiteral("champ %1 de type %2 et de taille %3").arg(i + 1).arg(f.type).arg(f.size));
        f.offset = offset;
        offset += f.size;
        h.fields.push_back(f);
    }
    const bool indexFile = h.fileType == 1 || h.fileType == 4 || h.fileType == 7;
    const int payload = indexFile ? h.recordSize - 6 : h.recordSize;
    if (offset != payload)
        corrupt(table, QStringLiteral("les champs occupent %1 octets pour des enregistrements de %2")
                           .arg(offset).arg(h.recordSize));

    if (h.fileType == 0) {
        if (keyFields < 1 || keyFields > numFields)
            corrupt(table, QStringLiteral("nombre de champs de clé %1").arg(keyFields));
        h.keyFields = keyFields;
    } else if (indexFile) {
        h.keyFields = numFields;
    } else if (h.fileType != 2) {
        // A secondary index's records are keyed on every field but the last.
        if (keyFields < 1 || keyFields > numFields)
            corrupt(table, QStringLiteral("nombre de champs de clé %1").arg(keyFields));
        h.keyFields = keyFields;
    }

    // Field names follow a pointer table and the table name; index files have none.
    if (!indexFile) {
        const int tableNameLen = h.versionId >= 12 ? 261 : 79;
        int q = p + 2 * numFields + 4 + 4 * numFields + tableNameLen;
        QSet<QString> seen;
        for (int i = 0; i < numFields; ++i) {
            const int end = q < h.headerSize ? bytes.indexOf('\0', q) : -1;
            if (end < 0 || end >= h.headerSize)
                corrupt(table, QStringLiteral("noms de champs hors de l'en-tête"));
            h.fields[i].rawName = bytes.mid(q, end - q);
            if (h.fields[i].rawName.isEmpty())
                corrupt(table, QStringLiteral("champ %1 sans nom").arg(i + 1));
            const QString upper = QString::fromLatin1(h.fields[i].rawName).toUpper();
            if (seen.contains(upper))
                corrupt(table, QStringLiteral("deux champs nommés %1").arg(upper));
            seen.insert(upper);
            q = end + 1;
        }
        // Field numbers, then the name of the sort order (and a secondary
        // index's own name).
        if (q + 2 * numFields <= h.headerSize)
            for (int i = 0; i < numFields; ++i)
                h.fieldNumbers.push_back(qint16(le16(b + q + 2 * i)));
        q += 2 * numFields;
        if (q < h.headerSize) {
            const int end = bytes.indexOf('\0', q);
            if (end > q && end < h.headerSize && end - q < 32) {
                h.sortOrderName = bytes.mid(q, end - q);
                const int labelEnd = bytes.indexOf('\0', end + 1);
                if (labelEnd > end + 1 && labelEnd < h.headerSize)
                    h.indexLabel = bytes.mid(end + 1, labelEnd - end - 1);
            }
        }
    }

    if (lenient)
        return h;
    if (qint64(h.headerSize) + qint64(h.fileBlocks) * h.blockSize > fileSize)
        corrupt(table, QStringLiteral("fichier tronqué : %1 blocs annoncés, %2 octets présents")
                           .arg(h.fileBlocks).arg(fileSize));
    if (h.firstBlock > h.fileBlocks || h.lastBlock > h.fileBlocks)
        corrupt(table, QStringLiteral("numéro de bloc hors du fichier"));
    if (h.numRecords < 0 || qint64(h.numRecords) > qint64(h.fileBlocks) * h.recordsPerBlock())
        corrupt(table, QStringLiteral("%1 enregistrements annoncés pour %2 blocs").arg(h.numRecords).arg(h.fileBlocks));
    return h;
}

std::vector<BlockInfo> walkBlocks(const Header &h, const QByteArray &file, const QString &table)
{
    return walkBlocks(h, file.size(), [&](qint64 at) { return file.mid(at, 6); }, table);
}

std::vector<BlockInfo> walkBlocks(const Header &h, qint64 fileSize, const std::function<QByteArray(qint64)> &readLink,
                                  const QString &table)
{
    std::vector<BlockInfo> out;
    std::vector<bool> visited(size_t(h.fileBlocks) + 1, false);
    const int perBlock = h.recordsPerBlock();
    qint64 total = 0;
    int block = h.firstBlock;
    while (block != 0) {
        if (block < 1 || block > h.fileBlocks || visited[block])
            corrupt(table, QStringLiteral("chaînage des blocs incohérent (bloc %1)").arg(block));
        visited[block] = true;
        const qint64 at = h.blockOffset(block);
        const QByteArray link = at + h.blockSize > fileSize ? QByteArray() : readLink(at);
        if (link.size() != 6)
            corrupt(table, QStringLiteral("bloc %1 hors du fichier").arg(block));
        const char *p = link.constData();
        const int add = qint16(le16(p + 4));
        if (add < -h.recordSize || (add + h.recordSize) % h.recordSize != 0)
            corrupt(table, QStringLiteral("taille de bloc %1 incohérente").arg(block));
        int n = add / h.recordSize + 1;
        // A block claiming more than it can hold has only deleted records.
        if (n > perBlock)
            n = 0;
        total += n;
        out.push_back(BlockInfo{block, at, n});
        block = le16(p);
    }
    if (total != h.numRecords)
        corrupt(table, QStringLiteral("%1 enregistrements dans les blocs, %2 dans l'en-tête").arg(total).arg(h.numRecords));
    return out;
}

} // namespace db::paradox
