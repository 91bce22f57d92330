#pragma once
#include "db/DbError.h"
#include "db/paradox/PxCodePage.h"
#include "db/paradox/PxFiles.h"
#include "db/paradox/PxFormat.h"
#include "db/paradox/PxLib.h"
#include "db/paradox/PxSecondary.h"
#include "db/paradox/PxValidity.h"

#include <QByteArray>
#include <QCollator>
#include <functional>
#include <QHash>
#include <QMultiHash>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace db::paradox {

// A second row with the key of an existing one.
class KeyViolation : public DbError {
public:
    using DbError::DbError;
};

// A value as SQLite sees it; text is UTF-8.
struct SqlValue {
    enum Type { Null, Integer, Real, Text, Blob };
    Type type = Null;
    qint64 i = 0;
    double d = 0;
    QByteArray bytes;

    static SqlValue integer(qint64 v) { SqlValue s; s.type = Integer; s.i = v; return s; }
    static SqlValue real(double v) { SqlValue s; s.type = Real; s.d = v; return s; }
    static SqlValue text(QByteArray utf8) { SqlValue s; s.type = Text; s.bytes = std::move(utf8); return s; }
    static SqlValue blob(QByteArray b) { SqlValue s; s.type = Blob; s.bytes = std::move(b); return s; }
};

// How one connection uses a table.
struct TableOptions {
    // The page of text for a table whose header names none (0: DOS US).
    int fallbackCodePage = 0;
    // Filling a table: auto-increment fields take the values given.
    bool loading = false;
};

// The .DB, .MB and .PX of a table: the memo file and the index as they exist
// beside it, in any letter case, or as new ones would be named.
Journal::Paths tableFiles(const QString &dbFile);

// The memory each table gives its cache of blocks (4 MB unless set; two
// blocks at least): a test sets a little to read small tables through a
// cache smaller than them.
void setBlockCacheBytes(qint64 bytes);

class Table;

// The tables one transaction of a connection changes. When its commit
// writes more than one of them, a group journal naming them goes on disk
// before the first table's own journal and is removed once every table is
// written: until then a crash rolls every one of them back.
class CommitGroup {
public:
    void join(Table *t);
    // Before a member's journal is written: the group journal's path when
    // the group needs one (written on the first call), else empty.
    QString prepare(const QString &directory, const QString &table);
    // The commit point of the whole group: the first member to commit removes its journal.
    void committing();
    // A member ends its transaction; undone says its rollback left nothing to undo later.
    void leave(Table *t, bool undone = true);

private:
    std::vector<Table *> m_members;
    QString m_path;   // the group journal, once written
    bool m_committed = false;
    bool m_undoFailed = false;
};

// One Paradox table (.DB with its .MB and .PX).
//
// What is kept of it is a list of its rows, each with where its record
// stands in the file: the records themselves are read a block at a time
// into a small cache, so that a table of any size costs a few dozen bytes a
// row. Only rows changed or added and not yet written keep their bytes. The
// list is read again when the files change on disk (size, modification time
// or inode); a record read while another program changes the file in place
// is refused. Rows keep a rowid for the life of the list; our own writes
// keep the list and its rowids, so that a cursor that positions by rowid
// stays on its row.
//
// Writes follow the engine's transaction: changes stay in memory (with an
// undo log for statement rollback) until sync(), which writes them with a
// journal of the former bytes; commit() drops the journal, rollback() plays
// it back. Changed records are rewritten where they stand; added and removed
// ones change only their blocks, keeping records in key order, as the
// desktop engine does: a block left empty leaves the chain for the file's
// list of free blocks (block 1 takes the rows of its neighbour instead), a
// full block that gets a row is split, and a new block is the first free
// one or goes at the end of the file. Only a table left without rows is
// written anew (a new .DB beside the old one, swapped in). The .PX, one
// entry per block and small beside the table, is written anew after any such
// change. Memos only ever go to the end of the .MB.
//
// Locking: an advisory flock() on the .DB, shared while reading it,
// exclusive from the first change of a statement to its end. A table locked
// by another program (one holding such a lock) reads and writes as an error.
class Table {
public:
    Table(const QString &dbFile, const QString &name, const TableOptions &options = TableOptions());
    // The connection's group of tables committed together; none: each commits alone.
    void setGroup(CommitGroup *group) { m_group = group; }
    bool hasChanges() const { return m_writeReady && !m_undo.empty(); }
    ~Table();
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;

    const QString &name() const { return m_name; }
    const QString &file() const { return m_paths[Journal::Db]; }
    int columnCount() const { return int(m_fields.size()); }
    const FieldInfo &field(int c) const { return m_fields[size_t(c)]; }
    int keyFields() const { return m_keyFields; }
    // The column list for sqlite3_declare_vtab().
    QString declaration() const;
    static QString declaredType(const FieldInfo &f);
    qint64 estimatedRows() const { return m_loaded ? qint64(m_rows.size()) : m_headerRecords; }

    // Reloads when the files changed since they were read. Throws db::DbError.
    void refresh();

    int slotCount() const { return int(m_rows.size()); }
    bool isLive(int slot) const { return m_rows[size_t(slot)].live; }
    qint64 rowidAt(int slot) const { return m_rows[size_t(slot)].rowid; }
    int slotOf(qint64 rowid) const { return m_slotByRowid.value(rowid, -1); }
    // Changes when hits are renumbered (reload, rewrite after deletes).
    unsigned generation() const { return m_generation; }

    SqlValue value(int slot, int col);
    // Slots that may hold rows whose column equals key, for an equality the
    // engine checks again; false when no index applies to this column or key.
    bool lookup(int col, const SqlValue &key, std::vector<int> *hits);
    bool isKeyColumn(int col) const { return m_keyFields == 1 && col == 0; }

    const Header &header() const { return m_header; }
    // Why the table cannot be written now (empty when it can): what the
    // first change of a statement would refuse, asked without locking.
    QString writeRefusal();
    // Writes every secondary index anew from the table's rows (a table just
    // filled). Throws db::DbError.
    // An index whose records do not tell whether it minds letter case (a
    // new composite one) is written as caseless says, when given.
    void rebuildSecondaryIndexes(std::optional<bool> caseless = std::nullopt);

    void begin();
    qint64 insert(const std::vector<std::optional<SqlValue>> &values, std::optional<qint64> rowid);
    // A missing value leaves the column as it is.
    void update(int slot, const std::vector<std::optional<SqlValue>> &values);
    void remove(int slot);
    void savepoint(int level);
    void release(int level);
    void rollbackTo(int level);
    void sync();
    void commit();
    void rollback();

private:
    struct Row {
        qint64 rowid = 0;
        qint64 filePos = -1;   // where the record is on disk; -1 for a new row
        // The record when changed or new; empty while it is the one at filePos.
        QByteArray raw;
        // Memo and blob contents not yet in the .MB, by column.
        std::shared_ptr<std::map<int, QByteArray>> pendingBlobs;
        bool live = true;
    };
    struct Undo {
        enum Kind { Insert, Delete, Update, AutoInc } kind;
        int slot = -1;
        Row old;
        bool keyChanged = false;
        qint32 autoInc = 0;
        std::vector<int> columns;   // an update's changed columns
    };
    struct BlockRows {
        int number = 0;           // block number in the file
        std::vector<int> members;   // its rows, in order
    };
    using SortKey = KeyOrder::Key;
    struct Pending;   // what sync() wrote, applied to memory by commit()
    struct MbSpace {
        bool trusted = false;              // the walk of the memo file's blocks ended at its end
        std::map<qint64, int> free;        // offset -> 4 KB chunks of each free block
    };

    void readHeaderOnly();
    void load(bool exclusiveHeld);
    void recoverJournal(bool exclusiveHeld);
    void prepareWrite();
    void checkWritable();
    void readValidityRules();
    void unlock();
    QString mbPath() const { return m_paths[Journal::Mb]; }
    QString pxPath() const { return m_paths[Journal::Px]; }
    QString journalPath() const { return file() + QStringLiteral(".aldjrn"); }
    bool hasBlobFields() const;

    QByteArray blobContent(const Row &row, int col);
    SqlValue valueOf(const Row &row, int col);
    // The row's record, its own or in the block cache: valid until the cache
    // has read a few more blocks, so never kept past the next record's use.
    const char *record(const Row &row);
    // Gives the row bytes of its own, to be changed.
    void detach(Row &row);
    // The key of the first row of a block, remembered for the rows not
    // changed since: the primary index and the search of a new row's block
    // use it for every block, and need not read them all.
    QByteArray blockKey(int slot);
    void openData();
    void dropCache();
    QString keyText(const Row &row) const;
    void encode(int col, const SqlValue &v, Row &row);
    void setBlob(int col, const QByteArray &content, Row &row);
    QByteArrayView keyOf(const char *raw) const { return QByteArrayView(raw, m_keySize); }
    // Indexes hold hashes of keys: the key index compares the rows it finds,
    // the engine checks again what the column indexes give.
    QMultiHash<size_t, int> &keyIndex();
    int slotOfKey(QByteArrayView key);
    QMultiHash<size_t, int> *columnIndex(int col);
    std::optional<QByteArray> indexKey(int col, const SqlValue &v) const;
    // Adds or removes a row's entries in every index built so far.
    // Adds or removes a row's entries; only those of the given columns when
    // a list is given (an entry's removal walks every row of its value: a
    // column of few values, a physician's, holds thousands).
    void indexRow(int slot, bool add, bool withKey = true, const std::vector<int> *columns = nullptr);
    void dropIndexes();
    void undoTo(size_t mark);
    SortKey sortKey(const char *raw);
    static bool keyLess(const SortKey &a, const SortKey &b) { return KeyOrder::less(a, b); }
    KeyOrder &keyOrder();
    // The secondary indexes, read once per loading of the table; throws
    // the refusal of one this engine cannot keep up to date.
    const std::vector<SecondaryIndex> &secondaryIndexes();
    // The .X and .Y files of every secondary index for the table's blocks
    // as a statement leaves them; rawOf gives a row's record.
    void planSecondary(Pending &p, const std::vector<BlockRows> &blocks, const std::function<const char *(int)> &rawOf);
    // Every index file (.X and .Y) as these blocks and rows make it; an
    // index silent on letter case is built as caseless says, when given.
    std::vector<std::pair<QString, QByteArray>> secondaryContents(const std::vector<BlockRows> &blocks,
                                                                  const std::function<const char *(int)> &rawOf,
                                                                  std::optional<bool> caseless = std::nullopt);
    std::vector<IndexEntry> indexEntries(const std::vector<BlockRows> &blocks,
                                         const std::function<QByteArray(int)> &keyOf) const;
    const QByteArray &pxHeader();
    MbSpace walkMemoFile();
    void planMemos(Pending &p, const std::set<int> &updated, const std::set<int> &inserted);
    bool planBlocks(Pending &p, const std::vector<int> &gone, std::vector<int> arriving);
    void planRewrite(Pending &p, bool sort);
    void compact();
    [[noreturn]] void fail(const QString &message) const;
    [[noreturn]] void refuseAutoInc(int col) const;
    int codePageOf(const Header &h) const;

    QString m_name;
    int m_fallbackCodePage = 0;
    bool m_loading = false;
    Journal::Paths m_paths;
    std::vector<FieldInfo> m_fields;   // as declared to SQLite
    int m_keyFields = 0;
    int m_keySize = 0;
    qint64 m_headerRecords = 0;

    // The loaded state.
    bool m_loaded = false;
    Header m_header;
    QByteArray m_headerBytes;
    std::unique_ptr<CodePage> m_codePage;
    Signature m_dbSig;
    Signature m_mbSig;
    File m_mb;
    qint64 m_mbSize = 0;
    std::optional<MbSpace> m_mbSpace;   // walked when a statement first needs it
    // Fingerprints of the .DB and .MB as read (computed when first written).
    std::optional<quint64> m_dbPrint;
    std::optional<quint64> m_mbPrint;
    std::vector<Row> m_rows;            // may hold deleted rows (live false)
    std::vector<BlockRows> m_blocks;    // the file's data blocks, in chain order
    std::vector<int> m_freeBlocks;      // the file's list of free blocks, its head first
    // The .DB as it was read, for the records: a file swapped in by another
    // program leaves this one as it was; one written in place is noticed by
    // its state, taken when opened.
    File m_data;
    Signature m_dataState;
    struct CachedBlock {
        int number = 0;
        quint64 used = 0;
        QByteArray bytes;
    };
    std::vector<CachedBlock> m_cache;
    QHash<int, int> m_cacheIndex;       // block number -> entry of m_cache
    quint64 m_cacheClock = 0;
    int m_lastBlock = -1;               // the entry used last, for the next record of a scan
    qint64 m_lastFrom = 0;              // and where its block starts in the file
    QHash<int, QByteArray> m_blockKeys; // slot -> key, for rows as on disk
    QByteArray m_pxHeader;
    std::unique_ptr<KeyOrder> m_keyOrder;
    std::optional<std::vector<SecondaryIndex>> m_secondary;
    QHash<qint64, int> m_slotByRowid;
    qint64 m_nextRowid = 1;
    unsigned m_generation = 0;
    std::unique_ptr<QMultiHash<size_t, int>> m_keyIndex;
    std::vector<std::unique_ptr<QMultiHash<size_t, int>>> m_columnIndex;
    // The .PX was found consistent with the .DB for these file states.
    std::pair<Signature, Signature> m_pxCheckedFor;

    // The transaction.
    bool m_inTransaction = false;
    bool m_writeReady = false;
    File m_lock;
    std::vector<Undo> m_undo;
    std::vector<size_t> m_savepoints;
    qint32 m_autoInc = 0;
    std::unique_ptr<Pending> m_pending;
    CommitGroup *m_group = nullptr;

    // The .VAL's checks, read for each write statement.
    std::optional<ValidityRules> m_validity;
};

} // namespace db::paradox
