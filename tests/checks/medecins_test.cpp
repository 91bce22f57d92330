#include "support/Fixture.h"
#include "checks/CheckRun.h"
#include "db/DbError.h"

#include <QTest>

// Phases 3 and 4: placeholder physicians for the patients' references, then
// the accounting records of the physicians that are still unknown.
class MedecinsTest : public QObject {
    Q_OBJECT

    static QString L(const char *s) { return QString::fromUtf8(s); }

    void medecin(PracticeFixture &f, int id)
    {
        f.insert(L("MEDECINS"), {{L("MEDECINS_ID"), id}, {L("MEDECINS_COMPTABLE_ID"), id}, {L("NOM"), L("Martin")},
                                 {L("PRENOM"), L("Paul")}, {L("SYSTEM_FLAGS"), L("*US")}});
    }
    void patient(PracticeFixture &f, int id, const QString &nom, const QString &prenom, const QVariant &medecinId)
    {
        f.insert(L("PATIENTS"), {{L("PATIENTS_ID"), id}, {L("NOM"), nom}, {L("PRENOM"), prenom},
                                 {L("N_OMON"), CheckRun::numeroAttendu(nom, id)}, {L("MEDECINS_ID"), medecinId}});
    }
    void recette(PracticeFixture &f, int id, int patientId, int medecinId, const QDateTime &date,
                 QVariantMap autres = {})
    {
        autres.insert(L("CPMAIN_ID"), id);
        autres.insert(L("PATIENTS_ID"), patientId);
        autres.insert(L("MEDECINS_ID"), medecinId);
        autres.insert(L("DATE_CONSULTATION"), date);
        f.insert(L("CPMAIN"), autres);
    }
    static QList<JournalRow> rowsOf(const QList<JournalRow> &j, const QString &origine)
    {
        QList<JournalRow> out;
        for (const JournalRow &r : j)
            if (r.origine == origine)
                out << r;
        return out;
    }
    static QString placeholder(PracticeFixture &f, int id)
    {
        const auto r = f.rows(QStringLiteral("SELECT MEDECINS_COMPTABLE_ID, SYSTEM_FLAGS, NOM, PRENOM FROM MEDECINS "
                                             "WHERE MEDECINS_ID=%1").arg(id));
        if (r.size() != 1)
            return QStringLiteral("<%1 rows>").arg(r.size());
        return r[0][0].toString() + QLatin1Char('|') + r[0][1].toString() + QLatin1Char('|') + r[0][2].toString()
               + QLatin1Char('|') + r[0][3].toString();
    }

private slots:
    void createsOnePlaceholderPerMissingPhysician()
    {
        PracticeFixture f;
        medecin(f, 1);
        patient(f, 1, L("Durand"), L("Jean"), 1);
        patient(f, 2, L("Petit"), L("Léa"), 5);
        patient(f, 3, L("Grand"), L("Luc"), 5);       // same missing physician: one placeholder
        patient(f, 4, L("Blanc"), L("Zoé"), QVariant()); // no physician at all
        patient(f, 5, L("Roux"), L("Anne"), 7);
        f.insert(L("ID_VALUES"), {{L("KEY_NAME"), L("MEDECINS_ID")}, {L("LAST_VALUE"), 6}});
        // The counter must already cover the number when the row arrives.
        f.exec(L("CREATE TRIGGER compteur BEFORE INSERT ON MEDECINS WHEN (SELECT LAST_VALUE FROM ID_VALUES "
                 "WHERE KEY_NAME='MEDECINS_ID') < NEW.MEDECINS_ID BEGIN SELECT RAISE(ABORT,'compteur en retard'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.progress.clear();
        run.CreerMedecinsAbsents();

        QCOMPARE(f.scalar(L("SELECT count(*) FROM MEDECINS")).toInt(), 3);
        QCOMPARE(placeholder(f, 5), L("5|*US PA CO CM AN|Médecin inconnu n°5|Ajustement Aldurix"));
        QCOMPARE(placeholder(f, 7), L("7|*US PA CO CM AN|Médecin inconnu n°7|Ajustement Aldurix"));
        QCOMPARE(f.scalar(L("SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME='MEDECINS_ID'")).toInt(), 7);
        QCOMPARE(f.scalar(L("SELECT count(*) FROM ID_VALUES")).toInt(), 1);

        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 2);
        for (const JournalRow &r : j) {
            QCOMPARE(r.niveau, 2);
            QCOMPARE(r.origine, L("Liste des médecins/utilisateurs (MEDECINS)"));
            QVERIFY(r.patientId.isNull());
            QCOMPARE(r.medecinId.toInt(), 0);
        }
        QCOMPARE(j[0].action, L("Création du médecin inconnu 5 dans la liste des médecins/utilisateurs."));
        QCOMPARE(j[1].action, L("Création du médecin inconnu 7 dans la liste des médecins/utilisateurs."));
        QCOMPARE(ui.progress, QStringList({L("  Ajustement des médecins inexistants..."),
                                           L("  Création des médecins/utilisateurs absents...")}));
        QVERIFY(!ui.progressOpen);
        QVERIFY(!ui.mainEnabled);
        // The snapshot is not refreshed with the placeholders.
        QVERIFY(!s->TableMedecins.findKey({5}));
    }

    void nothingMissingWritesNothing()
    {
        PracticeFixture f;
        medecin(f, 1);
        patient(f, 1, L("Durand"), L("Jean"), 1);
        patient(f, 2, L("Petit"), L("Léa"), QVariant());
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.progress.clear();
        run.CreerMedecinsAbsents();
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
        QCOMPARE(f.scalar(L("SELECT count(*) FROM MEDECINS")).toInt(), 1);
        QCOMPARE(f.scalar(L("SELECT count(*) FROM ID_VALUES")).toInt(), 0);
        QCOMPARE(ui.progress, QStringList({L("  Ajustement des médecins inexistants...")}));
        QVERIFY(!ui.progressOpen);
    }

    void nullReferenceNamesNoPhysicianEvenWithEmptyList()
    {
        // With no physician at all, "NULL NOT IN (empty list)" is true: the
        // patient without physician must still not give a physician 0.
        PracticeFixture f;
        patient(f, 1, L("Durand"), L("Jean"), QVariant());
        patient(f, 2, L("Petit"), L("Léa"), 3);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerMedecinsAbsents();
        QCOMPARE(f.scalar(L("SELECT group_concat(MEDECINS_ID) FROM MEDECINS")).toString(), L("3"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].action, L("Création du médecin inconnu 3 dans la liste des médecins/utilisateurs."));
        // A counter missing from ID_VALUES is created under the name passed.
        QCOMPARE(f.rows(L("SELECT KEY_NAME, LAST_VALUE FROM ID_VALUES")),
                 QList<QVariantList>({QVariantList{L("MEDECINS_ID"), 3}}));
    }

    void refusedCreationIsJournalledAndItsRecordsGo()
    {
        PracticeFixture f;
        medecin(f, 1);
        patient(f, 1, L("Durand"), L("Jean"), 5);
        patient(f, 2, L("Petit"), L("Léa"), 7);
        f.insert(L("ID_VALUES"), {{L("KEY_NAME"), L("MEDECINS_ID")}, {L("LAST_VALUE"), 2}});
        f.exec(L("CREATE TRIGGER refus BEFORE INSERT ON MEDECINS WHEN NEW.MEDECINS_ID=5 "
                 "BEGIN SELECT RAISE(ABORT,'médecin refusé'); END"));
        recette(f, 10, 1, 5, QDateTime(QDate(2024, 3, 1), QTime(9, 0)), {{L("Montant1"), 25}});
        recette(f, 11, 2, 7, QDateTime(QDate(2024, 3, 2), QTime(9, 0)), {{L("Montant1"), 25}});
        recette(f, 12, 2, 1, QDateTime(QDate(2024, 3, 3), QTime(9, 0)), {{L("Montant1"), 25}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.CreerMedecinsAbsents();

        auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 2);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].origine, L("Comptabilité (CPMAIN)"));
        QVERIFY(j[0].patientId.isNull());
        QCOMPARE(j[0].medecinId.toInt(), 0);
        QCOMPARE(j[0].action, L("La création du médecin inconnu 5 dans la liste des médecins/utilisateurs a échoué avec "
                                "le message d'erreur suivant : médecin refusé. Vous devez le créer manuellement."));
        QCOMPARE(j[1].niveau, 2);
        QCOMPARE(j[1].action, L("Création du médecin inconnu 7 dans la liste des médecins/utilisateurs."));
        QCOMPARE(f.scalar(L("SELECT group_concat(MEDECINS_ID) FROM (SELECT MEDECINS_ID FROM MEDECINS ORDER BY 1)")).toString(),
                 L("1,7"));
        // Raised for the refused number too: it was adjusted before the insert.
        QCOMPARE(f.scalar(L("SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME='MEDECINS_ID'")).toInt(), 7);

        // Phase 4 then removes only the records of the physician still missing.
        run.SupprimerRecettesMedecinsInconnus();
        QCOMPARE(f.scalar(L("SELECT group_concat(CPMAIN_ID) FROM (SELECT CPMAIN_ID FROM CPMAIN ORDER BY 1)")).toString(),
                 L("11,12"));
        j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 3);
        const auto suppressions = rowsOf(j, L("Comptabilité (CPMAIN)"));
        QCOMPARE(suppressions.size(), 2);
        QCOMPARE(suppressions[1].niveau, 2);
        QCOMPARE(suppressions[1].medecinId.toInt(), 5);
        QVERIFY(suppressions[1].action.startsWith(L("Médecin inconnu : l'enregistrement n°10 ")));
    }

    void counterFailureStopsThePhase()
    {
        PracticeFixture f;
        medecin(f, 1);
        patient(f, 1, L("Durand"), L("Jean"), 5);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        f.exec(L("DROP TABLE ID_VALUES"));
        CheckRun run(*s);
        QVERIFY_THROWS_EXCEPTION(db::DbError, run.CreerMedecinsAbsents());
        QCOMPARE(f.scalar(L("SELECT count(*) FROM MEDECINS")).toInt(), 1);
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
    }

    void deletesRecordsOfUnknownPhysiciansAndDescribesThem()
    {
        PracticeFixture f;
        medecin(f, 1);
        patient(f, 10, L("Durand"), L("Jean"), 1);
        patient(f, 11, L("Petit"), L("Léa"), 1);
        f.insert(L("CPORG"), {{L("CPOrg_ID"), 3}, {L("Nom"), L("CPAM")}, {L("Ville"), L("Lyon")}, {L("Princ"), true}});
        recette(f, 100, 10, 1, QDateTime(QDate(2024, 1, 5), QTime(0, 0)), {{L("Montant1"), 25}});
        recette(f, 101, 10, 9, QDateTime(QDate(2024, 3, 15), QTime(10, 30)),
                {{L("CodeActe1"), L("C")}, {L("CodeActe2"), L("K")}, {L("Montant1"), 25}, {L("Montant2"), 5.5},
                 {L("Paiement1"), 20}, {L("Mode1"), L("CHQ")}, {L("Paiement2"), 10}, {L("Mode2"), L("CHQ")},
                 {L("MontantTiersPayant1"), 15.5}, {L("CPOrg_1_ID"), 3}, {L("RegleTiersPayant1"), 15.5},
                 {L("MontantTiersPayant2"), 4}, {L("CPOrg_2_ID"), 99}, {L("CPSVFact_ID"), 12}});
        recette(f, 102, 11, 9, QDateTime(QDate(2024, 2, 1), QTime(0, 0)),
                {{L("Paiement1"), 0}, {L("Paiement2"), 30}, {L("Mode2"), L("CB")}});
        recette(f, 103, 10, 4, QDateTime(QDate(2024, 4, 2), QTime(0, 0)),
                {{L("CodeActe1"), L("V")}, {L("Montant1"), 12.5}, {L("Paiement1"), 12.5}, {L("Mode1"), L("ESP")},
                 {L("CPSVFact_ID"), 0}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.progress.clear();
        run.SupprimerRecettesMedecinsInconnus();

        QCOMPARE(f.scalar(L("SELECT group_concat(CPMAIN_ID) FROM CPMAIN")).toString(), L("100"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 3);
        for (const JournalRow &r : j) {
            QCOMPARE(r.niveau, 2);
            QCOMPARE(r.origine, L("Comptabilité (CPMAIN)"));
        }
        // Physicians in number order, then the records by date.
        QCOMPARE(j[0].patientId.toInt(), 10);
        QCOMPARE(j[0].patientNom, L("DURAND Jean"));
        QCOMPARE(j[0].medecinId.toInt(), 4);
        QCOMPARE(j[0].date, QDateTime(QDate(2024, 4, 2), QTime(0, 0)));
        QCOMPARE(j[0].action, L("Médecin inconnu : l'enregistrement n°103 de la table comptabilité faisait référence à un "
                                "médecin n°4 inconnu de la liste des médecins utilisateurs. Cet enregistrement a été supprimé.\r"
                                "Il contenait les informations suivantes :\r"
                                "     - actes facturés : V pour une valeur de 12,5€.\r"
                                "     - paiement du patient : 12,5€ payés en ESP\r"));
        QCOMPARE(j[1].patientId.toInt(), 11);
        QCOMPARE(j[1].medecinId.toInt(), 9);
        QCOMPARE(j[1].action, L("Médecin inconnu : l'enregistrement n°102 de la table comptabilité faisait référence à un "
                                "médecin n°9 inconnu de la liste des médecins utilisateurs. Cet enregistrement a été supprimé.\r"
                                "Il contenait les informations suivantes :\r"
                                "     - actes facturés : \r"));
        QCOMPARE(j[2].date, QDateTime(QDate(2024, 3, 15), QTime(10, 30)));
        QCOMPARE(j[2].action, L("Médecin inconnu : l'enregistrement n°101 de la table comptabilité faisait référence à un "
                                "médecin n°9 inconnu de la liste des médecins utilisateurs. Cet enregistrement a été supprimé.\r"
                                "Il contenait les informations suivantes :\r"
                                "     - actes facturés : C + K pour une valeur de 30,5€.\r"
                                "     - paiements du patient : 30€ payés en CHQ\r"
                                "     - paiement de la caisse principale : 15,5€ ont été facturés à la caisse CPAM(Lyon). "
                                "Cette caisse a déjà versé 15,5€.\r"
                                "     - paiement de la caisse complémentaire : 4€ ont été facturés à la caisse n°99 "
                                "(inconnue pour l'instant).\r"
                                "     - une feuille de soins électronique n°12 a été effectuée."));
        QCOMPARE(ui.progress, QStringList({L("  Recherche des médecins inconnus dans la comptabilité..."),
                                           L("  Suppression des recettes du médecin inconnu n°4 (1/1)"),
                                           L("  Recherche des médecins inconnus dans la comptabilité..."),
                                           L("  Suppression des recettes du médecin inconnu n°9 (1/2)"),
                                           L("  Suppression des recettes du médecin inconnu n°9 (2/2)")}));
        QVERIFY(!ui.progressOpen);
        QVERIFY(!ui.mainEnabled);
    }

    void refusedDeletionLeavesTwoRowsAndGoesOn()
    {
        PracticeFixture f;
        medecin(f, 1);
        patient(f, 10, L("Durand"), L("Jean"), 1);
        f.exec(L("CREATE TRIGGER verrou BEFORE DELETE ON CPMAIN WHEN OLD.CPMAIN_ID=201 "
                 "BEGIN SELECT RAISE(ABORT,'recette verrouillée'); END"));
        recette(f, 200, 10, 9, QDateTime(QDate(2024, 5, 1), QTime(0, 0)), {{L("Montant1"), 10}});
        recette(f, 201, 10, 9, QDateTime(QDate(2024, 5, 2), QTime(0, 0)),
                {{L("CodeActe1"), L("C")}, {L("Montant1"), 25}, {L("Paiement1"), 20}, {L("Mode1"), L("CHQ")},
                 {L("Paiement2"), 5}, {L("Mode2"), L("ESP")}});
        recette(f, 202, 10, 9, QDateTime(QDate(2024, 5, 3), QTime(0, 0)), {{L("Montant1"), 10}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.SupprimerRecettesMedecinsInconnus();

        QCOMPARE(f.scalar(L("SELECT group_concat(CPMAIN_ID) FROM CPMAIN")).toString(), L("201"));
        QCOMPARE(f.scalar(L("SELECT Paiement1 FROM CPMAIN WHERE CPMAIN_ID=201")).toDouble(), 20.0);
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 4);
        const auto requete = rowsOf(j, L("CPMAIN"));
        QCOMPARE(requete.size(), 1);
        QCOMPARE(requete[0].niveau, 1);
        QCOMPARE(requete[0].action, L("La requête suivante a échoué, vous devez l'exécuter manuellement : "
                                      "DELETE FROM CPMAIN WHERE CPMAIN_ID=:valeur_ID\r\n\rErreur : recette verrouillée"));
        const auto recettes = rowsOf(j, L("Comptabilité (CPMAIN)"));
        QCOMPARE(recettes.size(), 3);
        QCOMPARE(recettes[0].niveau, 1);
        QCOMPARE(recettes[0].patientId.toInt(), 10);
        QCOMPARE(recettes[0].medecinId.toInt(), 9);
        QCOMPARE(recettes[0].date, QDateTime(QDate(2024, 5, 2), QTime(0, 0)));
        QCOMPARE(recettes[0].action, L("Médecin inconnu : l'enregistrement n°201 de la table comptabilité fait référence à un "
                                       "médecin n°9 inconnu de la liste des médecins utilisateurs. Cet enregistrement n'a pas "
                                       "pu être supprimé par le programme. Sa suppression doit être faite manuellement.\r"
                                       "Il contient les informations suivantes :\r"
                                       "     - actes facturés : C pour une valeur de 25€.\r"
                                       "     - paiements du patient : 20€ payés en CHQ et 5€ payés en ESP\r"));
        QCOMPARE(recettes[1].niveau, 2);
        QVERIFY(recettes[1].action.startsWith(L("Médecin inconnu : l'enregistrement n°200 ")));
        QCOMPARE(recettes[2].niveau, 2);
        QVERIFY(recettes[2].action.startsWith(L("Médecin inconnu : l'enregistrement n°202 ")));
    }

    void recordDescription_data()
    {
        QTest::addColumn<QVariantMap>("colonnes");
        QTest::addColumn<bool>("supprime");
        QTest::addColumn<QString>("attendu");
        const QString p = L("     - paiement du patient : ");
        const QString ps = L("     - paiements du patient : ");
        QTest::newRow("nothing") << QVariantMap() << true << QString();
        QTest::newRow("first payment only") << QVariantMap{{L("Paiement1"), 12.5}, {L("Mode1"), L("ESP")}} << true
                                            << p + L("12,5€ payés en ESP\r");
        QTest::newRow("0 then 30: no line")
            << QVariantMap{{L("Paiement1"), 0}, {L("Mode1"), L("CB")}, {L("Paiement2"), 30}, {L("Mode2"), L("CB")}} << true
            << QString();
        QTest::newRow("negative first payment: no line")
            << QVariantMap{{L("Paiement1"), -5}, {L("Mode1"), L("CB")}} << false << QString();
        QTest::newRow("negative second payment ignored")
            << QVariantMap{{L("Paiement1"), 5}, {L("Mode1"), L("CB")}, {L("Paiement2"), -2}, {L("Mode2"), L("CB")}} << true
            << p + L("5€ payés en CB\r");
        QTest::newRow("second payment 0 in the same mode")
            << QVariantMap{{L("Paiement1"), 5}, {L("Mode1"), L("CB")}, {L("Paiement2"), 0}, {L("Mode2"), L("CB")}} << true
            << p + L("5€ payés en CB\r");
        QTest::newRow("20 and 10 in the same mode")
            << QVariantMap{{L("Paiement1"), 20}, {L("Mode1"), L("CB")}, {L("Paiement2"), 10}, {L("Mode2"), L("CB")}} << false
            << ps + L("30€ payés en CB\r");
        QTest::newRow("two modes, deleted")
            << QVariantMap{{L("Paiement1"), 20}, {L("Mode1"), L("CHQ")}, {L("Paiement2"), 10.5}, {L("Mode2"), L("ESP")}}
            << true << ps + L("20 EUR payés en CHQ et 10,50 EUR payés en ESP\r");
        QTest::newRow("two modes, not deleted")
            << QVariantMap{{L("Paiement1"), 20}, {L("Mode1"), L("CHQ")}, {L("Paiement2"), 10.5}, {L("Mode2"), L("ESP")}}
            << false << ps + L("20€ payés en CHQ et 10,5€ payés en ESP\r");
        QTest::newRow("both bodies missing")
            << QVariantMap{{L("MontantTiersPayant1"), 20}, {L("CPOrg_1_ID"), 7}, {L("MontantTiersPayant2"), 5.5},
                           {L("CPOrg_2_ID"), 8}, {L("RegleTiersPayant2"), 2}}
            << true
            << L("     - paiement de la caisse principale : 20€ ont été facturés à la caisse n°7 (inconnue pour l'instant).\r"
                 "     - paiement de la caisse complémentaire : 5,5€ ont été facturés à la caisse n°8 (inconnue pour "
                 "l'instant). Cette caisse a déjà versé 2€.\r");
        QTest::newRow("known complementary body, nothing paid")
            << QVariantMap{{L("MontantTiersPayant2"), 8.25}, {L("CPOrg_2_ID"), 3}, {L("RegleTiersPayant2"), 0}} << true
            << L("     - paiement de la caisse complémentaire : 8,25€ ont été facturés à la caisse MGEN(Paris).\r");
        QTest::newRow("paid but nothing billed: no body line")
            << QVariantMap{{L("MontantTiersPayant1"), 0}, {L("CPOrg_1_ID"), 3}, {L("RegleTiersPayant1"), 10}} << true
            << QString();
        QTest::newRow("care sheet 0: no line") << QVariantMap{{L("CPSVFact_ID"), 0}} << true << QString();
        QTest::newRow("care sheet") << QVariantMap{{L("CPSVFact_ID"), 1}} << false
                                    << L("     - une feuille de soins électronique n°1 a été effectuée.");
        QTest::newRow("lines in order")
            << QVariantMap{{L("CPSVFact_ID"), 4}, {L("MontantTiersPayant1"), 1}, {L("CPOrg_1_ID"), 3},
                           {L("Paiement1"), 2}, {L("Mode1"), L("CB")}}
            << true
            << p + L("2€ payés en CB\r")
                   + L("     - paiement de la caisse principale : 1€ ont été facturés à la caisse MGEN(Paris).\r")
                   + L("     - une feuille de soins électronique n°4 a été effectuée.");
    }

    void recordDescription()
    {
        QFETCH(QVariantMap, colonnes);
        QFETCH(bool, supprime);
        QFETCH(QString, attendu);
        PracticeFixture f;
        f.insert(L("CPORG"), {{L("CPOrg_ID"), 3}, {L("Nom"), L("MGEN")}, {L("Ville"), L("Paris")}});
        recette(f, 1, 1, 1, QDateTime(QDate(2024, 1, 1), QTime(0, 0)), colonnes);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        s->Qry1.clearSql();
        s->Qry1.addLine(L("SELECT * FROM CPMAIN"));
        s->Qry1.open();
        CheckRun run(*s);
        QCOMPARE(run.DecrireRecette(supprime), attendu);
    }
};

QTEST_GUILESS_MAIN(MedecinsTest)
#include "medecins_test.moc"
