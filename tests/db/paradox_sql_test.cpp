// The checker's own statements, run on one practice database kept twice: as
// a SQLite file and exported to Paradox tables. Both must answer alike, and
// be left alike by the same changes.
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Formats.h"
#include "db/Query.h"
#include "db/paradox/ParadoxDriver.h"
#include "tools/demo/PracticeSchema.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

using db::Query;

namespace {

struct Statement {
    const char *sql;
    std::function<void(Query &)> params;
};

const QDate kFirstDay(2023, 1, 2);

QStringList rowsOf(Query &q)
{
    QStringList out;
    for (; !q.eof(); q.next()) {
        QStringList row;
        for (int i = 0; i < q.fieldCount(); ++i) {
            // Date-times in full, milliseconds included.
            const db::Field f = q.field(i);
            row << (f.kind() == db::ColumnKind::DateTime && !f.isNull() ? db::formats::storageText(f.asDateTime())
                                                                          : f.asString());
        }
        out << row.join(QLatin1Char('|'));
    }
    return out;
}

void fill(QSqlDatabase d)
{
    QRandomGenerator rnd(7);
    QSqlQuery q(d);
    auto exec = [&](const QString &sql, const QVariantList &values) {
        QVERIFY(q.prepare(sql));
        for (const QVariant &v : values)
            q.addBindValue(v);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text() + sql));
    };
    auto day = [&](int i) { return kFirstDay.addDays(i).toString(QStringLiteral("yyyy-MM-dd 00:00:00")); };
    auto maybe = [&](const QVariant &v, int oneIn) { return rnd.bounded(oneIn) == 0 ? QVariant() : v; };
    QVERIFY(d.transaction());
    for (int m = 1; m <= 3; ++m)
        exec("INSERT INTO MEDECINS (MEDECINS_ID, MEDECINS_COMPTABLE_ID, NOM, PRENOM, SV_LPS, ACCESSTOSV) VALUES (?,?,?,?,?,?)",
             {m, m, QStringLiteral("Médecin%1").arg(m), QStringLiteral("Prénom%1").arg(m),
              QStringLiteral("Une liste de paramètres assez longue pour le fichier des mémos, n°%1").arg(m), m % 2});
    for (int p = 1; p <= 200; ++p)
        exec("INSERT INTO PATIENTS (PATIENTS_ID, NOM, PRENOM, NE_LE, N_OMON, MEDECINS_ID) VALUES (?,?,?,?,?,?)",
             {p, QStringLiteral("Nom%1").arg(p % 37), QStringLiteral("Élise%1").arg(p),
              QDateTime(QDate(1940, 1, 1).addDays(p * 97), QTime(0, 0)).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
              QStringLiteral("N%1").arg(p, 6, 10, QLatin1Char('0')), 1 + int(rnd.bounded(4))});
    for (int c = 1; c <= 600; ++c) {
        const bool empty = rnd.bounded(20) == 0;
        exec("INSERT INTO CPMAIN (CPMAIN_ID, PATIENTS_ID, MEDECINS_ID, DATE_CONSULTATION, CodeActe1, Montant1, Montant2, "
             "Paiement1, RegleTiersPayant1, MontantTiersPayant1, CPOrg_1_ID, CPSVFact_ID, CPTrans_ID, CPRem_ID, TiersPayant) "
             "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
             // Row 1 is the one the date look-ups below must find.
             {c, c == 1 ? QVariant(42) : maybe(1 + int(rnd.bounded(210)), 30), c == 1 ? 2 : 1 + int(rnd.bounded(4)),
              day(c == 1 ? 10 : int(rnd.bounded(60))),
              maybe(QStringLiteral("C"), 3), empty ? QVariant() : QVariant(double(rnd.bounded(100)) / 4),
              empty ? QVariant() : maybe(12.5, 2), empty ? QVariant() : maybe(3.0, 2), empty ? QVariant() : maybe(0.25, 3),
              maybe(7.75, 3), maybe(1 + int(rnd.bounded(6)), 2), maybe(1 + int(rnd.bounded(60)), 4),
              maybe(1 + int(rnd.bounded(4)), 5), maybe(1 + int(rnd.bounded(12)), 3), int(rnd.bounded(2))});
    }
    // Two records half a second apart are no duplicates.
    for (const char *at : {"2023-01-12 10:00:00.250", "2023-01-12 10:00:00.750"})
        exec("INSERT INTO CPMAIN (CPMAIN_ID, PATIENTS_ID, MEDECINS_ID, DATE_CONSULTATION, Montant1) VALUES (?,?,?,?,?)",
             {at[20] == '2' ? 601 : 602, 43, 2, QString::fromLatin1(at), 10.0});
    for (int s = 1; s <= 50; ++s)
        exec("INSERT INTO CPSVFACT (CPSVFact_ID, Patients_ID, MEDECINS_ID, DATE_FSE, MONTANT) VALUES (?,?,?,?,?)",
             {s, maybe(int(rnd.bounded(220)), 5), 1 + int(rnd.bounded(3)), day(s), 23.0});
    for (int o = 1; o <= 5; ++o)
        exec("INSERT INTO CPORG (CPOrg_ID, Organisme, Nom, Ville, Princ) VALUES (?,?,?,?,?)",
             {o, QStringLiteral("ORG%1").arg(o), QStringLiteral("Caisse %1").arg(o), QStringLiteral("Lyon"), o % 2});
    for (int r = 1; r <= 10; ++r)
        exec("INSERT INTO CPREM (CPRem_ID, DATE_CONSULTATION, Montant, Medecins_ID, Qte, Banque, Patient) VALUES (?,?,?,?,?,?,?)",
             {r, day(r), 100.0 + r, 1 + r % 3, 1.0, QStringLiteral("Banque"), r % 2});
    for (int o = 1; o <= 30; ++o)
        exec("INSERT INTO CPORDPAY (CPORDPAY_ID, CPOrg_ID, CPRem_ID, P_DATE, Cheque, PayeSum, MEDECINS_ID) VALUES (?,?,?,?,?,?,?)",
             {o, maybe(1 + int(rnd.bounded(6)), 6), maybe(1 + int(rnd.bounded(14)), 3), day(o), o % 2, 50.0, 1});
    for (int g = 1; g <= 60; ++g)
        exec("INSERT INTO CPGEST (CPGest_ID, CPOrdpay_ID, CPMain_ID, Montant) VALUES (?,?,?,?)",
             {g, 1 + int(rnd.bounded(36)), 1 + int(rnd.bounded(600)), 5.5});
    for (int m = 1; m <= 300; ++m)
        exec("INSERT INTO MOTCONSU (MOTCONSU_ID, PATIENTS_ID, DATE_CONSULTATION, MOTIF_DE_CONSULTATION, MEDECINS_ID) "
             "VALUES (?,?,?,?,?)",
             {m, m == 1 ? 9 : 1 + int(rnd.bounded(210)), day(m == 1 ? 5 : int(rnd.bounded(60))), QStringLiteral("Motif"), 1});
    exec("INSERT INTO ID_VALUES (KEY_NAME, LAST_VALUE) VALUES (?,?)", {QStringLiteral("CPMAIN_ID"), 600});
    exec("INSERT INTO ID_VALUES (KEY_NAME, LAST_VALUE) VALUES (?,?)", {QStringLiteral("PATIENTS_ID"), 200});
    QVERIFY(d.commit());
}

} // namespace

class ParadoxSqlTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    std::vector<std::unique_ptr<db::Connection>> m_conns;

    void openAlias(const QString &name)
    {
        auto c = std::make_unique<db::Connection>(name);
        c->aliasName = name;
        c->databaseName = name;
        c->open();
        m_conns.push_back(std::move(c));
    }

    QStringList answer(const QString &db, const Statement &s, bool sorted)
    {
        Query q;
        q.setDatabaseName(db);
        q.setSql(QString::fromUtf8(s.sql));
        if (s.params)
            s.params(q);
        q.open();
        QStringList rows = rowsOf(q);
        if (sorted)
            rows.sort();
        return rows;
    }

    void change(const Statement &s)
    {
        for (const char *db : {"SQ", "PX"}) {
            Query q;
            q.setDatabaseName(QLatin1String(db));
            q.setSql(QString::fromUtf8(s.sql));
            if (s.params)
                s.params(q);
            q.execSQL();
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        db::Engine &e = db::Engine::instance();
        e.setConfigFile(m_tmp.filePath(QStringLiteral("engine.cfg")));
        const QString file = m_tmp.filePath(QStringLiteral("base.sqlite"));
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("source"));
            d.setDatabaseName(file);
            QVERIFY(d.open());
            demo::createPracticeTables(d);
            fill(d);
            db::paradox::exportSqliteDatabase(d, m_tmp.filePath(QStringLiteral("paradox")));
            d.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("source"));
        e.addAlias(QStringLiteral("SQ"), QStringLiteral("SQLITE"), {QStringLiteral("PATH=") + file});
        e.addStandardAlias(QStringLiteral("PX"), m_tmp.filePath(QStringLiteral("paradox")), QStringLiteral("Paradox"));
        openAlias(QStringLiteral("SQ"));
        openAlias(QStringLiteral("PX"));
    }

    void cleanupTestCase() { m_conns.clear(); }

    void selectionsAnswerAlike()
    {
        auto id = [](const char *name, qint64 v) { return [=](Query &q) { q.setInteger(QLatin1String(name), v); }; };
        const Statement statements[] = {
            {"SELECT PATIENTS_ID FROM CPMAIN GROUP BY PATIENTS_ID ORDER BY PATIENTS_ID", nullptr},
            {"SELECT count(*) FROM PATIENTS WHERE PATIENTS_ID=:patients_id", id("patients_id", 17)},
            {"SELECT count(*) FROM PATIENTS WHERE PATIENTS_ID=:patients_id", id("patients_id", 205)},
            {"SELECT * FROM CPMAIN WHERE PATIENTS_ID =:patients_id", id("patients_id", 42)},
            {"SELECT CPSVFact_ID, Patients_ID FROM CPSVFACT", nullptr},
            {"SELECT count(CPMain_ID) FROM CPMAIN WHERE CPOrg_1_ID=:cporg_id", id("cporg_id", 6)},
            {"SELECT * FROM CPMAIN WHERE MONTANT1 IS NULL AND MONTANT2 IS NULL AND MONTANT3 IS NULL AND MONTANT4 IS NULL "
             "AND PAIEMENT1 IS NULL AND PAIEMENT2 IS NULL AND REGLETIERSPAYANT1 IS NULL AND REGLETIERSPAYANT2 IS NULL", nullptr},
            {"SELECT count(*) FROM CPORDPAY WHERE CPOrg_ID IS NULL", nullptr},
            {"SELECT CPOrdpay_ID FROM CPGEST WHERE CPordpay_ID NOT IN (SELECT CPORDPAY_ID FROM CPORDPAY) GROUP BY "
             "CPOrdpay_ID ORDER BY CPOrdpay_ID", nullptr},
            {"SELECT * FROM CPGEST WHERE CPOrdpay_ID=:cpordpay_id ORDER BY CPGest_ID", id("cpordpay_id", 33)},
            {"SELECT CPMain_ID, CPSVFact_ID FROM CPMAIN WHERE NOT CPSVFact_ID IS NULL", nullptr},
            {"SELECT PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID, Count(CPMAIN_ID) as Compteur FROM CPMAIN GROUP BY "
             "PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID", nullptr},
            {"SELECT * FROM CPMAIN WHERE PATIENTS_ID=:patients_id AND DATE_CONSULTATION=:date_consultation AND "
             "MEDECINS_ID=:medecins_id",
             [](Query &q) {
                 q.setInteger(QStringLiteral("patients_id"), 42);
                 q.setDateTime(QStringLiteral("date_consultation"), QDateTime(kFirstDay.addDays(10), QTime(0, 0)));
                 q.setInteger(QStringLiteral("medecins_id"), 2);
             }},
            {"SELECT CPMAIN_ID, DATE_CONSULTATION FROM CPMAIN WHERE DATE_CONSULTATION=:d",
             [](Query &q) { q.setDateTime(QStringLiteral("d"), QDateTime(QDate(2023, 1, 12), QTime(10, 0, 0, 750))); }},
            {"SELECT * from motconsu where PATIENTS_ID=:numero_patient AND DATE_CONSULTATION=:date_consultation",
             [](Query &q) {
                 q.setInteger(QStringLiteral("numero_patient"), 9);
                 q.setDate(QStringLiteral("date_consultation"), kFirstDay.addDays(5));
             }},
            {"SELECT MEDECINS_ID FROM PATIENTS WHERE MEDECINS_ID NOT IN (SELECT MEDECINS_ID FROM MEDECINS) GROUP BY MEDECINS_ID", nullptr},
            {"SELECT MEDECINS_ID FROM CPMAIN WHERE MEDECINS_ID NOT IN (SELECT MEDECINS_ID FROM MEDECINS) GROUP BY "
             "MEDECINS_ID ORDER BY MEDECINS_ID", nullptr},
            {"SELECT * FROM CPMAIN WHERE MEDECINS_ID=:medecins_id ORDER BY DATE_CONSULTATION, PATIENTS_ID, CPMAIN_ID",
             id("medecins_id", 1)},
            {"SELECT MAX(DATE_CONSULTATION) FROM CPMAIN WHERE CPTrans_ID=:cptrans_id", id("cptrans_id", 3)},
            {"SELECT MAX(MEDECINS_ID) FROM CPMAIN WHERE CPTrans_ID=:cptrans_id", id("cptrans_id", 2)},
            {"SELECT CPRem_ID FROM CPMAIN WHERE CPRem_ID IS NOT NULL GROUP BY CPRem_ID", nullptr},
            {"SELECT * FROM CPORDPAY WHERE NOT CPRem_ID IS NULL AND CPRem_ID NOT IN (SELECT CPRem_ID FROM CPREM)", nullptr},
            {"SELECT C.PATIENTS_ID, P.N_OMON, P.NOM, P.PRENOM, P.NE_LE FROM CPMAIN C, PATIENTS P "
             "WHERE C.PATIENTS_ID = P.PATIENTS_ID AND C.MEDECINS_ID = :m ORDER BY C.CPMAIN_ID", id("m", 3)},
            {"SELECT count(*) as countrec FROM CPOrg WHERE CPOrg_ID = :numero", id("numero", 4)},
            {"SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME = :chaine",
             [](Query &q) { q.setText(QStringLiteral("chaine"), QStringLiteral("CPMAIN_ID")); }},
            {"SELECT MEDECINS_ID, MEDECINS_COMPTABLE_ID, SV_LPS, AG2035_COMPTE, NOM, PRENOM, ACCESSTOSV FROM MEDECINS "
             "ORDER BY MEDECINS_ID", nullptr},
            {"SELECT PATIENTS_ID, NOM, PRENOM, NE_LE, N_OMON FROM PATIENTS ORDER BY PATIENTS_ID", nullptr},
            {"SELECT NOM, count(*), sum(MEDECINS_ID) FROM PATIENTS WHERE NOM LIKE 'Nom1%' GROUP BY NOM ORDER BY 2 DESC, 1", nullptr},
        };
        for (const Statement &s : statements) {
            const bool ordered = QByteArray(s.sql).contains("ORDER BY");
            const QStringList sq = answer(QStringLiteral("SQ"), s, !ordered);
            const QStringList px = answer(QStringLiteral("PX"), s, !ordered);
            QVERIFY2(!px.isEmpty(), s.sql);
            QVERIFY2(sq == px, s.sql);
        }
    }

    // A savepoint that opens the transaction itself predates every table's
    // part in it: rolling back to it undoes all their changes, as on SQLite.
    void rollbackToTheOpeningSavepointUndoesEverything()
    {
        auto contenu = [this](const char *db) {
            QStringList out;
            for (const char *sql : {"SELECT * FROM ID_VALUES ORDER BY KEY_NAME", "SELECT * FROM CPGEST ORDER BY CPGest_ID"}) {
                const Statement all{sql, nullptr};
                out << answer(QLatin1String(db), all, false).join(QLatin1Char('\n'));
            }
            return out;
        };
        for (const char *db : {"SQ", "PX"}) {
            const QStringList avant = contenu(db);
            for (const char *sql : {"SAVEPOINT essai", "INSERT INTO ID_VALUES (KEY_NAME, LAST_VALUE) VALUES ('ESSAI', 1)",
                                    "DELETE FROM CPGEST WHERE CPGest_ID = 3", "UPDATE ID_VALUES SET LAST_VALUE = 99",
                                    "ROLLBACK TO essai", "RELEASE essai"}) {
                Query q;
                q.setDatabaseName(QLatin1String(db));
                q.setSql(QString::fromUtf8(sql));
                q.execSQL();
            }
            QVERIFY2(contenu(db) == avant, db);
        }
    }

    void changesLeaveTheTablesAlike()
    {
        auto two = [](const char *a, qint64 x, const char *b, qint64 y) {
            return [=](Query &q) {
                q.setInteger(QLatin1String(a), x);
                q.setInteger(QLatin1String(b), y);
            };
        };
        const Statement changes[] = {
            {"DELETE FROM CPMAIN WHERE PATIENTS_ID IS NULL", nullptr},
            {"DELETE FROM CPMAIN WHERE MONTANT1 IS NULL AND MONTANT2 IS NULL AND PAIEMENT1 IS NULL", nullptr},
            {"UPDATE CPMAIN SET CPSVFact_ID=NULL WHERE CPMAIN_ID=:cpmain_id", [](Query &q) { q.setInteger("cpmain_id", 12); }},
            {"UPDATE CPMAIN SET PATIENTS_ID = :nouveau_patient WHERE CPMAIN_ID=:cpmain_id",
             two("nouveau_patient", 3, "cpmain_id", 40)},
            {"UPDATE PATIENTS SET N_OMON=:n_omon WHERE PATIENTS_ID=:patients_id",
             [](Query &q) {
                 q.setText("n_omon", QStringLiteral("É000007"));
                 q.setInteger("patients_id", 7);
             }},
            {"UPDATE ID_VALUES SET LAST_VALUE = :numero WHERE KEY_NAME = :chaine",
             [](Query &q) {
                 q.setInteger("numero", 601);
                 q.setText("chaine", QStringLiteral("CPMAIN_ID"));
             }},
            {"INSERT INTO ID_VALUES (KEY_NAME, LAST_VALUE) VALUES (:chaine, :numero)",
             [](Query &q) {
                 q.setText("chaine", QStringLiteral("CPORG_ID"));
                 q.setInteger("numero", 5);
             }},
            {"INSERT INTO MEDECINS (MEDECINS_ID, SYSTEM_FLAGS, MEDECINS_COMPTABLE_ID, NOM, PRENOM) VALUES (:medecins_id, "
             ":flags, :medecins_id, :nom, :prenom)",
             [](Query &q) {
                 q.setInteger("medecins_id", 4);
                 q.setText("flags", QStringLiteral("0"));
                 q.setText("nom", QStringLiteral("Inconnu"));
                 q.setText("prenom", QStringLiteral("Médecin"));
             }},
            {"INSERT INTO CPREM (CPRem_ID, DATE_CONSULTATION, Montant, Medecins_ID, Qte, Banque, CPBanks_ID, Patient) VALUES "
             "(:id, :d, :montant, 1, 1, 'Banque', NULL, :patient)",
             [](Query &q) {
                 q.setInteger("id", 11);
                 q.setDateTime("d", QDateTime(QDate(2023, 3, 4), QTime(0, 0)));
                 q.setFloat("montant", 12.34);
                 q.setBoolean("patient", true);
             }},
            {"DELETE FROM CPGEST WHERE CPGest_ID=:cpgest_id", [](Query &q) { q.setInteger("cpgest_id", 5); }},
            {"UPDATE CPMAIN SET Paiement1 = 10 WHERE CPMAIN_ID > 600", nullptr},
            {"UPDATE CPMAIN SET DATE_CONSULTATION = :d WHERE CPMAIN_ID = 601",
             [](Query &q) { q.setDateTime("d", QDateTime(QDate(2023, 1, 12), QTime(10, 0, 0, 500))); }},
            {"UPDATE MEDECINS SET SV_LPS = 'nouvelle liste, assez longue pour sortir de l''enregistrement' WHERE MEDECINS_ID = 2", nullptr},
        };
        for (const Statement &s : changes)
            change(s);
        for (const char *table : {"CPMAIN", "PATIENTS", "ID_VALUES", "MEDECINS", "CPREM", "CPGEST"}) {
            const demo::TableDef *t = demo::findTable(QLatin1String(table));
            const QByteArray sql = QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(t->name, t->key).toUtf8();
            const Statement all{sql.constData(), nullptr};
            QVERIFY2(answer(QStringLiteral("SQ"), all, false) == answer(QStringLiteral("PX"), all, false), table);
        }
    }
};

QTEST_GUILESS_MAIN(ParadoxSqlTest)
#include "paradox_sql_test.moc"
