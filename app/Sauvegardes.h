#pragma once
#include "db/RunBackup.h"

#include <QString>
#include <memory>

class Session;

// The backup of the run going on: made when the run starts, handed to the
// practice connection for every write of the run, and told how the run
// ended. Let go of the connection when it goes, however the run ends.
class SauvegardeTraitement {
public:
    // Throws db::BackupError when the backup cannot be made: the run must
    // not start then.
    explicit SauvegardeTraitement(Session &session);
    ~SauvegardeTraitement();
    SauvegardeTraitement(const SauvegardeTraitement &) = delete;
    SauvegardeTraitement &operator=(const SauvegardeTraitement &) = delete;

    db::RunBackup &backup() { return *m_backup; }

    // Keeps the journal as it stands (its summary and rows) and its report
    // as a PDF beside the backup, before anyone is asked anything about it.
    // A failure is told in an error box; the run goes on.
    void conserverJournal();
    // How the run ended; from then on, start-up no longer tells of it.
    void terminer(const QString &etat);

private:
    Session &s;
    std::unique_ptr<db::RunBackup> m_backup;
    bool m_attache = false;
};

namespace sauvegardes {

// Where the backups of the practice go: the "Sauvegardes" key of the
// [Aldurix] section of Praxelle.ini, otherwise a "Sauvegardes" directory
// beside the work files.
QString repertoire(const Session &session);

// The journal's summary as the restore window lists it.
QString resumeJournal(int importants, int aPrendreEnCompte, int pourInformation, int autres);

} // namespace sauvegardes
