#include "CasPatient.h"
#include "tools/demo/PracticeSchema.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

const QDateTime kJour = dt(2024, 3, 15, 10, 30);

// The merge statement built from two accounting rows, as the action builds it.
QStringList fusion(Cas &c, int source, int cible, db::Query &q)
{
    db::Query r, t;
    for (db::Query *x : {&r, &t, &q})
        x->setDatabaseName(c.s->NomBase);
    r.setSql("SELECT * FROM CPMAIN WHERE CPMAIN_ID=" + QString::number(source));
    t.setSql("SELECT * FROM CPMAIN WHERE CPMAIN_ID=" + QString::number(cible));
    r.open();
    t.open();
    TFSelectPatient::preparerFusion(q, r, t);
    return q.sqlLines();
}

} // namespace

// Attaching an unknown number's accounting to an existing patient, the
// consultations of its dates and the move of its other data.
class SelectPatMergeTest : public QObject {
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

        c.choisir(5);
        c.d->BtPatient_existantClick();
        QCOMPARE(c.ui.messages.size(), 0);
        QCOMPARE(c.d->result(), 1);
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
        c.choisir(5);
        c.d->BtPatient_existantClick();
        QCOMPARE(c.ui.messages.size(), 0);
        QCOMPARE(c.d->result(), 1);
        QCOMPARE(c.f.scalar("SELECT group_concat(CPMAIN_ID) FROM CPMAIN").toString(), u"20"_s);
        QCOMPARE(c.f.scalar("SELECT Montant1 FROM CPMAIN").toDouble(), 30.0);
        QCOMPARE(PracticeFixture::journal(*c.s).size(), 1);
    }

    void severalRowsPhysiciansAndTargets()
    {
        Cas c;
        const QDateTime autreJour = dt(2024, 4, 2);
        c.patient(1234567, "Roy", "Jean", "R1234567");   // its digits would read 234567...
        c.patient(234567, "Zed", "Max", "Z234567");     // ...another patient
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
        c.choisir(1234567);
        c.d->BtPatient_existantClick();
        QCOMPARE(c.d->result(), 1);

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
        QCOMPARE(c.f.scalar("SELECT count(*) FROM CPMAIN WHERE PATIENTS_ID=234567").toInt(), 0);
        QVERIFY(c.prog.historique.contains(QString(28, ' ') + u"Report de toutes les données du patient en cours..."_s));
        QVERIFY(c.prog.historique.contains(QString(28, ' ') + u"Mise à jour de la table COURRIER"_s));
        QVERIFY(!c.prog.ProgressionVisible);
        QVERIFY(c.d->isEnabled());
    }

    void pickListTextTypedByHand()
    {
        Cas c;
        c.patient(5, "Durand", "Jean", "D000005");
        c.compta(10, 900, 1, kJour);
        QVERIFY(c.demarrer());
        c.positionner(900);
        // Nothing chosen: the prompt's characters are no number.
        c.d->BtPatient_existantClick();
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(c.ui.messages[0].text, u"'a list' n'est pas une valeur entière correcte"_s);
        // A number that names no patient.
        c.d->CBPatients_existant->setEditText("Inconnu (000777)");
        c.d->BtPatient_existantClick();
        QCOMPARE(c.ui.messages.size(), 2);
        QVERIFY(c.ui.messages[1].text.startsWith(u"Le dossier patient n°777 n'existe pas."_s));
        QCOMPARE(c.d->result(), 0);
        QCOMPARE(c.f.scalar("SELECT PATIENTS_ID FROM CPMAIN").toInt(), 900);
        QCOMPARE(PracticeFixture::journal(*c.s).size(), 0);
        // Typed by hand in the item's shape: read from its digits.
        c.d->CBPatients_existant->setEditText("durand (D000005)");
        c.d->BtPatient_existantClick();
        QCOMPARE(c.d->result(), 1);
        QCOMPARE(c.f.scalar("SELECT PATIENTS_ID FROM CPMAIN").toInt(), 5);
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
        c.prog.historique.clear();
        c.d->Verifier_les_consultations(5);
        QCOMPARE(c.f.rows("SELECT MOTCONSU_ID, PATIENTS_ID, MEDECINS_ID, MOTIF_DE_CONSULTATION FROM MOTCONSU WHERE MOTCONSU_ID=11"),
                 (QList<QVariantList>{{11, 5, 2, u"Ajustement de la comptabilité."_s}}));
        QCOMPARE(c.f.scalar("SELECT count(*) FROM MOTCONSU").toInt(), 2);
        QCOMPARE(c.prog.historique, (QStringList{QString(28, ' ') + "Vérification des consultations...",
                                                 QString(28, ' ') + "Vérification des consultations...",
                                                 QString(28, ' ') + "Vérification des consultations (1/3)",
                                                 QString(28, ' ') + "Vérification des consultations (2/3)",
                                                 QString(28, ' ') + "Vérification des consultations (3/3)"}));
        // Every date has its consultation now: the counter is not touched again.
        c.f.exec("UPDATE ID_VALUES SET LAST_VALUE=50");
        c.d->Verifier_les_consultations(5);
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
        c.d->Transferer_donnees(900, 5);
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
        QVERIFY(!c.prog.ProgressionVisible);

        c.s->ListeTablesPatient.clear();
        c.prog.historique.clear();
        c.d->Transferer_donnees(5, 900);
        QCOMPARE(c.prog.historique, QStringList{QString(28, ' ') + u"Report de toutes les données du patient en cours..."_s});
        QCOMPARE(c.f.scalar("SELECT count(*) FROM COURRIER WHERE PATIENTS_ID=5").toInt(), 1);
    }

    void fatalFailures_data()
    {
        QTest::addColumn<QString>("preparation");
        QTest::addColumn<bool>("cible");
        QTest::addColumn<QString>("message");
        const QString debut = u"Une erreur s'est produite pendant l'enregistrement des modifications"_s;
        QTest::newRow("plain move")
            << "CREATE TRIGGER t BEFORE UPDATE ON CPMAIN WHEN OLD.CPMAIN_ID=11 BEGIN SELECT RAISE(ABORT,'ligne verrouillée'); END"
            << false << debut + "\r\rErreur : ligne verrouillée\r\rL'application va être fermée.";
        QTest::newRow("merge UPDATE")
            << "CREATE TRIGGER t BEFORE UPDATE ON CPMAIN WHEN OLD.CPMAIN_ID=20 BEGIN SELECT RAISE(ABORT,'fusion refusée'); END"
            << true << debut + "\rL'application va être fermée.\r\rErreur : fusion refusée";
        QTest::newRow("DELETE") << "CREATE TRIGGER t BEFORE DELETE ON CPMAIN BEGIN SELECT RAISE(ABORT,'suppression refusée'); END"
                                << true << debut + "\rL'application va être fermée.\r\rErreur : suppression refusée";
        QTest::newRow("consultation")
            << "CREATE TRIGGER t BEFORE INSERT ON MOTCONSU BEGIN SELECT RAISE(ABORT,'consultation refusée'); END" << false
            << u"Création de la consultation impossible.\r\rL'application va être fermée.\rErreur : consultation refusée"_s;
    }

    // Through the modal loop: a warning, the result 7 and the program ended.
    void fatalFailures()
    {
        QFETCH(QString, preparation);
        QFETCH(bool, cible);
        QFETCH(QString, message);
        Cas c;
        c.patient(5, "Durand", "Jean", "D000005");
        c.compta(10, 900, 1, kJour, {{"Montant1", 10}});
        c.compta(11, 900, 1, dt(2024, 4, 2), {{"Montant1", 10}});
        if (cible)
            c.compta(20, 5, 1, kJour, {{"Montant1", 5}});
        c.f.exec(preparation);
        QVERIFY(c.demarrer());
        c.positionner(900);
        QTimer::singleShot(0, c.d.get(), [&] {
            c.choisir(5);
            QTest::mouseClick(c.d->BtPatient_existant, Qt::LeftButton);
        });
        QTimer::singleShot(5000, c.d.get(), [&] { c.d->done(99); });
        QCOMPARE(c.d->exec(), 7);
        QVERIFY(c.d->fin.has_value());
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Avertissement);
        QCOMPARE(c.ui.messages[0].text, message);
        QVERIFY(!c.fichiersDeTravail());
        QVERIFY(!c.prog.ProgressionVisible);
        // No transaction: what was done before the failure stays done.
        if (QTest::currentDataTag() == QByteArrayLiteral("plain move"))
            QCOMPARE(c.f.scalar("SELECT PATIENTS_ID FROM CPMAIN WHERE CPMAIN_ID=10").toInt(), 5);
        if (cible)
            QCOMPARE(c.f.scalar("SELECT Montant1 FROM CPMAIN WHERE CPMAIN_ID=20").toDouble(),
                     QTest::currentDataTag() == QByteArrayLiteral("DELETE") ? 15.0 : 5.0);
    }
};

QTEST_MAIN(SelectPatMergeTest)
#include "selectpatmerge_test.moc"
