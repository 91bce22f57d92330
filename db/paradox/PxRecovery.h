#pragma once
#include <QString>
#include <QStringList>
#include <vector>

namespace db::paradox {

// What start-up did with one table that an interrupted write left files for.
struct TableRecovery {
    enum Outcome {
        RolledBack,   // the interrupted change was undone
        Cleaned,      // nothing to undo; work files removed
        Kept          // not undone: the journal stays, message says why
    };
    QString table;    // the table's name (its .DB base name)
    Outcome outcome = Cleaned;
    QString message;  // for Kept: a French sentence naming the table
};

// Recovers every table of a Paradox directory that a killed or failed write
// left a journal (.aldjrn) for, and removes leftover work files (.aldnew,
// .aldbak) of tables without one. Each table is handled under its exclusive
// lock; a table changed by another program since the interruption, a
// damaged or unreadable journal, a locked table or a failed undo are
// reported as Kept, with the journal left for inspection. Throws nothing.
// Group journals (of commits that changed several tables) are played first:
// every table a group names is rolled back.
std::vector<TableRecovery> recoverDirectory(const QString &directory);

// Rolls back every table a group journal names that has a journal, each
// under its exclusive lock (but heldDbFile's, which the caller holds), then
// removes the group journal. Returns the names of the tables rolled back.
// Throws JournalKept (the group journal stays) when one cannot be.
QStringList recoverGroup(const QString &groupPath, const QString &heldDbFile = QString());

} // namespace db::paradox
