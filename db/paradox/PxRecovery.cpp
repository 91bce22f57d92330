#include "db/paradox/PxRecovery.h"
#include "db/paradox/PxFiles.h"
#include "db/paradox/PxTable.h"

#include <QDir>
#include <QFileInfo>
#include <map>
#include <memory>

namespace db::paradox {

namespace {

constexpr int kLockWaitMs = 1000;

const char *const kSuffixes[] = {".aldjrn", ".aldnew", ".aldbak"};

// "PATIENTS.DB.aldjrn" -> "PATIENTS.DB"; empty when not a work file.
QString workFileOf(const QString &name)
{
    for (const char *suffix : kSuffixes)
        if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return name.left(name.size() - int(qstrlen(suffix)));
    return QString();
}

// The table's .DB as the directory spells it, or as the work file names it.
QString dbFileOf(const QDir &dir, const QString &baseName, const QString &named)
{
    for (const QString &f : dir.entryList(QDir::Files | QDir::Hidden)) {
        const QFileInfo fi(f);
        if (fi.completeBaseName().compare(baseName, Qt::CaseInsensitive) == 0
            && fi.suffix().compare(QLatin1String("DB"), Qt::CaseInsensitive) == 0)
            return dir.filePath(f);
    }
    const QFileInfo n(named);
    return dir.filePath(baseName + QLatin1Char('.') + (n.suffix().compare(QLatin1String("DB"), Qt::CaseInsensitive) == 0
                                                          ? n.suffix() : QStringLiteral("DB")));
}

} // namespace

QStringList recoverGroup(const QString &groupPath, const QString &heldDbFile)
{
    const std::optional<QStringList> tables = groupJournal::read(groupPath);
    if (!tables) {
        removeFile(groupPath);
        return {};
    }
    const QString held = QFileInfo(heldDbFile).absoluteFilePath();
    std::vector<std::unique_ptr<File>> locks;
    for (const QString &db : *tables) {
        const QString name = QFileInfo(db).completeBaseName();
        if (!QFileInfo::exists(db) || QFileInfo(db).absoluteFilePath() == held)
            continue;
        auto lock = std::make_unique<File>();
        if (!lock->open(db, true) || !lock->lock(true, kLockWaitMs))
            throw JournalKept(QStringLiteral("La table %1 est verrouillée par un autre programme : la modification "
                                             "interrompue de plusieurs tables dont elle fait partie n'a pas pu être "
                                             "annulée.").arg(name));
        locks.push_back(std::move(lock));
    }
    QStringList undone;
    for (const QString &db : *tables) {
        const QString journal = db + QStringLiteral(".aldjrn");
        if (QFileInfo::exists(journal) && Journal::recover(journal, tableFiles(db), QFileInfo(db).completeBaseName()))
            undone << QFileInfo(db).completeBaseName();
    }
    removeFile(groupPath);
    syncDirectory(QFileInfo(groupPath).absolutePath());
    return undone;
}

std::vector<TableRecovery> recoverDirectory(const QString &directory)
{
    const QDir dir(directory);
    std::vector<TableRecovery> out;
    for (const QString &g : dir.entryList({QStringLiteral("*") + groupJournal::suffix()}, QDir::Files | QDir::Hidden)) {
        try {
            for (const QString &t : recoverGroup(dir.filePath(g)))
                out.push_back(TableRecovery{t, TableRecovery::RolledBack, QString()});
        } catch (const DbError &e) {
            out.push_back(TableRecovery{QFileInfo(g).completeBaseName(), TableRecovery::Kept, e.message()});
        }
    }
    // The work files of each table, by table name in upper case.
    struct Group {
        QString table;
        QString dbFile;
        QStringList files;
        QString journal;
    };
    std::map<QString, Group> groups;
    // Directories too: one in the place of a journal is reported, not passed over.
    for (const QString &f : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString target = workFileOf(f);
        if (target.isEmpty())
            continue;
        const QString base = QFileInfo(target).completeBaseName();
        Group &g = groups[base.toUpper()];
        if (g.table.isEmpty()) {
            g.table = base;
            g.dbFile = dbFileOf(dir, base, target);
        }
        g.files << dir.filePath(f);
        if (f.endsWith(QLatin1String(".aldjrn"), Qt::CaseInsensitive)
            && QFileInfo(target).suffix().compare(QLatin1String("DB"), Qt::CaseInsensitive) == 0) {
            g.journal = dir.filePath(f);
            g.dbFile = dir.filePath(target);
        }
    }

    for (auto &[key, g] : groups) {
        TableRecovery r;
        r.table = g.table;
        File lock;
        if (QFileInfo::exists(g.dbFile)) {
            if (!lock.open(g.dbFile, true)) {
                r.outcome = TableRecovery::Kept;
                r.message = QStringLiteral("Table %1 : une modification interrompue doit être annulée, mais le fichier "
                                           "n'est pas accessible en écriture (%2).").arg(g.table, lock.errorText());
                out.push_back(r);
                continue;
            }
            if (!lock.lock(true, kLockWaitMs)) {
                r.outcome = TableRecovery::Kept;
                r.message = QStringLiteral("La table %1 est verrouillée par un autre programme : sa modification "
                                           "interrompue n'a pas pu être annulée.").arg(g.table);
                out.push_back(r);
                continue;
            }
        }
        if (g.journal.isEmpty()) {
            // Written before any journal, or left after it was removed: not part of the table.
            for (const QString &f : g.files)
                removeFile(f);
            r.outcome = TableRecovery::Cleaned;
            out.push_back(r);
            continue;
        }
        try {
            r.outcome = Journal::recover(g.journal, tableFiles(g.dbFile), g.table) ? TableRecovery::RolledBack
                                                                                  : TableRecovery::Cleaned;
        } catch (const DbError &e) {
            r.outcome = TableRecovery::Kept;
            r.message = e.message();
        }
        out.push_back(r);
    }
    return out;
}

} // namespace db::paradox
