#include "support/Fixture.h"
#include "db/DbError.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

// The results journal: rows written as given beside the checks' rows, the
// order they read back in, the count and the emptying between runs.
class JournalTest : public QObject {
    Q_OBJECT

    static QStringList actions(Session &s)
    {
        QStringList out;
        for (const Journal::Lue &l : s.journal.lignes())
            out << l.action.asString();
        return out;
    }

    // Runs a statement on the journal's file behind the session's back.
    static void surLeFichier(PracticeFixture &f, const QString &sql)
    {
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fichier"_s);
            d.setDatabaseName(f.prive + u"/Aldurix3.DB"_s);
            QVERIFY(d.open());
            QSqlQuery q(d);
            QVERIFY(q.exec(sql));
        }
        QSqlDatabase::removeDatabase(u"fichier"_s);
    }

private slots:
    void rowsWrittenAsGivenKeepTheirEmptyColumns()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        s->journal.ajouter({.origine = u"Liste des tiers payant"_s, .niveau = 1, .action = u"créée"_s});
        // A patient number missing from the snapshot: a given name is kept,
        // not replaced by the checks' "inconnu" text.
        s->journal.ajouter({77, u"n°77 inconnu dans la base de données."_s, QDateTime(QDate(2024, 3, 15), QTime(10, 30)), 0,
                            u"Comptabilité"_s, 2, u"transférée"_s});
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 2);
        QVERIFY(j[0].patientId.isNull());
        QVERIFY(j[0].patientNom.isEmpty());
        QVERIFY(!j[0].date.isValid());   // no time of writing either
        QVERIFY(j[0].medecinId.isNull());
        QCOMPARE(j[0].origine, u"Liste des tiers payant"_s);
        QCOMPARE(j[1].patientId.toInt(), 77);
        QCOMPARE(j[1].patientNom, u"n°77 inconnu dans la base de données."_s);
        QCOMPARE(j[1].date, QDateTime(QDate(2024, 3, 15), QTime(10, 30)));
        QCOMPARE(j[1].medecinId.toInt(), 0);   // a physician 0 given is written
        QCOMPARE(s->journal.nombre(), 2);
    }

    // Level, then origin without regard to case, then order of writing,
    // whichever way the rows were written.
    void readInTheJournalOrder()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        s->AjouterResultat(0, QString(), 0, u"beta"_s, 2, u"b1"_s);
        s->journal.ajouter({.origine = u"Alpha"_s, .niveau = 2, .action = u"a1"_s});
        s->journal.ajouter({.origine = u"zeta"_s, .niveau = 1, .action = u"z"_s});
        s->AjouterResultat(0, QString(), 0, u"alpha"_s, 2, u"a2"_s);
        s->journal.ajouter({.origine = u"Beta"_s, .niveau = 2, .action = u"b2"_s});
        s->AjouterResultat(0, QString(), 0, u"alpha"_s, 3, u"a3"_s);
        QCOMPARE(actions(*s), (QStringList{u"z"_s, u"a1"_s, u"a2"_s, u"b1"_s, u"b2"_s, u"a3"_s}));
        s->AjouterResultat(0, QString(), 0, u"alpha"_s, 1, u"a0"_s);
        QCOMPARE(actions(*s).first(), u"a0"_s);
    }

    void emptiedBetweenRunsAndWrittenAgain()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        for (int i = 0; i < 3; ++i)
            s->AjouterResultat(0, QString(), 0, u"O"_s, 3, QString::number(i));
        QCOMPARE(s->journal.nombre(), 3);
        s->journal.vider();
        QCOMPARE(s->journal.nombre(), 0);
        QVERIFY(actions(*s).isEmpty());
        s->AjouterResultat(0, QString(), 0, u"O"_s, 3, u"x"_s);
        s->journal.ajouter({.origine = u"O"_s, .niveau = 1, .action = u"y"_s});
        QCOMPARE(s->journal.nombre(), 2);
        QCOMPARE(actions(*s), (QStringList{u"y"_s, u"x"_s}));
    }

    void noJournalCountsNoRow()
    {
        db::TableCursor resultats, patients;
        ScriptedInteraction ui;
        Journal j(resultats, patients, ui);
        QCOMPARE(j.nombre(), 0);
    }

    // A row the table refuses is thrown and dropped, not left pending.
    void aRefusedRowIsThrownAndDropped()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        surLeFichier(f, u"CREATE TRIGGER refus BEFORE INSERT ON Aldurix3 WHEN NEW.NIVEAU = 9 "
                       "BEGIN SELECT RAISE(ABORT,'journal plein'); END"_s);
        try {
            s->journal.ajouter({.patientId = 5, .patientNom = u"refusé"_s, .origine = u"O"_s, .niveau = 9, .action = u"non"_s});
            QFAIL("the refused row was not reported");
        } catch (const db::DbError &e) {
            QCOMPARE(e.message(), u"journal plein"_s);
        }
        QVERIFY(!s->TableResultats.editing());
        s->journal.ajouter({.origine = u"O"_s, .niveau = 1, .action = u"oui"_s});
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QVERIFY(j[0].patientId.isNull());
        QVERIFY(j[0].patientNom.isEmpty());
        QVERIFY(ui.messages.isEmpty());
    }

    void anUnreadableJournalIsThrown()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        s->AjouterResultat(0, QString(), 0, u"O"_s, 3, u"x"_s);
        surLeFichier(f, u"DROP TABLE Aldurix3"_s);
        QVERIFY_THROWS_EXCEPTION(db::DbError, s->journal.lignes());
    }

    void levelWords()
    {
        QCOMPARE(Journal::motNiveau(1), u"important"_s);
        QCOMPARE(Journal::motNiveau(2), u"à prendre en compte"_s);
        QCOMPARE(Journal::motNiveau(3), u"pour information"_s);
        QCOMPARE(Journal::motNiveau(0), QString());
        QCOMPARE(Journal::motNiveau(4), QString());
    }
};

QTEST_MAIN(JournalTest)
#include "journal_test.moc"
