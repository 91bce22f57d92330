#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace db::paradox {

// Field type codes as the file stores them.
enum FieldType : std::uint8_t {
    ftAlpha = 0x01,
    ftDate = 0x02,
    ftShort = 0x03,
    ftLong = 0x04,
    ftCurrency = 0x05,
    ftNumber = 0x06,
    ftLogical = 0x09,
    ftMemo = 0x0C,
    ftBlob = 0x0D,
    ftFmtMemo = 0x0E,
    ftOle = 0x0F,
    ftGraphic = 0x10,
    ftTime = 0x14,
    ftTimestamp = 0x15,
    ftAutoInc = 0x16,
    ftBcd = 0x17,
    ftBytes = 0x18,
};

bool isBlobType(int type);
// Values of these types are compared as numbers by the index lookups.
bool isNumericType(int type);
QString typeName(int type);

struct FieldInfo {
    QByteArray rawName;   // as stored, in the table's code page
    QString name;         // decoded
    int type = 0;
    int size = 0;         // bytes in the record
    int decimals = 0;     // BCD only: digits after the point
    int offset = 0;       // from the start of the record
};

// What the engine needs of a .DB or .PX header, checked against the file size
// before anything trusts it: pxlib itself reads past buffers on bad headers.
struct Header {
    int recordSize = 0;
    int headerSize = 0;
    int fileType = 0;          // 0 keyed table, 2 table without key, 1 primary index, 3 to 8 secondary index files
    int blockSize = 0;         // bytes
    qint32 numRecords = 0;
    int fileBlocks = 0;
    int firstBlock = 0;
    int lastBlock = 0;
    int keyFields = 0;
    int versionId = 0;         // file version byte (3 to 12)
    int codePage = 0;          // 0 when the header has no data part
    int sortOrder = 0;
    QByteArray sortOrderName;  // "ascii", "intl850", "ANSIINTL"...
    std::vector<int> fieldNumbers;   // as stored after the names (a secondary index: the table's fields it sorts on)
    QByteArray indexLabel;     // a secondary index's name, after the sort order
    qint32 autoInc = 0;
    bool writeProtected = false;
    bool encrypted = false;
    std::vector<FieldInfo> fields;   // for an index: its key fields, unnamed

    int recordsPerBlock() const { return (blockSize - 6) / recordSize; }
    qint64 blockOffset(int block) const { return headerSize + qint64(block - 1) * blockSize; }
    int keySize() const;
};

// Block numbers are unsigned words: a file holds at most this many blocks.
constexpr int kMaxBlocks = 65535;

// Offsets in the fixed header that a rewrite patches.
namespace hdr {
constexpr int NumRecords = 0x06;
constexpr int NextBlock = 0x0A;
constexpr int FileBlocks = 0x0C;
constexpr int FirstBlock = 0x0E;
constexpr int LastBlock = 0x10;
constexpr int IndexRoot = 0x1E;
constexpr int IndexLevels = 0x20;
constexpr int MaxBlocks = 0x3A;
constexpr int AutoInc = 0x49;
constexpr int FirstFreeBlock = 0x4D;
constexpr int Fixed = 0x58;
} // namespace hdr

// Throws db::DbError naming the table when the header cannot be trusted.
// fileBytes is at least the header; fileSize the size of the whole file.
// A lenient reading only wants the field list: it lets an unknown version
// and block counts the file does not hold pass, so that a table whose data
// cannot be read still shows its columns (and says why at each use).
Header parseHeader(const QByteArray &fileBytes, qint64 fileSize, const QString &table, bool lenient = false);

struct BlockInfo {
    int number = 0;
    qint64 offset = 0;   // of the block in the file
    int records = 0;
};

// Follows the chain of data blocks from the first one, refusing loops,
// blocks outside the file and a record count other than the header's.
std::vector<BlockInfo> walkBlocks(const Header &h, const QByteArray &file, const QString &table);
// The same from the file itself: readLink gives the first 6 bytes of a
// block (empty when they cannot be read).
std::vector<BlockInfo> walkBlocks(const Header &h, qint64 fileSize, const std::function<QByteArray(qint64)> &readLink,
                                  const QString &table);

inline std::uint16_t le16(const char *p)
{
    return std::uint16_t(std::uint8_t(p[0]) | (std::uint8_t(p[1]) << 8));
}
inline std::uint32_t le32(const char *p)
{
    return std::uint32_t(std::uint8_t(p[0])) | (std::uint32_t(std::uint8_t(p[1])) << 8)
        | (std::uint32_t(std::uint8_t(p[2])) << 16) | (std::uint32_t(std::uint8_t(p[3])) << 24);
}
inline void putLe16(char *p, std::uint16_t v)
{
    p[0] = char(v & 0xff);
    p[1] = char(v >> 8);
}
inline void putLe32(char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xff);
}

// Dates are days from 1 January of year 1 (that day is 1); a timestamp is
// milliseconds on the same scale; a time milliseconds since midnight.
constexpr qint64 kJulianDayOffset = 1721425;

} // namespace db::paradox
