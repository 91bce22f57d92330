// The validity file (.VAL) of a Paradox table: its bounds and defaults
// applied to what SQL writes, and every other check making the table
// read-only.
#include "support/ParadoxDirs.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Query.h"
#include "db/paradox/ParadoxDriver.h"
#include "db/paradox/PxFormat.h"
#include "db/paradox/PxLib.h"
#include "db/paradox/PxValidity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using db::Query;
using namespace db::paradox;

namespace {

int g_dir = 0;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

Header headerOf(const QString &dbFile)
{
    QFile f(dbFile);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    return parseHeader(bytes, bytes.size(), QStringLiteral("ACTES"));
}

// Field values as the record stores them.
QByteArray number(const FieldInfo &f, double v)
{
    QByteArray b(f.size, '\0');
    if (f.type == ftCurrency || f.type == ftNumber)
        writeFloat(f, b.data(), v);
    else if (f.type == ftBcd)
        writeBcd(f, b.data(), QByteArray::number(v, 'f', f.decimals));
    else
        writeInteger(f, b.data(), qint64(v));
    return b;
}
QByteArray alpha(const FieldInfo &f, const QByteArray &text) { return text.leftJustified(f.size, '\0', true); }

quint32 le32At(const QByteArray &b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }
quint16 le16At(const QByteArray &b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }

// A .VAL laid out byte by byte from the published layout, without the
// engine's writer: entries and the integrity section as given, the header
// and the footer for the table's fields.
QByteArray handMade(const Header &h, int entries, const QByteArray &body, const QByteArray &integrity = QByteArray())
{
    QByteArray f(0x35, '\0');
    f[1] = 0x0A;
    f[2] = char(entries);
    const quint32 footer = quint32(0x35 + body.size() + integrity.size());
    qToLittleEndian<quint32>(footer, f.data() + 0x09);
    qToLittleEndian<quint32>(integrity.isEmpty() ? 0 : quint32(0x35 + body.size()), f.data() + 0x0D);
    f += body + integrity;
    QByteArray word(2, '\0');
    qToLittleEndian<quint16>(quint16(h.fields.size()), word.data());
    f += word + QByteArray(4, '\0');
    for (size_t i = 0; i < h.fields.size(); ++i) {
        qToLittleEndian<quint16>(quint16(i + 1), word.data());
        f += word;
    }
    for (const FieldInfo &fi : h.fields)
        f.append(char(fi.type)).append(char(fi.type == ftBcd ? fi.decimals : fi.size));
    f += QByteArray("ACTES").leftJustified(0x4F, '\0');
    for (const FieldInfo &fi : h.fields)
        f += fi.rawName + '\0';
    return f;
}

// One body entry: field number, then zeros for the caller to set.
QByteArray entry(int field)
{
    QByteArray e(0x1D, '\0');
    e[0] = char(field);
    return e;
}
void setLe32(QByteArray &b, int at, quint32 v) { qToLittleEndian<quint32>(v, b.data() + at); }

} // namespace

class ParadoxValidityTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_dir;
    QString m_dbFile;
    Header m_h;
    ParadoxConnections m_conns{QStringLiteral("PXV")};

    const FieldInfo &field(int c) const { return m_h.fields[size_t(c)]; }

    // CODE between "B" and "M", MONTANT between 0 and 1000 (25 by
    // default), JOUR up to 2030, NB from 1 (1 by default), TAUX up to 99.5.
    std::vector<FieldRule> rules() const
    {
        return {{1, alpha(field(1), "B"), alpha(field(1), "M"), std::nullopt},
                {2, number(field(2), 0), number(field(2), 1000), number(field(2), 25)},
                {3, std::nullopt, number(field(3), QDate(2030, 12, 31).toJulianDay() - kJulianDayOffset), std::nullopt},
                {4, number(field(4), 1), std::nullopt, number(field(4), 1)},
                {5, std::nullopt, number(field(5), 99.5), std::nullopt}};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        db::Engine::instance().setConfigFile(m_tmp.filePath(QStringLiteral("engine.cfg")));
    }

    void init()
    {
        m_dir = m_tmp.filePath(QStringLiteral("v%1").arg(++g_dir));
        QVERIFY(QDir().mkpath(m_dir));
        m_dbFile = m_dir + QStringLiteral("/ACTES.DB");
        createTable(m_dbFile,
                    {{"ID", ColumnType::Long, 0}, {"CODE", ColumnType::Alpha, 5}, {"MONTANT", ColumnType::Currency, 0},
                     {"JOUR", ColumnType::Date, 0}, {"NB", ColumnType::Short, 0}, {"TAUX", ColumnType::Bcd, 2},
                     {"NOTE", ColumnType::Memo, 10}},
                    QStringLiteral("ID"));
        // Row 9 was stored before the bounds were set, beyond them.
        appendRows(m_dbFile, {{1, "C", 10.0, QDate(2024, 1, 2), 3, 1.5, QVariant()},
                              {9, "Z", 5000.0, QDate(2040, 1, 1), 0, 500.0, QVariant()}});
        m_h = headerOf(m_dbFile);
    }

    void cleanup() { m_conns.clear(); }

    // The writer against the published offsets, and the reader against a
    // file built by hand from them: neither can follow the other into a
    // wrong layout.
    void fileLayoutFollowsThePublishedDescription()
    {
        const QByteArray v = buildValidityFile(m_h, "ACTES", rules(), 7);
        QCOMPARE(int(v[0x00]), 7);
        QCOMPARE(int(v[0x01]), 0x09);
        QCOMPARE(int(v[0x02]), 5);
        QVERIFY(v.mid(0x11, 0x35 - 0x11).count('\0') == 0x35 - 0x11);
        // First entry: CODE (field 2), minimum and maximum, 5 bytes each.
        QCOMPARE(int(v[0x35]), 2);
        QCOMPARE(v.mid(0x35 + 0x01, 0x0B), QByteArray(0x0B, '\0'));   // picture, lookup, integrity
        QVERIFY(le32At(v, 0x35 + 0x0C) != 0 && le32At(v, 0x35 + 0x10) != 0);
        QCOMPARE(le32At(v, 0x35 + 0x14), 0u);
        QCOMPARE(le32At(v, 0x35 + 0x18), 0u);
        QCOMPARE(v.mid(0x35 + 0x1D, 10), QByteArray("B\0\0\0\0M\0\0\0\0", 10));
        // Second entry right after: MONTANT, all three, 8 bytes each, in that order.
        const int e2 = 0x35 + 0x1D + 10;
        QCOMPARE(int(v[e2]), 3);
        QVERIFY(le32At(v, e2 + 0x0C) && le32At(v, e2 + 0x10) && le32At(v, e2 + 0x14));
        QCOMPARE(v.mid(e2 + 0x1D, 24), number(field(2), 0) + number(field(2), 1000) + number(field(2), 25));
        // Footer: 7 fields numbered 1..7, their types and sizes, the table name, the field names.
        const int footer = int(le32At(v, 0x09));
        QCOMPARE(footer, 0x35 + (0x1D + 10) + (0x1D + 24) + (0x1D + 4) + (0x1D + 4) + (0x1D + 17));
        QVERIFY(le32At(v, 0x0D) == 0 || int(le32At(v, 0x0D)) == footer);
        QCOMPARE(le16At(v, footer), quint16(7));
        for (int i = 0; i < 7; ++i)
            QCOMPARE(le16At(v, footer + 6 + 2 * i), quint16(i + 1));
        const int types = footer + 6 + 14;
        QCOMPARE(v.mid(types, 14), QByteArray("\x04\x04\x01\x05\x05\x08\x02\x04\x03\x02\x17\x02\x0C\x14", 14));
        QCOMPARE(v.mid(types + 14, 6), QByteArray("ACTES\0", 6));
        QCOMPARE(v.mid(types + 14 + 0x4F), QByteArray("ID\0CODE\0MONTANT\0JOUR\0NB\0TAUX\0NOTE\0", 34));

        const CodePage page(1252, QStringLiteral("ACTES"));
        auto same = [&](const ValidityRules &r) {
            QCOMPARE(r.rules.size(), size_t(5));
            for (size_t i = 0; i < 5; ++i) {
                QCOMPARE(r.rules[i].column, rules()[i].column);
                QCOMPARE(r.rules[i].minimum, rules()[i].minimum);
                QCOMPARE(r.rules[i].maximum, rules()[i].maximum);
                QCOMPARE(r.rules[i].defaultValue, rules()[i].defaultValue);
            }
        };
        same(parseValidity(v, QStringLiteral("ACTES.VAL"), m_h, page, QStringLiteral("ACTES")));
        QByteArray body;
        for (const FieldRule &r : rules()) {
            QByteArray e = entry(r.column + 1);
            int at = 0x0C;
            for (const auto *value : {&r.minimum, &r.maximum, &r.defaultValue}) {
                if (*value)
                    setLe32(e, at, 0x6B0012F4u);
                at += 4;
            }
            for (const auto *value : {&r.minimum, &r.maximum, &r.defaultValue})
                if (*value)
                    e += **value;
            body += e;
        }
        same(parseValidity(handMade(m_h, 5, body), QStringLiteral("ACTES.VAL"), m_h, page, QStringLiteral("ACTES")));
    }

    void valuesOutsideTheBoundsAreRefused_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("above maximum") << "INSERT INTO ACTES (ID, CODE, MONTANT) VALUES (2, 'C', 1000.01)"
                                       << "champ MONTANT : la valeur 1000.01 est supérieure au maximum 1000";
        QTest::newRow("zero is not blank") << "INSERT INTO ACTES (ID, CODE, NB) VALUES (2, 'C', 0)"
                                           << "champ NB : la valeur 0 est inférieure au minimum 1";
        QTest::newRow("text past its bound") << "INSERT INTO ACTES (ID, CODE) VALUES (2, 'MA')"
                                             << "champ CODE : la valeur « MA » est supérieure au maximum « M »";
        QTest::newRow("date") << "INSERT INTO ACTES (ID, CODE, JOUR) VALUES (2, 'C', '2031-01-01 00:00:00')"
                              << "champ JOUR : la valeur 01/01/2031 est supérieure au maximum 31/12/2030";
        QTest::newRow("bcd") << "UPDATE ACTES SET TAUX = 99.51 WHERE ID = 1" << "champ TAUX : la valeur 99.51";
        QTest::newRow("old row, its bad field") << "UPDATE ACTES SET MONTANT = 4000 WHERE ID = 9" << "maximum 1000";
    }

    void valuesOutsideTheBoundsAreRefused()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        writeFile(m_dir + QStringLiteral("/ACTES.VAL"), buildValidityFile(m_h, "ACTES", rules()));
        const QString db = m_conns.connect(m_dir);
        const auto before = snapshot(m_dir);
        const QString err = failure(db, sql);
        QVERIFY2(err.startsWith(QStringLiteral("Table ACTES, champ ")) && err.contains(message)
                     && err.endsWith(QStringLiteral("fixé par le fichier de contrôles ACTES.VAL.")),
                 qPrintable(err));
        QCOMPARE(snapshot(m_dir), before);
        QCOMPARE(column(db, QStringLiteral("SELECT group_concat(ID || MONTANT) FROM ACTES")), QStringList{"110.0,95000.0"});
    }

    void valuesWithinTheBoundsAndDefaults()
    {
        // Found in any letter case.
        writeFile(m_dir + QStringLiteral("/actes.val"), buildValidityFile(m_h, "ACTES", rules()));
        const QString db = m_conns.connect(m_dir);
        run(db, QStringLiteral("INSERT INTO ACTES (ID, CODE, MONTANT, JOUR, NB, TAUX) VALUES "
                               "(2, 'B', 0, '2030-12-31 00:00:00', 1, 99.5), (3, 'M', 1000, NULL, 7, -3)"));
        // Blank fields take their defaults; one without a default stays blank.
        run(db, QStringLiteral("INSERT INTO ACTES (ID, CODE) VALUES (4, 'C')"));
        run(db, QStringLiteral("INSERT INTO ACTES (ID, CODE, MONTANT, NB) VALUES (5, NULL, NULL, 4)"));
        // A row stored beyond the bounds keeps its other fields writable.
        run(db, QStringLiteral("UPDATE ACTES SET CODE = 'D' WHERE ID = 9"));
        const QString fresh = m_conns.connect(m_dir);
        QCOMPARE(column(fresh, QStringLiteral("SELECT ID || ':' || coalesce(CODE, '-') || ':' || printf('%.2f', MONTANT) "
                                              "|| ':' || coalesce(NB, '-') || ':' || coalesce(TAUX, '-') FROM ACTES ORDER BY ID")),
                 (QStringList{"1:C:10.00:3:1.5", "2:B:0.00:1:99.5", "3:M:1000.00:7:-3.0", "4:C:25.00:1:-",
                              "5:-:25.00:4:-", "9:D:5000.00:0:500.0"}));
    }

    void rulesThisEngineCannotApplyMakeTheTableReadOnly_data()
    {
        // A file of one minimum on MONTANT with one byte changed (a negative
        // position: that many bytes cut off); other kinds built in the test.
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("why");
        const int footer = 0x35 + 0x1D + 8;
        QTest::newRow("version") << 0x01 << 0x0C << "dans une version du format (12)";
        QTest::newRow("truncated") << -20 << 0 << "est tronqué (noms des champs)";
        QTest::newRow("footer count") << footer << 6 << "(6 champs au lieu de 7)";
        QTest::newRow("footer type") << footer + 6 + 14 + 2 * 3 << int(ftTimestamp)
                                     << "(le champ JOUR y est de type horodatage et de taille 4, dans la table de type "
                                        "date et de taille 4)";
        // Where the description places no flag ("required" may be one of them).
        QTest::newRow("unknown entry byte") << 0x35 + 0x09 << 1
                                            << "règle sur le champ MONTANT que ce moteur ne sait pas lire (octet 0x3e ";
        QTest::newRow("unknown header byte") << 0x20 << 1 << "règle que ce moteur ne sait pas lire (octet 0x20 ";
        QTest::newRow("lookup") << 0 << 0 << "règle de recherche dans une autre table (champ CODE)";
        QTest::newRow("picture") << 0 << 0 << "modèle de saisie (champ CODE)";
        QTest::newRow("child integrity") << 0 << 0 << "lie ses lignes à une autre table";
        QTest::newRow("parent integrity") << 0 << 0 << "en fait la table maître";
        QTest::newRow("memo default") << 0 << 0 << "contrôle (valeur par défaut) sur le champ NOTE de type mémo";
    }

    void rulesThisEngineCannotApplyMakeTheTableReadOnly()
    {
        QFETCH(int, at);
        QFETCH(int, value);
        QFETCH(QString, why);
        const QByteArray kind = QTest::currentDataTag();
        QByteArray bounded = entry(3);
        setLe32(bounded, 0x0C, 0x6B000000u);
        bounded += number(field(2), 0);
        QByteArray bytes = handMade(m_h, 1, bounded);
        if (at < 0) {
            bytes.chop(-at);
        } else if (at > 0) {
            bytes[at] = char(value);
        } else if (kind == "lookup") {
            QByteArray e = entry(2);
            e[0x02] = 1;
            e[0x03] = 0x02;
            setLe32(e, 0x04, 0x6B001234u);
            bytes = handMade(m_h, 1, e + QByteArray("CODES.DB").leftJustified(0x50, '\0'));
        } else if (kind == "picture") {
            QByteArray e = entry(2);
            e[0x01] = 6;
            setLe32(e, 0x18, 0x6B000000u);
            bytes = handMade(m_h, 1, e + QByteArray("&#&#&", 6));
        } else if (kind == "memo default") {
            QByteArray e = entry(7);
            setLe32(e, 0x14, 0x6B000000u);
            bytes = handMade(m_h, 1, e + QByteArray(field(6).size, 'x'));
        } else {
            // A count of links to parents, or zero and a parent's list of dependents.
            QByteArray ri(2 + 0x1E0, '\0');
            if (kind == "child integrity") {
                ri[0] = 1;
                ri.replace(2, 4, "LIEN");
                ri.replace(2 + 0xD4, 8, "PATIENTS");
                ri[2 + 0x19E] = 1;
            } else {
                ri[2] = 1;
            }
            bytes = handMade(m_h, 1, bounded, ri);
        }
        writeFile(m_dir + QStringLiteral("/Actes.Val"), bytes);

        const QString db = m_conns.connect(m_dir);
        const auto before = snapshot(m_dir);
        for (const QString sql : {QStringLiteral("INSERT INTO ACTES (ID, CODE) VALUES (2, 'C')"),
                                  QStringLiteral("UPDATE ACTES SET NB = 2 WHERE ID = 1"),
                                  QStringLiteral("DELETE FROM ACTES WHERE ID = 9")}) {
            const QString err = failure(db, sql);
            QVERIFY2(err.startsWith(QStringLiteral("Table ACTES : son fichier de contrôles Actes.Val "))
                         && err.contains(why) && err.endsWith(QStringLiteral(" ; elle ne peut pas être modifiée.")),
                     qPrintable(sql + QStringLiteral(" -> ") + err));
        }
        QCOMPARE(snapshot(m_dir), before);
        QCOMPARE(column(db, QStringLiteral("SELECT group_concat(ID) FROM ACTES")), QStringList{"1,9"});
        // Read again by each statement: without it the table is writable at once.
        QVERIFY(QFile::remove(m_dir + QStringLiteral("/Actes.Val")));
        run(db, QStringLiteral("UPDATE ACTES SET NB = 2 WHERE ID = 1"));
        QCOMPARE(column(db, QStringLiteral("SELECT NB FROM ACTES WHERE ID = 1")), QStringList{"2"});
    }
};

QTEST_GUILESS_MAIN(ParadoxValidityTest)
#include "paradox_validity_test.moc"
