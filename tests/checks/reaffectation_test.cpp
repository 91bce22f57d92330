#include "support/CasCompta.h"
#include "app/Common.h"
#include "checks/Reaffectation.h"
#include "db/Backend.h"
#include "tools/demo/PracticeSchema.h"

#include <QTest>

namespace {

const QDateTime kJour = dt(2024, 3, 15, 10, 30);

// What the window running the moves would be told, recorded.
struct Suivi : SuiviReaffectation {
    QStringList textes;   // every progress text given, in order
    bool ouvert = false;
    QList<QStringList> crees;   // number, name, first name, file number
    bool fermeture = false;

    void DemarrerProgression(const QString &t, int, int, int, bool) override
    {
        ouvert = true;
        textes << t;
    }
    void UpdateProgression(const QString &t, int, int) override
    {
        QVERIFY(ouvert);
        textes << t;
    }
    void ArreterProgression() override { ouvert = false; }
    void patientCree(qint64 id, const QString &nom, const QString &prenom, const QString &nOmon) override
    {
        crees << QStringList{QString::number(id), nom, prenom, nOmon};
    }
    void fermetureEngagee() override { fermeture = true; }
};

struct Cas : CasCompta {
    Suivi suivi;
    std::unique_ptr<Reaffectation> r;

    bool demarrer()
    {
        if (!CasCompta::demarrer())
            return false;
        r = std::make_unique<Reaffectation>(*s, suivi);
        return true;
    }
};

// The merge statement built from two accounting rows, as the move builds it.
QStringList fusion(Cas &c, int source, int cible, db::Query &q)
{
    db::Query r, t;
    for (db::Query *x : {&r, &t, &q})
        x->setDatabaseName(c.s->NomBase);
    r.setSql("SELECT * FROM CPMAIN WHERE CPMAIN_ID=" + QString::number(source));
    t.setSql("SELECT * FROM CPMAIN WHERE CPMAIN_ID=" + QString::number(cible));
    r.open();
    t.open();
    Reaffectation::preparerFusion(q, r, t);
    return q.sqlLines();
}

} // namespace

// The data moves that settle an unknown patient number, driven without any window.
class ReaffectationTest : public QObject {
    Q_OBJECT

private slots:
    void workedExample()
    {
        Cas c;
        c.patient(5, "Durand", "Jean", "D000005");
        c.compta(10, 900, 1, kJour, {{"CodeActe1", "C"}, {"Montant1", 20}, {"Mode1", "CHQ"}});
        c.compta(20, 5, 1, kJour, {{"CodeActe1", "V"}, {"Montant1", 30}});
        QVERIFY(c.demarrer());
        c.positionner(900);
        db::Query q;
        QCOMPARE(fusion(c, 10, 20, q), (QStringList{"UPDATE CPMAIN SET ", "CodeActe1=:codeacte1, ", "Montant1=:Montant1, ",
                                                     "Mode1=:mode1", "WHERE CPMAIN_ID=:cpmain_id"}));
        QCOMPARE(q.param("cpmain_id").asString(), u"20"_s);

        c.r->AffecterPatientExistant(5, u"DURAND Jean né(e) le 12/30/1899 (D000005)"_s);
        QCOMPARE(c.ui.messages.size(), 0);
        QVERIFY(!c.suivi.fermeture);
        const auto t = c.f.rows("SELECT CodeActe1, Montant1, Mode1, PATIENTS_ID FROM CPMAIN");
        QCOMPARE(t.size(), 1);   // R is gone
        QCOMPARE(t[0][0].toString(), u"V + C"_s);
        QCOMPARE(t[0][1].toDouble(), 50.0);
        QCOMPARE(t[0][2].toString(), u"CHQ"_s);
        QCOMPARE(t[0][3].toInt(), 5);
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].patientId.toInt(), 900);
        QCOMPARE(j[0].patientNom, u"n°900 inconnu dans la base de données."_s);
        QCOMPARE(j[0].date, kJour);
        QCOMPARE(j[0].medecinId.toInt(), 1);
        QCOMPARE(j[0].origine, u"Comptabilité"_s);
        QCOMPARE(j[0].niveau, 2);
        QCOMPARE(j[0].action, u"Transfert de comptabilité : la comptabilité du patient n°900 pour la consultation du "
                              "03/15/2024 10:30:00 a été transférée sur le dossier DURAND Jean né(e) le 12/30/1899 (D000005)"_s);
    }

    void mergeRules()
    {
        Cas c;
        c.compta(1, 900, 1, kJour,
                 {{"Tarif1", 10}, {"Montant1", 10}, {"Montant2", -3}, {"Montant3", 0}, {"CPOrg_1_ID", 12}, {"IDP1", "B"},
                  {"TiersPayant", true}, {"Taux1", 0.7}, {"SVCodeActes", "Y"}});
        c.compta(2, 5, 1, kJour,
                 {{"Tarif1", -5}, {"Montant1", -5}, {"Montant2", 4}, {"CPOrg_1_ID", 0}, {"IDP1", "A"},
                  {"TiersPayant", false}, {"SVCodeActes", "X"}});
        c.compta(3, 901, 1, kJour, {{"CodeActe1", "C"}, {"CPOrg_1_ID", 12}, {"Mode1", "CHQ"}});
        c.compta(4, 5, 2, kJour, {{"CodeActe1", ""}, {"Mode1", "ESP"}});
        c.compta(5, 902, 1, kJour);
        QVERIFY(c.demarrer());

        db::Query q;
        QCOMPARE(fusion(c, 1, 2, q), (QStringList{"UPDATE CPMAIN SET ", "Tarif1=:tarif1, ", "Montant1=:Montant1, ", "IDP1=:IDP1, ",
                                                   "TiersPayant=:tierspayant, ", "Taux1=:Taux1, ", "SVCodeActes=:SVCodeActes",
                                                   "WHERE CPMAIN_ID=:cpmain_id"}));
        QCOMPARE(q.param("tarif1").value.toDouble(), 10.0);      // T's -5 dropped
        QCOMPARE(q.param("Montant1").value.toDouble(), 5.0);     // summed
        QCOMPARE(q.param("IDP1").asString(), u"A / B"_s);
        QCOMPARE(q.param("tierspayant").value.toBool(), true);
        QCOMPARE(q.param("Taux1").value.toDouble(), 0.7);
        QCOMPARE(q.param("SVCodeActes").asString(), u"X@Y"_s);

        // T's empty code gives R's alone; a missing body is filled; a Mode1
        // different from T's is not taken.
        QCOMPARE(fusion(c, 3, 4, q), (QStringList{"UPDATE CPMAIN SET ", "CodeActe1=:codeacte1, ", "CPOrg_1_ID=:CPOrg_1_ID",
                                                   "WHERE CPMAIN_ID=:cpmain_id"}));
        QCOMPARE(q.param("codeacte1").asString(), u"C"_s);
        QCOMPARE(q.param("CPOrg_1_ID").value.toLongLong(), 12);

        QCOMPARE(fusion(c, 5, 4, q), (QStringList{"UPDATE CPMAIN SET", "WHERE CPMAIN_ID=:cpmain_id"}));
    }

    void acceptableNumbers()
    {
        Cas c;
        c.patient(5, "Durand", "Jean", "D000005");
        c.compta(10, 900, 1, kJour);
        QVERIFY(c.demarrer());
        c.positionner(900);
        QVERIFY(c.r->dossierAcceptable(5));
        QVERIFY(!c.r->dossierAcceptable(777));   // names no patient
        c.patient(900, "Homonyme", "Max", "H000900");
        QVERIFY(!c.r->dossierAcceptable(900));   // the unknown number itself
    }

    // Nothing to merge: no UPDATE may run (the trigger would end the program),
    // the source row still goes and its journal row is still written.
    void nothingToMergeStillDeletesAndJournals()
    {
        Cas c;
        c.patient(5, "Durand", "Jean", "D000005");
        c.compta(10, 900, 1, kJour);
        c.compta(20, 5, 1, kJour, {{"Montant1", 30}});
        c.f.insert("MOTCONSU", {{"MOTCONSU_ID", 1}, {"PATIENTS_ID", 5}, {"DATE_CONSULTATION", kJour}});
        c.f.exec("CREATE TRIGGER t BEFORE UPDATE ON CPMAIN BEGIN SELECT RAISE(ABORT,'pas de mise à jour'); END");
        QVERIFY(c.demarrer());
        c.positionner(900);
        c.r->AffecterPatientExistant(5, u"DURAND Jean"_s);
        QCOMPARE(c.ui.messages.size(), 0);
        QVERIFY(!c.suivi.fermeture);
        QCOMPARE(c.f.scalar("SELECT group_concat(CPMAIN_ID) FROM CPMAIN").toString(), u"20"_s);
        QCOMPARE(c.f.scalar("SELECT Montant1 FROM CPMAIN").toDouble(), 30.0);
        QCOMPARE(PracticeFixture::journal(*c.s).size(), 1);
    }

    void severalRowsPhysiciansAndTargets()
    {
        Cas c;
        const QDateTime autreJour = dt(2024, 4, 2);
        c.patient(1234567, "Roy", "Jean", "R1234567");
        c.compta(10, 900, 1, kJour, {{"Montant1", 10}});
        c.compta(11, 900, 2, autreJour, {{"Montant1", 7}});
        c.compta(20, 1234567, 1, kJour, {{"Montant1", 1}});
        c.compta(21, 1234567, 1, kJour, {{"Montant1", 2}});
        c.f.insert("MOTCONSU", {{"MOTCONSU_ID", 3}, {"PATIENTS_ID", 900}, {"DATE_CONSULTATION", kJour}});
        c.f.insert("ID_VALUES", {{"KEY_NAME", "MOTCONSU"}, {"LAST_VALUE", 3}});
        c.f.insert("COURRIER", {{"COURRIER_ID", 1}, {"PATIENTS_ID", 900}});
        c.f.insert("ANTECEDENTS", {{"ANTECEDENTS_ID", 1}, {"Patients_ID", 900}});
        c.f.insert("CPSVFACT", {{"CPSVFact_ID", 1}, {"Patients_ID", 900}});
        QVERIFY(c.demarrer());
        c.positionner(900);
        QCOMPARE(c.s->QryCPMain.fieldByName("MEDECINS_ID").asInteger(), 1);
        c.r->AffecterPatientExistant(1234567, u"ROY Jean né(e) le 12/30/1899 (R1234567)"_s);

        // Only the first target of a physician and date receives the merge.
        QCOMPARE(c.f.rows("SELECT CPMAIN_ID, PATIENTS_ID, Montant1 FROM CPMAIN ORDER BY CPMAIN_ID"),
                 (QList<QVariantList>{{11, 1234567, 7.0}, {20, 1234567, 11.0}, {21, 1234567, 2.0}}));
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 2);
        QCOMPARE(j[0].date, kJour);
        QCOMPARE(j[1].date, autreJour);
        QCOMPARE(j[0].medecinId.toInt(), 1);
        QCOMPARE(j[1].medecinId.toInt(), 1);   // the physician shown, not the row's 2
        QVERIFY(j[1].action.endsWith(u"sur le dossier ROY Jean né(e) le 12/30/1899 (R1234567)"_s));

        // Consultations: one per new date of the chosen patient, then the
        // unknown number's own consultation moved over as well.
        QCOMPARE(c.f.rows("SELECT MOTCONSU_ID, DATE_CONSULTATION, MEDECINS_ID FROM MOTCONSU WHERE MOTCONSU_ID > 3 ORDER BY 1"),
                 (QList<QVariantList>{{4, fixtureDate(2024, 4, 2), 2}, {5, fixtureDate(2024, 3, 15, 10, 30), 1}}));
        QCOMPARE(c.f.scalar("SELECT count(*) FROM MOTCONSU WHERE PATIENTS_ID=1234567").toInt(), 3);
        QCOMPARE(c.f.scalar("SELECT LAST_VALUE FROM ID_VALUES").toInt(), 5);
        for (const char *table : {"COURRIER", "ANTECEDENTS", "CPSVFACT"})
            QCOMPARE(c.f.scalar(QStringLiteral("SELECT PATIENTS_ID FROM %1").arg(table)).toInt(), 1234567);
        QVERIFY(c.suivi.textes.contains(u"Report de toutes les données du patient en cours..."_s));
        QVERIFY(c.suivi.textes.contains(u"Mise à jour de la table COURRIER"_s));
        QVERIFY(!c.suivi.ouvert);
    }

    void consultationsOfThePatient()
    {
        Cas c;
        c.compta(1, 5, 1, kJour);
        c.compta(2, 5, 2, dt(2024, 4, 2));
        c.compta(3, 5, 2, dt(2024, 4, 2));
        c.f.insert("MOTCONSU", {{"MOTCONSU_ID", 10}, {"PATIENTS_ID", 5}, {"DATE_CONSULTATION", kJour}});
        c.f.insert("ID_VALUES", {{"KEY_NAME", "MOTCONSU"}, {"LAST_VALUE", 10}});
        QVERIFY(c.demarrer());
        c.r->Verifier_les_consultations(5);
        // Two rows on one date without consultation: one is created.
        QCOMPARE(c.f.rows("SELECT MOTCONSU_ID, PATIENTS_ID, MEDECINS_ID, MOTIF_DE_CONSULTATION FROM MOTCONSU WHERE MOTCONSU_ID=11"),
                 (QList<QVariantList>{{11, 5, 2, u"Ajustement de la comptabilité."_s}}));
        QCOMPARE(c.f.scalar("SELECT count(*) FROM MOTCONSU").toInt(), 2);
        c.s->TableConsultations.setIndexName("PatientDateCons");
        QVERIFY(c.s->TableConsultations.findKey({5, dt(2024, 4, 2)}));
        QCOMPARE(c.suivi.textes, (QStringList{"Vérification des consultations...", "Vérification des consultations...",
                                              "Vérification des consultations (1/3)", "Vérification des consultations (2/3)",
                                              "Vérification des consultations (3/3)"}));
        QVERIFY(!c.suivi.ouvert);
        // Every date has its consultation now: the counter is not touched again.
        c.f.exec("UPDATE ID_VALUES SET LAST_VALUE=50");
        c.r->Verifier_les_consultations(5);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM MOTCONSU").toInt(), 2);
        QCOMPARE(c.f.scalar("SELECT LAST_VALUE FROM ID_VALUES").toInt(), 50);
    }

    void transferFailureReportedAndSkipped()
    {
        Cas c;
        for (const char *t : {"CPMAIN", "MOTCONSU", "COURRIER", "ORDONNANCE", "ANTECEDENTS", "CPSVFACT"}) {
            const QString table = QString::fromLatin1(t);
            c.f.insert(table, {{demo::findTable(table)->key, 1}, {table == "ANTECEDENTS" || table == "CPSVFACT" ? "Patients_ID" : "PATIENTS_ID", 900}});
        }
        QVERIFY(c.demarrer());
        const QStringList liste = c.s->ListeTablesPatient;
        QCOMPARE(liste.size(), 6);
        const QString refusee = liste[1];   // tables follow it
        c.f.exec("CREATE TRIGGER t BEFORE UPDATE ON " + refusee + " BEGIN SELECT RAISE(ABORT,'table verrouillée'); END");
        c.r->Transferer_donnees(900, 5);
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Simple);
        QCOMPARE(c.ui.messages[0].text, "Le transfert des données du dossier n°900 sur le dossier n°5 a échoué pour la table " + refusee
                                            + "\r\rLe programme passe à la table suivante.\rErreur : table verrouillée");
        for (const QString &t : liste)
            QCOMPARE(c.f.scalar("SELECT PATIENTS_ID FROM " + t).toInt(), t == refusee ? 900 : 5);
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].patientId.toInt(), 900);
        QCOMPARE(j[0].origine, refusee);
        QCOMPARE(j[0].niveau, 2);
        QVERIFY(!j[0].date.isValid());
        QVERIFY(j[0].medecinId.isNull());
        QCOMPARE(j[0].action, "Transfert de données : le transfert des données du dossier n°900 sur le dossier n°5 a échoué pour la table " + refusee);
        QVERIFY(!c.suivi.ouvert);

        c.s->ListeTablesPatient.clear();
        c.suivi.textes.clear();
        c.r->Transferer_donnees(5, 900);
        QCOMPARE(c.suivi.textes, QStringList{u"Report de toutes les données du patient en cours..."_s});
        QVERIFY(!c.suivi.ouvert);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM COURRIER WHERE PATIENTS_ID=5").toInt(), 1);
    }

    void transferReachesTablesWhateverTheirNames_data() { lignesParMoteur(); }

    // Tables of the practice's own making, named as the database lets them
    // be: the patient's rows move there too, no other row moves, and no
    // name can stop the statement or add to it ("X" is a real table, which
    // the last name would otherwise set to 0 whole).
    void transferReachesTablesWhateverTheirNames()
    {
        QFETCH(Moteur, moteur);
        const QStringList noms = {u"Notes\"Patient"_s, u"SUIVI PATIENT"_s, u"X SET PATIENTS_ID = 0 --"_s, u"X"_s};
        Cas c;
        c.f.insert("COURRIER", {{"COURRIER_ID", 1}, {"PATIENTS_ID", 900}});
        auto creer = [&](const QString &prefixe) {
            for (const QString &nom : noms) {
                const QString table = prefixe + db::quotedIdentifier(nom);
                c.f.exec("CREATE TABLE " + table + " (SUIVI_ID INTEGER NOT NULL PRIMARY KEY, PATIENTS_ID INTEGER, NOTE VARCHAR(20))");
                c.f.exec("INSERT INTO " + table + " VALUES (1, 900, 'a')");
                c.f.exec("INSERT INTO " + table + " VALUES (2, 77, 'b')");
                c.f.exec("INSERT INTO " + table + " VALUES (3, 900, 'c')");
                c.f.exec("INSERT INTO " + table + " VALUES (4, 5, 'd')");
            }
        };
        creer(QString());
        MOTEUR_OU_PASSER(c.f, moteur);
        if (moteur == Moteur::Serveur)
            creer(u"dbo."_s);   // the practice's tables only were copied there
        QVERIFY(c.demarrer());
        c.ui.messages.clear();   // what the start-up said (Paradox: close the practice software)
        for (const QString &nom : noms)
            QVERIFY2(c.s->ListeTablesPatient.contains(nom.toUpper()), qPrintable(nom + " absente de : " + c.s->ListeTablesPatient.join(" | ")));

        c.r->Transferer_donnees(900, 5);
        QStringList boites;
        for (const auto &m : c.ui.messages)
            boites << m.text;
        QVERIFY2(boites.isEmpty(), qPrintable(boites.join("\n")));
        QCOMPARE(PracticeFixture::journal(*c.s).size(), 0);
        for (const QString &nom : noms)
            QCOMPARE(PracticeFixture::lignes(*c.s, "SELECT SUIVI_ID, PATIENTS_ID, NOTE FROM " + db::quotedIdentifier(nom) + " ORDER BY SUIVI_ID"),
                     (QList<QStringList>{{"1", "5", "a"}, {"2", "77", "b"}, {"3", "5", "c"}, {"4", "5", "d"}}));
        QCOMPARE(PracticeFixture::lignes(*c.s, u"SELECT PATIENTS_ID FROM COURRIER"_s), QList<QStringList>{{"5"}});
        QVERIFY(c.suivi.textes.contains(u"Mise à jour de la table NOTES\"PATIENT"_s));
    }

    void newPatientWithoutBirthDate()
    {
        Cas c;
        // Two rows on one date, one on another; no "MOTCONSU" counter row at all.
        c.compta(1, 123, 1, dt(2024, 3, 15, 10, 30), {{"Montant1", 20}});
        c.compta(2, 123, 2, dt(2024, 3, 15, 10, 30), {{"Montant1", 5}});
        c.compta(3, 123, 2, dt(2024, 4, 2), {{"Montant1", 5}});
        QVERIFY(c.demarrer());
        c.positionner(123);
        const int ligneCP = c.s->QryCPMain.fieldByName("CPMAIN_ID").asInteger();
        c.r->CreerNouveauPatient(u"élan"_s, u"Léa"_s, std::nullopt);
        QCOMPARE(c.ui.messages.size(), 0);

        const auto p = c.f.rows("SELECT N_OMON, NOM, PRENOM, NE_LE, MEDECINS_ID FROM PATIENTS WHERE PATIENTS_ID=123");
        QCOMPARE(p.size(), 1);
        QCOMPARE(p[0][0].toString(), u"é000123"_s);   // accented initial kept as typed
        QCOMPARE(p[0][1].toString(), u"éLAN"_s);
        QCOMPARE(p[0][2].toString(), u"Léa"_s);
        QVERIFY(p[0][3].isNull());
        QCOMPARE(p[0][4].toInt(), ligneCP == 1 ? 1 : 2);
        QCOMPARE(c.suivi.crees, (QList<QStringList>{{u"123"_s, u"éLAN"_s, u"Léa"_s, u"é000123"_s}}));
        QVERIFY(c.s->TablePatients.findKey({123}));
        QCOMPARE(c.s->TablePatients.fieldByName("N_OMON").asString(), u"é000123"_s);

        const auto m = c.f.rows("SELECT MOTCONSU_ID, PATIENTS_ID, DATE_CONSULTATION, MOTIF_DE_CONSULTATION FROM MOTCONSU ORDER BY MOTCONSU_ID");
        QCOMPARE(m.size(), 2);
        QCOMPARE(m[0][0].toInt(), 1);
        QCOMPARE(m[0][2].toString(), fixtureDate(2024, 3, 15, 10, 30));
        QCOMPARE(m[0][3].toString(), u"Ajustement de la comptabilité."_s);
        QCOMPARE(m[1][0].toInt(), 2);   // the missing counter row was created with the first
        QCOMPARE(m[1][2].toString(), fixtureDate(2024, 4, 2));
        QCOMPARE(c.f.scalar("SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME='MOTCONSU'").toInt(), 2);
        c.s->TableConsultations.setIndexName("PatientDateCons");
        QVERIFY(c.s->TableConsultations.findKey({123, dt(2024, 4, 2)}));

        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].patientId.toInt(), 123);
        QCOMPARE(j[0].patientNom, u"n°123 éLAN LéA"_s);
        QCOMPARE(j[0].date, dt(2024, 3, 15, 10, 30));
        QCOMPARE(j[0].origine, u"Patients"_s);
        QCOMPARE(j[0].niveau, 2);
        QCOMPARE(j[0].action, u"Création du patient n°123 éLAN Léa"_s);
        QCOMPARE(c.suivi.textes.last(), u"Vérification des consultations (3/3)"_s);
        QVERIFY(!c.suivi.ouvert);
    }

    void newPatientSevenDigitsUnknownPhysician()
    {
        Cas c;
        c.f.insert("ID_VALUES", {{"KEY_NAME", "MOTCONSU"}, {"LAST_VALUE", 40}});
        c.compta(1, 1234567, 9, dt(2024, 3, 15));   // physician 9: not in the snapshot
        c.f.insert("MOTCONSU", {{"MOTCONSU_ID", 40}, {"PATIENTS_ID", 1234567}, {"DATE_CONSULTATION", dt(2024, 3, 15)}});
        QVERIFY(c.demarrer());
        c.positionner(1234567);
        c.r->CreerNouveauPatient(u"ZZ Patient inconnu"_s, u"Paul"_s, QDate(1950, 2, 1));
        const auto p = c.f.rows("SELECT N_OMON, NOM, NE_LE, MEDECINS_ID FROM PATIENTS");
        QCOMPARE(p.size(), 1);
        QCOMPARE(p[0][0].toString(), u"Z1234567"_s);
        QCOMPARE(p[0][1].toString(), u"ZZ PATIENT INCONNU"_s);
        QCOMPARE(p[0][2].toString(), fixtureDate(1950, 2, 1));
        QCOMPARE(p[0][3].toInt(), 9);
        // The date already had its consultation: nothing created, counter untouched.
        QCOMPARE(c.f.scalar("SELECT count(*) FROM MOTCONSU").toInt(), 1);
        QCOMPARE(c.f.scalar("SELECT LAST_VALUE FROM ID_VALUES").toInt(), 40);
        QCOMPARE(PracticeFixture::journal(*c.s)[0].medecinId.toInt(), 9);
    }

    void guardedFailuresEndTheProgram_data()
    {
        QTest::addColumn<bool>("nouveau");
        QTest::addColumn<QString>("preparation");
        QTest::addColumn<QString>("message");
        const QString enregistrement = u"Une erreur s'est produite pendant l'enregistrement des modifications"_s;
        QTest::newRow("plain move")
            << false << "CREATE TRIGGER t BEFORE UPDATE ON CPMAIN BEGIN SELECT RAISE(ABORT,'ligne verrouillée'); END"
            << enregistrement + "\r\rErreur : ligne verrouillée\r\rL'application va être fermée.";
        QTest::newRow("patient INSERT")
            << true << "CREATE TRIGGER t BEFORE INSERT ON PATIENTS BEGIN SELECT RAISE(ABORT,'dossier refusé'); END"
            << "Création du nouveau patient impossible.\r\rL'application va être fermée.\rErreur : dossier refusé";
        QTest::newRow("counter read") << true << "DROP TABLE ID_VALUES"
                                      << "Récupération du numéro de la dernière consultation impossible. La consultation ne peut pas être créée."
                                         "\r\rL'application va être fermée.\rErreur : no such table: ID_VALUES";
        QTest::newRow("counter write")
            << false << "CREATE TRIGGER t BEFORE UPDATE ON ID_VALUES BEGIN SELECT RAISE(ABORT,'compteur verrouillé'); END"
            << "Mise à jour de la table ID_VALUES impossible. La consultation ne peut pas être créée.\r\rL'application va être fermée."
               "\rErreur : compteur verrouillé";
    }

    // A warning, the window told, its progress closed, then the shut-down.
    void guardedFailuresEndTheProgram()
    {
        QFETCH(bool, nouveau);
        QFETCH(QString, preparation);
        QFETCH(QString, message);
        Cas c;
        c.patient(5, "Durand", "Jean", "D000005");
        c.f.insert("ID_VALUES", {{"KEY_NAME", "MOTCONSU"}, {"LAST_VALUE", 3}});
        c.compta(10, 900, 1, kJour, {{"Montant1", 10}});
        c.f.exec(preparation);
        QVERIFY(c.demarrer());
        c.positionner(900);
        QVERIFY_THROWS_EXCEPTION(common::FinProgramme, nouveau ? c.r->CreerNouveauPatient(u"Morel"_s, u"Ana"_s, std::nullopt)
                                                               : c.r->AffecterPatientExistant(5, u"DURAND Jean"_s));
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Avertissement);
        QCOMPARE(c.ui.messages[0].text, message);
        QVERIFY(c.suivi.fermeture);
        QVERIFY(!c.suivi.ouvert);
        QVERIFY(!c.fichiersDeTravail());
    }
};

QTEST_MAIN(ReaffectationTest)
#include "reaffectation_test.moc"
