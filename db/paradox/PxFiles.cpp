#include "db/paradox/PxFiles.h"
#include "db/DbError.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db::paradox {

namespace {

std::atomic<int> g_countdown{-1};

// True when the injected failure is due now.
bool injectedFailure()
{
    int n = g_countdown.load();
    while (n >= 0) {
        if (g_countdown.compare_exchange_weak(n, n - 1))
            return n == 0;
    }
    return false;
}

QByteArray native(const QString &path) { return QFile::encodeName(path); }

[[noreturn]] void ioError(const QString &table, const QString &what, const QString &path, int err)
{
    throw DbError(QStringLiteral("Table %1 : %2 %3 impossible (%4).")
                      .arg(table, what, QFileInfo(path).fileName(), QString::fromLocal8Bit(std::strerror(err))));
}

const char kMagic[8] = {'A', 'L', 'D', 'J', 'R', 'N', '0', '1'};
const char kTrailer[8] = {'A', 'L', 'D', 'J', 'E', 'N', 'D', '!'};
enum : unsigned char { kRegion = 1, kLength = 2, kReplaced = 3 };

quint32 fnv1a(const char *p, qsizetype n)
{
    quint32 h = 2166136261u;
    for (qsizetype i = 0; i < n; ++i) {
        h ^= static_cast<unsigned char>(p[i]);
        h *= 16777619u;
    }
    return h;
}

void append32(QByteArray &out, quint32 v)
{
    char b[4];
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xff);
    out.append(b, 4);
}

void append64(QByteArray &out, qint64 v)
{
    append32(out, quint32(quint64(v) & 0xffffffffu));
    append32(out, quint32(quint64(v) >> 32));
}

quint32 get32(const char *p)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
}

} // namespace

namespace faults {
void failAfter(int count) { g_countdown.store(count < 0 ? -1 : count); }
} // namespace faults

Signature signatureOf(const QString &path)
{
    struct stat st;
    Signature s;
    if (::stat(native(path).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

bool File::open(const QString &path, bool write, bool create)
{
    close();
    m_path = path;
    int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    if (create)
        flags |= O_CREAT | O_TRUNC;
    m_fd = ::open(native(path).constData(), flags, 0644);
    if (m_fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

void File::close()
{
    if (m_fd >= 0)
        ::close(m_fd);   // also drops the flock
    m_fd = -1;
}

qint64 File::size() const
{
    struct stat st;
    return ::fstat(m_fd, &st) == 0 ? qint64(st.st_size) : -1;
}

QByteArray File::read(qint64 offset, qint64 length) const
{
    QByteArray out(length, Qt::Uninitialized);
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, out.data() + done, size_t(length - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    out.truncate(done);
    return out;
}

void File::write(qint64 offset, const char *data, qint64 length, const QString &table)
{
    if (injectedFailure())
        ioError(table, QStringLiteral("écriture dans"), m_path, EIO);
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(m_fd, data + done, size_t(length - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ioError(table, QStringLiteral("écriture dans"), m_path, n < 0 ? errno : ENOSPC);
        done += n;
    }
}

void File::truncate(qint64 length, const QString &table)
{
    if (injectedFailure() || ::ftruncate(m_fd, off_t(length)) != 0)
        ioError(table, QStringLiteral("réduction de"), m_path, errno ? errno : EIO);
}

void File::sync(const QString &table)
{
    if (injectedFailure() || ::fsync(m_fd) != 0)
        ioError(table, QStringLiteral("enregistrement sur disque de"), m_path, errno ? errno : EIO);
}

bool File::lock(bool exclusive, int timeoutMs)
{
    const int op = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    for (int waited = 0;; waited += 10) {
        if (::flock(m_fd, op) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (waited >= timeoutMs)
            return false;
        QThread::msleep(10);
    }
}

bool File::samePathAndFile() const
{
    struct stat a, b;
    return ::fstat(m_fd, &a) == 0 && ::stat(native(m_path).constData(), &b) == 0 && a.st_ino == b.st_ino
        && a.st_dev == b.st_dev;
}

void renameFile(const QString &from, const QString &to, const QString &table)
{
    errno = 0;
    if (injectedFailure() || ::rename(native(from).constData(), native(to).constData()) != 0)
        ioError(table, QStringLiteral("remplacement de"), to, errno ? errno : EIO);
}

void keepCopy(const QString &from, const QString &to, const QString &table)
{
    errno = 0;
    if (injectedFailure())
        ioError(table, QStringLiteral("sauvegarde de"), from, EIO);
    ::unlink(native(to).constData());
    if (::link(native(from).constData(), native(to).constData()) == 0)
        return;
    // File systems without hard links get a real copy.
    if (!QFile::copy(from, to))
        ioError(table, QStringLiteral("sauvegarde de"), from, errno ? errno : EIO);
}

void removeFile(const QString &path) { ::unlink(native(path).constData()); }

void syncDirectory(const QString &dir)
{
    const int fd = ::open(native(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// ---------------------------------------------------------------------------

void Journal::keepRegion(FileId f, qint64 offset, const QByteArray &original)
{
    m_entries.push_back(Entry{kRegion, f, offset, original});
}

void Journal::keepLength(FileId f, qint64 originalLength)
{
    m_entries.push_back(Entry{kLength, f, originalLength, QByteArray()});
}

void Journal::keepReplaced(FileId f, bool existed)
{
    m_entries.push_back(Entry{kReplaced, f, existed ? 1 : 0, QByteArray()});
}

void Journal::write()
{
    QByteArray out(kMagic, 8);
    append32(out, quint32(m_entries.size()));
    for (const Entry &e : m_entries) {
        out.append(char(e.kind));
        out.append(char(e.file));
        append64(out, e.offset);
        append32(out, quint32(e.bytes.size()));
        out.append(e.bytes);
    }
    const quint32 sum = fnv1a(out.constData(), out.size());
    out.append(kTrailer, 8);
    append32(out, sum);
    File f;
    if (!f.open(m_path, true, true))
        ioError(m_table, QStringLiteral("création du journal"), m_path, EACCES);
    m_written = true;   // from here a failure must undo what the journal lists
    f.write(0, out.constData(), out.size(), m_table);
    f.sync(m_table);
    syncDirectory(QFileInfo(m_path).absolutePath());
}

bool Journal::parse(const QByteArray &data, std::vector<Entry> *out)
{
    if (data.size() < 8 + 4 + 12 || std::memcmp(data.constData(), kMagic, 8) != 0)
        return false;
    const qsizetype body = data.size() - 12;
    if (std::memcmp(data.constData() + body, kTrailer, 8) != 0
        || get32(data.constData() + body + 8) != fnv1a(data.constData(), body))
        return false;
    const char *p = data.constData() + 8;
    const char *end = data.constData() + body;
    const quint32 count = get32(p);
    p += 4;
    for (quint32 i = 0; i < count; ++i) {
        if (end - p < 14)
            return false;
        Entry e;
        e.kind = static_cast<unsigned char>(p[0]);
        e.file = FileId(static_cast<unsigned char>(p[1]));
        e.offset = qint64(quint64(get32(p + 2)) | (quint64(get32(p + 6)) << 32));
        const quint32 len = get32(p + 10);
        p += 14;
        if (e.file > Px || quint64(end - p) < len)
            return false;
        e.bytes = QByteArray(p, len);
        p += len;
        out->push_back(std::move(e));
    }
    return p == end;
}

void Journal::apply(const std::vector<Entry> &entries, const Paths &files, const QString &table)
{
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const QString &path = files[it->file];
        if (it->kind == kReplaced) {
            const QString backup = backupName(path);
            if (it->offset && QFileInfo::exists(backup))
                renameFile(backup, path, table);
            else if (!it->offset)
                removeFile(path);
            continue;
        }
        File f;
        if (!f.open(path, true))
            ioError(table, QStringLiteral("restauration de"), path, ENOENT);
        if (it->kind == kRegion)
            f.write(it->offset, it->bytes.constData(), it->bytes.size(), table);
        else if (f.size() > it->offset)
            f.truncate(it->offset, table);
        f.sync(table);
    }
    syncDirectory(QFileInfo(files[Db]).absolutePath());
}

void Journal::cleanLeftovers(const Paths &files)
{
    for (const QString &f : files) {
        removeFile(newName(f));
        removeFile(backupName(f));
    }
}

void Journal::undo()
{
    if (m_written) {
        apply(m_entries, m_files, m_table);
        removeFile(m_path);
        m_written = false;
    }
    cleanLeftovers(m_files);
    m_entries.clear();
}

void Journal::discard()
{
    // The journal's removal is what commits: once it is gone nothing will
    // roll the change back, so it goes before the backups.
    if (m_written) {
        if (::unlink(native(m_path).constData()) != 0) {
            // An empty journal reads as "nothing to undo".
            ::truncate(native(m_path).constData(), 0);
        }
    }
    cleanLeftovers(m_files);
    m_entries.clear();
    m_written = false;
}

bool Journal::recover(const QString &journalPath, const Paths &files, const QString &table)
{
    QFile j(journalPath);
    if (!j.exists())
        return false;
    if (!j.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("Table %1 : une modification interrompue doit être annulée, "
                                     "mais le journal %2 ne peut pas être lu.")
                          .arg(table, QFileInfo(journalPath).fileName()));
    const QByteArray data = j.readAll();
    j.close();
    std::vector<Entry> entries;
    bool undone = false;
    if (parse(data, &entries)) {
        // An incomplete journal means nothing of the table was touched yet.
        try {
            apply(entries, files, table);
        } catch (const DbError &e) {
            throw DbError(QStringLiteral("Table %1 : une modification interrompue n'a pas pu être annulée (%2).")
                              .arg(table, e.message()));
        }
        undone = true;
    }
    cleanLeftovers(files);
    if (::unlink(native(journalPath).constData()) != 0)
        throw DbError(QStringLiteral("Table %1 : le journal %2 ne peut pas être supprimé.")
                          .arg(table, QFileInfo(journalPath).fileName()));
    return undone;
}

} // namespace db::paradox
