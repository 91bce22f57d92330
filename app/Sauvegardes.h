#pragma once
#include "db/Restore.h"
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

    // Keeps the journal as it stands (its summary and rows) in the backup,
    // before anyone is asked anything about it. A failure is told in an
    // error box; the run goes on.
    void conserverJournal();
    bool journalConserve() const { return m_journalConserve; }
    // Keeps the journal's report as a PDF beside the backup, when the
    // journal has rows. Built like the printed report, it takes as long: it
    // is written once the results have been shown rather than before, so
    // that they are not kept waiting. A failure is told in an error box.
    void conserverRapport();
    // How the run ended; from then on, start-up no longer tells of it.
    void terminer(const QString &etat);

private:
    // Commits what the run did and lets go of the connection; throws the
    // commit's failure, still attached.
    void lacher();

    Session &s;
    std::unique_ptr<db::RunBackup> m_backup;
    bool m_attache = false;
    bool m_journalConserve = false;
    int m_lignes = 0;
};

namespace sauvegardes {

// Where the backups of the practice go: the "Sauvegardes" key of the
// [Aldurix] section of Praxelle.ini, otherwise a "Sauvegardes" directory
// beside the work files.
QString repertoire(const Session &session);

// The journal's summary as the restore window lists it.
QString resumeJournal(int importants, int aPrendreEnCompte, int pourInformation, int autres);

// When a run started, as its restore names it: "08/12/2026 à 22:52:33".
QString dateTraitement(const QDateTime &debut);
// "152 enregistrements modifiés", "1 enregistrement modifié".
QString enregistrements(qint64 n, const QString &singulier, const QString &pluriel);
// A backup's state as listed: a run that never ended says so, and a
// restore is told with its date.
QString etat(const db::BackupInfo &b);
// The question asked before a run is undone.
QString confirmationRestauration(const db::BackupInfo &b);
// The file beside a backup that lists every row its restore left as it was.
QString fichierRestes(const QString &backup);

struct Restauration {
    db::RestoreResult resultat;
    QString fichierRestes;   // written when rows were left, empty otherwise
    QString erreurFichier;   // why it could not be written
};
// Undoes the run of a backup on the session's practice connection, with the
// progress display, and writes down the rows it left. Throws db::DbError
// when it could not be done: nothing changed then.
Restauration restaurer(Session &s, const QString &backup);
// The outcome as the user reads it; the rows left are listed up to
// maxLignes of them (all when negative), the file holding them all.
QString compteRenduRestauration(const Restauration &r, int maxLignes);

} // namespace sauvegardes
