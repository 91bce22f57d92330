#include "CasPatient.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

const QDateTime kJour = dt(2024, 3, 15, 10, 30);

QPushButton *valider(Cas &c) { return enfant<QPushButton>(c.d.get(), "BtPatient_existant"); }

} // namespace

// Attaching an unknown number's accounting to an existing patient, from the
// dialog: the patient chosen, the moves run, the dialog closed.
class SelectPatMergeTest : public QObject {
    Q_OBJECT

private slots:
    void chosenPatientGetsTheAccounting()
    {
        Cas c;
        c.patient(5, "Durand", "Jean", "D000005");
        c.compta(10, 900, 1, kJour, {{"CodeActe1", "C"}, {"Montant1", 20}, {"Mode1", "CHQ"}});
        c.compta(20, 5, 1, kJour, {{"CodeActe1", "V"}, {"Montant1", 30}});
        QVERIFY(c.demarrer());
        c.positionner(900);
        c.choisir(5);
        c.d->BtPatient_existantClick();
        QCOMPARE(c.ui.messages.size(), 0);
        QCOMPARE(c.d->result(), 1);
        QCOMPARE(c.f.rows("SELECT CPMAIN_ID, PATIENTS_ID FROM CPMAIN"), (QList<QVariantList>{{20, 5}}));
        // The journal names the patient as the list showed it.
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 1);
        QVERIFY(j[0].action.endsWith(u"a été transférée sur le dossier DURAND Jean né(e) le 12/30/1899 (D000005)"_s));
    }

    // The chosen item's own number, not the digits of its text; the moves'
    // progress in the dialog's own display.
    void pickListNumberAndTheDialogsProgress()
    {
        Cas c;
        c.patient(1234567, "Roy", "Jean", "R1234567");   // its digits would read 234567...
        c.patient(234567, "Zed", "Max", "Z234567");     // ...another patient
        c.compta(10, 900, 1, kJour, {{"Montant1", 10}});
        c.compta(11, 900, 2, dt(2024, 4, 2), {{"Montant1", 7}});
        c.f.insert("COURRIER", {{"COURRIER_ID", 1}, {"PATIENTS_ID", 900}});
        QVERIFY(c.demarrer());
        c.positionner(900);
        c.choisir(1234567);
        c.d->BtPatient_existantClick();
        QCOMPARE(c.d->result(), 1);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM CPMAIN WHERE PATIENTS_ID=1234567").toInt(), 2);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM CPMAIN WHERE PATIENTS_ID=234567").toInt(), 0);
        QVERIFY(c.prog.historique.contains(QString(28, ' ') + u"Vérification des consultations (2/2)"_s));
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
        c.liste()->setEditText("Inconnu (000777)");
        c.d->BtPatient_existantClick();
        QCOMPARE(c.ui.messages.size(), 2);
        QVERIFY(c.ui.messages[1].text.startsWith(u"Le dossier patient n°777 n'existe pas."_s));
        QCOMPARE(c.d->result(), 0);
        QCOMPARE(c.f.scalar("SELECT PATIENTS_ID FROM CPMAIN").toInt(), 900);
        QCOMPARE(PracticeFixture::journal(*c.s).size(), 0);
        // Typed by hand in the item's shape: read from its digits.
        c.liste()->setEditText("durand (D000005)");
        c.d->BtPatient_existantClick();
        QCOMPARE(c.d->result(), 1);
        QCOMPARE(c.f.scalar("SELECT PATIENTS_ID FROM CPMAIN").toInt(), 5);
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
            QTest::mouseClick(valider(c), Qt::LeftButton);
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
