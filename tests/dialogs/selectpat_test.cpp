#include "CasPatient.h"

#include <QApplication>
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
        QCOMPARE(c.liste()->itemData(3).toLongLong(), 1234567);
        QCOMPARE(c.liste()->currentText(), u"Sélectionnez un dossier patient dans la liste"_s);
        QCOMPARE(c.prog.historique.first(), QString(28, ' ') + u"Construction de la liste des patients..."_s);
        QVERIFY(!c.prog.ProgressionVisible);
        QVERIFY(c.d->isEnabled());

        Cas vide;
        QVERIFY(vide.demarrer());
        QCOMPARE(vide.liste()->count(), 0);
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
        QCOMPARE(c.texte("LPatients_ID"), u"900"_s);
        QCOMPARE(c.texte("LMedecins_ID"), u"Anne Martin"_s);
        QCOMPARE(c.texte("LDate_Consultation"), u"03/15/2024 10:30:00"_s);
        QCOMPARE(c.texte("LActes"), u"+C"_s);
        QCOMPARE(c.texte("LMontant"), u"32,50 EUR"_s);
        QCOMPARE(c.texte("LPaiement_Patient"), u" et 20 EUR en ESP"_s);
        QCOMPARE(c.texte("LCaisse_principale"), QString());   // stored 0
        QCOMPARE(c.texte("LMutuelle"), QString());            // null
        QCOMPARE(c.texte("LMontant_caisse_principale"), QString());
        QCOMPARE(c.texte("LCPSVFact_ID"), QString());
        QCOMPARE(c.texte("LDepoDate"), QString());

        c.positionner(901);
        QCOMPARE(c.texte("LMedecins_ID"), u"Paul Roux"_s);
        QCOMPARE(c.texte("LDate_Consultation"), u"03/16/2024"_s);
        QCOMPARE(c.texte("LActes"), u"C+K+V"_s);
        QCOMPARE(c.texte("LPaiement_Patient"), u"25 EUR en CHQ"_s);
        QCOMPARE(c.texte("LCaisse_principale"), u"CPAM (Lyon)"_s);
        QCOMPARE(c.texte("LMutuelle"), u"caisse n°57 inconnue."_s);
        QCOMPARE(c.texte("LMontant_caisse_principale"), u"10 EUR"_s);
        QCOMPARE(c.texte("LPaiement_caisse_principale"), QString());
        QCOMPARE(c.texte("LMontant_mutuelle"), u"4,50 EUR"_s);
        QCOMPARE(c.texte("LPaiement_Mutuelle"), u"4,50 EUR"_s);
        QCOMPARE(c.texte("LCPSVFact_ID"), u"44"_s);
        QCOMPARE(c.texte("LDepoDate"), u"03/20/2024"_s);

        // A physician missing from the snapshot: its own number, not the
        // physician the table happened to stand on.
        c.positionner(902);
        QCOMPARE(c.texte("LMedecins_ID"), u"n°9"_s);
        QCOMPARE(c.texte("LMontant"), u"65,60 FRF"_s);
        QCOMPARE(c.texte("LMutuelle"), u"MGEN"_s);
    }

    void editFieldsPlaceholdersAndKeys()
    {
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        QVERIFY(c.demarrer());
        c.positionner(900);
        TFSelectPatient &d = *c.d;
        montrer(d);
        QVERIFY(c.w<QWidget>("PPatient_existant")->isVisible());
        QVERIFY(!c.w<QWidget>("PNouveau_patient")->isVisible());
        QTest::mouseClick(c.w<QRadioButton>("RGChoice_1"), Qt::LeftButton);
        QVERIFY(c.w<QWidget>("PNouveau_patient")->isVisible());
        QVERIFY(!c.w<QWidget>("PPatient_existant")->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(c.w<ChampSaisie>("EDNom")));

        QTest::mouseClick(c.w<ChampSaisie>("EDNom"), Qt::LeftButton);
        QCOMPARE(c.w<ChampSaisie>("EDNom")->text(), QString());
        QTest::mouseClick(c.w<ChampSaisie>("EDPrenom"), Qt::LeftButton);   // leaves the name empty
        QCOMPARE(c.w<ChampSaisie>("EDNom")->text(), u"Nom du nouveau patient"_s);
        QCOMPARE(c.w<ChampSaisie>("EDPrenom")->text(), QString());
        QTest::keyClicks(c.w<ChampSaisie>("EDPrenom"), "Lea");
        QTest::mouseClick(c.w<ChampSaisie>("EDNom"), Qt::LeftButton);
        QCOMPARE(c.w<ChampSaisie>("EDPrenom")->text(), u"Lea"_s);
        QTest::keyClicks(c.w<ChampSaisie>("EDNom"), "Durand");
        QTest::mouseClick(c.w<ChampSaisie>("EDNom"), Qt::LeftButton);      // any other text is left alone
        QCOMPARE(c.w<ChampSaisie>("EDNom")->text(), u"Durand"_s);

        QTest::keyClick(c.w<ChampSaisie>("EDNom"), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(c.w<ChampSaisie>("EDPrenom")));
        QTest::keyClick(c.w<ChampSaisie>("EDPrenom"), Qt::Key_Enter);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(c.w<QPushButton>("BtNouveau_patient")));
        QCOMPARE(c.f.scalar("SELECT count(*) FROM PATIENTS").toInt(), 0);   // Enter did not validate

        // No cancel of any kind.
        QTest::keyClick(&d, Qt::Key_Escape);
        QVERIFY(!d.close());
        QVERIFY(d.isVisible());
        QCOMPARE(d.result(), 0);
        QVERIFY(!(d.windowFlags() & Qt::WindowCloseButtonHint));

        // Minimised and restored by the window manager: what was typed stays.
        d.showMinimized();
        QCoreApplication::processEvents();
        d.hide();
        montrer(d);
        QCOMPARE(c.w<ChampSaisie>("EDNom")->text(), u"Durand"_s);
        QCOMPARE(c.w<ChampSaisie>("EDPrenom")->text(), u"Lea"_s);

        // Shown again by the run on the next case: the choice stays, the
        // preset name is selected, the rest is reset.
        d.hide();
        QStringList vu;
        QTimer::singleShot(0, &d, [&] {
            vu << QString::number(c.w<QRadioButton>("RGChoice_1")->isChecked())
               << QString::number(c.w<QWidget>("PNouveau_patient")->isVisible()) << c.w<ChampSaisie>("EDNom")->text()
               << c.w<ChampSaisie>("EDNom")->selectedText() << c.w<ChampSaisie>("EDPrenom")->text()
               << c.w<ChampDate>("EDNe_le")->texte() << c.liste()->currentText();
            d.done(1);
        });
        QCOMPARE(d.afficher(), 1);
        QCOMPARE(vu, QStringList({u"1"_s, u"1"_s, u"ZZ Patient inconnu"_s, u"ZZ Patient inconnu"_s,
                                  u"Prénom du nouveau patient"_s, u"  /  /    "_s,
                                  u"Sélectionnez un dossier patient dans la liste"_s}));
    }

    // The choice made with the keyboard leads to the name as the mouse does.
    void keyboardChoiceGoesToTheName()
    {
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        QVERIFY(c.demarrer());
        c.positionner(900);
        montrer(*c.d);
        auto *existant = c.w<QRadioButton>("RGChoice_0");
        existant->setFocus();
        QTRY_VERIFY(existant->hasFocus());
        QTest::keyClick(existant, Qt::Key_Right);
        QVERIFY(c.w<QRadioButton>("RGChoice_1")->isChecked());
        QVERIFY(c.w<QWidget>("PNouveau_patient")->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(c.w<ChampSaisie>("EDNom")));
        // Back to the list with the keyboard: the focus stays on the choice.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QTest::keyClick(c.w<QRadioButton>("RGChoice_1"), Qt::Key_Left);
        QVERIFY(c.w<QRadioButton>("RGChoice_0")->isChecked());
        QVERIFY(c.w<QWidget>("PPatient_existant")->isVisible());
        QCoreApplication::processEvents();
        QVERIFY(!c.w<ChampSaisie>("EDNom")->hasFocus());
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
        QVERIFY(enfant<QPushButton>(&d, "BtPatient_existant")->isEnabled());
    }

    void birthDateMask()
    {
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        QVERIFY(c.demarrer());
        c.positionner(900);
        TFSelectPatient &d = *c.d;
        c.w<QRadioButton>("RGChoice_1")->setChecked(true);
        montrer(d);
        QCOMPARE(c.w<ChampDate>("EDNe_le")->texte(), u"  /  /    "_s);
        QCOMPARE(c.w<ChampDate>("EDNe_le")->maxLength(), 10);
        const QString refus = u"Valeur d'entrée incorrecte. Utiliser Echap pour abandonner les modifications"_s;

        // Leaving an untouched field is fine.
        c.w<ChampDate>("EDNe_le")->setFocus();
        QTest::keyClick(c.w<ChampDate>("EDNe_le"), Qt::Key_Tab);
        QTest::qWait(20);
        QCOMPARE(c.ui.messages.size(), 0);

        c.w<ChampDate>("EDNe_le")->setFocus();
        c.w<ChampDate>("EDNe_le")->setCursorPosition(0);
        QTest::keyClicks(c.w<ChampDate>("EDNe_le"), "0102195");
        QTest::keyClick(c.w<ChampDate>("EDNe_le"), Qt::Key_Tab);
        QTRY_COMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(c.ui.messages[0].text, refus);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(c.w<ChampDate>("EDNe_le")));
        QTest::keyClick(c.w<ChampDate>("EDNe_le"), Qt::Key_Escape);
        QCOMPARE(c.w<ChampDate>("EDNe_le")->texte(), u"  /  /    "_s);
        QVERIFY(d.isVisible());

        // A click on the button reports the refusal once, and validates nothing.
        c.w<ChampDate>("EDNe_le")->setCursorPosition(0);
        QTest::keyClicks(c.w<ChampDate>("EDNe_le"), "1/2/19");
        QCOMPARE(c.w<ChampDate>("EDNe_le")->texte(), u"1 /2 /19  "_s);
        QTest::mouseClick(c.w<QPushButton>("BtNouveau_patient"), Qt::LeftButton);
        QTest::qWait(20);
        QCOMPARE(c.ui.messages.size(), 2);
        QCOMPARE(c.ui.messages[1].text, refus);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(c.w<ChampDate>("EDNe_le")));

        // Optional day and month digits, a full year: accepted on leaving.
        c.w<ChampDate>("EDNe_le")->setCursorPosition(8);
        QTest::keyClicks(c.w<ChampDate>("EDNe_le"), "50");
        QTest::keyClick(c.w<ChampDate>("EDNe_le"), Qt::Key_Tab);
        QTest::qWait(20);
        QCOMPARE(c.ui.messages.size(), 2);
        QCOMPARE(c.w<ChampDate>("EDNe_le")->texte(), u"1 /2 /1950"_s);
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
        c.w<ChampSaisie>("EDNom")->setText(nom);
        c.w<ChampSaisie>("EDPrenom")->setText(prenom);
        c.w<ChampDate>("EDNe_le")->setTexte(neLe);
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
        c.w<ChampSaisie>("EDNom")->setText("élan");
        c.w<ChampSaisie>("EDPrenom")->setText("Léa");
        c.d->BtNouveau_patientClick();
        QCOMPARE(c.ui.messages.size(), 0);
        QCOMPARE(c.d->result(), 1);

        // The patient as typed, without birth date; what else the creation
        // writes is the moves' (tests/checks/reaffectation_test.cpp).
        const auto p = c.f.rows("SELECT N_OMON, NOM, PRENOM, NE_LE FROM PATIENTS WHERE PATIENTS_ID=123");
        QCOMPARE(p.size(), 1);
        QCOMPARE(p[0][0].toString(), u"é000123"_s);
        QCOMPARE(p[0][1].toString(), u"éLAN"_s);
        QCOMPARE(p[0][2].toString(), u"Léa"_s);
        QVERIFY(p[0][3].isNull());
        QVERIFY(c.items().contains(u"éLAN Léa né(e) le   /  /     (é000123)"_s));
        QCOMPARE(c.items().indexOf(u"éLAN Léa né(e) le   /  /     (é000123)"_s), 1);   // between BLANC and ZOLA
        QCOMPARE(c.prog.historique.last(), QString(28, ' ') + u"Vérification des consultations (3/3)"_s);
        QVERIFY(!c.prog.ProgressionVisible);
    }

    void newPatientPresetNameAndBirthDate()
    {
        Cas c;
        c.f.insert("ID_VALUES", {{"KEY_NAME", "MOTCONSU"}, {"LAST_VALUE", 40}});
        c.compta(1, 1234567, 9, dt(2024, 3, 15));   // physician 9: not in the snapshot
        c.f.insert("MOTCONSU", {{"MOTCONSU_ID", 40}, {"PATIENTS_ID", 1234567}, {"DATE_CONSULTATION", dt(2024, 3, 15)}});
        QVERIFY(c.demarrer());
        c.w<QRadioButton>("RGChoice_1")->setChecked(true);
        c.positionner(1234567);
        QCOMPARE(c.w<ChampSaisie>("EDNom")->text(), u"ZZ Patient inconnu"_s);
        c.w<ChampSaisie>("EDPrenom")->setText("Paul");
        c.w<ChampDate>("EDNe_le")->setTexte("02/01/1950");
        c.d->BtNouveau_patientClick();
        QCOMPARE(c.d->result(), 1);
        // The preset name and the birth date read month first, as the run reads dates.
        const auto p = c.f.rows("SELECT N_OMON, NOM, NE_LE FROM PATIENTS");
        QCOMPARE(p.size(), 1);
        QCOMPARE(p[0][0].toString(), u"Z1234567"_s);
        QCOMPARE(p[0][1].toString(), u"ZZ PATIENT INCONNU"_s);
        QCOMPARE(p[0][2].toString(), fixtureDate(1950, 2, 1));
        QVERIFY(c.items().contains(u"ZZ PATIENT INCONNU Paul né(e) le 02/01/1950 (Z1234567)"_s));
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
        c.w<QRadioButton>("RGChoice_1")->setChecked(true);
        QTimer::singleShot(0, c.d.get(), [&] {
            c.w<ChampSaisie>("EDNom")->setText("Durand");
            c.w<ChampSaisie>("EDPrenom")->setText("Léa");
            QTest::mouseClick(c.w<QPushButton>("BtNouveau_patient"), Qt::LeftButton);
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
