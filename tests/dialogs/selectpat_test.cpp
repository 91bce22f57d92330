#include "CasPatient.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

// The window, its labels and its fields; creating a patient under the unknown number.
class SelectPatTest : public QObject {
    Q_OBJECT

private slots:
    void pickListBuiltSortedWithTheirOwnNumbers()
    {
        Cas c;
        c.patient(3, "martin", "Jean", "m000003", dt(1950, 2, 1));
        c.patient(1, "Dupont", "Luc", "D000001");                  // no birth date
        c.patient(1234567, "Zola", "Émile", "Z1234567");
        c.patient(8, "élie", "Marc", "é000008");                   // sorts with the E
        QVERIFY(c.demarrer());
        QCOMPARE(c.items(), (QStringList{"DUPONT Luc né(e) le 12/30/1899 (D000001)", "éLIE Marc né(e) le 12/30/1899 (é000008)",
                                         "MARTIN Jean né(e) le 02/01/1950 (m000003)", "ZOLA Émile né(e) le 12/30/1899 (Z1234567)"}));
        QCOMPARE(c.d->CBPatients_existant->itemData(3).toLongLong(), 1234567);
        QCOMPARE(c.d->CBPatients_existant->currentText(), u"Sélectionnez un dossier patient dans la liste"_s);
        QCOMPARE(c.prog.historique.first(), QString(28, ' ') + u"Construction de la liste des patients..."_s);
        QVERIFY(!c.prog.ProgressionVisible);
        QVERIFY(c.d->isEnabled());

        Cas vide;
        QVERIFY(vide.demarrer());
        QCOMPARE(vide.d->CBPatients_existant->count(), 0);
        QCOMPARE(vide.prog.historique, QStringList{QString(28, ' ') + u"Construction de la liste des patients..."_s});
        QVERIFY(!vide.prog.ProgressionVisible);
    }

    void labelsOfTheAccountingRow()
    {
        Cas c;
        c.f.insert("CPORG", {{"CPOrg_ID", 5}, {"Nom", ""}, {"Organisme", "CPAM"}, {"Ville", "Lyon"}});
        c.f.insert("CPORG", {{"CPOrg_ID", 6}, {"Nom", "MGEN"}});
        c.compta(1, 900, 1, dt(2024, 3, 15, 10, 30),
                 {{"CodeActe1", ""}, {"CodeActe2", "C"}, {"Montant1", 12.5}, {"Montant2", 20}, {"Paiement1", 0},
                  {"Paiement2", 20}, {"Mode2", "ESP"}, {"CPOrg_1_ID", 0}, {"CPSVFact_ID", 0}});
        c.compta(2, 901, 2, dt(2024, 3, 16),
                 {{"CodeActe1", "C"}, {"CodeActe2", "K"}, {"CodeActe4", "V"}, {"Montant1", 25}, {"Paiement1", 25},
                  {"Mode1", "CHQ"}, {"CPOrg_1_ID", 5}, {"CPOrg_2_ID", 57}, {"MontantTiersPayant1", 10},
                  {"RegleTiersPayant1", 0}, {"MontantTiersPayant2", 4.5}, {"RegleTiersPayant2", 4.5},
                  {"CPSVFact_ID", 44}, {"DepoDate", dt(2024, 3, 20)}});
        c.compta(3, 902, 9, dt(2024, 3, 17), {{"MONNAIE1", "FRF"}, {"Montant1", 10}, {"CPOrg_2_ID", 6}});
        QVERIFY(c.demarrer());

        c.positionner(900);
        QCOMPARE(c.d->LPatients_ID->text(), u"900"_s);
        QCOMPARE(c.d->LMedecins_ID->text(), u"Anne Martin"_s);
        QCOMPARE(c.d->LDate_Consultation->text(), u"03/15/2024 10:30:00"_s);
        QCOMPARE(c.d->LActes->text(), u"+C"_s);
        QCOMPARE(c.d->LMontant->text(), u"32,50 EUR"_s);
        QCOMPARE(c.d->LPaiement_Patient->text(), u" et 20 EUR en ESP"_s);
        QCOMPARE(c.d->LCaisse_principale->text(), QString());   // stored 0
        QCOMPARE(c.d->LMutuelle->text(), QString());            // null
        QCOMPARE(c.d->LMontant_caisse_principale->text(), QString());
        QCOMPARE(c.d->LCPSVFact_ID->text(), QString());
        QCOMPARE(c.d->LDepoDate->text(), QString());

        c.positionner(901);
        QCOMPARE(c.d->LMedecins_ID->text(), u"Paul Roux"_s);
        QCOMPARE(c.d->LDate_Consultation->text(), u"03/16/2024"_s);
        QCOMPARE(c.d->LActes->text(), u"C+K+V"_s);
        QCOMPARE(c.d->LPaiement_Patient->text(), u"25 EUR en CHQ"_s);
        QCOMPARE(c.d->LCaisse_principale->text(), u"CPAM (Lyon)"_s);
        QCOMPARE(c.d->LMutuelle->text(), u"caisse n°57 inconnue."_s);
        QCOMPARE(c.d->LMontant_caisse_principale->text(), u"10 EUR"_s);
        QCOMPARE(c.d->LPaiement_caisse_principale->text(), QString());
        QCOMPARE(c.d->LMontant_mutuelle->text(), u"4,50 EUR"_s);
        QCOMPARE(c.d->LPaiement_Mutuelle->text(), u"4,50 EUR"_s);
        QCOMPARE(c.d->LCPSVFact_ID->text(), u"44"_s);
        QCOMPARE(c.d->LDepoDate->text(), u"03/20/2024"_s);

        // A physician missing from the snapshot: its own number, not the
        // physician the table happened to stand on.
        c.positionner(902);
        QCOMPARE(c.d->LMedecins_ID->text(), u"n°9"_s);
        QCOMPARE(c.d->LMontant->text(), u"65,60 FRF"_s);
        QCOMPARE(c.d->LMutuelle->text(), u"MGEN"_s);
    }

    void editFieldsPlaceholdersAndKeys()
    {
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        QVERIFY(c.demarrer());
        c.positionner(900);
        TFSelectPatient &d = *c.d;
        montrer(d);
        QVERIFY(d.PPatient_existant->isVisible());
        QVERIFY(!d.PNouveau_patient->isVisible());
        QTest::mouseClick(d.RGChoiceItems->button(1), Qt::LeftButton);
        QVERIFY(d.PNouveau_patient->isVisible());
        QVERIFY(!d.PPatient_existant->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.EDNom));

        QTest::mouseClick(d.EDNom, Qt::LeftButton);
        QCOMPARE(d.EDNom->text(), QString());
        QTest::mouseClick(d.EDPrenom, Qt::LeftButton);   // leaves the name empty
        QCOMPARE(d.EDNom->text(), u"Nom du nouveau patient"_s);
        QCOMPARE(d.EDPrenom->text(), QString());
        QTest::keyClicks(d.EDPrenom, "Lea");
        QTest::mouseClick(d.EDNom, Qt::LeftButton);
        QCOMPARE(d.EDPrenom->text(), u"Lea"_s);
        QTest::keyClicks(d.EDNom, "Durand");
        QTest::mouseClick(d.EDNom, Qt::LeftButton);      // any other text is left alone
        QCOMPARE(d.EDNom->text(), u"Durand"_s);

        QTest::keyClick(d.EDNom, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.EDPrenom));
        QTest::keyClick(d.EDPrenom, Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.BtNouveau_patient));
        QCOMPARE(c.f.scalar("SELECT count(*) FROM PATIENTS").toInt(), 0);   // Enter did not validate

        // No cancel of any kind.
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.close());
        QVERIFY(d.isVisible());
        QCOMPARE(d.result(), 0);
        QVERIFY(!(d.windowFlags() & Qt::WindowCloseButtonHint));

        // Shown again: the choice stays, the preset name is selected, the rest is reset.
        d.hide();
        montrer(d);
        QCOMPARE(d.RGChoiceItems->checkedId(), 1);
        QVERIFY(d.PNouveau_patient->isVisible());
        QCOMPARE(d.EDNom->text(), u"ZZ Patient inconnu"_s);
        QCOMPARE(d.EDNom->selectedText(), u"ZZ Patient inconnu"_s);
        QCOMPARE(d.EDPrenom->text(), u"Prénom du nouveau patient"_s);
        QCOMPARE(d.EDNe_le->texte(), u"  /  /    "_s);
        QCOMPARE(d.CBPatients_existant->currentText(), u"Sélectionnez un dossier patient dans la liste"_s);
    }

    // During a run the main window, the dialog's owner, is disabled.
    void usableWhileItsOwnerIsDisabled()
    {
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        QVERIFY(c.demarrer());
        c.positionner(900);
        QWidget principale;
        principale.show();
        TFSelectPatient d(*c.s, c.prog, &principale);
        principale.setEnabled(false);
        QVERIFY(!d.isEnabled());
        montrer(d);
        QVERIFY(d.isEnabled());
        QVERIFY(d.BtPatient_existant->isEnabled());
    }

    void birthDateMask()
    {
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        QVERIFY(c.demarrer());
        c.positionner(900);
        TFSelectPatient &d = *c.d;
        d.RGChoiceItems->button(1)->setChecked(true);
        montrer(d);
        QCOMPARE(d.EDNe_le->texte(), u"  /  /    "_s);
        QCOMPARE(d.EDNe_le->maxLength(), 10);
        const QString refus = u"Valeur d'entrée incorrecte. Utiliser Echap pour abandonner les modifications"_s;

        // Leaving an untouched field is fine.
        d.EDNe_le->setFocus();
        QTest::keyClick(d.EDNe_le, Qt::Key_Tab);
        QTest::qWait(20);
        QCOMPARE(c.ui.messages.size(), 0);

        d.EDNe_le->setFocus();
        d.EDNe_le->setCursorPosition(0);
        QTest::keyClicks(d.EDNe_le, "0102195");
        QTest::keyClick(d.EDNe_le, Qt::Key_Tab);
        QTRY_COMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(c.ui.messages[0].text, refus);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.EDNe_le));
        QTest::keyClick(d.EDNe_le, Qt::Key_Escape);
        QCOMPARE(d.EDNe_le->texte(), u"  /  /    "_s);
        QVERIFY(d.isVisible());

        // A click on the button reports the refusal once, and validates nothing.
        d.EDNe_le->setCursorPosition(0);
        QTest::keyClicks(d.EDNe_le, "1/2/19");
        QCOMPARE(d.EDNe_le->texte(), u"1 /2 /19  "_s);
        QTest::mouseClick(d.BtNouveau_patient, Qt::LeftButton);
        QTest::qWait(20);
        QCOMPARE(c.ui.messages.size(), 2);
        QCOMPARE(c.ui.messages[1].text, refus);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.EDNe_le));

        // Optional day and month digits, a full year: accepted on leaving.
        d.EDNe_le->setCursorPosition(8);
        QTest::keyClicks(d.EDNe_le, "50");
        QTest::keyClick(d.EDNe_le, Qt::Key_Tab);
        QTest::qWait(20);
        QCOMPARE(c.ui.messages.size(), 2);
        QCOMPARE(d.EDNe_le->texte(), u"1 /2 /1950"_s);
    }

    void newPatientValidationOrder_data()
    {
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QString>("prenom");
        QTest::addColumn<QString>("neLe");
        QTest::addColumn<QString>("message");
        QTest::newRow("name first") << "Nom du nouveau patient" << "Prénom du nouveau patient" << "  /  /    "
                                    << "Veuillez saisir le nom du patient !";
        QTest::newRow("empty name") << "" << "Léa" << "  /  /    " << "Veuillez saisir le nom du patient !";
        QTest::newRow("first name") << "Durand" << "Prénom du nouveau patient" << "02/01/1950"
                                    << "Veuillez saisir le prénom du patient !";
        QTest::newRow("31 February") << "Durand" << "Léa" << "02/31/1950" << "Veuillez saisir une date de naissance correcte !";
        QTest::newRow("31/02 either way") << "Durand" << "Léa" << "31/02/1950" << "Veuillez saisir une date de naissance correcte !";
    }

    void newPatientValidationOrder()
    {
        QFETCH(QString, nom);
        QFETCH(QString, prenom);
        QFETCH(QString, neLe);
        QFETCH(QString, message);
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        QVERIFY(c.demarrer());
        c.positionner(900);
        c.d->EDNom->setText(nom);
        c.d->EDPrenom->setText(prenom);
        c.d->EDNe_le->setTexte(neLe);
        c.d->BtNouveau_patientClick();
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(c.ui.messages[0].text, message);
        QCOMPARE(c.d->result(), 0);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM PATIENTS").toInt(), 0);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM MOTCONSU").toInt(), 0);
        QCOMPARE(PracticeFixture::journal(*c.s).size(), 0);
    }

    void newPatientWithoutBirthDate()
    {
        Cas c;
        c.patient(1, "Zola", "Émile", "Z000001");
        c.patient(2, "Blanc", "Luc", "B000002");
        // Two rows on one date, one on another; no "MOTCONSU" counter row at all.
        c.compta(1, 123, 1, dt(2024, 3, 15, 10, 30), {{"Montant1", 20}});
        c.compta(2, 123, 2, dt(2024, 3, 15, 10, 30), {{"Montant1", 5}});
        c.compta(3, 123, 2, dt(2024, 4, 2), {{"Montant1", 5}});
        QVERIFY(c.demarrer());
        c.positionner(123);
        const int ligneCP = c.s->QryCPMain.fieldByName("CPMAIN_ID").asInteger();
        c.d->EDNom->setText("élan");
        c.d->EDPrenom->setText("Léa");
        c.d->BtNouveau_patientClick();
        QCOMPARE(c.ui.messages.size(), 0);
        QCOMPARE(c.d->result(), 1);

        const auto p = c.f.rows("SELECT N_OMON, NOM, PRENOM, NE_LE, MEDECINS_ID FROM PATIENTS WHERE PATIENTS_ID=123");
        QCOMPARE(p.size(), 1);
        QCOMPARE(p[0][0].toString(), u"é000123"_s);   // accented initial kept as typed
        QCOMPARE(p[0][1].toString(), u"éLAN"_s);
        QCOMPARE(p[0][2].toString(), u"Léa"_s);
        QVERIFY(p[0][3].isNull());
        QCOMPARE(p[0][4].toInt(), ligneCP == 1 ? 1 : 2);
        QVERIFY(c.items().contains(u"éLAN Léa né(e) le   /  /     (é000123)"_s));
        QCOMPARE(c.items().indexOf(u"éLAN Léa né(e) le   /  /     (é000123)"_s), 1);   // between BLANC and ZOLA
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
        QCOMPARE(c.prog.historique.last(), QString(28, ' ') + u"Vérification des consultations (3/3)"_s);
        QVERIFY(!c.prog.ProgressionVisible);
    }

    void newPatientPresetNameSevenDigitsUnknownPhysician()
    {
        Cas c;
        c.f.insert("ID_VALUES", {{"KEY_NAME", "MOTCONSU"}, {"LAST_VALUE", 40}});
        c.compta(1, 1234567, 9, dt(2024, 3, 15));   // physician 9: not in the snapshot
        c.f.insert("MOTCONSU", {{"MOTCONSU_ID", 40}, {"PATIENTS_ID", 1234567}, {"DATE_CONSULTATION", dt(2024, 3, 15)}});
        QVERIFY(c.demarrer());
        c.d->RGChoiceItems->button(1)->setChecked(true);
        c.positionner(1234567);
        QCOMPARE(c.d->EDNom->text(), u"ZZ Patient inconnu"_s);
        c.d->EDPrenom->setText("Paul");
        c.d->EDNe_le->setTexte("02/01/1950");
        c.d->BtNouveau_patientClick();
        QCOMPARE(c.d->result(), 1);
        const auto p = c.f.rows("SELECT N_OMON, NOM, NE_LE, MEDECINS_ID FROM PATIENTS");
        QCOMPARE(p.size(), 1);
        QCOMPARE(p[0][0].toString(), u"Z1234567"_s);
        QCOMPARE(p[0][1].toString(), u"ZZ PATIENT INCONNU"_s);
        QCOMPARE(p[0][2].toString(), fixtureDate(1950, 2, 1));
        QCOMPARE(p[0][3].toInt(), 9);
        QVERIFY(c.items().contains(u"ZZ PATIENT INCONNU Paul né(e) le 02/01/1950 (Z1234567)"_s));
        // The date already had its consultation: nothing created, counter untouched.
        QCOMPARE(c.f.scalar("SELECT count(*) FROM MOTCONSU").toInt(), 1);
        QCOMPARE(c.f.scalar("SELECT LAST_VALUE FROM ID_VALUES").toInt(), 40);
        QCOMPARE(PracticeFixture::journal(*c.s)[0].medecinId.toInt(), 9);
    }

    void newPatientFatalFailures_data()
    {
        QTest::addColumn<QString>("preparation");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("patients");
        QTest::newRow("patient INSERT")
            << "CREATE TRIGGER t BEFORE INSERT ON PATIENTS BEGIN SELECT RAISE(ABORT,'dossier refusé'); END"
            << "Création du nouveau patient impossible.\r\rL'application va être fermée.\rErreur : dossier refusé" << 0;
        QTest::newRow("counter read") << "DROP TABLE ID_VALUES"
                                      << "Récupération du numéro de la dernière consultation impossible. La consultation ne peut pas être créée."
                                         "\r\rL'application va être fermée.\rErreur : no such table: ID_VALUES"
                                      << 1;
        QTest::newRow("counter write")
            << "CREATE TRIGGER t BEFORE UPDATE ON ID_VALUES BEGIN SELECT RAISE(ABORT,'compteur verrouillé'); END"
            << "Mise à jour de la table ID_VALUES impossible. La consultation ne peut pas être créée.\r\rL'application va être fermée."
               "\rErreur : compteur verrouillé"
            << 1;
        QTest::newRow("consultation INSERT")
            << "CREATE TRIGGER t BEFORE INSERT ON MOTCONSU BEGIN SELECT RAISE(ABORT,'consultation refusée'); END"
            << "Création de la consultation impossible.\r\rL'application va être fermée.\rErreur : consultation refusée" << 1;
    }

    // Driven through the modal loop, as the phase shows it.
    void newPatientFatalFailures()
    {
        QFETCH(QString, preparation);
        QFETCH(QString, message);
        QFETCH(int, patients);
        Cas c;
        c.f.insert("ID_VALUES", {{"KEY_NAME", "MOTCONSU"}, {"LAST_VALUE", 3}});
        c.compta(1, 900, 1, dt(2024, 3, 15));
        c.f.exec(preparation);
        QVERIFY(c.demarrer());
        c.positionner(900);
        c.d->RGChoiceItems->button(1)->setChecked(true);
        QTimer::singleShot(0, c.d.get(), [&] {
            c.d->EDNom->setText("Durand");
            c.d->EDPrenom->setText("Léa");
            QTest::mouseClick(c.d->BtNouveau_patient, Qt::LeftButton);
        });
        QTimer::singleShot(5000, c.d.get(), [&] { c.d->done(99); });
        QCOMPARE(c.d->exec(), 7);
        QVERIFY(c.d->fin.has_value());
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Avertissement);
        QCOMPARE(c.ui.messages[0].text, message);
        QVERIFY(!c.fichiersDeTravail());
        QVERIFY(!c.prog.ProgressionVisible);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM PATIENTS").toInt(), patients);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM MOTCONSU").toInt(), 0);
    }
};

QTEST_MAIN(SelectPatTest)
#include "selectpat_test.moc"
