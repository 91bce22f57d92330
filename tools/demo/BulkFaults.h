#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

// Faults in bulk, for measuring the checker on a realistic volume of work:
// applied to a demo practice after writeDemoData, they damage a share of its
// healthy rows (never the planted block nor the files 1 to 30) with every
// kind of fault that the run repairs without asking. The dialogs stay those
// of the planted faults (two unknown patients, four unknown bodies), however
// many accounting rows are made to name the missing bodies.
//
// Each kind picks its rows by a hash of the seed, the kind and the row's
// number, so a size and seed always damage the same rows; the kinds that
// share a table take disjoint slices of it, so one row carries one fault.
namespace demo {

struct BulkFaults {
    // Patients
    int wrongNomon = 0;
    int emptyPrenom = 0;
    int patientsOfMissingPhysicians = 0;   // naming one of a few physicians that do not exist
    // Accounting
    int unknownPhysicianRows = 0;          // accounting of physicians no patient names
    int emptyRows = 0;
    int duplicatePairs = 0;
    int duplicateTriples = 0;
    int rowsWithoutPatient = 0;
    int rowsOfMissingBodies = 0;           // principal or complementary body 31 to 33
    int smallBalances = 0;
    int creditBalances = 0;
    // Follow-up and the other tables
    int statementsWithoutBody = 0;
    int deletedStatements = 0;             // their settlement lines stay, orphan
    int deletedCareSheets = 0;             // the accounting still names them
    int orphanCareSheets = 0;              // naming patients that do not exist
    int deletedTransfers = 0;
    int deletedDeposits = 0;
};

// percent: share of the healthy rows each kind damages (1 = one row in a
// hundred). Throws db::DbError when a statement fails.
BulkFaults applyBulkFaults(QSqlDatabase db, double percent, quint64 seed);

// One line per kind, for the demo writer's and the bench's reports.
QString describe(const BulkFaults &f);

} // namespace demo
