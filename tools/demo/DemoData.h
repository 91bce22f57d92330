#pragma once
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>
#include <stdexcept>

// A demo practice: plausible patients, physicians and accounting, plus a known
// set of broken records, one family per check phase, at fixed numbers so that
// a run of the checker on it can be compared with what was planted.
//
// Numbering. Every table that holds planted rows keeps a block of low numbers
// for them; the healthy rows come after it:
//   CPMAIN 1-100, CPSVFACT 1-20, CPORDPAY 1-20, CPGEST 1-20, CPTRANS 1-10,
//   CPREM 1-10.
// A missing record that the faults refer to is a hole in its block (a
// statement, care sheet, transfer or deposit deleted while its references
// stayed). Patients are numbered 1..patients+3 with the holes 4, 9 and 15:
// the files that were deleted while their accounting or care sheets stayed.
// Physicians 91, 92, 97, 98 and insurance bodies 31 to 34 never existed.
//
// The planted rows are numbered from 1 in a fixed order, roughly that of
// PlantedFaults. Lists marked "scaled" grow by one element per 5 000 patients
// (at most 5); below 5 000 patients no number depends on the seed or the
// size, above it the rows after a scaled list move up with it.
namespace demo {

constexpr int kMinimumPatients = 30;   // the planted faults use files 1 to 30
constexpr int kDefaultPatients = 60;
constexpr quint64 kDefaultSeed = 1;
// Accounting rows of a healthy patient, on average (planted rows aside).
constexpr int kDefaultVisits = 5;
constexpr int kMaximumVisits = 50;

struct PlantedFaults {
    int patients = 0;     // rows of PATIENTS
    int physicians = 0;   // physicians 1..physicians; the front desk user is physicians + 1
    int cpmainRows = 0;   // rows of CPMAIN, planted ones included

    // Patient files. N_OMON breaking the numbering rule: 3 is "de ..." stored
    // with a capital initial (wrong case), 8 has none, 13 lacks its zeros,
    // 21 carries another number; scaled: 5000*i - 1 lack their zeros.
    QList<int> wrongNomon;
    int wrongCaseNomon = 3;
    // Right as they are although unusual: 11 has a lower-case initial, 14 an
    // accented one; both must stay untouched.
    QList<int> unusualButRightNomon;
    // PRENOM: 5 empty text, 17 null; scaled: 5000*i - 2 null.
    QList<int> emptyPrenom;

    // Physicians named by patients but missing from MEDECINS: 91 (files 6 and
    // 19), 92 (file 24). File 27 has no physician at all (no placeholder).
    QList<int> missingPhysicians;
    QList<int> patientsOfMissingPhysicians;
    int patientWithoutPhysician = 27;
    // An accounting row of physician 91: it stays, since 91 gets created first.
    int cpmainOfNamedMissingPhysician = 0;
    // Physicians that only accounting rows name: 97 (three rows), 98 (one).
    QList<int> accountingOnlyPhysicians;
    QList<int> cpmainOfAccountingOnlyPhysicians;

    // CPMAIN rows whose eight amount columns are all null (scaled), and one
    // whose amounts are all 0, which is not empty.
    QList<int> emptyCpmain;
    int zeroAmountCpmain = 0;
    // CPORDPAY statements without insurance body (scaled).
    QList<int> statementsWithoutBody;
    // CPGEST lines of the deleted statements 8 (three lines) and 9 (one line, scaled).
    QList<int> missingStatements;
    QList<int> orphanSettlementLines;
    // CPMAIN rows naming a care sheet that does not exist: two name sheet 3,
    // one names 0; scaled rows name 8, 9, ...
    QList<int> missingCareSheets;
    QList<int> cpmainWithMissingCareSheet;

    // Duplicates (same patient, physician, date and time), in CPMAIN_ID
    // order. Pair: the second has more filled columns. Triple: the middle one
    // has the most, the first and last fewer (and not as many as each other).
    QList<int> duplicatePair;
    QList<int> duplicateTriple;
    // Same patient, physician and day, another time: not duplicates.
    QList<int> sameDayOtherTime;

    // CPMAIN rows without patient number (scaled).
    QList<int> cpmainWithoutPatient;
    // Unknown patient 4, to attach to file 10: three rows; the first has the
    // physician, date and time of a row of file 10 (mergeTarget), so the two
    // merge. Also care sheet 1, one consultation (the second row's date),
    // one letter, two prescriptions and one history line under number 4.
    int patientToAttach = 4;
    int attachTo = 10;
    QList<int> cpmainOfPatientToAttach;
    int mergeSource = 0;
    int mergeTarget = 0;
    // Unknown patient 9, to create: two rows, care sheet 2, no consultation,
    // one letter, one prescription.
    int patientToCreate = 9;
    QList<int> cpmainOfPatientToCreate;
    QList<int> courrierOfUnknownPatients;     // letters of 4, then of 9
    QList<int> ordonnanceOfUnknownPatients;   // prescriptions of 4, then of 9
    // Care sheets whose patient is not in PATIENTS: 1 and 2 (of the unknown
    // patients above, kept or moved once those are settled), then the true
    // orphans 5 and 6 (of deleted file 15) and 7 (no patient).
    QList<int> careSheetsOfUnknownPatients;
    int patientOfOrphanCareSheets = 15;
    QList<int> orphanCareSheets;

    // Transfers named by CPMAIN but missing from CPTRANS: 3 (three rows of
    // physicians 1 and 2, latest on 2024-01-22) and 4 (one row of physician 3).
    QList<int> missingTransfers;
    QList<int> cpmainWithMissingTransfer;
    // Deposits named by CPMAIN but missing from CPREM: 2 (a "CHEQUE", a
    // "Chèque" and a cash + "cheque" row; the last one is physician 2's) and
    // 3 (one "Chèque" row only). Deposit 2 is also named by statement 6.
    QList<int> missingDepositsOfAccounting;
    QList<int> cpmainWithMissingDeposit;
    // Deposit 5, named by statements 3, 4 and 5 (4 is not by cheque), and
    // deposit 2 by statement 6.
    QList<int> missingDepositsOfStatements;
    QList<int> statementsWithMissingDeposit;

    // Insurance bodies missing from CPORG: principal 31 and 33, complementary
    // 32 and 33, statements 31 (also a principal body) and 34 (nowhere else).
    QList<int> missingPrincipalBodies;
    QList<int> missingComplementaryBodies;
    QList<int> missingStatementBodies;
    QList<int> cpmainWithMissingPrincipal;
    QList<int> cpmainWithMissingComplementary;
    QList<int> statementsWithMissingBody;

    // Balances under one cent: on the principal body (scaled), on the
    // complementary body; and a balance of exactly 0.01, which is no small balance.
    QList<int> smallPrincipalBalances;
    QList<int> smallComplementaryBalances;
    int oneCentBalance = 0;
    // Credit balances above 0.0099: principal (scaled), complementary in FRF,
    // and one row with both. A credit of 0.005 is selected but not reported.
    QList<int> principalCredits;
    int complementaryCreditFrf = 0;
    int doubleCredit = 0;
    int tinyCredit = 0;
};

// Fills a practice database whose tables are created and empty
// (createPracticeTables), in one transaction. Same size and seed, same rows.
// Throws db::DbError when a statement fails, std::invalid_argument when the
// size is below kMinimumPatients.
// visits: the accounting rows of a healthy patient on average.
PlantedFaults writeDemoData(QSqlDatabase db, int patients, quint64 seed, int visits = kDefaultVisits);

// Where a demo practice and its program directory are put.
struct DemoLayout {
    DemoLayout(const QString &outDir, const QString &programDir);
    QString out;       // absolute
    QString program;   // absolute
    QString baseDir() const { return out + QStringLiteral("/Base"); }
    QString privateDir() const { return out + QStringLiteral("/Private"); }
    QString databaseFile() const { return baseDir() + QStringLiteral("/ORBELIS.SQLITE"); }
    QString versionFile() const { return baseDir() + QStringLiteral("/PRAXELLE.VER"); }
    QString iniFile() const { return program + QStringLiteral("/Praxelle.ini"); }
    QString engineConfig() const { return program + QStringLiteral("/AldurixEngine.cfg"); }
};

inline const QString kDemoAlias = QStringLiteral("OrbelisDemo");

// A database directory that already holds something is only replaced on request.
class BaseInUse : public std::runtime_error {
public:
    explicit BaseInUse(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

bool baseDirectoryInUse(const DemoLayout &layout);

// Writes the whole demo: the database directory with its SQLite file and
// PRAXELLE.VER, the empty private directory, Praxelle.ini and the engine's
// alias. With force, the database and private directories are emptied first;
// without it an occupied database directory raises BaseInUse.
PlantedFaults writeDemoPractice(const DemoLayout &layout, int patients, quint64 seed, bool force);

// Only the configuration files (Praxelle.ini, PRAXELLE.VER, the engine alias).
void writeDemoConfiguration(const DemoLayout &layout);

} // namespace demo
