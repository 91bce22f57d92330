#include "support/Fixture.h"
#include "app/Common.h"
#include "db/Engine.h"
#include "db/Formats.h"
#include "db/IniFile.h"
#include "tools/demo/DemoData.h"
#include "tools/demo/ServerPractice.h"
#include "tools/demo/PracticeSchema.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

// A demo practice in memory, with the statements the checks ask it.
class DemoPractice {
public:
    DemoPractice(int patients, quint64 seed) : m_name(QStringLiteral("demo-test#%1").arg(++s_count))
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        d.setDatabaseName(QStringLiteral(":memory:"));
        if (!d.open())
            qFatal("cannot open an in-memory database");
        demo::createPracticeTables(d);
        faults = demo::writeDemoData(d, patients, seed);
        // For the cross-checks below only: without them each correlated
        // statement scans a whole table per row.
        QSqlQuery q(d);
        for (const char *index : {"MOTCONSU (PATIENTS_ID, DATE_CONSULTATION)", "CPMAIN (PATIENTS_ID, DATE_CONSULTATION)",
                                  "CPMAIN (CPRem_ID)", "CPORDPAY (CPRem_ID)", "CPGEST (CPOrdpay_ID)", "CPSVFACT (Patients_ID)"})
            if (!q.exec(QStringLiteral("CREATE INDEX ix%1 ON %2").arg(++m_indexes).arg(QLatin1String(index))))
                qFatal("%s", qPrintable(q.lastError().text()));
    }
    ~DemoPractice()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }

    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    QList<QVariantList> rows(const QString &sql) const
    {
        QSqlQuery q(db());
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        QList<QVariantList> out;
        while (q.next()) {
            QVariantList r;
            for (int i = 0; i < q.record().count(); ++i)
                r << q.value(i);
            out << r;
        }
        return out;
    }
    QList<int> ids(const QString &sql) const
    {
        QList<int> out;
        for (const QVariantList &r : rows(sql))
            out << r[0].toInt();
        return out;
    }
    QVariant scalar(const QString &sql) const
    {
        const auto r = rows(sql);
        return r.isEmpty() ? QVariant() : r[0][0];
    }

    // Every table, every row in key order, each value with its storage type.
    QString dump() const
    {
        QString out;
        for (const demo::TableDef &t : demo::practiceTables()) {
            out += QStringLiteral("#") + t.name + QLatin1Char('\n');
            for (const QVariantList &r : rows(QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(t.name, t.key))) {
                for (const QVariant &v : r) {
                    if (v.isNull())
                        out += QStringLiteral("\\N");
                    else if (v.typeId() == QMetaType::Double)
                        out += QStringLiteral("d:") + QString::number(v.toDouble(), 'g', 17);
                    else
                        out += QString::number(v.typeId()) + QLatin1Char(':') + v.toString();
                    out += QLatin1Char('|');
                }
                out += QLatin1Char('\n');
            }
        }
        return out;
    }

    demo::PlantedFaults faults;

private:
    static inline int s_count = 0;
    QString m_name;
    int m_indexes = 0;
};

QList<int> sorted(QList<int> l)
{
    std::sort(l.begin(), l.end());
    return l;
}

QString numberingRule(const QString &nom, int id)
{
    const QString digits = QString::number(id);
    return nom.left(1) + QString(qMax(0, 6 - int(digits.size())), QLatin1Char('0')) + digits;
}

// How much a row tells: its columns whose text is not empty.
int filledColumns(const QVariantList &row)
{
    return int(std::count_if(row.begin(), row.end(), [](const QVariant &v) { return !v.isNull() && !v.toString().isEmpty(); }));
}

QString list(const QList<int> &l)
{
    QStringList s;
    for (int i : l)
        s << QString::number(i);
    return s.join(QLatin1Char(','));
}

QString inList(const QList<int> &l) { return QLatin1Char('(') + list(l) + QLatin1Char(')'); }

} // namespace

class DemoTest : public QObject {
    Q_OBJECT

    std::unique_ptr<DemoPractice> m_small, m_scaled;
    static constexpr int kScaled = 10000;   // two of each scaled fault

    DemoPractice &practice()
    {
        QFETCH(int, patients);
        return patients == kScaled ? *m_scaled : *m_small;
    }

    void sizes()
    {
        QTest::addColumn<int>("patients");
        QTest::newRow("default size") << demo::kDefaultPatients;
        QTest::newRow("scaled") << kScaled;
    }

private slots:
    void initTestCase()
    {
        m_small = std::make_unique<DemoPractice>(demo::kDefaultPatients, demo::kDefaultSeed);
        m_scaled = std::make_unique<DemoPractice>(kScaled, 5);
    }
    void cleanupTestCase()
    {
        m_small.reset();
        m_scaled.reset();
    }

    // -- determinism -----------------------------------------------------

    void sameSeedAndSizeGiveTheSameRows()
    {
        const DemoPractice again(demo::kDefaultPatients, demo::kDefaultSeed);
        const QString a = m_small->dump(), b = again.dump();
        QVERIFY(a.count(QLatin1Char('\n')) > 1000);
        QCOMPARE(b, a);
    }

    void anotherSeedGivesOtherRowsButTheSamePlantedNumbers()
    {
        const DemoPractice other(demo::kDefaultPatients, 2);
        QVERIFY(other.dump() != m_small->dump());
        QVERIFY(other.rows(QStringLiteral("SELECT NOM, PRENOM FROM PATIENTS ORDER BY PATIENTS_ID"))
                != m_small->rows(QStringLiteral("SELECT NOM, PRENOM FROM PATIENTS ORDER BY PATIENTS_ID")));
        const demo::PlantedFaults &a = m_small->faults, &b = other.faults;
        QCOMPARE(b.emptyCpmain, a.emptyCpmain);
        QCOMPARE(b.duplicateTriple, a.duplicateTriple);
        QCOMPARE(b.cpmainOfPatientToAttach, a.cpmainOfPatientToAttach);
        QCOMPARE(b.mergeTarget, a.mergeTarget);
        QCOMPARE(b.principalCredits, a.principalCredits);
        QCOMPARE(b.tinyCredit, a.tinyCredit);
        QCOMPARE(b.orphanSettlementLines, a.orphanSettlementLines);
        QCOMPARE(b.wrongNomon, a.wrongNomon);
    }

    void tooFewPatientsAreRefused()
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tiny"));
        d.setDatabaseName(QStringLiteral(":memory:"));
        QVERIFY(d.open());
        demo::createPracticeTables(d);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, demo::writeDemoData(d, demo::kMinimumPatients - 1, 1));
        {
            QSqlQuery q(QStringLiteral("SELECT count(*) FROM MEDECINS"), d);
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 0);
        }
        d.close();
        d = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("tiny"));
    }

    // -- the planted faults, each found by the statement of its phase, and nothing else

    void patientFiles_data() { sizes(); }
    void patientFiles()
    {
        QFETCH(int, patients);
        DemoPractice &p = practice();
        const demo::PlantedFaults &f = p.faults;
        QCOMPARE(f.patients, patients);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM PATIENTS")).toInt(), patients);
        QCOMPARE(f.wrongNomon.size(), 4 + patients / 5000);
        QCOMPARE(f.emptyPrenom.size(), 2 + patients / 5000);

        QList<int> broken;
        for (const QVariantList &r : p.rows(QStringLiteral("SELECT PATIENTS_ID, NOM, N_OMON FROM PATIENTS ORDER BY PATIENTS_ID")))
            if (r[2].isNull() || r[2].toString() != numberingRule(r[1].toString(), r[0].toInt()))
                broken << r[0].toInt();
        QCOMPARE(broken, sorted(f.wrongNomon));

        // Wrong by the case of its initial only; the unusual right ones are really unusual.
        const auto wrongCase = p.rows(QStringLiteral("SELECT NOM, N_OMON FROM PATIENTS WHERE PATIENTS_ID=%1").arg(f.wrongCaseNomon));
        QVERIFY(wrongCase[0][0].toString().at(0).isLower());
        QCOMPARE(wrongCase[0][1].toString().toLower(), numberingRule(wrongCase[0][0].toString(), f.wrongCaseNomon).toLower());
        QCOMPARE(f.unusualButRightNomon, QList<int>({11, 14}));
        QVERIFY(p.scalar(QStringLiteral("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=11")).toString().at(0).isLower());
        QVERIFY(p.scalar(QStringLiteral("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=14")).toString().at(0).unicode() > 127);

        QCOMPARE(p.ids(QStringLiteral("SELECT PATIENTS_ID FROM PATIENTS WHERE PRENOM IS NULL OR PRENOM='' ORDER BY 1")),
                 sorted(f.emptyPrenom));
        QCOMPARE(p.scalar(QStringLiteral("SELECT quote(PRENOM) FROM PATIENTS WHERE PATIENTS_ID=5")).toString(), QStringLiteral("''"));
        QCOMPARE(p.scalar(QStringLiteral("SELECT quote(PRENOM) FROM PATIENTS WHERE PATIENTS_ID=17")).toString(), QStringLiteral("NULL"));
        // The deleted files are holes in the numbering.
        QCOMPARE(p.ids(QStringLiteral("SELECT PATIENTS_ID FROM PATIENTS WHERE PATIENTS_ID IN (4, 9, 15)")), QList<int>());
        QCOMPARE(p.scalar(QStringLiteral("SELECT max(PATIENTS_ID) FROM PATIENTS")).toInt(), patients + 3);
    }

    void physicians_data() { sizes(); }
    void physicians()
    {
        QFETCH(int, patients);
        DemoPractice &p = practice();
        const demo::PlantedFaults &f = p.faults;
        QVERIFY(f.physicians >= 4 && f.physicians <= 6);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM MEDECINS WHERE SYSTEM_FLAGS='*US PA CO CM AN'")).toInt(), f.physicians);
        QCOMPARE(p.ids(QStringLiteral("SELECT MEDECINS_ID FROM PATIENTS WHERE MEDECINS_ID NOT IN (SELECT MEDECINS_ID FROM MEDECINS) "
                                      "GROUP BY MEDECINS_ID")),
                 f.missingPhysicians);
        QCOMPARE(p.ids(QStringLiteral("SELECT PATIENTS_ID FROM PATIENTS WHERE MEDECINS_ID IN (91, 92) ORDER BY 1")),
                 f.patientsOfMissingPhysicians);
        QCOMPARE(p.ids(QStringLiteral("SELECT count(*) FROM PATIENTS WHERE MEDECINS_ID=91")), QList<int>({2}));
        QCOMPARE(p.ids(QStringLiteral("SELECT PATIENTS_ID FROM PATIENTS WHERE MEDECINS_ID IS NULL")), QList<int>({f.patientWithoutPhysician}));

        // Accounting of unknown physicians: 91 is named by patients (created
        // first, so its row stays), 97 and 98 by nobody.
        const QString unknown = QStringLiteral("SELECT MEDECINS_ID FROM CPMAIN WHERE MEDECINS_ID NOT IN (SELECT MEDECINS_ID FROM MEDECINS) "
                                               "GROUP BY MEDECINS_ID ORDER BY MEDECINS_ID");
        QCOMPARE(p.ids(unknown), QList<int>({91, 97, 98}));
        QCOMPARE(f.accountingOnlyPhysicians, QList<int>({97, 98}));
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE MEDECINS_ID IN (97, 98) ORDER BY 1")),
                 f.cpmainOfAccountingOnlyPhysicians);
        QCOMPARE(p.ids(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE MEDECINS_ID=97")), QList<int>({3}));
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE MEDECINS_ID=91")), QList<int>({f.cpmainOfNamedMissingPhysician}));
        // Their records are otherwise sound: deleting them is the only thing to do.
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE MEDECINS_ID IN (91, 97, 98) AND (Montant1 IS NULL "
                                         "OR PATIENTS_ID NOT IN (SELECT PATIENTS_ID FROM PATIENTS))")).toInt(), 0);
        Q_UNUSED(patients);
    }

    void emptyAndOrphanRecords_data() { sizes(); }
    void emptyAndOrphanRecords()
    {
        QFETCH(int, patients);
        DemoPractice &p = practice();
        const demo::PlantedFaults &f = p.faults;
        const int extra = patients / 5000;
        QCOMPARE(f.emptyCpmain.size(), 2 + extra);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE MONTANT1 IS NULL AND MONTANT2 IS NULL AND MONTANT3 IS NULL "
                                      "AND MONTANT4 IS NULL AND PAIEMENT1 IS NULL AND PAIEMENT2 IS NULL AND REGLETIERSPAYANT1 IS NULL "
                                      "AND REGLETIERSPAYANT2 IS NULL ORDER BY 1")),
                 f.emptyCpmain);
        QCOMPARE(p.rows(QStringLiteral("SELECT Montant1, Paiement1 FROM CPMAIN WHERE CPMAIN_ID=%1").arg(f.zeroAmountCpmain)),
                 QList<QVariantList>({{0.0, 0.0}}));

        QCOMPARE(f.statementsWithoutBody.size(), 2 + extra);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPORDPAY_ID FROM CPORDPAY WHERE CPOrg_ID IS NULL ORDER BY 1")), f.statementsWithoutBody);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPGEST WHERE CPOrdpay_ID IN %1").arg(inList(f.statementsWithoutBody))).toInt(), 0);

        QCOMPARE(p.ids(QStringLiteral("SELECT CPOrdpay_ID FROM CPGEST WHERE CPordpay_ID NOT IN (SELECT CPORDPAY_ID FROM CPORDPAY) "
                                      "GROUP BY CPOrdpay_ID ORDER BY CPOrdpay_ID")),
                 f.missingStatements);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPGest_ID FROM CPGEST WHERE CPordpay_ID NOT IN (SELECT CPORDPAY_ID FROM CPORDPAY) ORDER BY 1")),
                 f.orphanSettlementLines);
        QCOMPARE(p.ids(QStringLiteral("SELECT count(*) FROM CPGEST WHERE CPOrdpay_ID=8")), QList<int>({3}));
        QCOMPARE(f.orphanSettlementLines.size(), 4 + extra);

        // The care-sheet check counts each reference in CPSVFACT, one row at a time.
        QList<int> unknownSheetRows, unknownSheets;
        for (const QVariantList &r : p.rows(QStringLiteral("SELECT CPMain_ID, CPSVFact_ID FROM CPMAIN WHERE NOT CPSVFact_ID IS NULL"))) {
            if (p.scalar(QStringLiteral("SELECT count(*) FROM CPSVFACT WHERE CPSVFact_ID=%1").arg(r[1].toInt())).toInt() == 0) {
                unknownSheetRows << r[0].toInt();
                if (!unknownSheets.contains(r[1].toInt()))
                    unknownSheets << r[1].toInt();
            }
        }
        QCOMPARE(unknownSheetRows, f.cpmainWithMissingCareSheet);
        QCOMPARE(sorted(unknownSheets), sorted(f.missingCareSheets));
        QVERIFY(f.missingCareSheets.contains(0));
        QCOMPARE(p.ids(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE CPSVFact_ID=3")), QList<int>({2}));
        QCOMPARE(f.cpmainWithMissingCareSheet.size(), 3 + extra);
    }

    void duplicates_data() { sizes(); }
    void duplicates()
    {
        DemoPractice &p = practice();
        const demo::PlantedFaults &f = p.faults;
        const auto groups = p.rows(QStringLiteral("SELECT PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID, Count(CPMAIN_ID) as Compteur "
                                                  "FROM CPMAIN GROUP BY PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID HAVING Compteur > 1"));
        QCOMPARE(groups.size(), 2);
        QList<int> members;
        QList<int> counts;
        for (const QVariantList &g : groups) {
            QSqlQuery q(p.db());
            q.prepare(QStringLiteral("SELECT * FROM CPMAIN WHERE PATIENTS_ID=? AND DATE_CONSULTATION=? AND MEDECINS_ID=?"));
            q.addBindValue(g[0]);
            q.addBindValue(g[1]);
            q.addBindValue(g[2]);
            QVERIFY(q.exec());
            QVariantList row;
            while (q.next()) {
                members << q.value(0).toInt();
                row.clear();
                for (int i = 0; i < q.record().count(); ++i)
                    row << q.value(i);
                counts << filledColumns(row);
            }
        }
        QCOMPARE(members, f.duplicatePair + f.duplicateTriple);
        // The pair: the later one tells more. The triple: the middle one tells most.
        QVERIFY(counts[0] < counts[1]);
        QVERIFY(counts[2] < counts[3] && counts[3] > counts[4] && counts[2] != counts[4]);

        const auto sameDay = p.rows(QStringLiteral("SELECT PATIENTS_ID, MEDECINS_ID, substr(DATE_CONSULTATION, 1, 10), DATE_CONSULTATION "
                                                   "FROM CPMAIN WHERE CPMAIN_ID IN %1").arg(inList(f.sameDayOtherTime)));
        QCOMPARE(sameDay.size(), 2);
        QCOMPARE(sameDay[0].mid(0, 3), sameDay[1].mid(0, 3));
        QVERIFY(sameDay[0][3] != sameDay[1][3]);
    }

    void unknownPatientsAndCareSheets_data() { sizes(); }
    void unknownPatientsAndCareSheets()
    {
        QFETCH(int, patients);
        DemoPractice &p = practice();
        const demo::PlantedFaults &f = p.faults;
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE PATIENTS_ID IS NULL ORDER BY 1")), f.cpmainWithoutPatient);
        QCOMPARE(f.cpmainWithoutPatient.size(), 2 + patients / 5000);

        QList<int> unknown;
        for (int id : p.ids(QStringLiteral("SELECT PATIENTS_ID FROM CPMAIN WHERE PATIENTS_ID IS NOT NULL GROUP BY PATIENTS_ID ORDER BY PATIENTS_ID")))
            if (p.scalar(QStringLiteral("SELECT count(*) FROM PATIENTS WHERE PATIENTS_ID=%1").arg(id)).toInt() == 0)
                unknown << id;
        QCOMPARE(unknown, QList<int>({f.patientToAttach, f.patientToCreate}));
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE PATIENTS_ID=4 ORDER BY 1")), f.cpmainOfPatientToAttach);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE PATIENTS_ID=9 ORDER BY 1")), f.cpmainOfPatientToCreate);
        QCOMPARE(f.cpmainOfPatientToAttach.size(), 3);
        QCOMPARE(f.cpmainOfPatientToCreate.size(), 2);

        // Attaching 4 to 10 meets exactly one row of 10 with the same physician and time.
        QCOMPARE(f.mergeSource, f.cpmainOfPatientToAttach.first());
        QCOMPARE(p.ids(QStringLiteral("SELECT t.CPMAIN_ID FROM CPMAIN t JOIN CPMAIN r ON t.MEDECINS_ID=r.MEDECINS_ID "
                                      "AND t.DATE_CONSULTATION=r.DATE_CONSULTATION WHERE r.PATIENTS_ID=4 AND t.PATIENTS_ID=10")),
                 QList<int>({f.mergeTarget}));
        // The pick list reads 10 back from its N_OMON.
        QCOMPARE(p.scalar(QStringLiteral("SELECT substr(N_OMON, 2) FROM PATIENTS WHERE PATIENTS_ID=10")).toString(), QStringLiteral("000010"));

        // What the other patient-based tables hold of the unknown numbers.
        QCOMPARE(p.ids(QStringLiteral("SELECT COURRIER_ID FROM COURRIER WHERE PATIENTS_ID IN (4, 9) ORDER BY PATIENTS_ID, 1")),
                 f.courrierOfUnknownPatients);
        QCOMPARE(p.ids(QStringLiteral("SELECT ORDONNANCE_ID FROM ORDONNANCE WHERE PATIENTS_ID IN (4, 9) ORDER BY PATIENTS_ID, 1")),
                 f.ordonnanceOfUnknownPatients);
        QCOMPARE(p.ids(QStringLiteral("SELECT count(*) FROM ORDONNANCE WHERE PATIENTS_ID=4")), QList<int>({2}));
        QCOMPARE(p.ids(QStringLiteral("SELECT count(*) FROM ANTECEDENTS WHERE Patients_ID=4")), QList<int>({1}));
        QCOMPARE(p.rows(QStringLiteral("SELECT m.DATE_CONSULTATION FROM MOTCONSU m WHERE m.PATIENTS_ID=4")),
                 p.rows(QStringLiteral("SELECT DATE_CONSULTATION FROM CPMAIN WHERE CPMAIN_ID=%1").arg(f.cpmainOfPatientToAttach[1])));
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM MOTCONSU WHERE PATIENTS_ID=9")).toInt(), 0);

        // Care sheets whose patient is not in PATIENTS.
        QCOMPARE(p.ids(QStringLiteral("SELECT CPSVFact_ID FROM CPSVFACT WHERE Patients_ID IS NULL "
                                      "OR Patients_ID NOT IN (SELECT PATIENTS_ID FROM PATIENTS) ORDER BY 1")),
                 f.careSheetsOfUnknownPatients + f.orphanCareSheets);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPSVFact_ID FROM CPSVFACT WHERE Patients_ID=15 ORDER BY 1")), QList<int>({5, 6}));
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE PATIENTS_ID=15 OR CPSVFact_ID IN %1")
                              .arg(inList(f.orphanCareSheets))).toInt(), 0);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPSVFact_ID FROM CPMAIN WHERE CPMAIN_ID IN (%1, %2) ORDER BY 1")
                           .arg(f.cpmainOfPatientToAttach[1]).arg(f.cpmainOfPatientToCreate[0])),
                 f.careSheetsOfUnknownPatients);
    }

    void transfersAndDeposits_data() { sizes(); }
    void transfersAndDeposits()
    {
        DemoPractice &p = practice();
        const demo::PlantedFaults &f = p.faults;
        QCOMPARE(p.ids(QStringLiteral("SELECT CPTrans_ID FROM CPMAIN WHERE CPTrans_ID IS NOT NULL AND CPTrans_ID NOT IN "
                                      "(SELECT CPTrans_ID FROM CPTRANS) GROUP BY CPTrans_ID ORDER BY CPTrans_ID")),
                 f.missingTransfers);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE CPTrans_ID IN (3, 4) ORDER BY 1")), f.cpmainWithMissingTransfer);
        // Recreated from its records: the latest date, the highest physician.
        QCOMPARE(p.scalar(QStringLiteral("SELECT MAX(DATE_CONSULTATION) FROM CPMAIN WHERE CPTrans_ID=3")).toString(),
                 QStringLiteral("2024-01-22 17:05:00"));
        QCOMPARE(p.scalar(QStringLiteral("SELECT MAX(MEDECINS_ID) FROM CPMAIN WHERE CPTrans_ID=3")).toInt(), 2);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(DISTINCT MEDECINS_ID) FROM CPMAIN WHERE CPTrans_ID=3")).toInt(), 2);

        QList<int> missing;
        for (int id : p.ids(QStringLiteral("SELECT CPRem_ID FROM CPMAIN WHERE CPRem_ID IS NOT NULL GROUP BY CPRem_ID")))
            if (p.rows(QStringLiteral("SELECT * FROM CPREM WHERE CPRem_ID=%1").arg(id)).isEmpty())
                missing << id;
        QCOMPARE(missing, f.missingDepositsOfAccounting);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE CPRem_ID IN (2, 3) ORDER BY 1")), f.cpmainWithMissingDeposit);
        // What the phase will total: the modes spelt CHEQUE in any case of a to z; "Chèque" is not.
        auto cheques = [&](int deposit, int *count, int *lastPhysician) {
            double total = 0;
            const auto rows = p.rows(QStringLiteral("SELECT Mode1, Paiement1, Mode2, Paiement2, MEDECINS_ID FROM CPMAIN WHERE CPRem_ID=%1").arg(deposit));
            for (const QVariantList &r : rows) {
                if (db::formats::upperAscii(r[0].toString()) == QLatin1String("CHEQUE"))
                    total += r[1].toDouble();
                if (db::formats::upperAscii(r[2].toString()) == QLatin1String("CHEQUE"))
                    total += r[3].toDouble();
            }
            *count = int(rows.size());
            *lastPhysician = rows.last()[4].toInt();
            return total;
        };
        int count = 0, physician = 0;
        QCOMPARE(cheques(2, &count, &physician), 26.5 + 16.5);
        QCOMPARE(count, 3);
        QCOMPARE(physician, 2);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPBanks_ID FROM CPBANKS WHERE Medecins_ID=2 AND Label='Banque 1'")).size(), 1);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE CPRem_ID=2 AND (Mode1='Chèque' OR Mode2='cheque')")).toInt(), 2);
        QCOMPARE(cheques(3, &count, &physician), 0.0);
        QCOMPARE(count, 1);

        const auto statements = p.rows(QStringLiteral("SELECT CPORDPAY_ID, CPRem_ID, Cheque, PayeSum FROM CPORDPAY WHERE NOT CPRem_ID IS NULL "
                                                      "AND CPRem_ID NOT IN (SELECT CPRem_ID FROM CPREM)"));
        QList<int> ids, deposits;
        double deposit5 = 0;
        for (const QVariantList &r : statements) {
            ids << r[0].toInt();
            if (!deposits.contains(r[1].toInt()))
                deposits << r[1].toInt();
            if (r[1].toInt() == 5 && r[2].toInt() == 1)
                deposit5 += r[3].toDouble();
        }
        QCOMPARE(ids, f.statementsWithMissingDeposit);
        QCOMPARE(deposits, f.missingDepositsOfStatements);
        QCOMPARE(p.ids(QStringLiteral("SELECT count(*) FROM CPORDPAY WHERE CPRem_ID=5")), QList<int>({3}));
        QCOMPARE(deposit5, 120.5 + 45.3);
        // Deposit 2 is missing for both phases: the first recreates it, the second must not.
        QVERIFY(f.missingDepositsOfAccounting.contains(2) && f.missingDepositsOfStatements.contains(2));
    }

    void insuranceBodies_data() { sizes(); }
    void insuranceBodies()
    {
        DemoPractice &p = practice();
        const demo::PlantedFaults &f = p.faults;
        QCOMPARE(p.ids(QStringLiteral("SELECT CPOrg_1_ID FROM CPMAIN WHERE (NOT CPorg_1_ID IS NULL) AND (CPorg_1_ID NOT IN "
                                      "(SELECT CPOrg_ID FROM CPORG)) GROUP BY CPOrg_1_ID ORDER BY CPOrg_1_ID")),
                 f.missingPrincipalBodies);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPOrg_2_ID FROM CPMAIN WHERE (NOT CPorg_2_ID IS NULL) AND (CPorg_2_ID NOT IN "
                                      "(SELECT CPOrg_ID FROM CPORG)) GROUP BY CPOrg_2_ID ORDER BY CPOrg_2_ID")),
                 f.missingComplementaryBodies);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPOrg_ID FROM CPORDPAY WHERE (NOT CPorg_ID IS NULL) AND (CPorg_ID NOT IN "
                                      "(SELECT CPOrg_ID FROM CPORG)) GROUP BY CPOrg_ID ORDER BY CPOrg_ID")),
                 f.missingStatementBodies);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE CPOrg_1_ID IN (31, 33) ORDER BY 1")), f.cpmainWithMissingPrincipal);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE CPOrg_2_ID IN (32, 33) ORDER BY 1")), f.cpmainWithMissingComplementary);
        QCOMPARE(p.ids(QStringLiteral("SELECT CPORDPAY_ID FROM CPORDPAY WHERE CPOrg_ID IN (31, 34) ORDER BY 1")), f.statementsWithMissingBody);
        // The follow-up's bodies: 31 is a principal body of the accounting too, 34 nowhere.
        QVERIFY(p.scalar(QStringLiteral("SELECT count(CPMain_ID) FROM CPMAIN WHERE CPOrg_1_ID=31")).toInt() > 0);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(CPMain_ID) FROM CPMAIN WHERE CPOrg_1_ID=34")).toInt(), 0);
    }

    void balances_data() { sizes(); }
    void balances()
    {
        QFETCH(int, patients);
        DemoPractice &p = practice();
        const demo::PlantedFaults &f = p.faults;
        const QString small = QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN WHERE ((MontantTiersPayant%1 - RegleTiersPayant%1) < 0.01) "
                                             "AND ((MontantTiersPayant%1 - RegleTiersPayant%1) > 0) ORDER BY 1");
        QCOMPARE(p.ids(small.arg(1)), f.smallPrincipalBalances);
        QCOMPARE(p.ids(small.arg(2)), f.smallComplementaryBalances);
        QCOMPARE(f.smallPrincipalBalances.size(), 1 + patients / 5000);
        // A cent exactly is not small, though it is a balance.
        const double cent = p.scalar(QStringLiteral("SELECT MontantTiersPayant1 - RegleTiersPayant1 FROM CPMAIN WHERE CPMAIN_ID=%1")
                                         .arg(f.oneCentBalance)).toDouble();
        QVERIFY(qAbs(cent - 0.01) < 1e-9);

        // Credit balances: what the statement selects, and what it reports (beyond 0.0099).
        const auto selected = p.rows(QStringLiteral("SELECT CPMAIN_ID, MontantTiersPayant1, RegleTiersPayant1, MontantTiersPayant2, "
                                                    "RegleTiersPayant2, MONNAIE1 FROM CPMAIN WHERE ((MontantTiersPayant1 - RegleTiersPayant1) < 0) "
                                                    "OR ((MontantTiersPayant2 - RegleTiersPayant2) < 0) ORDER BY 1"));
        QList<int> ids, reported1, reported2;
        for (const QVariantList &r : selected) {
            ids << r[0].toInt();
            if (r[1].toDouble() - r[2].toDouble() < -0.0099)
                reported1 << r[0].toInt();
            if (r[3].toDouble() - r[4].toDouble() < -0.0099)
                reported2 << r[0].toInt();
        }
        QCOMPARE(ids, sorted(f.principalCredits + QList<int>({f.complementaryCreditFrf, f.doubleCredit, f.tinyCredit})));
        QCOMPARE(reported1, sorted(f.principalCredits + QList<int>({f.doubleCredit})));
        QCOMPARE(reported2, sorted(QList<int>({f.complementaryCreditFrf, f.doubleCredit})));
        QCOMPARE(p.scalar(QStringLiteral("SELECT MONNAIE1 FROM CPMAIN WHERE CPMAIN_ID=%1").arg(f.complementaryCreditFrf)).toString(),
                 QStringLiteral("FRF"));
    }

    // -- the rest of the practice holds together ------------------------------

    void healthyPartHoldsTogether_data() { sizes(); }
    void healthyPartHoldsTogether()
    {
        DemoPractice &p = practice();
        const demo::PlantedFaults &f = p.faults;
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN")).toInt(), f.cpmainRows);
        QVERIFY(f.cpmainRows > 4 * f.patients);

        // Each visit billed has its consultation, but for the unknown patients' rows planted without.
        QCOMPARE(p.ids(QStringLiteral("SELECT CPMAIN_ID FROM CPMAIN c WHERE PATIENTS_ID IS NOT NULL AND NOT EXISTS (SELECT 1 FROM MOTCONSU m "
                                      "WHERE m.PATIENTS_ID=c.PATIENTS_ID AND m.DATE_CONSULTATION=c.DATE_CONSULTATION) ORDER BY 1")),
                 QList<int>({f.cpmainOfPatientToAttach[0], f.cpmainOfPatientToAttach[2]}) + f.cpmainOfPatientToCreate);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM MOTCONSU m WHERE NOT EXISTS (SELECT 1 FROM CPMAIN c WHERE "
                                         "m.PATIENTS_ID=c.PATIENTS_ID AND m.DATE_CONSULTATION=c.DATE_CONSULTATION)")).toInt(), 0);

        // What is billed is paid by the patient or billed to the insurers.
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE CPMAIN_ID > 100 AND abs(coalesce(Montant1,0)+coalesce(Montant2,0)"
                                         "+coalesce(Montant3,0)+coalesce(Montant4,0)-coalesce(Paiement1,0)-coalesce(Paiement2,0)"
                                         "-coalesce(MontantTiersPayant1,0)-coalesce(MontantTiersPayant2,0)) > 0.001")).toInt(), 0);
        // An insurer has paid nothing yet or everything.
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE CPMAIN_ID > 100 AND ((RegleTiersPayant1 <> 0 AND RegleTiersPayant1 "
                                         "<> MontantTiersPayant1) OR (RegleTiersPayant2 <> 0 AND RegleTiersPayant2 <> MontantTiersPayant2))")).toInt(), 0);
        // Statements add up their lines, and each line is what its record says was settled.
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPORDPAY o WHERE CPORDPAY_ID > 20 AND abs(PayeSum - (SELECT sum(Montant) "
                                         "FROM CPGEST g WHERE g.CPOrdpay_ID=o.CPORDPAY_ID)) > 0.001")).toInt(), 0);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPGEST g JOIN CPORDPAY o ON o.CPORDPAY_ID=g.CPOrdpay_ID JOIN CPMAIN c "
                                         "ON c.CPMAIN_ID=g.CPMain_ID WHERE g.CPGest_ID > 20 AND NOT ((o.CPOrg_ID=c.CPOrg_1_ID AND "
                                         "g.Montant=c.RegleTiersPayant1) OR (o.CPOrg_ID=c.CPOrg_2_ID AND g.Montant=c.RegleTiersPayant2))")).toInt(), 0);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPGEST WHERE CPGest_ID > 20")).toInt(),
                 p.scalar(QStringLiteral("SELECT count(RegleTiersPayant1 > 0 OR NULL) + count(RegleTiersPayant2 > 0 OR NULL) FROM CPMAIN "
                                         "WHERE CPMAIN_ID > 100")).toInt());
        // Deposits hold the cheques of their records, or of their insurers' statements.
        QCOMPARE(p.scalar(QStringLiteral(
                              "SELECT count(*) FROM CPREM r WHERE CPRem_ID > 10 AND (abs(Montant - coalesce((SELECT sum(CASE WHEN Mode1 IN "
                              "('CHEQUE','Chèque') THEN Paiement1 ELSE 0 END + CASE WHEN Mode2 IN ('CHEQUE','Chèque') THEN Paiement2 ELSE 0 END) "
                              "FROM CPMAIN c WHERE c.CPRem_ID=r.CPRem_ID), 0) - coalesce((SELECT sum(PayeSum) FROM CPORDPAY o WHERE "
                              "o.CPRem_ID=r.CPRem_ID AND Cheque=1), 0)) > 0.001 OR Qte <> (SELECT count(*) FROM CPMAIN c WHERE "
                              "c.CPRem_ID=r.CPRem_ID) + (SELECT count(*) FROM CPORDPAY o WHERE o.CPRem_ID=r.CPRem_ID))")).toInt(), 0);
        QVERIFY(p.scalar(QStringLiteral("SELECT count(*) FROM CPREM WHERE Patient=0")).toInt() > 0);
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE CPTrans_ID > 10 AND MEDECINS_ID <> (SELECT Medecins_ID FROM CPTRANS t "
                                         "WHERE t.CPTrans_ID=CPMAIN.CPTrans_ID)")).toInt(), 0);
        // Each physician banks at "Banque 1"; the front desk has no bank.
        QCOMPARE(p.scalar(QStringLiteral("SELECT count(DISTINCT Medecins_ID) FROM CPBANKS WHERE Label='Banque 1'")).toInt(), f.physicians);

        // Plausible French data: payment modes, currencies, acts.
        QCOMPARE(p.rows(QStringLiteral("SELECT DISTINCT Mode1 FROM CPMAIN WHERE Mode1 IN ('CHEQUE','Chèque','ESPECES','CB') ORDER BY 1")).size(), 4);
        QCOMPARE(p.rows(QStringLiteral("SELECT DISTINCT CodeActe1 FROM CPMAIN WHERE CodeActe1 IN ('C','V','CS','K') ORDER BY 1")).size(), 4);
        QVERIFY(p.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE MONNAIE1='FRF'")).toInt() >= 1);
        QVERIFY(p.scalar(QStringLiteral("SELECT count(*) FROM CPORG WHERE Nom LIKE 'CPAM de %'")).toInt() >= 3);
        for (const char *t : {"COURRIER", "ORDONNANCE", "ANTECEDENTS"})
            QVERIFY2(p.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(t))).toInt() > 3, t);
        for (const char *t : {"METATABLE", "METAFIELD", "TABLELINK"})
            QCOMPARE(p.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(t))).toInt(), 1);

        // Counters hold the highest number in use.
        const QList<QPair<QString, QString>> counters = {
            {QStringLiteral("MEDECINS_ID"), QStringLiteral("MEDECINS.MEDECINS_ID")}, {QStringLiteral("PATIENTS_ID"), QStringLiteral("PATIENTS.PATIENTS_ID")},
            {QStringLiteral("MOTCONSU"), QStringLiteral("MOTCONSU.MOTCONSU_ID")},   {QStringLiteral("CPMAIN_ID"), QStringLiteral("CPMAIN.CPMAIN_ID")},
            {QStringLiteral("CPREM_ID"), QStringLiteral("CPREM.CPRem_ID")},         {QStringLiteral("CPORDPAY_ID"), QStringLiteral("CPORDPAY.CPORDPAY_ID")}};
        for (const auto &[key, column] : counters) {
            const QString table = column.section(QLatin1Char('.'), 0, 0), col = column.section(QLatin1Char('.'), 1);
            QCOMPARE(p.scalar(QStringLiteral("SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME='%1'").arg(key)).toInt(),
                     p.scalar(QStringLiteral("SELECT max(%1) FROM %2").arg(col, table)).toInt());
        }

        // Storage conventions: date-times as text, booleans 0 or 1.
        for (const demo::TableDef &t : demo::practiceTables()) {
            for (const demo::Column &c : t.columns) {
                QString bad;
                if (c.type == db::FieldType::DateTime)
                    bad = QStringLiteral("SELECT count(*) FROM %1 WHERE %2 IS NOT NULL AND %2 NOT GLOB "
                                         "'[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]'");
                else if (c.type == db::FieldType::Boolean)
                    bad = QStringLiteral("SELECT count(*) FROM %1 WHERE %2 IS NOT NULL AND %2 NOT IN (0, 1)");
                if (!bad.isEmpty())
                    QVERIFY2(p.scalar(bad.arg(t.name, c.name)).toInt() == 0, qPrintable(t.name + QLatin1Char('.') + c.name));
            }
        }
    }

    // -- the files around the database ------------------------------------------------

    void layoutLeadsTheCheckerToTheDatabase()
    {
        QTemporaryDir tmp;
        const demo::DemoLayout layout(tmp.path() + QStringLiteral("/demo"), tmp.path() + QStringLiteral("/programme"));
        QDir().mkpath(layout.program);
        // What the program directory already held stays there.
        {
            QFile cfg(layout.engineConfig());
            QVERIFY(cfg.open(QIODevice::WriteOnly));
            cfg.write("[ALIAS Ailleurs]\nDRIVER=SQLITE\nPATH=/nulle/part.sqlite\n");
        }
        {
            QFile ini(layout.iniFile());
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[Divers]\r\nLangue=FR\r\n");
        }
        const demo::PlantedFaults f = demo::writeDemoPractice(layout, demo::kMinimumPatients, 7, false);
        QCOMPARE(f.patients, demo::kMinimumPatients);

        const db::IniFile ini(layout.iniFile());
        QCOMPARE(ini.readString(QStringLiteral("DataBase"), QStringLiteral("Server")), layout.baseDir());
        QCOMPARE(ini.readString(QStringLiteral("DataBase"), QStringLiteral("Private")), layout.privateDir());
        QCOMPARE(ini.readString(QStringLiteral("Divers"), QStringLiteral("Langue")), QStringLiteral("FR"));
        QVERIFY(QDir::isAbsolutePath(layout.baseDir()));
        const db::IniFile ver(layout.versionFile());
        QCOMPARE(ver.readString(QStringLiteral("DBKERNEL"), QStringLiteral("DBType")), QStringLiteral("0"));
        QCOMPARE(ver.readString(QStringLiteral("DBKERNEL"), QStringLiteral("Alias")), QStringLiteral("OrbelisDemo"));
        QCOMPARE(ver.readString(QStringLiteral("Application"), QStringLiteral("ProgName")), QStringLiteral("Praxelle"));
        QVERIFY(!ver.hasSection(QStringLiteral("Troubles")));
        for (const QString &file : {layout.versionFile(), layout.iniFile()}) {
            QFile raw(file);
            QVERIFY(raw.open(QIODevice::ReadOnly));
            const QByteArray bytes = raw.readAll();
            QVERIFY2(bytes.count('\n') == bytes.count("\r\n") && bytes.count('\n') > 0, qPrintable(file));
        }
        QVERIFY(QFileInfo(layout.privateDir()).isDir());
        QVERIFY(QDir(layout.privateDir()).isEmpty());
        const db::IniFile cfg(layout.engineConfig());
        QCOMPARE(cfg.readString(QStringLiteral("ALIAS OrbelisDemo"), QStringLiteral("DRIVER")), QStringLiteral("SQLITE"));
        QCOMPARE(cfg.readString(QStringLiteral("ALIAS OrbelisDemo"), QStringLiteral("PATH")), layout.databaseFile());
        QCOMPARE(cfg.readString(QStringLiteral("ALIAS Ailleurs"), QStringLiteral("PATH")), QStringLiteral("/nulle/part.sqlite"));

        {
            db::Connection c(QStringLiteral("DemoTest"));
            c.aliasName = demo::kDemoAlias;
            c.databaseName = demo::kDemoAlias;
            c.open();
            QSqlQuery q(c.database());
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM PATIENTS")) && q.next());
            QCOMPARE(q.value(0).toInt(), demo::kMinimumPatients);
        }

        // The checker's own start-up, from Praxelle.ini, finds the database and snapshots it.
        ScriptedInteraction ui;
        common::definirRepertoireProgramme(layout.program);
        {
            Session s(ui);
            try {
                s.FormCreate();
            } catch (const common::FinProgramme &) {
                QFAIL("the start-up ended the program");
            }
            QVERIFY(s.baseOuverte);
            QVERIFY(s.ModeSQL);
            QCOMPARE(s.ProgName, QStringLiteral("Praxelle"));
            QCOMPARE(s.TablePatients.recordCount(), demo::kMinimumPatients);
            for (const char *t : {"CPMAIN", "MOTCONSU", "CPSVFACT", "COURRIER", "ORDONNANCE", "ANTECEDENTS"})
                QVERIFY2(s.ListeTablesPatient.contains(QLatin1String(t)), t);
            QVERIFY(!s.ListeTablesPatient.contains(QStringLiteral("PATIENTS")));
        }
        db::formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    }

    void occupiedBaseIsReplacedOnlyOnRequest()
    {
        QTemporaryDir tmp;
        const demo::DemoLayout layout(tmp.path() + QStringLiteral("/demo"), tmp.path() + QStringLiteral("/programme"));
        QDir().mkpath(layout.baseDir());   // there but empty: no refusal
        demo::writeDemoPractice(layout, 30, 1, false);
        auto patients = [&] {
            int n = -1;
            {
                QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
                d.setDatabaseName(layout.databaseFile());
                if (d.open()) {
                    QSqlQuery q(QStringLiteral("SELECT count(*) FROM PATIENTS"), d);
                    if (q.next())
                        n = q.value(0).toInt();
                }
                d.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("check"));
            return n;
        };
        QCOMPARE(patients(), 30);

        QFile leftover(layout.privateDir() + QStringLiteral("/Aldurix3.DB"));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();
        try {
            demo::writeDemoPractice(layout, 40, 1, false);
            QFAIL("an occupied database directory was overwritten");
        } catch (const demo::BaseInUse &e) {
            QVERIFY(e.message().contains(QStringLiteral("--force")));
        }
        QCOMPARE(patients(), 30);
        QVERIFY(leftover.exists());

        demo::writeDemoPractice(layout, 40, 1, true);
        QCOMPARE(patients(), 40);
        QVERIFY(!leftover.exists());
    }

    void commandLine()
    {
        const QString program = QStringLiteral(ALDURIX_BINARY_DIR "/AldurixDemo");
        if (!QFileInfo::exists(program))
            QSKIP("AldurixDemo is not built");
        QTemporaryDir tmp;
        auto run = [&](const QStringList &args, QString *errors = nullptr) {
            QProcess p;
            p.start(program, args);
            p.waitForFinished(60000);
            if (errors)
                *errors = QString::fromUtf8(p.readAllStandardError());
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        const QStringList where = {QStringLiteral("--out"), tmp.path() + QStringLiteral("/d"), QStringLiteral("--program-dir"),
                                   tmp.path() + QStringLiteral("/p")};
        QString errors;
        QCOMPARE(run(where + QStringList{QStringLiteral("--patients"), QStringLiteral("12")}, &errors), 1);
        QVERIFY(!QFileInfo::exists(tmp.path() + QStringLiteral("/d/Base")));
        QCOMPARE(run(where), 0);
        QVERIFY(QFileInfo(tmp.path() + QStringLiteral("/d/Base/ORBELIS.SQLITE")).size() > 0);
        QCOMPARE(run(where, &errors), 2);
        QVERIFY(errors.contains(QStringLiteral("--force")));
        QCOMPARE(run(where + QStringList{QStringLiteral("--force"), QStringLiteral("--seed"), QStringLiteral("3")}), 0);
        QCOMPARE(run({QStringLiteral("--out"), tmp.path()}), 1);
        // The Paradox copy: its own directory, which Praxelle.ini then names.
        QCOMPARE(run(where + QStringList{QStringLiteral("--force"), QStringLiteral("--paradox")}), 0);
        for (const char *table : {"metatable.db", "metafield.db", "tablelink.db", "patients.db", "medecins.db", "cpmain.db"})
            QVERIFY2(!common::fichierExistant(tmp.path() + QStringLiteral("/d/BaseParadox/") + QString::fromLatin1(table)).isEmpty(), table);
        db::IniFile ini(tmp.path() + QStringLiteral("/p/Praxelle.ini"));
        QCOMPARE(ini.readString(QStringLiteral("DataBase"), QStringLiteral("Server")), QDir::toNativeSeparators(tmp.path() + QStringLiteral("/d/BaseParadox")));
        db::IniFile ver(tmp.path() + QStringLiteral("/d/BaseParadox/PRAXELLE.VER"));
        QCOMPARE(ver.readInteger(QStringLiteral("DBKERNEL"), QStringLiteral("DBType"), -1), 1);
        QVERIFY(ver.readString(QStringLiteral("DBKERNEL"), QStringLiteral("Alias")).isEmpty());
        // A server database name that is no plain identifier never reaches a statement.
        QCOMPARE(run(where + QStringList{QStringLiteral("--force"), QStringLiteral("--server"), QStringLiteral("DSN=x"),
                                         QStringLiteral("--server-database"), QStringLiteral("a\";DROP")}, &errors), 1);
        QVERIFY(errors.contains(QStringLiteral("Nom de base incorrect")));

        // The server copy: typed columns, a primary key, the owner dbo; the
        // demo alias then reaches it through ODBC.
        const QString serveur = qEnvironmentVariable("ALDURIX_TEST_SERVER");
        if (serveur.isEmpty())
            QSKIP("pas de serveur de test : ALDURIX_TEST_SERVER est vide (tools/test.sh le démarre)");
        const QString base = QStringLiteral("aldurix_demo_%1").arg(QCoreApplication::applicationPid());
        QCOMPARE(run(where + QStringList{QStringLiteral("--force"), QStringLiteral("--server"), serveur,
                                         QStringLiteral("--server-database"), base}, &errors), 0);
        db::IniFile cfg(tmp.path() + QStringLiteral("/p/AldurixEngine.cfg"));
        QCOMPARE(cfg.readString(QStringLiteral("ALIAS ") + demo::kDemoAlias, QStringLiteral("DRIVER")), QStringLiteral("ODBC"));
        QCOMPARE(cfg.readString(QStringLiteral("ALIAS ") + demo::kDemoAlias, QStringLiteral("DATABASE")), base);
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("demo-serveur"));
            d.setDatabaseName(demo::withDatabase(serveur, base));
            QVERIFY(d.open());
            QSqlQuery q(d);
            QVERIFY(q.exec(QStringLiteral("SELECT column_name, data_type, is_nullable FROM information_schema.columns "
                                          "WHERE table_schema = 'dbo' AND table_name = 'cpmain' AND column_name IN "
                                          "('cpmain_id', 'montant1', 'date_consultation', 'tierspayant', 'payeur') ORDER BY column_name")));
            QStringList colonnes;
            while (q.next())
                colonnes << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()}.join(QLatin1Char(' '));
            QCOMPARE(colonnes, (QStringList{QStringLiteral("cpmain_id integer NO"), QStringLiteral("date_consultation timestamp without time zone YES"),
                                            QStringLiteral("montant1 double precision YES"), QStringLiteral("payeur character varying YES"),
                                            QStringLiteral("tierspayant boolean YES")}));
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM dbo.cpmain")) && q.next());
            QVERIFY(q.value(0).toInt() > 100);
            d.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("demo-serveur"));
        demo::dropServerDatabase(serveur, base);
    }
};

QTEST_MAIN(DemoTest)
#include "demo_test.moc"
