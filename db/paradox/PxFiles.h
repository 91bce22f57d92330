#pragma once
#include "db/DbError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace db::paradox {

// What tells a table file changed since it was read.
struct Signature {
    bool exists = false;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    bool operator==(const Signature &) const = default;
};
Signature signatureOf(const QString &path);

// Every write of the engine goes through these, so that a test can make the
// n-th one fail and check what the failure leaves behind.
namespace faults {
// The operations after the next `count` ones fail with an I/O error, `times`
// in a row; a negative count switches the injection off.
void failAfter(int count, int times = 1);
// The process kills itself (SIGKILL) instead of the operation after the
// next `count` ones: a crash at a chosen point of a write.
void killAfter(int count);
} // namespace faults

// A file descriptor; errors are db::DbError naming the table.
class File {
public:
    File() = default;
    ~File() { close(); }
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    // False when the file is absent or cannot be opened; errorText() says why.
    bool open(const QString &path, bool write, bool create = false);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const QString &path() const { return m_path; }
    QString errorText() const { return m_error; }

    qint64 size() const;
    QByteArray read(qint64 offset, qint64 length) const;   // short at end of file
    void write(qint64 offset, const char *data, qint64 length, const QString &table);
    void truncate(qint64 length, const QString &table);
    void sync(const QString &table);
    // Advisory lock of the whole file (flock), retried until timeoutMs.
    bool lock(bool exclusive, int timeoutMs);
    // True when the path still names this open file (no one replaced it).
    bool samePathAndFile() const;
    // What signatureOf() says of the path, for this open file.
    Signature state() const;

private:
    int m_fd = -1;
    QString m_path;
    QString m_error;
};

void renameFile(const QString &from, const QString &to, const QString &table);
// A second name for the file's contents (hard link, or a copy where links fail).
void keepCopy(const QString &from, const QString &to, const QString &table);
void removeFile(const QString &path);
void syncDirectory(const QString &dir);

// A fingerprint of a file's contents: a sum over its 8-byte words, each
// mixed with its position, plus its length. A write updates it from the
// bytes it replaces, so that a large table need not be read again after
// each change; bytes past the end count as zeros.
namespace fingerprint {
// The words of bytes that start at an offset that is a multiple of 8.
quint64 ofWords(qint64 offset, const char *data, qint64 length);
quint64 withLength(quint64 words, qint64 length);
inline quint64 of(const QByteArray &whole) { return withLength(ofWords(0, whole.constData(), whole.size()), whole.size()); }
// A whole file, read through; nullopt when it cannot be read.
std::optional<quint64> ofFile(const QString &path);
} // namespace fingerprint

class File;
namespace fingerprint {
// The fingerprint of the file once these writes (offset, bytes) are made,
// from its fingerprint and size now; reads only the words they touch.
quint64 afterWrites(const File &file, qint64 size, quint64 print,
                    const std::vector<std::pair<qint64, QByteArray>> &writes, qint64 newSize);
} // namespace fingerprint

// The journal of an interrupted write could not be played back: the table
// changed since, the journal is damaged or unreadable, or the undo failed.
// The journal stays on disk for inspection (or for the next try).
class JournalKept : public DbError {
public:
    using DbError::DbError;
};

// The undo record of one write to a table's files, kept on disk beside them
// from before the first byte changes until the statement is committed, so
// that a failure, or a crash, is rolled back to the exact former bytes.
//
// It also says what the statement meant to write (a fingerprint of each
// region's new bytes) and what each file was before (its length and
// fingerprint): a crash leaves every region old or new and nothing else
// changed. A table found otherwise was changed by another program after the
// crash, and is not rolled back.
class Journal {
public:
    // Secondary index files follow the three, numbered from Px + 1.
    enum FileId : unsigned char { Db = 0, Mb = 1, Px = 2 };
    using Paths = std::vector<QString>;
    static constexpr int kMaxFiles = 64;

    Journal(const QString &journalPath, const Paths &files, const QString &table)
        : m_path(journalPath), m_files(files), m_table(table) {}

    // What the file is before the statement: its length (-1: absent) and
    // fingerprint. Once per file the statement changes, before the rest.
    void keepState(FileId f, qint64 length, quint64 print);
    // Undo actions, in the order the changes will be made. A region past
    // the former end of the file has no original bytes.
    void keepRegion(FileId f, qint64 offset, const QByteArray &original, const QByteArray &replacement);
    // The same, the original bytes read from the open file when the journal
    // is written, so that they are never all in memory at once; the file
    // must stay open and unchanged until write() returns.
    void keepRegion(FileId f, qint64 offset, const File &source, qint64 originalLength, const QByteArray &replacement);
    void keepLength(FileId f, qint64 originalLength);
    // The file will be replaced by a new one (of this length and
    // fingerprint); its former contents wait under backupName(), or it did
    // not exist.
    void keepReplaced(FileId f, bool existed, qint64 newLength, quint64 newPrint);
    // The change is part of a commit of several tables, whose group journal
    // (a file of the same directory) is written before this one.
    void setGroup(const QString &groupFileName);

    void write();      // durable before returning
    void undo();       // restores the former bytes, in reverse order
    void discard();    // after success: drops the journal and the backups
    bool active() const { return m_written; }

    static QString backupName(const QString &file) { return file + QStringLiteral(".aldbak"); }
    static QString newName(const QString &file) { return file + QStringLiteral(".aldnew"); }
    // Rolls back what a failed or interrupted process left; true when
    // something had to be undone. A journal cut short was written before
    // any change and is only removed. Throws JournalKept when the journal
    // cannot be played back (the table changed since, the journal is
    // damaged or unreadable, the undo failed); the caller must hold the
    // table's exclusive lock.
    // A journal of a group whose group journal is gone was committed with
    // the group: it is removed, the table as it stands.
    static bool recover(const QString &journalPath, const Paths &files, const QString &table);
    // The group journal a whole journal names, when that file still exists;
    // empty otherwise.
    static QString groupOf(const QString &journalPath);

private:
    struct Entry {
        unsigned char kind;
        FileId file;
        qint64 offset;
        QByteArray bytes;
        qint64 newLength = 0;
        quint64 newPrint = 0;
        const File *source = nullptr;   // bytes still to read there, this many
        qint64 sourceLength = 0;
    };
    enum class Parsed { Complete, CutShort, Damaged };
    static Parsed parse(const QByteArray &data, std::vector<Entry> *out);
    static QString changedSince(const std::vector<Entry> &entries, const Paths &files);
    // The files as the journal names them: a secondary index file keeps its
    // number even when the directory lists others since.
    static Paths pathsOf(const std::vector<Entry> &entries, const Paths &files);
    static void apply(const std::vector<Entry> &entries, const Paths &files, const QString &table);
    static void cleanLeftovers(const Paths &files);

    QString m_path;
    Paths m_files;
    QString m_table;
    std::vector<Entry> m_entries;
    bool m_written = false;
    bool m_complete = false;   // on disk whole: the undo reads it back from there
};

// The group journal of a commit that changes several tables: it names their
// .DB files, is on disk before the first table's own journal and is removed
// once every table is written, which commits the group. While it exists, a
// crash rolls every table it names back; once it is gone, the tables'
// journals left behind are dropped.
namespace groupJournal {
QString suffix();
void write(const QString &path, const QStringList &dbFiles, const QString &table);   // durable before returning
// The .DB files it names (absolute paths); nothing when it is absent, empty
// or cut short: then no table journal was written under it, or the group committed.
std::optional<QStringList> read(const QString &path);
// The group's commit point. Throws nothing: a journal that cannot be
// removed is emptied, which reads as committed.
void remove(const QString &path);
} // namespace groupJournal

} // namespace db::paradox
