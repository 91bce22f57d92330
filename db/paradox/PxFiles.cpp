#include "db/paradox/PxFiles.h"
#include "db/DbError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <set>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db::paradox {

namespace {

std::atomic<int> g_countdown{-1};
std::atomic<int> g_failures{1};
std::atomic<bool> g_kill{false};

// True when the injected failure is due now.
bool injectedFailure()
{
    int n = g_countdown.load();
    while (n >= 0) {
        if (g_countdown.compare_exchange_weak(n, n - 1)) {
            if (n != 0)
                return false;
            if (g_kill.load())
                ::kill(::getpid(), SIGKILL);
            // Due: the next ones fail too while failures remain.
            if (g_failures.fetch_sub(1) > 1)
                g_countdown.store(0);
            return true;
        }
    }
    return false;
}

QByteArray native(const QString &path) { return QFile::encodeName(path); }

[[noreturn]] void ioError(const QString &table, const QString &what, const QString &path, int err)
{
    throw DbError(QStringLiteral("Table %1 : %2 %3 impossible (%4).")
                      .arg(table, what, QFileInfo(path).fileName(), QString::fromLocal8Bit(std::strerror(err))));
}

const char kMagic[8] = {'A', 'L', 'D', 'J', 'R', 'N', '0', '2'};
const char kTrailer[8] = {'A', 'L', 'D', 'J', 'E', 'N', 'D', '!'};
enum : unsigned char { kRegion = 1, kLength = 2, kReplaced = 3, kState = 4, kGroup = 5, kName = 6 };
const char kGroupMagic[] = "ALDGRP01";

quint64 mix(quint64 x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

quint32 fnv1a(const char *p, qsizetype n, quint32 h = 2166136261u)
{
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

qint64 get64(const char *p) { return qint64(quint64(get32(p)) | (quint64(get32(p + 4)) << 32)); }

} // namespace

namespace fingerprint {

quint64 ofWords(qint64 offset, const char *data, qint64 length)
{
    quint64 sum = 0;
    qint64 index = offset / 8;
    for (qint64 i = 0; i < length; i += 8, ++index) {
        quint64 w = 0;
        std::memcpy(&w, data + i, size_t(std::min<qint64>(8, length - i)));
        // A zero word counts for nothing: bytes past the end are zeros.
        if (w != 0)
            sum += mix(w ^ mix(quint64(index) + 0x9e3779b97f4a7c15ULL));
    }
    return sum;
}

quint64 withLength(quint64 words, qint64 length) { return words + mix(quint64(length) ^ 0x6a09e667f3bcc908ULL); }

quint64 afterWrites(const File &file, qint64 size, quint64 print,
                    const std::vector<std::pair<qint64, QByteArray>> &writes, qint64 newSize)
{
    quint64 sum = print - withLength(0, size);
    std::vector<std::pair<qint64, QByteArray>> sorted = writes;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    // Whole words around each run of writes: their sum before and after.
    for (size_t i = 0; i < sorted.size();) {
        const qint64 from = sorted[i].first / 8 * 8;
        qint64 to = (sorted[i].first + sorted[i].second.size() + 7) / 8 * 8;
        size_t j = i + 1;
        while (j < sorted.size() && sorted[j].first / 8 * 8 <= to) {
            to = std::max(to, (sorted[j].first + sorted[j].second.size() + 7) / 8 * 8);
            ++j;
        }
        QByteArray before = from < size ? file.read(from, std::min(to, size) - from) : QByteArray();
        before.resize(to - from, '\0');
        QByteArray after = before;
        for (size_t k = i; k < j; ++k)
            std::memcpy(after.data() + (sorted[k].first - from), sorted[k].second.constData(), size_t(sorted[k].second.size()));
        sum += ofWords(from, after.constData(), after.size()) - ofWords(from, before.constData(), before.size());
        i = j;
    }
    return withLength(sum, newSize);
}

std::optional<quint64> ofFile(const QString &path)
{
    File f;
    if (!f.open(path, false))
        return std::nullopt;
    const qint64 size = f.size();
    quint64 sum = 0;
    constexpr qint64 kStep = 1 << 20;
    for (qint64 at = 0; at < size; at += kStep) {
        const QByteArray chunk = f.read(at, std::min(kStep, size - at));
        if (chunk.size() != std::min(kStep, size - at))
            return std::nullopt;
        sum += ofWords(at, chunk.constData(), chunk.size());
    }
    return withLength(sum, size);
}

} // namespace fingerprint

namespace faults {
void failAfter(int count, int times)
{
    g_kill.store(false);
    g_failures.store(std::max(times, 1));
    g_countdown.store(count < 0 ? -1 : count);
}

void killAfter(int count)
{
    g_kill.store(true);
    g_countdown.store(count < 0 ? -1 : count);
}
} // namespace faults

namespace {

Signature signatureOfStat(int result, const struct stat &st)
{
    Signature s;
    if (result != 0)
        return s;
    s.exists = true;
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

} // namespace

Signature signatureOf(const QString &path)
{
    struct stat st;
    const int result = ::stat(native(path).constData(), &st);
    return signatureOfStat(result, st);
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

Signature File::state() const
{
    struct stat st;
    const int result = ::fstat(m_fd, &st);
    return signatureOfStat(result, st);
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

void Journal::keepState(FileId f, qint64 length, quint64 print)
{
    QByteArray b;
    append64(b, qint64(print));
    m_entries.push_back(Entry{kState, f, length, b});
}

void Journal::keepRegion(FileId f, qint64 offset, const QByteArray &original, const QByteArray &replacement)
{
    m_entries.push_back(Entry{kRegion, f, offset, original, replacement.size(), fingerprint::of(replacement)});
}

void Journal::keepRegion(FileId f, qint64 offset, const File &source, qint64 originalLength, const QByteArray &replacement)
{
    Entry e{kRegion, f, offset, QByteArray(), replacement.size(), fingerprint::of(replacement)};
    e.source = &source;
    e.sourceLength = originalLength;
    m_entries.push_back(std::move(e));
}

void Journal::keepLength(FileId f, qint64 originalLength)
{
    m_entries.push_back(Entry{kLength, f, originalLength, QByteArray()});
}

void Journal::keepReplaced(FileId f, bool existed, qint64 newLength, quint64 newPrint)
{
    m_entries.push_back(Entry{kReplaced, f, existed ? 1 : 0, QByteArray(), newLength, newPrint});
}

void Journal::setGroup(const QString &groupFileName)
{
    m_entries.push_back(Entry{kGroup, Db, 0, QFile::encodeName(groupFileName)});
}

void Journal::write()
{
    File f;
    if (!f.open(m_path, true, true))
        ioError(m_table, QStringLiteral("création du journal"), m_path, EACCES);
    m_written = true;   // from here a failure must undo what the journal lists
    // Written as it is built: a statement of many blocks does not hold its
    // journal twice in memory. Small journals still go in one write.
    constexpr qsizetype kFlush = 1 << 20;
    QByteArray out(kMagic, 8);
    qint64 at = 0;
    quint32 sum = 2166136261u;
    auto flush = [&] {
        sum = fnv1a(out.constData(), out.size(), sum);
        f.write(at, out.constData(), out.size(), m_table);
        at += out.size();
        out.resize(0);
    };
    // Files past the three are named in the journal itself.
    std::vector<Entry> names;
    std::set<int> named;
    for (const Entry &e : m_entries)
        if (e.kind != kGroup && e.file > Px && named.insert(e.file).second)
            names.push_back(Entry{kName, e.file, 0, QFile::encodeName(QFileInfo(m_files[e.file]).fileName())});
    append32(out, quint32(m_entries.size() + names.size()));
    for (const Entry &e : names) {
        out.append(char(e.kind));
        out.append(char(e.file));
        append64(out, 0);
        append64(out, 0);
        append64(out, 0);
        append32(out, quint32(e.bytes.size()));
        out.append(e.bytes);
    }
    for (const Entry &e : m_entries) {
        const QByteArray bytes = e.source ? e.source->read(e.offset, e.sourceLength) : e.bytes;
        if (bytes.size() != (e.source ? e.sourceLength : e.bytes.size()))
            ioError(m_table, QStringLiteral("lecture de"), m_files[e.file], EIO);
        out.append(char(e.kind));
        out.append(char(e.file));
        append64(out, e.offset);
        append64(out, e.newLength);
        append64(out, qint64(e.newPrint));
        append32(out, quint32(bytes.size()));
        out.append(bytes);
        if (out.size() >= kFlush)
            flush();
    }
    const quint32 total = fnv1a(out.constData(), out.size(), sum);
    out.append(kTrailer, 8);
    append32(out, total);
    f.write(at, out.constData(), out.size(), m_table);
    f.sync(m_table);
    syncDirectory(QFileInfo(m_path).absolutePath());
    m_complete = true;
}

Journal::Parsed Journal::parse(const QByteArray &data, std::vector<Entry> *out)
{
    // The journal is written whole and made durable before any change: one
    // without its end was cut short before anything was touched.
    if (data.size() < 8 + 4 + 12 || std::memcmp(data.constData() + data.size() - 12, kTrailer, 8) != 0)
        return Parsed::CutShort;
    const qsizetype body = data.size() - 12;
    if (std::memcmp(data.constData(), kMagic, 8) != 0 || get32(data.constData() + body + 8) != fnv1a(data.constData(), body))
        return Parsed::Damaged;
    const char *p = data.constData() + 8;
    const char *end = data.constData() + body;
    const quint32 count = get32(p);
    p += 4;
    for (quint32 i = 0; i < count; ++i) {
        if (end - p < 30)
            return Parsed::Damaged;
        Entry e;
        e.kind = static_cast<unsigned char>(p[0]);
        e.file = FileId(static_cast<unsigned char>(p[1]));
        e.offset = get64(p + 2);
        e.newLength = get64(p + 10);
        e.newPrint = quint64(get64(p + 18));
        const quint32 len = get32(p + 26);
        p += 30;
        if (e.kind < kRegion || e.kind > kName || e.file >= kMaxFiles || quint64(end - p) < len || e.newLength < 0
            || (e.kind != kState && e.kind != kReplaced && e.offset < 0) || (e.kind == kState && len != 8))
            return Parsed::Damaged;
        e.bytes = QByteArray(p, len);
        p += len;
        out->push_back(std::move(e));
    }
    return p == end ? Parsed::Complete : Parsed::Damaged;
}

// Empty when the files are as the interrupted write may have left them:
// each region it wrote holds its former bytes or its new ones, each
// replaced file is the former or the new one, and with the regions put back
// every file is, to the byte, what it was before. Otherwise what differs.
Journal::Paths Journal::pathsOf(const std::vector<Entry> &entries, const Paths &files)
{
    Paths out(files.begin(), files.begin() + std::min<qsizetype>(files.size(), Px + 1));
    out.resize(Px + 1);
    const QDir dir = QFileInfo(files[Db]).absoluteDir();
    for (const Entry &e : entries) {
        if (e.kind != kName)
            continue;
        const QString name = QFile::decodeName(e.bytes);
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
            throw JournalKept(QStringLiteral("le journal nomme un fichier invalide (%1)").arg(name));
        if (out.size() <= size_t(e.file))
            out.resize(size_t(e.file) + 1);
        out[e.file] = dir.filePath(name);
    }
    for (const Entry &e : entries)
        if (e.kind != kGroup && e.kind != kName && (size_t(e.file) >= out.size() || out[e.file].isEmpty()))
            throw JournalKept(QStringLiteral("le journal parle d'un fichier qu'il ne nomme pas"));
    return out;
}

QString Journal::changedSince(const std::vector<Entry> &entries, const Paths &files)
{
    for (int f = Db; f < int(files.size()); ++f) {
        const Entry *state = nullptr;
        const Entry *replaced = nullptr;
        std::vector<const Entry *> regions;
        for (const Entry &e : entries) {
            if (e.file != f || e.kind == kGroup || e.kind == kName)
                continue;
            if (e.kind == kState)
                state = &e;
            else if (e.kind == kReplaced)
                replaced = &e;
            else if (e.kind == kRegion)
                regions.push_back(&e);
        }
        if (!state)
            continue;
        const QString &path = files[size_t(f)];
        const QString name = QFileInfo(path).fileName();
        const quint64 before = quint64(get64(state->bytes.constData()));
        const bool existed = state->offset >= 0;
        const std::optional<quint64> now = fingerprint::ofFile(path);
        if (replaced) {
            if (now && *now == replaced->newPrint)
                continue;
            if (existed ? (now && *now == before) : !QFileInfo::exists(path))
                continue;
            return QStringLiteral("%1 n'est ni l'ancien ni le nouveau fichier").arg(name);
        }
        File file;
        if (!file.open(path, false))
            return QStringLiteral("%1 est absent ou illisible").arg(name);
        const qint64 size = file.size();
        qint64 written = state->offset;
        for (const Entry *r : regions) {
            const QByteArray current = file.read(r->offset, r->newLength);
            written = std::max(written, r->offset + r->newLength);
            if (current.size() == r->newLength && fingerprint::of(current) == r->newPrint)
                continue;
            // Not written yet: the former bytes, and nothing past the former end.
            const QByteArray old = file.read(r->offset, r->bytes.size());
            const QByteArray past = file.read(r->offset + r->bytes.size(), r->newLength - r->bytes.size());
            if (old != r->bytes || past.count('\0') != past.size())
                return QStringLiteral("%1 a changé à l'octet %2").arg(name).arg(r->offset);
        }
        if (size < state->offset || size > written)
            return QStringLiteral("%1 a changé de taille (%2 octets)").arg(name).arg(size);
        // The file with the regions put back, truncated to its former length.
        quint64 sum = 0;
        constexpr qint64 kStep = 1 << 20;
        for (qint64 at = 0; at < state->offset; at += kStep) {
            const qint64 n = std::min(kStep, state->offset - at);
            QByteArray chunk = file.read(at, n);
            if (chunk.size() != n)
                return QStringLiteral("%1 ne peut pas être relu").arg(name);
            for (auto it = regions.rbegin(); it != regions.rend(); ++it) {
                const Entry *r = *it;
                const qint64 from = std::max(at, r->offset);
                const qint64 to = std::min(at + n, r->offset + qint64(r->bytes.size()));
                if (from < to)
                    std::memcpy(chunk.data() + (from - at), r->bytes.constData() + (from - r->offset), size_t(to - from));
            }
            sum += fingerprint::ofWords(at, chunk.constData(), chunk.size());
        }
        if (fingerprint::withLength(sum, state->offset) != before)
            return QStringLiteral("%1 a été modifié en dehors de l'écriture interrompue").arg(name);
    }
    return QString();
}

void Journal::apply(const std::vector<Entry> &entries, const Paths &files, const QString &table)
{
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->kind == kState || it->kind == kGroup || it->kind == kName)
            continue;
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
        // A journal not written whole was written before any change: the
        // former bytes it lacks were never overwritten.
        const bool fromDisk = m_complete && std::any_of(m_entries.begin(), m_entries.end(), [](const Entry &e) { return e.source; });
        if (fromDisk) {
            QFile j(m_path);
            std::vector<Entry> entries;
            if (!j.open(QIODevice::ReadOnly) || parse(j.readAll(), &entries) != Parsed::Complete)
                throw JournalKept(QStringLiteral("Table %1 : le journal %2 ne peut pas être relu pour annuler la modification.")
                                      .arg(m_table, QFileInfo(m_path).fileName()));
            apply(entries, m_files, m_table);
        } else {
            apply(m_entries, m_files, m_table);
        }
        removeFile(m_path);
        m_written = false;
        m_complete = false;
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
    m_complete = false;
}

QString Journal::groupOf(const QString &journalPath)
{
    QFile j(journalPath);
    if (!j.open(QIODevice::ReadOnly))
        return QString();
    std::vector<Entry> entries;
    if (parse(j.readAll(), &entries) != Parsed::Complete)
        return QString();
    for (const Entry &e : entries) {
        if (e.kind != kGroup)
            continue;
        const QString path = QFileInfo(journalPath).absoluteDir().filePath(QFile::decodeName(e.bytes));
        return groupJournal::read(path) ? path : QString();
    }
    return QString();
}

namespace groupJournal {

QString suffix() { return QStringLiteral(".aldgrp"); }

void write(const QString &path, const QStringList &dbFiles, const QString &table)
{
    const QDir dir = QFileInfo(path).absoluteDir();
    QByteArray out = QByteArray(kGroupMagic) + '\n';
    for (const QString &f : dbFiles)
        out += QFile::encodeName(dir.relativeFilePath(f)) + '\n';
    out += "end " + QByteArray::number(dbFiles.size()) + ' ' + QByteArray::number(fnv1a(out.constData(), out.size())) + '\n';
    File f;
    if (!f.open(path, true, true))
        ioError(table, QStringLiteral("création du journal"), path, EACCES);
    f.write(0, out.constData(), out.size(), table);
    f.sync(table);
    syncDirectory(dir.absolutePath());
}

std::optional<QStringList> read(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = f.readAll();
    QList<QByteArray> lines = data.split('\n');
    if (lines.size() < 3 || !lines.back().isEmpty() || lines.front() != kGroupMagic)
        return std::nullopt;
    lines.removeLast();
    const QList<QByteArray> end = lines.takeLast().split(' ');
    const qsizetype body = data.lastIndexOf("end ");
    if (end.size() != 3 || end[0] != "end" || end[1].toInt() != lines.size() - 1
        || end[2].toUInt() != fnv1a(data.constData(), body))
        return std::nullopt;
    const QDir dir = QFileInfo(path).absoluteDir();
    QStringList out;
    for (qsizetype i = 1; i < lines.size(); ++i)
        out << QDir::cleanPath(dir.absoluteFilePath(QFile::decodeName(lines[i])));
    return out;
}

void remove(const QString &path)
{
    // Counted as a write, so that the crash tests stop just before the
    // commit point and just after it.
    if (injectedFailure() || ::unlink(native(path).constData()) != 0) {
        ::truncate(native(path).constData(), 0);
        return;
    }
    if (!injectedFailure())
        syncDirectory(QFileInfo(path).absolutePath());
}

} // namespace groupJournal

bool Journal::recover(const QString &journalPath, const Paths &files, const QString &table)
{
    const QString name = QFileInfo(journalPath).fileName();
    QFile j(journalPath);
    if (!j.exists())
        return false;
    if (!j.open(QIODevice::ReadOnly))
        throw JournalKept(QStringLiteral("Table %1 : une modification interrompue doit être annulée, mais le journal %2 "
                                         "ne peut pas être lu ; il est conservé pour examen.").arg(table, name));
    const QByteArray data = j.readAll();
    j.close();
    std::vector<Entry> entries;
    bool undone = false;
    switch (parse(data, &entries)) {
    case Parsed::CutShort:
        break;
    case Parsed::Damaged:
        throw JournalKept(QStringLiteral("Table %1 : le journal %2 d'une modification interrompue est endommagé ; la "
                                         "table n'est pas remise dans son état antérieur et le journal est conservé "
                                         "pour examen.").arg(table, name));
    case Parsed::Complete: {
        const auto group = std::find_if(entries.begin(), entries.end(), [](const Entry &e) { return e.kind == kGroup; });
        if (group != entries.end()
            && !groupJournal::read(QFileInfo(journalPath).absoluteDir().filePath(QFile::decodeName(group->bytes))))
            break;   // committed with its group
        Paths all;
        try {
            all = pathsOf(entries, files);
        } catch (const JournalKept &e) {
            throw JournalKept(QStringLiteral("Table %1 : le journal %2 d'une modification interrompue est endommagé (%3) ; "
                                             "la table n'est pas remise dans son état antérieur et le journal est conservé "
                                             "pour examen.").arg(table, name, e.message()));
        }
        const QString changed = changedSince(entries, all);
        if (!changed.isEmpty())
            throw JournalKept(QStringLiteral("La table %1 a été modifiée par un autre programme depuis l'interruption "
                                             "d'une modification (%2) : elle n'est pas remise dans son état antérieur. "
                                             "Le journal %3 est conservé pour examen.").arg(table, changed, name));
        try {
            apply(entries, all, table);
            cleanLeftovers(all);
        } catch (const DbError &e) {
            throw JournalKept(QStringLiteral("Table %1 : une modification interrompue n'a pas pu être annulée (%2) ; le "
                                             "journal %3 est conservé pour une prochaine tentative.")
                                  .arg(table, e.message(), name));
        }
        undone = true;
        break;
    }
    }
    cleanLeftovers(files);
    if (::unlink(native(journalPath).constData()) != 0)
        throw JournalKept(QStringLiteral("Table %1 : le journal %2 ne peut pas être supprimé.").arg(table, name));
    return undone;
}

} // namespace db::paradox
