#include "support/Fixture.h"
#include "checks/CheckRun.h"
#include "db/DbError.h"

#include <QTest>

// Phase 9: accounting records of the same patient, consultation date and
// physician; the one holding less is deleted.
class DoublonsTest : public QObject {
    Q_OBJECT

    static QString L(const char *s) { return QString::fromUtf8(s); }

    const QDateTime kDate{QDate(2024, 3, 15), QTime(10, 30)};

    // A record with its keys and CPMAIN_ID filled, plus the columns given.
    void recette(PracticeFixture &f, int id, QVariantMap autres = {}, const QVariant &patient = 10,
                 const QVariant &date = QVariant(), const QVariant &medecin = 1)
    {
        autres.insert(L("CPMAIN_ID"), id);
        autres.insert(L("PATIENTS_ID"), patient);
        autres.insert(L("MEDECINS_ID"), medecin);
        autres.insert(L("DATE_CONSULTATION"), date.isValid() ? date : QVariant(kDate));
        f.insert(L("CPMAIN"), autres);
    }
    // n filled amount columns.
    static QVariantMap colonnes(int n)
    {
        static const char *noms[] = {"Montant1", "Montant2", "Montant3", "Montant4", "Paiement1", "Paiement2"};
        QVariantMap m;
        for (int i = 0; i < n; ++i)
            m.insert(QString::fromLatin1(noms[i]), 10 + i);
        return m;
    }
    static QString ids(PracticeFixture &f)
    {
        return f.scalar(L("SELECT group_concat(CPMAIN_ID) FROM (SELECT CPMAIN_ID FROM CPMAIN ORDER BY CPMAIN_ID)")).toString();
    }
    static QString supprime(int id)
    {
        return QStringLiteral("Enregistrement en double : l'enregistrement n°%1 figure en double dans la comptabilité. "
                              "Cela génère des éditions comptables éronnées. Cet enregistrement a été supprimé.")
            .arg(id);
    }
    static QStringList actions(const QList<JournalRow> &j)
    {
        QStringList out;
        for (const JournalRow &r : j)
            out << r.action;
        return out;
    }
    std::unique_ptr<Session> run(PracticeFixture &f, ScriptedInteraction &ui)
    {
        auto s = f.start(ui);
        if (s) {
            ui.progress.clear();
            CheckRun(*s).SupprimerDoublons();
        }
        return s;
    }

private slots:
    void equalCountsDeleteTheSecond()
    {
        PracticeFixture f;
        f.insert(L("PATIENTS"), {{L("PATIENTS_ID"), 10}, {L("NOM"), L("Durand")}, {L("PRENOM"), L("Jean")},
                                 {L("N_OMON"), L("D000010")}, {L("MEDECINS_ID"), 1}});
        recette(f, 1, {{L("Montant1"), 0}});          // a zero is a filled column
        recette(f, 2, {{L("Mode1"), L("CB")}});
        recette(f, 3, {}, 11);                        // another patient: alone in its group
        ScriptedInteraction ui;
        auto s = run(f, ui);
        QVERIFY(s);
        QCOMPARE(ids(f), L("1,3"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].niveau, 3);
        QCOMPARE(j[0].origine, L("Comptabilité (CPMAIN)"));
        QCOMPARE(j[0].patientId.toInt(), 10);
        QCOMPARE(j[0].patientNom, L("DURAND Jean"));
        QCOMPARE(j[0].medecinId.toInt(), 1);
        QCOMPARE(j[0].date, kDate);
        QCOMPARE(j[0].action, supprime(2));
        QCOMPARE(ui.progress, QStringList({L("  Recherche des doublons dans la comptabilité..."),
                                           L("  Recherche des doublons dans la comptabilité..."),
                                           L("  Recherche des doublons dans la comptabilité (1/2)"),
                                           L("  Gestion du doublon 1/2)"), L("  Gestion du doublon 2/2)"),
                                           L("  Recherche des doublons dans la comptabilité (2/2)")}));
        QVERIFY(!ui.progressOpen);
        QVERIFY(ui.mainEnabled);
    }

    void fullerSecondDeletesTheFirst()
    {
        PracticeFixture f;
        recette(f, 1);
        f.exec(L("UPDATE CPMAIN SET Mode1='' WHERE CPMAIN_ID=1"));   // an empty text is not filled
        recette(f, 2, {{L("Montant1"), 20}});
        ScriptedInteraction ui;
        auto s = run(f, ui);
        QVERIFY(s);
        QCOMPARE(ids(f), L("2"));
        QCOMPARE(actions(PracticeFixture::journal(*s)), QStringList({supprime(1)}));
    }

    void groupsOfThreeEndWithTheFullestRecord()
    {
        PracticeFixture f;
        const QDateTime a(QDate(2024, 1, 1), QTime(0, 0)), b(QDate(2024, 1, 2), QTime(0, 0)),
            c(QDate(2024, 1, 3), QTime(0, 0)), d(QDate(2024, 1, 4), QTime(0, 0));
        // E2 goes first; E3 is fuller than E2 but not than E1: E1 stays.
        recette(f, 1, colonnes(4), 10, a);
        recette(f, 2, colonnes(1), 10, a);
        recette(f, 3, colonnes(3), 10, a);
        // E2 goes first; E3 is fuller than E1 too: only E3 stays.
        recette(f, 4, colonnes(2), 10, b);
        recette(f, 5, colonnes(1), 10, b);
        recette(f, 6, colonnes(5), 10, b);
        // E1 goes first, then E2 against E3.
        recette(f, 7, colonnes(1), 10, c);
        recette(f, 8, colonnes(3), 10, c);
        recette(f, 9, colonnes(2), 10, c);
        // All equal: the earliest stays.
        recette(f, 11, colonnes(2), 10, d);
        recette(f, 12, colonnes(2), 10, d);
        recette(f, 13, colonnes(2), 10, d);
        recette(f, 14, colonnes(2), 10, d);
        ScriptedInteraction ui;
        auto s = run(f, ui);
        QVERIFY(s);
        QCOMPARE(ids(f), L("1,6,8,11"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(actions(j), QStringList({supprime(2), supprime(3), supprime(5), supprime(4), supprime(7), supprime(9),
                                          supprime(12), supprime(13), supprime(14)}));
        QCOMPARE(j[2].date, b);
        QVERIFY(ui.progress.contains(L("  Gestion du doublon 4/4)")));
    }

    void onlyTheSameInstantIsADuplicate_data() { lignesParMoteur(); }

    void onlyTheSameInstantIsADuplicate()
    {
        QFETCH(Moteur, moteur);
        PracticeFixture f;
        recette(f, 1, {}, 10, QDateTime(QDate(2024, 3, 15), QTime(9, 0)));
        recette(f, 2, {}, 10, QDateTime(QDate(2024, 3, 15), QTime(9, 0, 1)));
        recette(f, 3, {}, 10, QDateTime(QDate(2024, 3, 15), QTime(0, 0)));
        recette(f, 4, {}, 10, kDate, 2);     // another physician
        recette(f, 5, {}, 10, QDateTime(QDate(2024, 3, 15), QTime(10, 0, 0, 250)));
        recette(f, 6, {}, 10, QDateTime(QDate(2024, 3, 15), QTime(10, 0, 0, 750)));
        MOTEUR_OU_PASSER(f, moteur);
        ScriptedInteraction ui;
        auto s = run(f, ui);
        QVERIFY(s);
        QCOMPARE(s->ModeSQL, moteur != Moteur::Paradox);
        QStringList restants;
        for (const QStringList &r : PracticeFixture::lignes(*s, L("SELECT CPMAIN_ID FROM CPMAIN ORDER BY CPMAIN_ID")))
            restants << r.value(0);
        QCOMPARE(restants.join(QLatin1Char(',')), L("1,2,3,4,5,6"));
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
        QVERIFY(!ui.progress.contains(L("  Gestion du doublon 1/2)")));
    }

    void nullKeysSelectNothing()
    {
        PracticeFixture f;
        recette(f, 1, {}, QVariant());
        recette(f, 2, {}, QVariant());
        recette(f, 3, {}, 10, QVariant(), QVariant());
        recette(f, 4, {}, 10, QVariant(), QVariant());
        recette(f, 5);
        recette(f, 6);
        f.exec(L("UPDATE CPMAIN SET DATE_CONSULTATION=NULL WHERE CPMAIN_ID IN (5,6)"));
        ScriptedInteraction ui;
        auto s = run(f, ui);
        QVERIFY(s);
        QCOMPARE(ids(f), L("1,2,3,4,5,6"));
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
    }

    void refusedDeletionIsReportedAndTheWalkGoesOn()
    {
        PracticeFixture f;
        recette(f, 1, colonnes(2));
        recette(f, 2, colonnes(2));   // refused
        recette(f, 3, colonnes(1));
        recette(f, 4, {}, 11);
        recette(f, 5, {}, 11);
        f.exec(L("CREATE TRIGGER verrou BEFORE DELETE ON CPMAIN WHEN OLD.CPMAIN_ID=2 "
                 "BEGIN SELECT RAISE(ABORT,'doublon verrouillé'); END"));
        ScriptedInteraction ui;
        auto s = run(f, ui);
        QVERIFY(s);
        QCOMPARE(ids(f), L("1,2,4"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 3);
        QCOMPARE(j[0].niveau, 2);
        QCOMPARE(j[0].origine, L("Comptabilité (CPMAIN)"));
        QCOMPARE(j[0].patientId.toInt(), 10);
        QCOMPARE(j[0].patientNom, L("Dossier n°10 inconnu dans la base."));
        QCOMPARE(j[0].date, kDate);
        QCOMPARE(j[0].action, L("Enregistrement en double : l'enregistrement n°2 figure en double dans la comptabilité. "
                                "Cela génère des éditions comptables éronnées. Cet enregistrement n'a pas été supprimé "
                                "pour la raison suivante : doublon verrouillé"));
        QCOMPARE(actions(j.mid(1)), QStringList({supprime(3), supprime(5)}));
        QCOMPARE(f.scalar(L("SELECT Montant1 FROM CPMAIN WHERE CPMAIN_ID=1")).toDouble(), 10.0);
    }

    void groupingFailureIsNotCaught()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        f.exec(L("DROP TABLE CPMAIN"));
        CheckRun run(*s);
        QVERIFY_THROWS_EXCEPTION(db::DbError, run.SupprimerDoublons());
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
    }
};

QTEST_GUILESS_MAIN(DoublonsTest)
#include "doublons_test.moc"
