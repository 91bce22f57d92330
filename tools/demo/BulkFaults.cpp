#include "tools/demo/BulkFaults.h"
#include "db/DbError.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace demo {

namespace {

// The planted block of each table, and the patient files the planted faults
// use (the scaled ones sit just below each multiple of 5000).
constexpr int kPlantedCpmain = 100, kPlantedStatements = 20, kPlantedSheets = 20, kPlantedTransfers = 10,
              kPlantedDeposits = 10, kPlantedPatients = 30;
// Physicians that patients name but MEDECINS lacks, and others that only
// accounting rows name: far above any real number.
constexpr int kMissingPhysicianBase = 9001, kMissingPhysicians = 5;
constexpr int kAccountingOnlyPhysicianBase = 9101, kAccountingOnlyPhysicians = 10;
constexpr int kMissingPatientBase = 5000000;

quint64 mix(quint64 x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

class Damage {
public:
    Damage(QSqlDatabase db, double percent, quint64 seed) : m_db(db), m_seed(seed)
    {
        m_width = quint64(percent * 10000.0);   // a slice of a million
    }

    // The kind (0, 1, ...) whose slice the row falls in, or -1; table keeps
    // the tables' draws apart.
    int kindOf(int table, qint64 id, int kinds, quint64 *hash) const
    {
        const quint64 h = mix(m_seed ^ mix(quint64(table) << 40 ^ quint64(id)));
        *hash = h >> 20;
        const quint64 slot = h % 1000000;
        if (m_width == 0)
            return -1;
        const quint64 k = slot / m_width;
        return k < quint64(kinds) ? int(k) : -1;
    }

    std::vector<std::vector<qint64>> ids(const QString &sql, int table, int kinds, std::vector<quint64> *hashes = nullptr)
    {
        std::vector<std::vector<qint64>> out(static_cast<size_t>(kinds));
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.exec(sql))
            throw db::DbError(q.lastError().text());
        while (q.next()) {
            const qint64 id = q.value(0).toLongLong();
            quint64 h = 0;
            const int k = kindOf(table, id, kinds, &h);
            if (k >= 0) {
                out[size_t(k)].push_back(id);
                if (hashes)
                    hashes->push_back(h);
            }
        }
        return out;
    }

    quint64 hashOf(int table, qint64 id) const
    {
        quint64 h = 0;
        kindOf(table, id, 1, &h);
        return h;
    }

    // Runs the statement once per id (bound as :id, plus :h, the row's hash).
    int each(const QString &sql, const std::vector<qint64> &list, int table)
    {
        QSqlQuery q(m_db);
        if (!q.prepare(sql))
            throw db::DbError(q.lastError().text() + QStringLiteral(" : ") + sql);
        int n = 0;
        for (qint64 id : list) {
            q.bindValue(QStringLiteral(":id"), id);
            if (sql.contains(QStringLiteral(":h")))
                q.bindValue(QStringLiteral(":h"), qint64(hashOf(table, id) % 1000));
            if (!q.exec())
                throw db::DbError(q.lastError().text() + QStringLiteral(" : ") + sql);
            n += q.numRowsAffected() > 0 ? 1 : 0;
        }
        return n;
    }

    void exec(const QString &sql)
    {
        QSqlQuery q(m_db);
        if (!q.exec(sql))
            throw db::DbError(q.lastError().text() + QStringLiteral(" : ") + sql);
    }

    qint64 scalar(const QString &sql)
    {
        QSqlQuery q(m_db);
        if (!q.exec(sql) || !q.next())
            throw db::DbError(q.lastError().text() + QStringLiteral(" : ") + sql);
        return q.value(0).toLongLong();
    }

    QSqlDatabase m_db;

private:
    quint64 m_seed;
    quint64 m_width;
};

enum TableDraw { Patients = 1, Accounting, Statements, Sheets, Transfers, Deposits };

QString copyOfRow(const QString &newId)
{
    // Every column but the key, as the demo's schema orders them.
    static const QString columns = QStringLiteral(
        "PATIENTS_ID, MEDECINS_ID, DATE_CONSULTATION, CodeActe1, CodeActe2, CodeActe3, CodeActe4, Tarif1, Tarif2, "
        "Tarif3, Tarif4, Montant1, Montant2, Montant3, Montant4, Km, MontantKm, IndemniteDimanche, IndemniteNuit, "
        "Payeur, Paiement1, Paiement2, Mode1, Mode2, IDP1, IDP2, TiersPayant, CPOrg_1_ID, CPOrg_2_ID, "
        "MontantTiersPayant1, MontantTiersPayant2, RegleTiersPayant1, RegleTiersPayant2, CPTrans_ID, CPBanks_ID, "
        "CPRem_ID, IndemniteVille, Taux1, Taux2, TarifSS1, TarifSS2, TarifSS3, TarifSS4, MontantSS1, MontantSS2, "
        "MontantSS3, MontantSS4, CPSVFact_ID, ID_TP1, ID_TP2, SVCodeActes, LabelActe1, LabelActe2, LabelActe3, "
        "LabelActe4, SVMontant, MONNAIE1, MONNAIE2, DepoDate");
    return QStringLiteral("INSERT INTO CPMAIN (CPMAIN_ID, %1) SELECT %2, %1 FROM CPMAIN WHERE CPMAIN_ID=:id").arg(columns, newId);
}

// A copy that holds as much as its original, less, or more: the duplicates
// phase keeps the fuller one and, on a tie, the earlier.
void vary(Damage &d, qint64 id, int variant)
{
    if (variant == 1)
        d.exec(QStringLiteral("UPDATE CPMAIN SET Payeur=NULL, LabelActe1=NULL WHERE CPMAIN_ID=%1").arg(id));
    else if (variant == 2)
        d.exec(QStringLiteral("UPDATE CPMAIN SET Km=0, IndemniteVille=0 WHERE CPMAIN_ID=%1").arg(id));
}

} // namespace

BulkFaults applyBulkFaults(QSqlDatabase db, double percent, quint64 seed)
{
    BulkFaults f;
    Damage d(db, percent, seed);
    if (!db.transaction())
        throw db::DbError(db.lastError().text());
    try {
        // -- patients ---------------------------------------------------------
        const QString healthyPatients =
            QStringLiteral("SELECT PATIENTS_ID FROM PATIENTS WHERE PATIENTS_ID > %1 AND PATIENTS_ID % 5000 < 4990 "
                           "ORDER BY PATIENTS_ID").arg(kPlantedPatients);
        const auto patients = d.ids(healthyPatients, Patients, 3);
        // '#' is nobody's initial, so the number can never be right.
        f.wrongNomon = d.each(QStringLiteral("UPDATE PATIENTS SET N_OMON='#' || substr(N_OMON, 2) WHERE PATIENTS_ID=:id"),
                              patients[0], Patients);
        f.emptyPrenom = d.each(QStringLiteral("UPDATE PATIENTS SET PRENOM=CASE WHEN :h % 2 = 0 THEN '' ELSE NULL END "
                                              "WHERE PATIENTS_ID=:id"),
                               patients[1], Patients);
        f.patientsOfMissingPhysicians =
            d.each(QStringLiteral("UPDATE PATIENTS SET MEDECINS_ID=%1 + :h % %2 WHERE PATIENTS_ID=:id")
                       .arg(kMissingPhysicianBase)
                       .arg(kMissingPhysicians),
                   patients[2], Patients);

        // -- accounting -------------------------------------------------------
        const QString healthyRows =
            QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE CPMAIN_ID > %1 AND PATIENTS_ID > %2 "
                           "AND PATIENTS_ID % 5000 < 4990 ORDER BY CPMAIN_ID")
                .arg(kPlantedCpmain)
                .arg(kPlantedPatients);
        const auto rows = d.ids(healthyRows, Accounting, 8);
        f.unknownPhysicianRows = d.each(QStringLiteral("UPDATE CPMAIN SET MEDECINS_ID=%1 + :h % %2 WHERE CPMAIN_ID=:id")
                                            .arg(kAccountingOnlyPhysicianBase)
                                            .arg(kAccountingOnlyPhysicians),
                                        rows[0], Accounting);
        f.emptyRows = d.each(QStringLiteral("UPDATE CPMAIN SET Montant1=NULL, Montant2=NULL, Montant3=NULL, Montant4=NULL, "
                                            "Paiement1=NULL, Paiement2=NULL, RegleTiersPayant1=NULL, RegleTiersPayant2=NULL "
                                            "WHERE CPMAIN_ID=:id"),
                             rows[1], Accounting);
        f.rowsWithoutPatient = d.each(QStringLiteral("UPDATE CPMAIN SET PATIENTS_ID=NULL WHERE CPMAIN_ID=:id"), rows[4], Accounting);
        // Principal 31 or 33, complementary 32 when the row has one.
        f.rowsOfMissingBodies = d.each(
            QStringLiteral("UPDATE CPMAIN SET "
                           "CPOrg_1_ID=CASE WHEN :h % 3 = 2 AND CPOrg_2_ID IS NOT NULL THEN CPOrg_1_ID WHEN :h % 3 = 1 THEN 33 ELSE 31 END, "
                           "CPOrg_2_ID=CASE WHEN :h % 3 = 2 AND CPOrg_2_ID IS NOT NULL THEN 32 ELSE CPOrg_2_ID END "
                           "WHERE CPMAIN_ID=:id"),
            rows[5], Accounting);
        // Balances only where a body was billed: a few thousandths left
        // unsettled, or more settled than billed.
        f.smallBalances = d.each(
            QStringLiteral("UPDATE CPMAIN SET "
                           "RegleTiersPayant1=CASE WHEN MontantTiersPayant1 > 0 THEN MontantTiersPayant1 - 0.004 ELSE RegleTiersPayant1 END, "
                           "RegleTiersPayant2=CASE WHEN NOT MontantTiersPayant1 > 0 AND MontantTiersPayant2 > 0 "
                           "THEN MontantTiersPayant2 - 0.007 ELSE RegleTiersPayant2 END "
                           "WHERE CPMAIN_ID=:id AND (MontantTiersPayant1 > 0 OR MontantTiersPayant2 > 0)"),
            rows[6], Accounting);
        f.creditBalances = d.each(
            QStringLiteral("UPDATE CPMAIN SET "
                           "RegleTiersPayant1=CASE WHEN MontantTiersPayant1 > 0 THEN MontantTiersPayant1 + 1.5 ELSE RegleTiersPayant1 END, "
                           "RegleTiersPayant2=CASE WHEN MontantTiersPayant2 > 0 AND :h % 2 = 0 THEN MontantTiersPayant2 + 0.25 "
                           "ELSE RegleTiersPayant2 END "
                           "WHERE CPMAIN_ID=:id AND (MontantTiersPayant1 > 0 OR MontantTiersPayant2 > 0)"),
            rows[7], Accounting);
        // Duplicates last, so that the copies take their originals as damaged
        // so far (they are not); their numbers follow the highest in use.
        qint64 next = d.scalar(QStringLiteral("SELECT max(CPMAIN_ID) FROM CPMAIN")) + 1;
        for (int copies = 1; copies <= 2; ++copies) {
            for (qint64 id : rows[size_t(copies + 1)]) {
                const quint64 h = d.hashOf(Accounting, id);
                for (int c = 0; c < copies; ++c) {
                    d.each(copyOfRow(QString::number(next)), {id}, Accounting);
                    vary(d, next, int((h >> (4 * c)) % 3));
                    ++next;
                }
                (copies == 1 ? f.duplicatePairs : f.duplicateTriples)++;
            }
        }
        d.exec(QStringLiteral("UPDATE ID_VALUES SET LAST_VALUE=(SELECT max(CPMAIN_ID) FROM CPMAIN) WHERE KEY_NAME='CPMAIN_ID'"));

        // -- follow-up, care sheets, transfers, deposits ----------------------
        const auto statements = d.ids(QStringLiteral("SELECT CPORDPAY_ID FROM CPORDPAY WHERE CPORDPAY_ID > %1 ORDER BY CPORDPAY_ID")
                                          .arg(kPlantedStatements),
                                      Statements, 2);
        f.statementsWithoutBody = d.each(QStringLiteral("UPDATE CPORDPAY SET CPOrg_ID=NULL WHERE CPORDPAY_ID=:id"),
                                         statements[0], Statements);
        f.deletedStatements = d.each(QStringLiteral("DELETE FROM CPORDPAY WHERE CPORDPAY_ID=:id"), statements[1], Statements);

        const auto sheets = d.ids(QStringLiteral("SELECT CPSVFact_ID FROM CPSVFACT WHERE CPSVFact_ID > %1 ORDER BY CPSVFact_ID")
                                      .arg(kPlantedSheets),
                                  Sheets, 2);
        f.deletedCareSheets = d.each(QStringLiteral("DELETE FROM CPSVFACT WHERE CPSVFact_ID=:id"), sheets[0], Sheets);
        f.orphanCareSheets = d.each(QStringLiteral("UPDATE CPSVFACT SET Patients_ID=%1 + :h WHERE CPSVFact_ID=:id")
                                        .arg(kMissingPatientBase),
                                    sheets[1], Sheets);

        const auto transfers = d.ids(QStringLiteral("SELECT CPTrans_ID FROM CPTRANS WHERE CPTrans_ID > %1 ORDER BY CPTrans_ID")
                                         .arg(kPlantedTransfers),
                                     Transfers, 1);
        f.deletedTransfers = d.each(QStringLiteral("DELETE FROM CPTRANS WHERE CPTrans_ID=:id"), transfers[0], Transfers);
        const auto deposits = d.ids(QStringLiteral("SELECT CPRem_ID FROM CPREM WHERE CPRem_ID > %1 ORDER BY CPRem_ID")
                                        .arg(kPlantedDeposits),
                                    Deposits, 1);
        f.deletedDeposits = d.each(QStringLiteral("DELETE FROM CPREM WHERE CPRem_ID=:id"), deposits[0], Deposits);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw db::DbError(db.lastError().text());
    return f;
}

QString describe(const BulkFaults &f)
{
    QStringList l;
    auto add = [&l](const char *what, int n) { l << QStringLiteral("  %1 %2").arg(n, 6).arg(QString::fromUtf8(what)); };
    add("N_OMON faux", f.wrongNomon);
    add("prénoms vides", f.emptyPrenom);
    add("patients d'un médecin absent", f.patientsOfMissingPhysicians);
    add("recettes de médecins inconnus", f.unknownPhysicianRows);
    add("recettes vides", f.emptyRows);
    add("doublons (paires)", f.duplicatePairs);
    add("doublons (triplets)", f.duplicateTriples);
    add("recettes sans patient", f.rowsWithoutPatient);
    add("recettes de caisses inconnues", f.rowsOfMissingBodies);
    add("petits soldes", f.smallBalances);
    add("soldes créditeurs", f.creditBalances);
    add("relevés sans caisse", f.statementsWithoutBody);
    add("relevés supprimés (ventilations orphelines)", f.deletedStatements);
    add("FSE supprimées", f.deletedCareSheets);
    add("FSE de patients inconnus", f.orphanCareSheets);
    add("transferts supprimés", f.deletedTransfers);
    add("remises supprimées", f.deletedDeposits);
    return l.join(QLatin1Char('\n'));
}

} // namespace demo
