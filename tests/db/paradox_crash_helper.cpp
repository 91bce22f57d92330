// A process of its own that runs one statement on a directory of Paradox
// tables, for the tests that kill it in the middle of a write or give it
// too little room to write:
//   paradox_crash_helper <directory> kill <n> <sql>    killed (SIGKILL) at its n-th file operation
//   paradox_crash_helper <directory> fsize <bytes> <sql>   no file may grow past <bytes>
//   paradox_crash_helper <directory> run 0 <sql>
// Prints the engine's message and exits with 3 when the statement fails.
#include "db/DbError.h"
#include "db/paradox/ParadoxDriver.h"
#include "db/paradox/PxFiles.h"

#include <QString>
#include <csignal>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s <directory> kill|fsize|run <n> <sql>\n", argv[0]);
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[2]);
    const long long n = QString::fromLocal8Bit(argv[3]).toLongLong();
    sqlite3 *db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK)
        return 2;
    try {
        db::paradox::attachDirectory(db, QString::fromLocal8Bit(argv[1]));
    } catch (const db::DbError &e) {
        std::printf("%s\n", e.message().toUtf8().constData());
        return 3;
    }
    if (mode == QLatin1String("kill")) {
        db::paradox::faults::killAfter(int(n));
    } else if (mode == QLatin1String("fsize")) {
        std::signal(SIGXFSZ, SIG_IGN);   // a write past the limit fails (EFBIG) instead
        const rlimit limit{rlim_t(n), rlim_t(n)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
    }
    char *err = nullptr;
    if (sqlite3_exec(db, argv[4], nullptr, nullptr, &err) != SQLITE_OK) {
        std::printf("%s\n", err ? err : "erreur");
        sqlite3_free(err);
        sqlite3_close(db);
        return 3;
    }
    sqlite3_close(db);
    return 0;
}
