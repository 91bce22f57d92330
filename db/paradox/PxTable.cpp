#include "db/paradox/PxTable.h"
#include "db/DbError.h"
#include "db/Formats.h"
#include "db/paradox/PxLib.h"
#include "db/paradox/PxRecovery.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <set>
#include <unistd.h>

namespace db::paradox {

namespace {

constexpr int kLockWaitMs = 1000;
constexpr qint64 kMsPerDay = 86400000;
// 30 December 1899, the platform's zero date, on the scale of dates.
constexpr qint64 kZeroDay = 693594;
constexpr int kMbBlock = 4096;
// The blocks of records kept in memory at once.
std::atomic<qint64> g_cacheBytes{4 << 20};

// The .MB or .PX of a table: an existing file of any letter case, or the
// name a new one gets, in the case of the table's own extension.
QString companion(const QString &dbFile, const QString &ext)
{
    const QFileInfo fi(dbFile);
    const QString base = fi.completeBaseName();
    const QDir dir = fi.absoluteDir();
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        const QFileInfo c(name);
        if (c.completeBaseName() == base && c.suffix().compare(ext, Qt::CaseInsensitive) == 0)
            return dir.filePath(name);
    }
    const bool lower = fi.suffix() == fi.suffix().toLower();
    return dir.filePath(base + QLatin1Char('.') + (lower ? ext.toLower() : ext.toUpper()));
}

// The texts formats::storageText() writes, built here without QString:
// every date and time of a scan goes through them.
QByteArray dateText(qint64 days)
{
    const QDate d = QDate::fromJulianDay(days + kJulianDayOffset);
    char buf[40];
    std::snprintf(buf, sizeof buf, d.year() < 0 ? "-%04d-%02d-%02d" : "%04d-%02d-%02d", std::abs(d.year()), d.month(),
                  d.day());
    return QByteArray(buf);
}

QByteArray timeText(qint64 msOfDay)
{
    const qint64 s = msOfDay / 1000;
    const int ms = int(msOfDay % 1000);
    char buf[24];
    std::snprintf(buf, sizeof buf, ms ? "%02d:%02d:%02d.%03d" : "%02d:%02d:%02d", int(s / 3600), int(s / 60 % 60),
                  int(s % 60), ms);
    return QByteArray(buf);
}

// Days and milliseconds on the scale of dates, as text; nothing when no date
// can hold them.
std::optional<QByteArray> momentText(qint64 days, qint64 msOfDay)
{
    if (!QDate::fromJulianDay(days + kJulianDayOffset).isValid())
        return std::nullopt;
    return dateText(days) + ' ' + timeText(msOfDay);
}

QString quoted(const QString &ident)
{
    QString e = ident;
    e.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + e + QLatin1Char('"');
}

QString shown(const SqlValue &v)
{
    switch (v.type) {
    case SqlValue::Null: return QStringLiteral("vide");
    case SqlValue::Integer: return QString::number(v.i);
    case SqlValue::Real: return QString::number(v.d, 'g', 15);
    case SqlValue::Text: return QString::fromUtf8(v.bytes);
    case SqlValue::Blob: return QStringLiteral("(%1 octets)").arg(v.bytes.size());
    }
    return QString();
}

bool sameValue(const SqlValue &a, const SqlValue &b)
{
    if (a.type != b.type)
        return false;
    switch (a.type) {
    case SqlValue::Null: return true;
    case SqlValue::Integer: return a.i == b.i;
    case SqlValue::Real: return a.d == b.d;
    default: return a.bytes == b.bytes;
    }
}

QByteArray doubleKey(double d)
{
    if (d == 0)
        d = 0;   // one key for 0 and -0
    QByteArray k(9, 'n');
    std::memcpy(k.data() + 1, &d, 8);
    return k;
}

std::optional<double> parseNumber(const QByteArray &text)
{
    QByteArray t = text.trimmed();
    t.replace(',', '.');
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

} // namespace

struct Table::Pending {
    Pending(const QString &journal, const Journal::Paths &paths, const QString &table) : journal(journal, paths, table) {}
    Journal journal;
    bool layout = false;    // rows were added, removed or moved
    bool rewrite = false;   // the whole .DB is written again
    bool reorder = false;   // rows moved in the file
    std::vector<BlockRows> blocks;
    std::vector<int> freeBlocks;     // the free list after the statement, its head first
    std::set<int> changedBlocks;     // numbers of the blocks written whole
    int fileBlocks = 0;
    std::map<int, qint64> newPos;   // slot -> position of its record
    std::map<int, QByteArray> newRaw;   // slot -> record with its new memo pointers
    Header header;
    QByteArray headerBytes;
    qint64 mbSize = 0;
    // The memo file's writes (offset -> bytes) and its free blocks after them.
    std::map<qint64, QByteArray> mbWrites;
    std::optional<MbSpace> mbSpace;
    // Fingerprints of the files once written.
    quint64 dbPrint = 0;
    quint64 mbPrint = 0;
    std::vector<std::pair<int, QByteArray>> secondary;   // file of m_paths -> its new contents
};

void setBlockCacheBytes(qint64 bytes) { g_cacheBytes = bytes; }

Journal::Paths tableFiles(const QString &dbFile)
{
    Journal::Paths out{dbFile, companion(dbFile, QStringLiteral("MB")), companion(dbFile, QStringLiteral("PX"))};
    for (const QString &f : secondaryIndexFiles(dbFile))
        out.push_back(f);
    return out;
}

Table::Table(const QString &dbFile, const QString &name, const TableOptions &options)
    : m_name(name), m_fallbackCodePage(options.fallbackCodePage), m_loading(options.loading), m_paths(tableFiles(dbFile))
{
    readHeaderOnly();
}

Table::~Table()
{
    if (m_group)
        m_group->leave(this);
}

// ---------------------------------------------------------------------------
// Commits of several tables

void CommitGroup::join(Table *t)
{
    if (std::find(m_members.begin(), m_members.end(), t) == m_members.end())
        m_members.push_back(t);
}

QString CommitGroup::prepare(const QString &directory, const QString &table)
{
    if (!m_path.isEmpty())
        return m_path;
    QStringList files;
    for (const Table *t : m_members)
        if (t->hasChanges())
            files << t->file();
    if (files.size() < 2)
        return QString();
    static std::atomic<unsigned> counter{0};
    m_path = QDir(directory).filePath(QStringLiteral("aldurix-%1-%2-%3%4")
                                          .arg(::getpid())
                                          .arg(QDateTime::currentMSecsSinceEpoch())
                                          .arg(++counter)
                                          .arg(groupJournal::suffix()));
    groupJournal::write(m_path, files, table);
    return m_path;
}

void CommitGroup::committing()
{
    if (!m_path.isEmpty() && !m_committed) {
        groupJournal::remove(m_path);
        m_committed = true;
    }
}

void CommitGroup::leave(Table *t, bool undone)
{
    const auto it = std::find(m_members.begin(), m_members.end(), t);
    if (it == m_members.end())
        return;
    m_members.erase(it);
    m_undoFailed = m_undoFailed || !undone;
    if (!m_members.empty())
        return;
    // Rolled back: the group journal goes once no table journal needs it;
    // one whose undo failed is played back with the whole group later.
    if (!m_path.isEmpty() && !m_committed && !m_undoFailed)
        removeFile(m_path);
    m_path.clear();
    m_committed = false;
    m_undoFailed = false;
}

[[noreturn]] void Table::fail(const QString &message) const { throw DbError(message); }

int Table::codePageOf(const Header &h) const
{
    // Tables before Paradox 4 do not say their code page: the engine's
    // language driver does, or DOS US, the usual one then.
    if (h.codePage)
        return h.codePage;
    return m_fallbackCodePage ? m_fallbackCodePage : 437;
}

void Table::readHeaderOnly()
{
    File f;
    if (!f.open(file(), false))
        fail(QStringLiteral("La table %1 ne peut pas être ouverte (%2).").arg(m_name, f.errorText()));
    const qint64 size = f.size();
    const QByteArray head = f.read(0, std::min<qint64>(size, 0x10000));
    Header h;
    try {
        h = parseHeader(head, size, m_name);
    } catch (const DbError &strict) {
        // Its fields may still be known; loading will give the reason.
        try {
            h = parseHeader(head, size, m_name, true);
        } catch (const DbError &) {
            throw strict;
        }
    }
    if (h.fileType != 0 && h.fileType != 2)
        fail(QStringLiteral("Table %1 : ce fichier est un index, pas une table de données.").arg(m_name));
    if (h.encrypted)
        fail(QStringLiteral("La table %1 est protégée par un mot de passe ; ce moteur ne peut pas la lire.").arg(m_name));
    const CodePage cp(codePageOf(h), m_name);
    m_fields = h.fields;
    for (FieldInfo &fi : m_fields)
        fi.name = cp.decode(fi.rawName);
    m_keyFields = h.keyFields;
    m_keySize = h.keySize();
    m_headerRecords = h.numRecords;
    m_columnIndex.resize(m_fields.size());
}

QString Table::declaredType(const FieldInfo &f)
{
    switch (f.type) {
    case ftAlpha: return QStringLiteral("VARCHAR(%1)").arg(f.size);
    case ftNumber: return QStringLiteral("FLOAT");
    case ftCurrency: return QStringLiteral("MONEY");
    case ftBcd: return QStringLiteral("BCD");
    case ftShort: return QStringLiteral("SMALLINT");
    case ftLong: return QStringLiteral("INTEGER");
    case ftAutoInc: return QStringLiteral("INTEGER AUTOINC");
    case ftLogical: return QStringLiteral("BOOLEAN");
    case ftDate: return QStringLiteral("DATE");
    case ftTime: return QStringLiteral("TIME");
    case ftTimestamp: return QStringLiteral("DATETIME");
    // TEXT gives memos text affinity, so that they compare as text.
    case ftMemo: return QStringLiteral("MEMO TEXT");
    case ftFmtMemo: return QStringLiteral("FMTMEMO BLOB");
    case ftOle: return QStringLiteral("OLE BLOB");
    case ftGraphic: return QStringLiteral("GRAPHIC BLOB");
    case ftBytes: return QStringLiteral("BYTES BLOB");
    default: return QStringLiteral("BLOB");
    }
}

QString Table::declaration() const
{
    QStringList cols;
    for (const FieldInfo &f : m_fields)
        cols << quoted(f.name) + QLatin1Char(' ') + declaredType(f);
    return QStringLiteral("CREATE TABLE x(%1)").arg(cols.join(QStringLiteral(", ")));
}

bool Table::hasBlobFields() const
{
    for (const FieldInfo &f : m_fields)
        if (isBlobType(f.type))
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Reading

void Table::recoverJournal(bool exclusiveHeld)
{
    if (!QFileInfo::exists(journalPath()))
        return;
    // A change of several tables is undone in all of them, or kept in all.
    auto recover = [&] {
        if (const QString group = Journal::groupOf(journalPath()); !group.isEmpty())
            recoverGroup(group, file());
        if (QFileInfo::exists(journalPath()))
            Journal::recover(journalPath(), m_paths, m_name);
    };
    if (exclusiveHeld) {
        recover();
        return;
    }
    File lk;
    if (!lk.open(file(), true))
        fail(QStringLiteral("Table %1 : une modification interrompue doit être annulée, mais le fichier "
                            "n'est pas accessible en écriture (%2).").arg(m_name, lk.errorText()));
    if (!lk.lock(true, kLockWaitMs))
        fail(QStringLiteral("La table %1 est verrouillée par un autre programme ; fermez-le et recommencez.").arg(m_name));
    recover();
}

void Table::load(bool exclusiveHeld)
{
    recoverJournal(exclusiveHeld);
    File f;
    for (int attempt = 0;; ++attempt) {
        if (!f.open(file(), false))
            fail(QStringLiteral("La table %1 ne peut pas être ouverte (%2).").arg(m_name, f.errorText()));
        if (!exclusiveHeld && !f.lock(false, kLockWaitMs))
            fail(QStringLiteral("La table %1 est verrouillée par un autre programme ; fermez-le et recommencez.").arg(m_name));
        // A writer may have swapped in a new file while we waited for the lock.
        if (f.samePathAndFile() || attempt == 5)
            break;
    }
    const qint64 size = f.size();
    const QByteArray head = f.read(0, std::min<qint64>(size, 0x10000));
    if (head.size() != std::min<qint64>(size, 0x10000))
        fail(QStringLiteral("Table %1 : lecture du fichier incomplète.").arg(m_name));
    Header h = parseHeader(head, size, m_name);
    if (h.fileType != 0 && h.fileType != 2)
        fail(QStringLiteral("Table %1 : ce fichier est un index, pas une table de données.").arg(m_name));
    if (h.encrypted)
        fail(QStringLiteral("La table %1 est protégée par un mot de passe ; ce moteur ne peut pas la lire.").arg(m_name));
    bool same = h.fields.size() == m_fields.size() && h.keyFields == m_keyFields;
    for (size_t i = 0; same && i < m_fields.size(); ++i)
        same = h.fields[i].type == m_fields[i].type && h.fields[i].size == m_fields[i].size
            && h.fields[i].decimals == m_fields[i].decimals && h.fields[i].rawName == m_fields[i].rawName;
    if (!same)
        fail(QStringLiteral("La structure de la table %1 a changé depuis l'ouverture de la base ; "
                            "reconnectez-vous.").arg(m_name));
    auto codePage = std::make_unique<CodePage>(codePageOf(h), m_name);
    auto readLink = [&](qint64 at) { return f.read(at, 6); };
    const std::vector<BlockInfo> blocks = walkBlocks(h, size, readLink, m_name);

    File mb;
    qint64 mbSize = 0;
    if (hasBlobFields()) {
        m_paths[Journal::Mb] = companion(file(), QStringLiteral("MB"));
        if (!mb.open(mbPath(), false))
            fail(QStringLiteral("Table %1 : le fichier des mémos %2 est introuvable ou illisible (%3).")
                     .arg(m_name, QFileInfo(mbPath()).fileName(), mb.errorText()));
        mbSize = mb.size();
        if (mbSize < kMbBlock || mb.read(0, 1) != QByteArray(1, '\0'))
            fail(QStringLiteral("Table %1 : le fichier des mémos %2 est endommagé.").arg(m_name, QFileInfo(mbPath()).fileName()));
    }

    std::vector<Row> rows;
    rows.reserve(size_t(h.numRecords));
    std::vector<BlockRows> model;
    qint64 rowid = 0;
    for (const BlockInfo &b : blocks) {
        model.push_back(BlockRows{b.number, {}});
        for (int j = 0; j < b.records; ++j) {
            model.back().members.push_back(int(rows.size()));
            Row r;
            r.rowid = ++rowid;
            r.filePos = b.offset + 6 + qint64(j) * h.recordSize;
            rows.push_back(std::move(r));
        }
    }
    // The free list, followed as far as it is sound: a block outside the
    // file, in the chain or seen twice ends it (what follows is lost space).
    std::vector<int> freeBlocks;
    {
        std::vector<bool> taken(size_t(h.fileBlocks) + 1, false);
        for (const BlockInfo &b : blocks)
            taken[size_t(b.number)] = true;
        for (int b = le16(head.constData() + hdr::FirstFreeBlock); b != 0;) {
            if (b < 1 || b > h.fileBlocks || taken[size_t(b)] || h.blockOffset(b) + h.blockSize > size)
                break;
            const QByteArray link = f.read(h.blockOffset(b), 2);
            if (link.size() != 2)
                break;
            taken[size_t(b)] = true;
            freeBlocks.push_back(b);
            b = le16(link.constData());
        }
    }
    m_rows = std::move(rows);
    m_blocks = std::move(model);
    m_freeBlocks = std::move(freeBlocks);
    m_slotByRowid.clear();
    m_slotByRowid.reserve(qsizetype(m_rows.size()));
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_slotByRowid.insert(m_rows[i].rowid, int(i));
    m_nextRowid = rowid + 1;
    m_headerBytes = head.left(h.headerSize);
    m_header = std::move(h);
    // Opened while the file is locked: the one whose blocks were just walked.
    dropCache();
    m_data.close();
    if (!m_data.open(file(), false))
        fail(QStringLiteral("La table %1 ne peut pas être ouverte (%2).").arg(m_name, m_data.errorText()));
    m_dataState = m_data.state();
    m_codePage = std::move(codePage);
    m_keyOrder.reset();
    m_secondary.reset();
    m_paths.resize(Journal::Px + 1);
    for (const QString &x : secondaryIndexFiles(file()))
        m_paths.push_back(x);
    m_mb.close();
    if (mb.isOpen()) {
        m_mb.open(mbPath(), false);
        m_mbSize = mbSize;
    }
    m_mbSpace.reset();
    m_dbPrint.reset();
    m_mbPrint.reset();
    m_dbSig = m_dataState;
    m_mbSig = signatureOf(mbPath());
    m_headerRecords = m_header.numRecords;
    m_autoInc = m_header.autoInc;
    m_loaded = true;
    ++m_generation;
    m_blockKeys.clear();
    dropIndexes();
}

void Table::refresh()
{
    if (m_writeReady)
        return;   // our pending changes are the truth until the statement ends
    if (!m_loaded || signatureOf(file()) != m_dbSig || (hasBlobFields() && signatureOf(mbPath()) != m_mbSig))
        load(false);
}

void Table::dropCache()
{
    m_cache.clear();
    m_cacheIndex.clear();
    m_lastBlock = -1;
}

// After our own writes, under our exclusive lock: the file is the one the
// rows now describe, whether written in place or swapped in. One that cannot
// be opened again is read anew by the next statement.
void Table::openData()
{
    dropCache();
    m_data.close();
    if (m_data.open(file(), false))
        m_dataState = m_data.state();
    else
        m_loaded = false;
}

const char *Table::record(const Row &row)
{
    if (!row.raw.isNull())
        return row.raw.constData();
    // A scan reads the rows of a block one after the other.
    if (m_lastBlock >= 0 && row.filePos >= m_lastFrom && row.filePos < m_lastFrom + m_header.blockSize)
        return m_cache[size_t(m_lastBlock)].bytes.constData() + (row.filePos - m_lastFrom);
    const Header &h = m_header;
    const int number = int((row.filePos - h.headerSize) / h.blockSize) + 1;
    const qint64 within = row.filePos - h.blockOffset(number);
    int entry = m_cacheIndex.value(number, -1);
    if (entry < 0) {
        if (!m_data.isOpen() || m_data.state() != m_dataState)
            fail(QStringLiteral("La table %1 a été modifiée par un autre programme pendant sa lecture ; recommencez.").arg(m_name));
        QByteArray bytes = m_data.read(h.blockOffset(number), h.blockSize);
        if (bytes.size() != h.blockSize)
            fail(QStringLiteral("Table %1 : lecture du fichier incomplète.").arg(m_name));
        const size_t capacity = size_t(std::max<qint64>(2, g_cacheBytes / h.blockSize));
        if (m_cache.size() < capacity) {
            entry = int(m_cache.size());
            m_cache.push_back(CachedBlock());
        } else {
            entry = 0;
            for (size_t i = 1; i < m_cache.size(); ++i)
                if (m_cache[i].used < m_cache[size_t(entry)].used)
                    entry = int(i);
            m_cacheIndex.remove(m_cache[size_t(entry)].number);
        }
        m_cache[size_t(entry)] = CachedBlock{number, 0, std::move(bytes)};
        m_cacheIndex.insert(number, entry);
    }
    m_lastBlock = entry;
    m_lastFrom = h.blockOffset(number);
    m_cache[size_t(entry)].used = ++m_cacheClock;
    return m_cache[size_t(entry)].bytes.constData() + within;
}

void Table::detach(Row &row)
{
    if (row.raw.isNull())
        row.raw = QByteArray(record(row), m_header.recordSize);
}

QByteArray Table::blockKey(int slot)
{
    const Row &row = m_rows[size_t(slot)];
    if (!row.raw.isNull())
        return row.raw.left(m_keySize);
    if (const auto it = m_blockKeys.constFind(slot); it != m_blockKeys.constEnd())
        return *it;
    // A block already in the cache costs nothing; any other, a read of the key alone.
    QByteArray key;
    const Header &h = m_header;
    if (m_cacheIndex.contains(int((row.filePos - h.headerSize) / h.blockSize) + 1)) {
        key = QByteArray(record(row), m_keySize);
    } else {
        if (!m_data.isOpen() || m_data.state() != m_dataState)
            fail(QStringLiteral("La table %1 a été modifiée par un autre programme pendant sa lecture ; recommencez.").arg(m_name));
        key = m_data.read(row.filePos, m_keySize);
        if (key.size() != m_keySize)
            fail(QStringLiteral("Table %1 : lecture du fichier incomplète.").arg(m_name));
    }
    m_blockKeys.insert(slot, key);
    return key;
}

QByteArray Table::blobContent(const Row &row, int col)
{
    if (row.pendingBlobs) {
        const auto it = row.pendingBlobs->find(col);
        if (it != row.pendingBlobs->end())
            return it->second;
    }
    const FieldInfo &f = m_fields[size_t(col)];
    const char *d = record(row) + f.offset;
    const int leader = f.size - 10;
    const quint32 ptr = le32(d + leader);
    const qint64 size = le32(d + leader + 4);
    if (size == 0)
        return QByteArray();
    if (size <= leader)
        return QByteArray(d, size);
    auto bad = [&](const QString &why) {
        fail(QStringLiteral("Table %1 : le contenu du champ %2 est illisible dans %3 (%4).")
                 .arg(m_name, f.name, QFileInfo(mbPath()).fileName(), why));
    };
    if (!m_mb.isOpen())
        bad(QStringLiteral("fichier absent"));
    const qint64 offset = ptr & 0xffffff00u;
    const int index = int(ptr & 0xff);
    if (offset < kMbBlock || offset + 12 > m_mbSize)
        bad(QStringLiteral("adresse %1 hors du fichier").arg(offset));
    const QByteArray head = m_mb.read(offset, 12);
    if (head.size() != 12)
        bad(QStringLiteral("lecture impossible"));
    QByteArray data;
    if (head[0] == 2) {
        if (index != 0xff || le32(head.constData() + 3) != quint32(size) || offset + 9 + size > m_mbSize)
            bad(QStringLiteral("bloc de %1 octets incohérent").arg(size));
        data = m_mb.read(offset + 9, size);
    } else if (head[0] == 3) {
        if (index >= 64)
            bad(QStringLiteral("index %1 de sous-bloc").arg(index));
        const QByteArray e = m_mb.read(offset + 12 + index * 5, 5);
        if (e.size() != 5)
            bad(QStringLiteral("lecture impossible"));
        const int start = static_cast<unsigned char>(e[0]) * 16;
        const int chunks = static_cast<unsigned char>(e[1]);
        const int tail = static_cast<unsigned char>(e[4]);
        if (chunks < 1 || tail < 1 || tail > 16 || (chunks - 1) * 16 + tail != size || start < 12 + 64 * 5
            || start + size > kMbBlock || offset + start + size > m_mbSize)
            bad(QStringLiteral("sous-bloc de %1 octets incohérent").arg(size));
        data = m_mb.read(offset + start, size);
    } else {
        bad(QStringLiteral("bloc de type %1").arg(int(static_cast<unsigned char>(head[0]))));
    }
    if (data.size() != size)
        bad(QStringLiteral("fichier tronqué"));
    return data;
}

SqlValue Table::value(int slot, int col) { return valueOf(m_rows[size_t(slot)], col); }

QString Table::keyText(const Row &row) const
{
    QStringList parts;
    for (int c = 0; c < m_keyFields; ++c)
        parts << shown(const_cast<Table *>(this)->valueOf(row, c));
    return parts.join(QStringLiteral(", "));
}

SqlValue Table::valueOf(const Row &row, int col)
{
    const FieldInfo &f = m_fields[size_t(col)];
    const char *d = record(row) + f.offset;
    switch (f.type) {
    case ftAlpha: {
        const int len = int(strnlen(d, size_t(f.size)));
        if (len == 0)
            return SqlValue();
        return SqlValue::text(m_codePage->decodeToUtf8(QByteArrayView(d, len)));
    }
    case ftShort:
    case ftLong:
    case ftAutoInc:
    case ftLogical: {
        const auto v = readInteger(f, d);
        return v ? SqlValue::integer(*v) : SqlValue();
    }
    case ftNumber:
    case ftCurrency: {
        const auto v = readFloat(f, d);
        return v ? SqlValue::real(*v) : SqlValue();
    }
    case ftBcd: {
        const auto v = readBcd(f, d);
        return v ? SqlValue::real(v->toDouble()) : SqlValue();
    }
    // Every stored value reads as the moment it encodes, before year 1 too:
    // only the blank field is NULL.
    case ftDate: {
        const auto v = readInteger(f, d);
        return v ? SqlValue::text(dateText(*v) + " 00:00:00") : SqlValue();
    }
    case ftTime: {
        // A time outside the day moves the platform's zero date, as its
        // date-times do.
        const auto v = readInteger(f, d);
        if (!v)
            return SqlValue();
        const qint64 day = *v >= 0 ? *v / kMsPerDay : -((-*v + kMsPerDay - 1) / kMsPerDay);
        return SqlValue::text(*momentText(kZeroDay + day, *v - day * kMsPerDay));
    }
    case ftTimestamp: {
        const auto v = readFloat(f, d);
        // Damaged bytes can hold anything, NaN included.
        if (!v || !std::isfinite(*v) || std::abs(*v) > 9e18)
            return SqlValue();
        const qint64 ms = std::llround(*v);
        const qint64 days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
        const auto text = momentText(days, ms - days * kMsPerDay);
        return text ? SqlValue::text(*text) : SqlValue();
    }
    case ftBytes: {
        if (std::all_of(d, d + f.size, [](char c) { return c == 0; }))
            return SqlValue();
        return SqlValue::blob(QByteArray(d, f.size));
    }
    default: {
        QByteArray content = blobContent(row, col);
        if (content.isEmpty())
            return SqlValue();
        if (f.type == ftMemo)
            return SqlValue::text(m_codePage->decodeToUtf8(content));
        // A graphic starts with 8 bytes of its own: a marker and the image size.
        if (f.type == ftGraphic)
            return content.size() > 8 ? SqlValue::blob(content.mid(8)) : SqlValue();
        return SqlValue::blob(content);
    }
    }
}

// ---------------------------------------------------------------------------
// Equality look-ups

std::optional<QByteArray> Table::indexKey(int col, const SqlValue &v) const
{
    const int type = m_fields[size_t(col)].type;
    if (v.type == SqlValue::Null)
        return QByteArray();   // "= NULL" matches nothing
    if (isNumericType(type)) {
        if (v.type == SqlValue::Integer)
            return doubleKey(double(v.i));
        if (v.type == SqlValue::Real)
            return doubleKey(v.d);
        if (v.type == SqlValue::Text)
            if (const auto d = parseNumber(v.bytes))
                return doubleKey(*d);
        return std::nullopt;
    }
    if (v.type == SqlValue::Text)
        return QByteArray(1, 't') + v.bytes;
    return std::nullopt;
}

QMultiHash<size_t, int> *Table::columnIndex(int col)
{
    auto &idx = m_columnIndex[size_t(col)];
    if (!idx) {
        idx = std::make_unique<QMultiHash<size_t, int>>();
        idx->reserve(qsizetype(m_rows.size()));
        for (int s = 0; s < int(m_rows.size()); ++s) {
            if (!m_rows[size_t(s)].live)
                continue;
            const auto k = indexKey(col, value(s, col));
            if (k && !k->isEmpty())
                idx->insert(qHash(*k), s);
        }
    }
    return idx.get();
}

bool Table::lookup(int col, const SqlValue &key, std::vector<int> *hits)
{
    const int type = m_fields[size_t(col)].type;
    if (isBlobType(type) || type == ftBytes)
        return false;
    const auto k = indexKey(col, key);
    if (!k)
        return false;
    hits->clear();
    if (k->isEmpty())
        return true;
    const auto *idx = columnIndex(col);
    const size_t h = qHash(*k);
    for (auto it = idx->constFind(h); it != idx->constEnd() && it.key() == h; ++it)
        if (m_rows[size_t(it.value())].live)
            hits->push_back(it.value());
    std::sort(hits->begin(), hits->end());
    return true;
}

QMultiHash<size_t, int> &Table::keyIndex()
{
    if (!m_keyIndex) {
        m_keyIndex = std::make_unique<QMultiHash<size_t, int>>();
        m_keyIndex->reserve(qsizetype(m_rows.size()));
        for (int s = 0; s < int(m_rows.size()); ++s)
            if (m_rows[size_t(s)].live)
                m_keyIndex->insert(qHash(keyOf(record(m_rows[size_t(s)]))), s);
    }
    return *m_keyIndex;
}

int Table::slotOfKey(QByteArrayView key)
{
    const auto &idx = keyIndex();
    const size_t h = qHash(key);
    for (auto it = idx.constFind(h); it != idx.constEnd() && it.key() == h; ++it)
        if (m_rows[size_t(it.value())].live && keyOf(record(m_rows[size_t(it.value())])) == key)
            return it.value();
    return -1;
}

void Table::indexRow(int slot, bool add, bool withKey, const std::vector<int> *columns)
{
    const Row &row = m_rows[size_t(slot)];
    if (withKey && m_keyFields > 0 && m_keyIndex) {
        const size_t h = qHash(keyOf(record(row)));
        if (add)
            m_keyIndex->insert(h, slot);
        else
            m_keyIndex->remove(h, slot);
    }
    for (int c = 0; c < columnCount(); ++c) {
        if (columns && std::find(columns->begin(), columns->end(), c) == columns->end())
            continue;
        auto &idx = m_columnIndex[size_t(c)];
        if (!idx)
            continue;
        const auto k = indexKey(c, value(slot, c));
        if (!k || k->isEmpty())
            continue;
        if (add)
            idx->insert(qHash(*k), slot);
        else
            idx->remove(qHash(*k), slot);
    }
}

void Table::dropIndexes()
{
    m_keyIndex.reset();
    for (auto &idx : m_columnIndex)
        idx.reset();
}

// ---------------------------------------------------------------------------
// Encoding values

void Table::setBlob(int col, const QByteArray &content, Row &row)
{
    const FieldInfo &f = m_fields[size_t(col)];
    char *d = row.raw.data() + f.offset;
    const int leader = f.size - 10;
    std::memset(d, 0, size_t(f.size));
    if (row.pendingBlobs && row.pendingBlobs->count(col)) {
        row.pendingBlobs = std::make_shared<std::map<int, QByteArray>>(*row.pendingBlobs);
        row.pendingBlobs->erase(col);
    }
    if (content.isEmpty())
        return;
    putLe32(d + leader + 4, quint32(content.size()));
    // Contents that fit the field stay in the record; longer ones keep their
    // first bytes there and go whole to the memo file when the statement ends.
    if (content.size() <= leader) {
        std::memcpy(d, content.constData(), size_t(content.size()));
        return;
    }
    std::memcpy(d, content.constData(), size_t(leader));
    row.pendingBlobs = row.pendingBlobs ? std::make_shared<std::map<int, QByteArray>>(*row.pendingBlobs)
                                        : std::make_shared<std::map<int, QByteArray>>();
    (*row.pendingBlobs)[col] = content;
}

void Table::encode(int col, const SqlValue &v, Row &row)
{
    const FieldInfo &f = m_fields[size_t(col)];
    char *d = row.raw.data() + f.offset;
    auto refusal = [&](const QString &why) {
        return DbError(QStringLiteral("Table %1, champ %2 : %3").arg(m_name, f.name, why));
    };
    auto text = [&]() -> QString {
        switch (v.type) {
        case SqlValue::Integer: return QString::number(v.i);
        case SqlValue::Real: return QString::number(v.d, 'g', 15);
        case SqlValue::Text: return QString::fromUtf8(v.bytes);
        default: throw refusal(QStringLiteral("une valeur binaire ne peut pas y être écrite."));
        }
    };
    auto encoded = [&](const QString &t) {
        bool ok = true;
        QString bad;
        QByteArray b = m_codePage->encode(t, &ok, &bad);
        if (!ok)
            throw refusal(QStringLiteral("le caractère « %1 » ne peut pas être représenté dans la page de codes %2 de la table.")
                       .arg(bad).arg(m_codePage->number()));
        return b;
    };
    auto integer = [&]() -> qint64 {
        if (v.type == SqlValue::Integer)
            return v.i;
        std::optional<double> x;
        if (v.type == SqlValue::Real)
            x = v.d;
        else if (v.type == SqlValue::Text)
            x = parseNumber(v.bytes);
        if (!x || *x != std::floor(*x) || std::abs(*x) > 9e15)
            throw refusal(QStringLiteral("« %1 » n'est pas un nombre entier.").arg(shown(v)));
        return qint64(*x);
    };
    auto number = [&]() -> double {
        if (v.type == SqlValue::Integer)
            return double(v.i);
        if (v.type == SqlValue::Real && std::isfinite(v.d))
            return v.d;
        if (v.type == SqlValue::Text)
            if (const auto x = parseNumber(v.bytes))
                return *x;
        throw refusal(QStringLiteral("« %1 » n'est pas un nombre.").arg(shown(v)));
    };
    auto dateTime = [&]() -> QDateTime {
        if (v.type == SqlValue::Text)
            if (const auto dt = formats::fromStorageText(QString::fromUtf8(v.bytes).trimmed()))
                return *dt;
        throw refusal(QStringLiteral("« %1 » n'est pas une date valide (aaaa-mm-jj hh:mm:ss).").arg(shown(v)));
    };

    if (v.type == SqlValue::Null) {
        if (isBlobType(f.type))
            setBlob(col, QByteArray(), row);
        else
            std::memset(d, 0, size_t(f.size));
        return;
    }
    switch (f.type) {
    case ftAlpha: {
        const QByteArray b = encoded(text());
        if (b.size() > f.size)
            throw refusal(QStringLiteral("la valeur « %1 » dépasse les %2 caractères du champ.").arg(shown(v)).arg(f.size));
        std::memset(d, 0, size_t(f.size));
        std::memcpy(d, b.constData(), size_t(b.size()));
        return;
    }
    case ftShort:
    case ftLong:
    case ftAutoInc: {
        const qint64 x = integer();
        const qint64 limit = f.type == ftShort ? 32767 : 2147483647;
        if (x < -limit || x > limit)
            throw refusal(QStringLiteral("%1 est hors des limites du champ (±%2).").arg(x).arg(limit));
        writeInteger(f, d, x);
        return;
    }
    case ftLogical: {
        bool b = false;
        if (v.type == SqlValue::Text) {
            const QByteArray t = v.bytes.trimmed().toLower();
            if (t == "1" || t == "true" || t == "t" || t == "vrai" || t == "oui" || t == "yes")
                b = true;
            else if (!(t == "0" || t == "false" || t == "f" || t == "faux" || t == "non" || t == "no"))
                throw refusal(QStringLiteral("« %1 » n'est pas une valeur logique.").arg(shown(v)));
        } else {
            b = number() != 0;
        }
        writeInteger(f, d, b ? 1 : 0);
        return;
    }
    case ftNumber:
    case ftCurrency:
        writeFloat(f, d, number());
        return;
    case ftBcd: {
        const QByteArray t = QByteArray::number(number(), 'f', f.decimals);
        const int point = t.indexOf('.');
        const int intDigits = int((point < 0 ? t.size() : point) - (t.startsWith('-') ? 1 : 0));
        if (intDigits > 32 - f.decimals)
            throw refusal(QStringLiteral("%1 a trop de chiffres pour le champ.").arg(QString::fromLatin1(t)));
        writeBcd(f, d, t);
        return;
    }
    case ftDate: {
        // Any day a long holds, but the one whose bytes are the blank field.
        const qint64 days = dateTime().date().toJulianDay() - kJulianDayOffset;
        if (days < -2147483647 || days > 2147483647)
            throw refusal(QStringLiteral("la date %1 est hors des limites.").arg(shown(v)));
        writeInteger(f, d, days);
        return;
    }
    case ftTime: {
        QTime t;
        qint64 ms = 0;
        if (v.type == SqlValue::Text) {
            const QString s = QString::fromUtf8(v.bytes).trimmed();
            t = QTime::fromString(s, QStringLiteral("HH:mm:ss.zzz"));
            if (!t.isValid())
                t = QTime::fromString(s, QStringLiteral("HH:mm:ss"));
            if (!t.isValid())
                t = QTime::fromString(s, QStringLiteral("HH:mm"));
            if (t.isValid()) {
                ms = t.msecsSinceStartOfDay();
            } else if (const auto dt = formats::fromStorageText(s)) {
                t = dt->time();
                // A time read from the field itself, beyond its day, comes
                // back as it was; any other date only gives its time of day.
                const qint64 day = dt->date().toJulianDay() - kJulianDayOffset - kZeroDay;
                ms = t.msecsSinceStartOfDay() + (std::abs(day) <= 24 ? day * kMsPerDay : 0);
            }
        }
        if (!t.isValid() || ms < -2147483647 || ms > 2147483647)
            throw refusal(QStringLiteral("« %1 » n'est pas une heure valide (hh:mm:ss).").arg(shown(v)));
        writeInteger(f, d, ms);
        return;
    }
    case ftTimestamp: {
        const QDateTime dt = dateTime();
        const qint64 days = dt.date().toJulianDay() - kJulianDayOffset;
        // Beyond 2^53 milliseconds a double no longer holds every one.
        if (std::abs(days) > 104249991)
            throw refusal(QStringLiteral("la date %1 est hors des limites.").arg(shown(v)));
        writeFloat(f, d, double(days * kMsPerDay + dt.time().msecsSinceStartOfDay()));
        return;
    }
    case ftBytes: {
        if (v.type != SqlValue::Blob && v.type != SqlValue::Text)
            throw refusal(QStringLiteral("une valeur binaire est attendue."));
        if (v.bytes.size() > f.size)
            throw refusal(QStringLiteral("%1 octets dépassent les %2 du champ.").arg(v.bytes.size()).arg(f.size));
        std::memset(d, 0, size_t(f.size));
        std::memcpy(d, v.bytes.constData(), size_t(v.bytes.size()));
        return;
    }
    case ftMemo:
        setBlob(col, encoded(text()), row);
        return;
    case ftBlob:
        if (v.type != SqlValue::Blob && v.type != SqlValue::Text)
            throw refusal(QStringLiteral("une valeur binaire est attendue."));
        setBlob(col, v.bytes, row);
        return;
    case ftGraphic: {
        if (v.type != SqlValue::Blob)
            throw refusal(QStringLiteral("une image (valeur binaire) est attendue."));
        QByteArray content(8, '\0');
        putLe32(content.data(), 0x01000001u);
        putLe32(content.data() + 4, quint32(v.bytes.size()));
        setBlob(col, content + v.bytes, row);
        return;
    }
    default:
        // Formatted memos and OLE objects carry formats of the desktop software.
        throw refusal(QStringLiteral("un champ de type %1 ne peut pas être modifié par ce moteur.").arg(typeName(f.type)));
    }
}

// ---------------------------------------------------------------------------
// Writing

void Table::begin()
{
    // Reading the files now, before the statement reads any row, lets the
    // first change refuse a file that moved under the statement.
    refresh();
    m_inTransaction = true;
    m_writeReady = false;
    m_undo.clear();
    m_savepoints.clear();
}

void Table::checkWritable()
{
    const Header &h = m_header;
    if (h.versionId < 5)
        fail(QStringLiteral("Table %1 : la version %2 du format de fichier n'est pas prise en charge en écriture.")
                 .arg(m_name).arg(h.versionId));
    if (h.writeProtected)
        fail(QStringLiteral("La table %1 est protégée en écriture.").arg(m_name));
    // Its page is the engine's guess: text written in it might not be the
    // page the table's own software reads.
    if (h.codePage == 0)
        fail(QStringLiteral("Table %1 : son en-tête ne précise pas sa page de codes ; elle est lue dans la page %2, "
                            "mais ne peut pas être modifiée.").arg(m_name).arg(codePageOf(h)));
    const QFileInfo fi(file());
    secondaryIndexes();
    const QByteArray dir = QFile::encodeName(fi.absolutePath());
    if (::access(dir.constData(), W_OK) != 0)
        fail(QStringLiteral("Table %1 : le répertoire %2 n'est pas accessible en écriture.").arg(m_name, fi.absolutePath()));
    QStringList written{file(), hasBlobFields() ? mbPath() : QString(), m_keyFields ? pxPath() : QString()};
    for (const SecondaryIndex &ix : *m_secondary)
        written << ix.xPath << ix.yPath;
    for (const QString &p : std::as_const(written))
        if (!p.isEmpty() && QFileInfo::exists(p) && ::access(QFile::encodeName(p).constData(), W_OK) != 0)
            fail(QStringLiteral("Table %1 : le fichier %2 est en lecture seule.").arg(m_name, QFileInfo(p).fileName()));
    readValidityRules();
}

void Table::prepareWrite()
{
    if (m_writeReady)
        return;
    // No reload here: the statement may hold hits of the rows it read.
    if (!m_loaded)
        load(false);
    checkWritable();
    for (int attempt = 0;; ++attempt) {
        if (!m_lock.open(file(), true))
            fail(QStringLiteral("Table %1 : le fichier ne peut pas être ouvert en écriture (%2).").arg(m_name, m_lock.errorText()));
        if (!m_lock.lock(true, kLockWaitMs)) {
            m_lock.close();
            fail(QStringLiteral("La table %1 est verrouillée par un autre programme ; fermez-le et recommencez.").arg(m_name));
        }
        if (m_lock.samePathAndFile() || attempt == 5)
            break;
    }
    try {
        const bool changed = signatureOf(file()) != m_dbSig
            || (hasBlobFields() && signatureOf(mbPath()) != m_mbSig) || QFileInfo::exists(journalPath());
        if (changed)
            fail(QStringLiteral("La table %1 a été modifiée par un autre programme pendant l'instruction.").arg(m_name));
        if (m_keyFields > 0) {
            const std::pair<Signature, Signature> state{m_dbSig, signatureOf(pxPath())};
            if (state.second.exists && state != m_pxCheckedFor) {
                QFile px(pxPath());
                if (!px.open(QIODevice::ReadOnly))
                    fail(QStringLiteral("Table %1 : l'index primaire %2 ne peut pas être lu.").arg(m_name, QFileInfo(pxPath()).fileName()));
                const QString problem = checkPrimaryIndex(
                    px.readAll(), m_header,
                    indexEntries(m_blocks, [this](int s) { return blockKey(s); }), m_name);
                if (!problem.isEmpty())
                    fail(QStringLiteral("Table %1 : l'index primaire %2 ne correspond pas aux données (%3) ; "
                                        "la table ne peut pas être modifiée.")
                             .arg(m_name, QFileInfo(pxPath()).fileName(), problem));
                m_pxCheckedFor = state;
            }
        }
    } catch (...) {
        m_lock.close();
        throw;
    }
    m_autoInc = m_header.autoInc;
    m_writeReady = true;
    if (m_group)
        m_group->join(this);
}

void Table::unlock() { m_lock.close(); }

qint64 Table::insert(const std::vector<std::optional<SqlValue>> &values, std::optional<qint64> rowid)
{
    prepareWrite();
    if (rowid && m_slotByRowid.contains(*rowid))
        fail(QStringLiteral("Table %1 : l'identifiant de ligne %2 existe déjà.").arg(m_name).arg(*rowid));
    Row row;
    row.raw = QByteArray(m_header.recordSize, '\0');
    const qint32 autoIncBefore = m_autoInc;
    for (int c = 0; c < columnCount(); ++c) {
        const bool given = c < int(values.size()) && values[size_t(c)] && values[size_t(c)]->type != SqlValue::Null;
        if (m_fields[size_t(c)].type == ftAutoInc) {
            // The counter gives the next number; a given one (a loaded
            // table's own) moves it on.
            if (!given) {
                if (m_autoInc == 2147483647)
                    fail(QStringLiteral("Table %1 : le compteur du champ %2 est épuisé.").arg(m_name, m_fields[size_t(c)].name));
                encode(c, SqlValue::integer(m_autoInc + 1), row);
                ++m_autoInc;
                continue;
            }
            if (!m_loading) {
                m_autoInc = autoIncBefore;
                refuseAutoInc(c);
            }
            encode(c, *values[size_t(c)], row);
            m_autoInc = std::max<qint32>(m_autoInc, qint32(*readInteger(m_fields[size_t(c)], row.raw.constData() + m_fields[size_t(c)].offset)));
            continue;
        }
        if (given)
            encode(c, *values[size_t(c)], row);
    }
    if (m_validity) {
        applyDefaults(*m_validity, m_fields, row.raw.data());
        try {
            checkRecord(*m_validity, m_fields, row.raw.constData(), *m_codePage, m_name);
        } catch (const DbError &) {
            m_autoInc = autoIncBefore;
            throw;
        }
    }
    if (m_keyFields > 0 && slotOfKey(keyOf(row.raw.constData())) >= 0) {
        m_autoInc = autoIncBefore;
        throw KeyViolation(QStringLiteral("Table %1 : violation de clé, la clé (%2) existe déjà.").arg(m_name, keyText(row)));
    }
    if (m_autoInc != autoIncBefore) {
        Undo u{Undo::AutoInc, -1, Row(), false, 0};
        u.autoInc = autoIncBefore;
        m_undo.push_back(std::move(u));
    }
    row.rowid = rowid ? *rowid : m_nextRowid;
    m_nextRowid = std::max(m_nextRowid, row.rowid + 1);
    const int slot = int(m_rows.size());
    m_rows.push_back(row);
    m_slotByRowid.insert(row.rowid, slot);
    indexRow(slot, true);
    Undo u{Undo::Insert, -1, Row(), false, 0};
    u.slot = slot;
    m_undo.push_back(std::move(u));
    return row.rowid;
}

void Table::update(int slot, const std::vector<std::optional<SqlValue>> &values)
{
    prepareWrite();
    Row &current = m_rows[size_t(slot)];
    Row changed = current;
    detach(changed);
    std::vector<int> changedCols;
    for (int c = 0; c < columnCount() && c < int(values.size()); ++c) {
        if (!values[size_t(c)])
            continue;
        const FieldInfo &f = m_fields[size_t(c)];
        // A column set to what it reads as keeps its stored bytes: a value
        // the reading rounded (a timestamp's fraction of a millisecond, a
        // BCD's digits) is not rounded on disk by writing it back.
        if (!isBlobType(f.type) && sameValue(valueOf(changed, c), *values[size_t(c)]))
            continue;
        if (f.type == ftAutoInc)
            refuseAutoInc(c);
        if (isBlobType(f.type)) {
            // Setting a memo to what it holds must not copy it into the memo file again.
            Row probe = changed;
            encode(c, *values[size_t(c)], probe);
            if (blobContent(probe, c) == blobContent(changed, c))
                continue;
            changed = std::move(probe);
        } else {
            QByteArray before = changed.raw.mid(f.offset, f.size);
            encode(c, *values[size_t(c)], changed);
            if (changed.raw.mid(f.offset, f.size) == before)
                continue;
        }
        changedCols.push_back(c);
    }
    if (changedCols.empty())
        return;
    // Only what the statement changes: a row stored before a bound was set
    // keeps its other fields writable, as in the desktop software.
    if (m_validity)
        checkRecord(*m_validity, m_fields, changed.raw.constData(), *m_codePage, m_name, &changedCols);
    const bool keyChanged = m_keyFields > 0 && keyOf(record(current)) != keyOf(changed.raw.constData());
    if (keyChanged && slotOfKey(keyOf(changed.raw.constData())) >= 0)
        throw KeyViolation(QStringLiteral("Table %1 : violation de clé, la clé (%2) existe déjà.").arg(m_name, keyText(changed)));
    // Only the entries of what changed move; the others stay as they are.
    indexRow(slot, false, keyChanged, &changedCols);
    Undo u{Undo::Update, -1, Row(), false, 0};
    u.slot = slot;
    u.old = current;
    u.keyChanged = keyChanged;
    u.columns = changedCols;
    m_undo.push_back(std::move(u));
    current = std::move(changed);
    indexRow(slot, true, keyChanged, &changedCols);
}

// Two rows numbered alike by a statement would stay so: the field's numbers
// are the counter's alone.
void Table::refuseAutoInc(int col) const
{
    fail(QStringLiteral("Table %1, champ %2 : ce champ auto-incrément est numéroté par le moteur à l'ajout d'une ligne ; "
                        "sa valeur ne peut pas être écrite.").arg(m_name, m_fields[size_t(col)].name));
}

void Table::remove(int slot)
{
    prepareWrite();
    Row &row = m_rows[size_t(slot)];
    if (!row.live)
        return;
    // Its column entries stay: look-ups pass over rows no longer live.
    if (m_keyFields > 0 && m_keyIndex)
        m_keyIndex->remove(qHash(keyOf(record(row))), slot);
    row.live = false;
    Undo u{Undo::Delete, -1, Row(), false, 0};
    u.slot = slot;
    m_undo.push_back(std::move(u));
}

void Table::undoTo(size_t mark)
{
    while (m_undo.size() > mark) {
        Undo u = std::move(m_undo.back());
        m_undo.pop_back();
        // The indexes follow, so that they outlive a statement undone.
        switch (u.kind) {
        case Undo::Insert:
            indexRow(int(m_rows.size()) - 1, false);
            m_slotByRowid.remove(m_rows.back().rowid);
            m_rows.pop_back();
            break;
        case Undo::Delete:
            m_rows[size_t(u.slot)].live = true;
            if (m_keyFields > 0 && m_keyIndex)
                m_keyIndex->insert(qHash(keyOf(record(m_rows[size_t(u.slot)]))), u.slot);
            break;
        case Undo::Update:
            indexRow(u.slot, false, u.keyChanged, &u.columns);
            m_rows[size_t(u.slot)] = std::move(u.old);
            indexRow(u.slot, true, u.keyChanged, &u.columns);
            break;
        case Undo::AutoInc:
            m_autoInc = u.autoInc;
            break;
        }
    }
}

void Table::savepoint(int level)
{
    if (level < 0)
        return;
    m_savepoints.resize(size_t(level) + 1, m_undo.size());
    m_savepoints[size_t(level)] = m_undo.size();
}

void Table::release(int level)
{
    if (level >= 0 && size_t(level) < m_savepoints.size())
        m_savepoints.resize(size_t(level));
}

void Table::rollbackTo(int level)
{
    // Level -1 is a savepoint that opened the transaction itself: rolling back
    // to it undoes every change of the transaction.
    if (level < 0) {
        undoTo(0);
        m_savepoints.clear();
        return;
    }
    if (size_t(level) >= m_savepoints.size())
        return;
    undoTo(m_savepoints[size_t(level)]);
    m_savepoints.resize(size_t(level) + 1);
}

// ---------------------------------------------------------------------------
// Key order

KeyOrder &Table::keyOrder()
{
    if (!m_keyOrder)
        m_keyOrder = std::make_unique<KeyOrder>(m_header.sortOrderName, m_codePage.get());
    return *m_keyOrder;
}

Table::SortKey Table::sortKey(const char *raw) { return keyOrder().key(m_fields, m_keyFields, raw); }

std::vector<IndexEntry> Table::indexEntries(const std::vector<BlockRows> &blocks,
                                            const std::function<QByteArray(int)> &keyOf) const
{
    std::vector<IndexEntry> out;
    for (const BlockRows &b : blocks)
        if (!b.members.empty())
            out.push_back(IndexEntry{b.number, int(b.members.size()), keyOf(b.members.front())});
    return out;
}

const QByteArray &Table::pxHeader()
{
    if (m_pxHeader.isEmpty())
        m_pxHeader = primaryIndexHeader(m_header, m_name);
    return m_pxHeader;
}

// ---------------------------------------------------------------------------
// Writing to disk

// The memo file is a header of 4 KB and blocks of whole 4 KB chunks, each
// starting with its type (2 one memo, 3 up to 64 small ones, 4 free) and its
// number of chunks. The free ones are found by walking these headers; a
// file whose walk does not end exactly at its end is not trusted for reuse
// (its memos then go to the end of the file, as they always could).
Table::MbSpace Table::walkMemoFile()
{
    MbSpace space;
    qint64 at = kMbBlock;
    while (at < m_mbSize) {
        const QByteArray head = m_mb.read(at, 3);
        if (head.size() != 3)
            return space;
        const int type = std::uint8_t(head[0]);
        const int chunks = le16(head.constData() + 1);
        if (chunks == 0 || at + qint64(chunks) * kMbBlock > m_mbSize || (type != 2 && type != 3 && type != 4)
            || (type == 3 && chunks != 1))
            return space;
        if (type == 4)
            space.free[at] = chunks;
        at += qint64(chunks) * kMbBlock;
    }
    space.trusted = true;
    return space;
}

// Where the memos of the rows a statement wrote go, and what it frees: the
// memo of a row removed or given another memo, unless another row still
// points to it. A new memo takes the first free block large enough (split
// when larger), else goes to the end of the file; blocks freed by the
// statement are only reused by later ones, and join their free neighbours.
// Memos are never changed where they stand, as the desktop engine does.
void Table::planMemos(Pending &p, const std::set<int> &updated, const std::set<int> &inserted)
{
    p.mbSize = m_mbSize;
    std::set<int> written = updated;
    written.insert(inserted.begin(), inserted.end());
    bool newMemos = false;
    for (int s : written) {
        const Row &row = m_rows[size_t(s)];
        newMemos = newMemos || (row.live && row.pendingBlobs && !row.pendingBlobs->empty());
    }
    // Memo blocks the changed rows pointed to on disk.
    auto blocksOf = [&](const char *raw, std::vector<std::pair<qint64, int>> *out) {
        for (const FieldInfo &f : m_fields) {
            if (!isBlobType(f.type))
                continue;
            const char *d = raw + f.offset + f.size - 10;
            if (qint64(le32(d + 4)) > f.size - 10)
                out->emplace_back(qint64(le32(d) & 0xffffff00u), int(le32(d) & 0xff));
        }
    };
    std::vector<std::pair<qint64, int>> dropped;
    if (hasBlobFields()) {
        std::set<int> seen;
        for (const Undo &u : m_undo) {
            if (u.kind == Undo::Update && u.old.filePos >= 0 && seen.insert(u.slot).second)
                blocksOf(record(u.old), &dropped);
            if (u.kind == Undo::Delete && m_rows[size_t(u.slot)].filePos >= 0 && seen.insert(u.slot).second)
                blocksOf(record(m_rows[size_t(u.slot)]), &dropped);
        }
    }
    if (!newMemos && dropped.empty())
        return;
    if (!m_mbSpace)
        m_mbSpace = walkMemoFile();
    MbSpace space = *m_mbSpace;
    // What still points into the memo file once the statement is done.
    std::vector<std::pair<qint64, int>> kept;
    for (const Row &r : m_rows)
        if (r.live)
            blocksOf(record(r), &kept);   // a memo not yet written has no address there
    std::sort(kept.begin(), kept.end());
    auto usedWithin = [&](qint64 from, qint64 to) {
        const auto it = std::lower_bound(kept.begin(), kept.end(), std::make_pair(from, -1));
        return it != kept.end() && it->first < to;
    };
    std::map<qint64, QByteArray> writes;
    auto header = [&](qint64 at, int type, int chunks) {
        QByteArray h(3, '\0');
        h[0] = char(type);
        putLe16(h.data() + 1, quint16(chunks));
        writes[at] = h;
    };

    QByteArray mbHead;
    quint16 modCount = 0;
    qint64 end = (m_mbSize + kMbBlock - 1) / kMbBlock * kMbBlock;
    std::vector<std::pair<qint64, int>> placed;
    for (int s : written) {
        const Row &row = m_rows[size_t(s)];
        if (!row.live || !row.pendingBlobs || row.pendingBlobs->empty())
            continue;
        if (mbHead.isEmpty()) {
            mbHead = m_mb.read(0, 16);
            if (mbHead.size() != 16)
                fail(QStringLiteral("Table %1 : le fichier des mémos est illisible.").arg(m_name));
            modCount = le16(mbHead.constData() + 3);
        }
        QByteArray raw(record(row), m_header.recordSize);
        for (const auto &[col, content] : *row.pendingBlobs) {
            const FieldInfo &f = m_fields[size_t(col)];
            const int chunks = int((9 + content.size() + kMbBlock - 1) / kMbBlock);
            if (chunks > 65535)
                fail(QStringLiteral("Table %1, champ %2 : un mémo ne peut pas dépasser 256 Mo.").arg(m_name, f.name));
            qint64 at = -1;
            if (space.trusted) {
                for (const auto &[off, n] : space.free) {
                    if (n >= chunks && !usedWithin(off, off + qint64(n) * kMbBlock)) {
                        at = off;
                        break;
                    }
                }
            }
            if (at >= 0) {
                const int n = space.free[at];
                space.free.erase(at);
                if (n > chunks) {
                    const qint64 rest = at + qint64(chunks) * kMbBlock;
                    space.free[rest] = n - chunks;
                    header(rest, 4, n - chunks);
                }
            } else {
                at = end;
                end += qint64(chunks) * kMbBlock;
            }
            if (at + 9 + content.size() > 0xffffff00LL)
                fail(QStringLiteral("Table %1 : le fichier des mémos est plein.").arg(m_name));
            QByteArray block(qsizetype(chunks) * kMbBlock, '\0');
            block[0] = 2;
            putLe16(block.data() + 1, quint16(chunks));
            putLe32(block.data() + 3, quint32(content.size()));
            putLe16(block.data() + 7, ++modCount);
            std::memcpy(block.data() + 9, content.constData(), size_t(content.size()));
            writes[at] = block;
            char *d = raw.data() + f.offset + f.size - 10;
            putLe32(d, quint32(at) | 0xffu);
            putLe16(d + 8, modCount);
            placed.emplace_back(at, 0xff);
        }
        p.newRaw[s] = raw;
    }
    kept.insert(kept.end(), placed.begin(), placed.end());
    std::sort(kept.begin(), kept.end());

    // Freed memos. A whole block becomes free; a small memo's entry in its
    // shared block is marked deleted.
    if (space.trusted) {
        std::sort(dropped.begin(), dropped.end());
        dropped.erase(std::unique(dropped.begin(), dropped.end()), dropped.end());
        for (const auto &[at, index] : dropped) {
            if (std::binary_search(kept.begin(), kept.end(), std::make_pair(at, index)) || at < kMbBlock
                || at >= m_mbSize)
                continue;
            const QByteArray head = m_mb.read(at, 3);
            if (head.size() != 3)
                continue;
            if (index == 0xff && head[0] == 2) {
                if (usedWithin(at, at + 1))
                    continue;
                qint64 start = at;
                int chunks = le16(head.constData() + 1);
                // Joined to the free block after it, and to the one before.
                const auto next = space.free.find(at + qint64(chunks) * kMbBlock);
                if (next != space.free.end() && chunks + next->second <= 65535) {
                    chunks += next->second;
                    space.free.erase(next);
                }
                auto prev = space.free.lower_bound(at);
                if (prev != space.free.begin()) {
                    --prev;
                    if (prev->first + qint64(prev->second) * kMbBlock == at && prev->second + chunks <= 65535) {
                        start = prev->first;
                        chunks += prev->second;
                    }
                }
                space.free[start] = chunks;
                header(start, 4, chunks);
                if (start != at)
                    header(at, 4, int((qint64(chunks) * kMbBlock - (at - start)) / kMbBlock));
            } else if (index < 64 && head[0] == 3) {
                QByteArray mark(1, '\0');
                writes[at + 12 + index * 5 + 4] = mark;
            }
        }
    }
    if (writes.empty())
        return;
    if (!mbHead.isEmpty()) {
        putLe16(mbHead.data() + 3, modCount);
        writes[0] = mbHead;
    }

    // The undo record: what the file was, the former bytes of every region
    // written in it, and its former length.
    if (!m_mbPrint)
        m_mbPrint = fingerprint::ofFile(mbPath());
    if (!m_mbPrint)
        fail(QStringLiteral("Table %1 : le fichier des mémos est illisible.").arg(m_name));
    p.journal.keepState(Journal::Mb, m_mbSize, *m_mbPrint);
    if (end > m_mbSize)
        p.journal.keepLength(Journal::Mb, m_mbSize);
    std::vector<std::pair<qint64, QByteArray>> list(writes.begin(), writes.end());
    for (const auto &[at, bytes] : list)
        p.journal.keepRegion(Journal::Mb, at,
                             at < m_mbSize ? m_mb.read(at, std::min<qint64>(bytes.size(), m_mbSize - at)) : QByteArray(), bytes);
    p.mbPrint = fingerprint::afterWrites(m_mb, m_mbSize, *m_mbPrint, list, std::max(m_mbSize, end));
    p.mbWrites = std::move(writes);
    p.mbSpace = std::move(space);
    p.mbSize = std::max(m_mbSize, end);
}

// Where the rows of a statement go: the blocks they change, in place, as
// the desktop engine does. A block left empty leaves the chain for the head
// of the free list; block 1, which is never free, takes its neighbour's rows
// instead and the neighbour goes. A row goes into the block of the row before
// it in key order; after the last row of a full block it goes first in the
// next block when that one has room, else into a new block of its own; a
// full block that gets a row between two of its own is split in two. A new
// block is the first free one, or a new one at the end of the file. False
// when the table is left without rows or the file would pass the format's
// number of blocks: the whole file is then written again.
bool Table::planBlocks(Pending &p, const std::vector<int> &gone, std::vector<int> arriving)
{
    const Header &h = m_header;
    const int perBlock = h.recordsPerBlock();
    p.blocks = m_blocks;
    p.freeBlocks = m_freeBlocks;
    QHash<int, int> chainIndex;
    for (int i = 0; i < int(p.blocks.size()); ++i)
        chainIndex.insert(p.blocks[size_t(i)].number, i);
    auto blockOf = [&](qint64 pos) { return int((pos - h.headerSize) / h.blockSize) + 1; };
    for (int s : gone) {
        const int bi = chainIndex.value(blockOf(m_rows[size_t(s)].filePos), -1);
        if (bi < 0)
            return false;
        auto &members = p.blocks[size_t(bi)].members;
        members.erase(std::remove(members.begin(), members.end(), s), members.end());
        p.changedBlocks.insert(p.blocks[size_t(bi)].number);
    }
    if (!gone.empty()) {
        std::vector<BlockRows> kept;
        kept.reserve(p.blocks.size());
        for (size_t i = 0; i < p.blocks.size(); ++i) {
            BlockRows &b = p.blocks[i];
            if (!b.members.empty()) {
                kept.push_back(std::move(b));
                continue;
            }
            if (b.number != 1) {
                p.freeBlocks.insert(p.freeBlocks.begin(), b.number);
                continue;
            }
            // Block 1 takes the rows of the next block that has any (or of
            // the one before it), which goes free instead.
            size_t donor = i + 1;
            while (donor < p.blocks.size() && p.blocks[donor].members.empty())
                ++donor;
            if (donor < p.blocks.size()) {
                b.members = std::move(p.blocks[donor].members);
                p.blocks[donor].members.clear();
                p.changedBlocks.insert(1);
                kept.push_back(std::move(b));
                continue;
            }
            if (kept.empty())
                return false;   // no rows left
            b.members = std::move(kept.back().members);
            p.freeBlocks.insert(p.freeBlocks.begin(), kept.back().number);
            kept.back() = std::move(b);
        }
        p.blocks = std::move(kept);
        if (p.blocks.empty())
            return false;
    }
    std::vector<std::pair<int, SortKey>> keyed;
    if (m_keyFields > 0) {
        for (int s : arriving)
            keyed.emplace_back(s, sortKey(record(m_rows[size_t(s)])));
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return keyLess(a.second, b.second); });
    } else {
        for (int s : arriving)
            keyed.emplace_back(s, SortKey());
    }
    int nextNumber = h.fileBlocks + 1;
    auto newBlock = [&]() -> int {
        if (!p.freeBlocks.empty()) {
            const int n = p.freeBlocks.front();
            p.freeBlocks.erase(p.freeBlocks.begin());
            return n;
        }
        return nextNumber <= kMaxBlocks ? nextNumber++ : -1;
    };
    // The first keys of the blocks, for the search of a row's block; kept up
    // to date as rows arrive, so that a large append stays linear.
    std::vector<SortKey> firstKeys;
    auto listKeys = [&] {
        firstKeys.clear();
        if (m_keyFields > 0)
            for (const BlockRows &b : p.blocks)
                firstKeys.push_back(sortKey(blockKey(b.members.front()).constData()));
    };
    listKeys();
    for (const auto &[s, key] : keyed) {
        if (p.blocks.empty()) {
            const int n = newBlock();
            if (n < 0)
                return false;
            p.blocks.push_back(BlockRows{n, {s}});
            p.changedBlocks.insert(n);
            listKeys();
            continue;
        }
        int bi = int(p.blocks.size()) - 1;
        size_t idx = p.blocks.back().members.size();
        if (m_keyFields > 0) {
            // The last block whose first key is not above the new one.
            const auto after = std::upper_bound(firstKeys.begin(), firstKeys.end(), key,
                                                [](const SortKey &k, const SortKey &first) { return keyLess(k, first); });
            bi = std::max(0, int(after - firstKeys.begin()) - 1);
            const auto &members = p.blocks[size_t(bi)].members;
            idx = size_t(std::upper_bound(members.begin(), members.end(), key, [&](const SortKey &k, int other) {
                          return keyLess(k, sortKey(record(m_rows[size_t(other)])));
                      }) - members.begin());
        }
        auto &target = p.blocks[size_t(bi)].members;
        if (int(target.size()) < perBlock) {
            target.insert(target.begin() + qsizetype(idx), s);
            p.changedBlocks.insert(p.blocks[size_t(bi)].number);
            if (idx == 0 && m_keyFields > 0)
                firstKeys[size_t(bi)] = key;
        } else if (idx == target.size() && bi + 1 < int(p.blocks.size())
                   && int(p.blocks[size_t(bi) + 1].members.size()) < perBlock) {
            auto &next = p.blocks[size_t(bi) + 1].members;
            next.insert(next.begin(), s);
            p.changedBlocks.insert(p.blocks[size_t(bi) + 1].number);
            if (m_keyFields > 0)
                firstKeys[size_t(bi) + 1] = key;
        } else if (idx == target.size()) {
            // After the last row of a full block whose next one is full too.
            const int n = newBlock();
            if (n < 0)
                return false;
            p.blocks.insert(p.blocks.begin() + bi + 1, BlockRows{n, {s}});
            p.changedBlocks.insert(n);
            if (m_keyFields > 0)
                firstKeys.insert(firstKeys.begin() + bi + 1, key);
        } else {
            // Split: the first half stays, the rest goes to a new block after it.
            const int n = newBlock();
            if (n < 0)
                return false;
            const size_t half = target.size() / 2;
            std::vector<int> tail(target.begin() + qsizetype(half), target.end());
            target.resize(half);
            if (idx <= half)
                target.insert(target.begin() + qsizetype(idx), s);
            else
                tail.insert(tail.begin() + qsizetype(idx - half), s);
            p.changedBlocks.insert(p.blocks[size_t(bi)].number);
            p.changedBlocks.insert(n);
            p.blocks.insert(p.blocks.begin() + bi + 1, BlockRows{n, std::move(tail)});
            listKeys();
        }
    }
    p.fileBlocks = nextNumber - 1;
    return true;
}

void Table::planRewrite(Pending &p, bool sort)
{
    const Header &h = m_header;
    std::vector<int> order;
    for (int s = 0; s < int(m_rows.size()); ++s)
        if (m_rows[size_t(s)].live)
            order.push_back(s);
    if (sort && m_keyFields > 0) {
        std::vector<SortKey> keys(m_rows.size());
        for (int s : order)
            keys[size_t(s)] = sortKey(record(m_rows[size_t(s)]));
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keyLess(keys[size_t(a)], keys[size_t(b)]); });
    }
    const int perBlock = h.recordsPerBlock();
    const qint64 blocks = (qint64(order.size()) + perBlock - 1) / perBlock;
    if (blocks > kMaxBlocks)
        fail(QStringLiteral("Table %1 : %2 enregistrements ne tiennent pas dans les 65 535 blocs de %3 Ko que permet "
                            "le format (%4 enregistrements au plus) ; la modification est refusée.")
                 .arg(m_name).arg(order.size()).arg(h.blockSize / 1024).arg(qint64(kMaxBlocks) * perBlock));
    p.blocks.clear();
    for (size_t i = 0; i < order.size(); ++i) {
        if (i % size_t(perBlock) == 0)
            p.blocks.push_back(BlockRows{int(i / size_t(perBlock)) + 1, {}});
        p.blocks.back().members.push_back(order[i]);
    }
    p.fileBlocks = int(blocks);
    p.freeBlocks.clear();
    p.rewrite = true;
}

void Table::sync()
{
    if (!m_writeReady || m_undo.empty())
        return;
    const Header &h = m_header;
    // What the statement did to the rows on disk.
    std::set<int> updated, inserted, moved;
    for (const Undo &u : m_undo) {
        if (u.kind == Undo::Insert)
            inserted.insert(u.slot);
        if (u.kind == Undo::Update) {
            updated.insert(u.slot);
            if (u.keyChanged)
                moved.insert(u.slot);
        }
    }
    std::vector<int> gone, arriving, rewritten;
    for (const Undo &u : m_undo)
        if (u.kind == Undo::Delete && m_rows[size_t(u.slot)].filePos >= 0)
            gone.push_back(u.slot);
    for (int s : moved)
        if (m_rows[size_t(s)].live && m_rows[size_t(s)].filePos >= 0) {
            gone.push_back(s);
            arriving.push_back(s);
        }
    for (int s : inserted)
        if (m_rows[size_t(s)].live)
            arriving.push_back(s);
    for (int s : updated)
        if (m_rows[size_t(s)].live && m_rows[size_t(s)].filePos >= 0 && !moved.count(s))
            rewritten.push_back(s);
    std::sort(gone.begin(), gone.end());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
    const bool pxMissing = m_keyFields > 0 && !signatureOf(pxPath()).exists;

    auto pending = std::make_unique<Pending>(journalPath(), m_paths, m_name);
    Pending &p = *pending;
    p.reorder = !arriving.empty();
    const bool layout = !gone.empty() || !arriving.empty();
    try {
        planMemos(p, updated, inserted);
        auto rawOf = [&](int s) -> const char * {
            const auto it = p.newRaw.find(s);
            return it != p.newRaw.end() ? it->second.constData() : record(m_rows[size_t(s)]);
        };
        auto keyOf = [&](int s) {
            const auto it = p.newRaw.find(s);
            return it != p.newRaw.end() ? it->second.left(m_keySize) : blockKey(s);
        };

        if (layout && !planBlocks(p, gone, arriving))
            planRewrite(p, p.reorder);
        p.layout = layout;
        // Without rows added or removed the blocks stay as they are.
        const std::vector<BlockRows> &blocksAfter = layout ? p.blocks : m_blocks;
        if (!layout)
            p.fileBlocks = h.fileBlocks;

        // The header: counts, block list and the auto-increment counter.
        QByteArray head = m_headerBytes;
        char *o = head.data();
        if (layout) {
            int live = 0;
            for (const BlockRows &b : p.blocks)
                live += int(b.members.size());
            putLe32(o + hdr::NumRecords, quint32(live));
            putLe16(o + hdr::FirstBlock, quint16(p.blocks.empty() ? 0 : p.blocks.front().number));
            putLe16(o + hdr::LastBlock, quint16(p.blocks.empty() ? 0 : p.blocks.back().number));
            // The blocks in use; the file's count only differs by free blocks.
            putLe16(o + hdr::NextBlock, quint16(p.blocks.size()));
            putLe16(o + hdr::FirstFreeBlock, quint16(p.freeBlocks.empty() ? 0 : p.freeBlocks.front()));
        }
        putLe32(o + hdr::AutoInc, quint32(m_autoInc));
        if (p.rewrite || p.fileBlocks > h.fileBlocks) {
            putLe16(o + hdr::FileBlocks, quint16(p.fileBlocks));
            putLe16(o + hdr::MaxBlocks, quint16(p.rewrite ? p.fileBlocks : std::max<int>(le16(o + hdr::MaxBlocks), p.fileBlocks)));
        }
        p.headerBytes = head;

        // Every block the statement changed, whole; positions of its rows.
        std::map<int, QByteArray> blockBytes;   // block number -> contents
        auto build = [&](int ci) {
            const BlockRows &b = p.blocks[size_t(ci)];
            QByteArray bytes(h.blockSize, '\0');
            char *q = bytes.data();
            putLe16(q, quint16(ci + 1 < int(p.blocks.size()) ? p.blocks[size_t(ci) + 1].number : 0));
            putLe16(q + 2, quint16(ci > 0 ? p.blocks[size_t(ci) - 1].number : 0));
            putLe16(q + 4, quint16((int(b.members.size()) - 1) * h.recordSize));
            for (size_t j = 0; j < b.members.size(); ++j) {
                std::memcpy(q + 6 + j * size_t(h.recordSize), rawOf(b.members[j]), size_t(h.recordSize));
                p.newPos[b.members[j]] = h.blockOffset(b.number) + 6 + qint64(j) * h.recordSize;
            }
            blockBytes[b.number] = bytes;
        };
        // Blocks whose rows stay but whose neighbours changed get new links
        // only; blocks gone free get the next free one.
        std::vector<std::pair<qint64, QByteArray>> linkWrites;
        if (p.rewrite) {
            for (int ci = 0; ci < int(p.blocks.size()); ++ci)
                build(ci);
        } else if (layout) {
            QHash<int, std::pair<int, int>> links;   // number -> (next, previous) on disk
            for (size_t ci = 0; ci < m_blocks.size(); ++ci)
                links.insert(m_blocks[ci].number, {ci + 1 < m_blocks.size() ? m_blocks[ci + 1].number : 0,
                                                   ci > 0 ? m_blocks[ci - 1].number : 0});
            for (int ci = 0; ci < int(p.blocks.size()); ++ci) {
                const int number = p.blocks[size_t(ci)].number;
                if (p.changedBlocks.count(number)) {
                    build(ci);
                    continue;
                }
                const std::pair<int, int> now{ci + 1 < int(p.blocks.size()) ? p.blocks[size_t(ci) + 1].number : 0,
                                              ci > 0 ? p.blocks[size_t(ci) - 1].number : 0};
                if (links.value(number, {-1, -1}) != now) {
                    QByteArray head(4, '\0');
                    putLe16(head.data(), quint16(now.first));
                    putLe16(head.data() + 2, quint16(now.second));
                    linkWrites.emplace_back(h.blockOffset(number), head);
                }
            }
            QHash<int, int> wasFree;   // number -> next free block on disk
            for (size_t i = 0; i < m_freeBlocks.size(); ++i)
                wasFree.insert(m_freeBlocks[i], i + 1 < m_freeBlocks.size() ? m_freeBlocks[i + 1] : 0);
            for (size_t i = 0; i < p.freeBlocks.size(); ++i) {
                const int next = i + 1 < p.freeBlocks.size() ? p.freeBlocks[i + 1] : 0;
                if (wasFree.value(p.freeBlocks[i], -1) == next)
                    continue;
                QByteArray head(6, '\0');
                putLe16(head.data(), quint16(next));
                putLe16(head.data() + 4, quint16(-h.recordSize));
                linkWrites.emplace_back(h.blockOffset(p.freeBlocks[i]), head);
            }
        }
        // Rows changed where they stand.
        std::vector<int> inPlace;
        if (!p.rewrite) {
            for (int s : rewritten) {
                const int number = int((m_rows[size_t(s)].filePos - h.headerSize) / h.blockSize) + 1;
                if (!blockBytes.count(number))
                    inPlace.push_back(s);
            }
        }

        // The primary index follows every change of the blocks.
        const bool writePx = m_keyFields > 0 && (layout || pxMissing);
        QByteArray pxBytes;
        if (writePx) {
            const std::vector<IndexEntry> entries = indexEntries(blocksAfter, keyOf);
            pxBytes = buildPrimaryIndex(pxHeader(), h, entries, m_name);
            const QString problem = checkPrimaryIndex(pxBytes, h, entries, m_name);
            if (!problem.isEmpty())
                fail(QStringLiteral("Table %1 : l'index primaire préparé est incohérent (%2).").arg(m_name, problem));
        }
        const qint64 newDbSize = h.headerSize + qint64(p.fileBlocks > 0 ? p.fileBlocks : 0) * h.blockSize;
        p.header = parseHeader(head, std::max(newDbSize, m_lock.size()), m_name);
        // Hints name blocks: any move of a row changes them. Rows changed
        // where they stand only matter through the fields the indexes hold.
        bool indexedChange = layout;
        if (!indexedChange && !rewritten.empty() && !secondaryIndexes().empty()) {
            std::set<int> held;
            for (const SecondaryIndex &ix : secondaryIndexes())
                held.insert(ix.columns.begin(), ix.columns.end());
            for (const Undo &u : m_undo)
                if (u.kind == Undo::Update)
                    for (int c : u.columns)
                        indexedChange = indexedChange || held.count(c) > 0;
        }
        if (indexedChange)
            planSecondary(p, blocksAfter, rawOf);

        const QString newDb = Journal::newName(file());
        const QString newPx = Journal::newName(pxPath());
        auto writeNew = [&](const QString &path, const QByteArray &bytes) {
            File nf;
            if (!nf.open(path, true, true))
                fail(QStringLiteral("Table %1 : impossible d'écrire dans le répertoire de la table (%2).").arg(m_name, nf.errorText()));
            nf.write(0, bytes.constData(), bytes.size(), m_name);
            nf.sync(m_name);
        };
        const bool pxExisted = !pxMissing;
        // The whole record of a statement goes on disk before its first byte:
        // what each file was, the former bytes of each region it changes and
        // a fingerprint of the new ones.
        const qint64 dbSize = m_lock.size();
        if (!m_dbPrint)
            m_dbPrint = fingerprint::ofFile(file());
        if (!m_dbPrint)
            fail(QStringLiteral("Table %1 : le fichier ne peut pas être relu avant son écriture.").arg(m_name));
        p.journal.keepState(Journal::Db, dbSize, *m_dbPrint);
        std::vector<std::pair<qint64, QByteArray>> dbWrites;
        if (p.rewrite) {
            QByteArray out = head;
            out.resize(head.size() + qsizetype(p.fileBlocks) * h.blockSize, '\0');
            for (const auto &[number, bytes] : blockBytes)
                std::memcpy(out.data() + h.blockOffset(number), bytes.constData(), size_t(bytes.size()));
            walkBlocks(p.header, out, m_name);   // read back what we built, as any reader will
            writeNew(newDb, out);
            keepCopy(file(), Journal::backupName(file()), m_name);
            p.dbPrint = fingerprint::of(out);
            p.journal.keepReplaced(Journal::Db, true, out.size(), p.dbPrint);
        } else {
            for (const auto &[number, bytes] : blockBytes)
                dbWrites.emplace_back(h.blockOffset(number), bytes);
            for (int s : inPlace)
                dbWrites.emplace_back(m_rows[size_t(s)].filePos, QByteArray(rawOf(s), h.recordSize));
            dbWrites.insert(dbWrites.end(), linkWrites.begin(), linkWrites.end());
            if (head != m_headerBytes)
                dbWrites.emplace_back(0, head.left(hdr::Fixed));
            if (newDbSize > dbSize)
                p.journal.keepLength(Journal::Db, dbSize);
            for (const auto &[at, bytes] : dbWrites)
                p.journal.keepRegion(Journal::Db, at, m_lock, at < dbSize ? std::min<qint64>(bytes.size(), dbSize - at) : 0, bytes);
            p.dbPrint = fingerprint::afterWrites(m_lock, dbSize, *m_dbPrint, dbWrites, std::max(dbSize, newDbSize));
        }
        if (writePx) {
            writeNew(newPx, pxBytes);
            if (pxExisted) {
                const std::optional<quint64> before = fingerprint::ofFile(pxPath());
                if (!before)
                    fail(QStringLiteral("Table %1 : l'index primaire %2 ne peut pas être lu.").arg(m_name, QFileInfo(pxPath()).fileName()));
                p.journal.keepState(Journal::Px, QFileInfo(pxPath()).size(), *before);
                keepCopy(pxPath(), Journal::backupName(pxPath()), m_name);
            } else {
                p.journal.keepState(Journal::Px, -1, 0);
            }
            p.journal.keepReplaced(Journal::Px, pxExisted, pxBytes.size(), fingerprint::of(pxBytes));
        }
        for (const auto &[id, bytes] : p.secondary) {
            const QString &path = m_paths[size_t(id)];
            writeNew(Journal::newName(path), bytes);
            const std::optional<quint64> before = fingerprint::ofFile(path);
            if (!before)
                fail(QStringLiteral("Table %1 : l'index secondaire %2 ne peut pas être lu.").arg(m_name, QFileInfo(path).fileName()));
            p.journal.keepState(Journal::FileId(id), QFileInfo(path).size(), *before);
            keepCopy(path, Journal::backupName(path), m_name);
            p.journal.keepReplaced(Journal::FileId(id), true, bytes.size(), fingerprint::of(bytes));
        }
        if (m_group) {
            const QString group = m_group->prepare(QFileInfo(file()).absolutePath(), m_name);
            if (!group.isEmpty())
                p.journal.setGroup(QFileInfo(group).fileName());
        }
        p.journal.write();

        if (!p.mbWrites.empty()) {
            File mb;
            if (!mb.open(mbPath(), true))
                fail(QStringLiteral("Table %1 : le fichier des mémos ne peut pas être ouvert en écriture (%2).")
                         .arg(m_name, mb.errorText()));
            for (const auto &[at, bytes] : p.mbWrites)
                mb.write(at, bytes.constData(), bytes.size(), m_name);
            mb.sync(m_name);
        }
        if (p.rewrite) {
            renameFile(newDb, file(), m_name);
        } else {
            for (const auto &[at, bytes] : dbWrites)
                m_lock.write(at, bytes.constData(), bytes.size(), m_name);
            m_lock.sync(m_name);
        }
        if (writePx)
            renameFile(newPx, pxPath(), m_name);
        for (const auto &entry : p.secondary)
            renameFile(Journal::newName(m_paths[size_t(entry.first)]), m_paths[size_t(entry.first)], m_name);
        if (p.rewrite || writePx || !p.secondary.empty())
            syncDirectory(QFileInfo(file()).absolutePath());
    } catch (...) {
        try {
            p.journal.undo();
        } catch (const DbError &) {
            // The journal stays on disk; the next reader rolls it back.
            m_loaded = false;
        }
        openData();
        throw;
    }
    // The blocks cached are the former ones; rows are read again once committed.
    dropCache();
    m_pending = std::move(pending);
}

void Table::commit()
{
    if (m_pending) {
        Pending &p = *m_pending;
        for (auto &[s, raw] : p.newRaw) {
            m_rows[size_t(s)].raw = raw;
            m_rows[size_t(s)].pendingBlobs.reset();
        }
        for (const auto &[s, pos] : p.newPos)
            m_rows[size_t(s)].filePos = pos;
        // The file now holds what the statement wrote: its rows read from there again.
        for (const Undo &u : m_undo) {
            if (u.slot < 0)
                continue;
            Row &r = m_rows[size_t(u.slot)];
            if (r.filePos >= 0) {
                r.raw = QByteArray();
                r.pendingBlobs.reset();
            }
            m_blockKeys.remove(u.slot);
        }
        m_header = p.header;
        m_headerBytes = p.headerBytes;
        if (p.layout) {
            m_blocks = std::move(p.blocks);
            m_freeBlocks = std::move(p.freeBlocks);
            // Rows that moved in the file move in the scans too; rows only
            // deleted stay as holes until there are many.
            size_t dead = 0;
            for (const Row &r : m_rows)
                dead += !r.live;
            // Rows added after the last one (new numbers) keep slots in file order.
            bool inOrder = true;
            int last = -1;
            for (const BlockRows &b : m_blocks)
                for (int s : b.members) {
                    inOrder = inOrder && s > last;
                    last = s;
                }
            if (!inOrder || dead > std::max<size_t>(1000, m_rows.size() / 4))
                compact();
        }
        m_mbSize = p.mbSize;
        if (!p.mbWrites.empty()) {
            m_mbSpace = std::move(p.mbSpace);
            m_mbPrint = p.mbPrint;
        }
        m_dbPrint = p.dbPrint;
        if (m_group)
            m_group->committing();
        p.journal.discard();
        m_dbSig = signatureOf(file());
        m_mbSig = signatureOf(mbPath());
        m_pxCheckedFor = {m_dbSig, signatureOf(pxPath())};
        openData();
        m_headerRecords = m_header.numRecords;
        m_pending.reset();
    }
    m_undo.clear();
    m_savepoints.clear();
    unlock();
    m_inTransaction = false;
    m_writeReady = false;
    if (m_group)
        m_group->leave(this);
}

void Table::compact()
{
    std::vector<Row> rows;
    rows.reserve(size_t(m_header.numRecords));
    std::vector<int> moved(m_rows.size(), -1);
    for (BlockRows &b : m_blocks)
        for (int &s : b.members) {
            moved[size_t(s)] = int(rows.size());
            rows.push_back(std::move(m_rows[size_t(s)]));
            s = int(rows.size()) - 1;
        }
    m_rows = std::move(rows);
    m_blockKeys.clear();
    m_slotByRowid.clear();
    for (size_t i = 0; i < m_rows.size(); ++i)
        m_slotByRowid.insert(m_rows[i].rowid, int(i));
    ++m_generation;
    // The indexes keep their keys; only the slots change, and removed rows go.
    auto renumber = [&](std::unique_ptr<QMultiHash<size_t, int>> &idx) {
        if (!idx)
            return;
        auto next = std::make_unique<QMultiHash<size_t, int>>();
        next->reserve(qsizetype(m_rows.size()));
        for (auto it = idx->constBegin(); it != idx->constEnd(); ++it)
            if (const int s = moved[size_t(it.value())]; s >= 0)
                next->insert(it.key(), s);
        idx = std::move(next);
    };
    renumber(m_keyIndex);
    for (auto &idx : m_columnIndex)
        renumber(idx);
}

void Table::rollback()
{
    bool undone = true;
    if (m_pending) {
        try {
            m_pending->journal.undo();
        } catch (const DbError &) {
            m_loaded = false;
            undone = false;
        }
        m_pending.reset();
        openData();
    }
    undoTo(0);
    m_autoInc = m_header.autoInc;
    m_savepoints.clear();
    unlock();
    m_inTransaction = false;
    m_writeReady = false;
    if (m_group)
        m_group->leave(this, undone);
}

// ---------------------------------------------------------------------------
// Validity checks

// Read again by every write statement, under the same conditions as the
// other refusals: the .VAL may change without the .DB, and it is small.
void Table::readValidityRules()
{
    m_validity.reset();
    m_validity = readValidity(file(), m_header, *m_codePage, m_name);
}

} // namespace db::paradox

namespace db::paradox {

// ---------------------------------------------------------------------------
// Secondary indexes

const std::vector<SecondaryIndex> &Table::secondaryIndexes()
{
    if (!m_secondary)
        m_secondary = readSecondaryIndexes(file(), m_header, *m_codePage, m_name);
    return *m_secondary;
}

std::vector<std::pair<QString, QByteArray>> Table::secondaryContents(const std::vector<BlockRows> &blocks,
                                                                    const std::function<const char *(int)> &rawOf,
                                                                    std::optional<bool> caseless)
{
    std::vector<SecondaryIndex> indexes = secondaryIndexes();
    for (SecondaryIndex &ix : indexes)
        if (ix.caseUnknown && caseless) {
            ix.caseUnknown = false;
            ix.caseless = *caseless;
        }
    // One pass over the rows for all the indexes: reading them is the cost.
    std::vector<QByteArray> flat(indexes.size());
    qint64 rows = 0;
    for (const BlockRows &b : blocks)
        rows += qint64(b.members.size());
    for (size_t i = 0; i < indexes.size(); ++i)
        flat[i].reserve(qsizetype(rows * indexes[i].x.recordSize));
    for (const BlockRows &b : blocks)
        for (int s : b.members) {
            const char *raw = rawOf(s);
            for (size_t i = 0; i < indexes.size(); ++i)
                appendSecondaryRecord(flat[i], indexes[i], m_header, raw, b.number);
        }
    std::vector<std::pair<QString, QByteArray>> out;
    for (size_t i = 0; i < indexes.size(); ++i) {
        auto [x, y] = buildSecondaryIndex(indexes[i], flat[i], keyOrder(), m_name);
        flat[i] = QByteArray();
        out.emplace_back(indexes[i].xPath, std::move(x));
        out.emplace_back(indexes[i].yPath, std::move(y));
    }
    return out;
}

void Table::planSecondary(Pending &p, const std::vector<BlockRows> &blocks, const std::function<const char *(int)> &rawOf)
{
    for (auto &[path, bytes] : secondaryContents(blocks, rawOf)) {
        QFile current(path);
        if (current.open(QIODevice::ReadOnly) && current.size() == bytes.size() && current.readAll() == bytes)
            continue;
        const auto at = std::find(m_paths.begin(), m_paths.end(), path);
        if (at == m_paths.end() || at - m_paths.begin() >= Journal::kMaxFiles)
            fail(QStringLiteral("Table %1 : trop d'index secondaires pour ce moteur.").arg(m_name));
        p.secondary.emplace_back(int(at - m_paths.begin()), std::move(bytes));
    }
}

QString Table::writeRefusal()
{
    try {
        refresh();
        checkWritable();
    } catch (const DbError &e) {
        return e.message();
    }
    return QString();
}

void Table::rebuildSecondaryIndexes(std::optional<bool> caseless)
{
    begin();
    try {
        prepareWrite();
        const auto rawOf = [this](int s) { return record(m_rows[size_t(s)]); };
        for (const auto &[path, bytes] : secondaryContents(m_blocks, rawOf, caseless)) {
            File nf;
            if (!nf.open(Journal::newName(path), true, true))
                fail(QStringLiteral("Table %1 : impossible d'écrire dans le répertoire de la table (%2).").arg(m_name, nf.errorText()));
            nf.write(0, bytes.constData(), bytes.size(), m_name);
            nf.sync(m_name);
            renameFile(Journal::newName(path), path, m_name);
        }
        syncDirectory(QFileInfo(file()).absolutePath());
    } catch (...) {
        rollback();
        throw;
    }
    commit();
}

} // namespace db::paradox
