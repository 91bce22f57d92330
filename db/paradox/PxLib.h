#pragma once
#include "db/paradox/PxFormat.h"

#include <QString>
#include <optional>

struct px_doc;

namespace db::paradox {

// One pxlib document whose errors are kept instead of printed on stderr.
class PxDoc {
public:
    PxDoc();
    ~PxDoc();
    PxDoc(const PxDoc &) = delete;
    PxDoc &operator=(const PxDoc &) = delete;

    px_doc *get() const { return m_doc; }
    QString lastError() const { return m_error; }
    void noteError(const char *msg);

private:
    px_doc *m_doc = nullptr;
    QString m_error;
};

// Scalar field codecs. Blank fields (all zero bytes) read as nothing: pxlib
// 0.6.8 reads a blank long as -2147483648 on 64-bit systems.
std::optional<qint64> readInteger(const FieldInfo &f, const char *data);
std::optional<double> readFloat(const FieldInfo &f, const char *data);
// BCD as decimal text with a point ("-13.5").
std::optional<QByteArray> readBcd(const FieldInfo &f, const char *data);
void writeInteger(const FieldInfo &f, char *data, qint64 v);
void writeFloat(const FieldInfo &f, char *data, double v);
void writeBcd(const FieldInfo &f, char *data, const QByteArray &decimalText);

// What a primary index says of one data block: its number, its record
// count and the key of its first record. Entries follow the chain of blocks.
struct IndexEntry {
    int block = 0;
    int records = 0;
    QByteArray firstKey;
};

// Sets the counts of a header whose blocks 1 to n hold these records,
// chained in order (the file's blocks all in use).
void putChainCounts(char *header, qint64 records, int blocks);

// The header of an empty .PX on the table's key, as pxlib writes it.
QByteArray primaryIndexHeader(const Header &db, const QString &table);

// A whole .PX for these blocks: one index block when the entries fit, else
// levels of index blocks up to one root block, the root first in the file.
// Throws db::DbError when the index would pass the format's limits.
QByteArray buildPrimaryIndex(const QByteArray &header, const Header &db, const std::vector<IndexEntry> &entries,
                             const QString &table);

// Empty string when the .PX indexes exactly these blocks; otherwise what
// differs. Follows the tree from its root, whatever its number of levels.
QString checkPrimaryIndex(const QByteArray &pxBytes, const Header &db, const std::vector<IndexEntry> &entries,
                          const QString &table);

struct NewField {
    QByteArray rawName;   // in the table's code page
    int type = 0;
    int size = 0;         // bytes in the record (BCD: 17)
    int decimals = 0;
};

// The header block of an empty file of this type (a table, or a secondary
// index's .X file) holding these fields, as pxlib writes it.
QByteArray emptyFileHeader(const std::vector<NewField> &fields, int fileType, int keyFields, int blockKb, int codePage,
                           int sortOrder, const QByteArray &tableName, const QString &table);

// The block size (in KB) of a new table meant for about expectedRows rows.
// Throws db::DbError when no block size of the format can hold them.
int blockSizeFor(int recordSize, int keySize, qint64 expectedRows, const QString &table);

// Creates an empty table (and its memo file when a field needs one), with
// blocks large enough for expectedRows rows.
void createEmptyTable(const QString &dbFile, const QString &mbFile, const std::vector<NewField> &fields,
                      int keyFields, int codePage, const QString &table, qint64 expectedRows = 0);

} // namespace db::paradox
