#include "dialogs/CasPatient.h"
#include "checks/CheckRun.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kOrigine = u"Table de la comptabilité (CPMAIN)"_s;
const QString kOrigineFSE = u"Patient de la FSE inconnu (CPSVFACT)"_s;

QList<JournalRow> lignes(Session &s, const QString &origine)
{
    QList<JournalRow> out;
    for (const JournalRow &r : PracticeFixture::journal(s))
        if (r.origine == origine)
            out << r;
    return out;
}

// Settles the case shown by creating the patient, through the handlers.
int creer(Cas &c, const QString &nom)
{
    c.w<QRadioButton>("RGChoice_1")->setChecked(true);
    c.d->FormShow();
    c.w<ChampSaisie>("EDNom")->setText(nom);
    c.w<ChampSaisie>("EDPrenom")->setText("Paul");
    c.d->BtNouveau_patientClick();
    return c.d->result();
}

} // namespace

// The unknown-patient phase with its dialog, and the care sheets of unknown patients.
class PatientsInconnusTest : public QObject {
    Q_OBJECT

private slots:
    void eachUnknownNumberSettledThroughTheDialog()
    {
        Cas c;
        c.patient(5, "Durand", "Jean", "D000005");
        c.f.insert("CPMAIN", {{"CPMAIN_ID", 1}, {"MEDECINS_ID", 1}, {"Montant1", 3}});   // no patient
        c.compta(2, 5, 1, dt(2024, 1, 5));
        c.compta(3, 900, 2, dt(2024, 3, 15), {{"Montant1", 20}});
        c.compta(4, 900, 1, dt(2024, 3, 16));
        c.compta(5, 901, 1, dt(2024, 3, 17));
        c.compta(6, 6, 1, dt(2024, 3, 18));
        QVERIFY(c.demarrer());
        // In PATIENTS, not in the start-up snapshot: known all the same.
        c.patient(6, "Petit", "Léo", "P000006");
        CheckRun run(*c.s);
        struct Vu {
            qint64 patient, medecin;
            bool progression, principale;
        };
        QList<Vu> vus;
        c.ui.onSelectPatient = [&] {
            vus << Vu{c.s->QryCPMain.fieldByName("PATIENTS_ID").asInteger(),
                      c.s->TableMedecins.fieldByName("MEDECINS_ID").asInteger(), c.ui.progressOpen, c.ui.mainEnabled};
            const bool existant = vus.size() == 1;
            QTimer::singleShot(0, c.d.get(), [&c, existant] {
                if (existant) {
                    c.choisir(5);
                    QTest::mouseClick(c.w<QPushButton>("BtPatient_existant"), Qt::LeftButton);
                } else {
                    QTest::mouseClick(c.w<QRadioButton>("RGChoice_1"), Qt::LeftButton);
                    c.w<ChampSaisie>("EDNom")->setText("Morel");
                    c.w<ChampSaisie>("EDPrenom")->setText("Ana");
                    QTest::mouseClick(c.w<QPushButton>("BtNouveau_patient"), Qt::LeftButton);
                }
            });
            QTimer::singleShot(5000, c.d.get(), [&c] { c.d->done(99); });
            c.d->fin.reset();
            const int r = c.d->exec();
            if (c.d->fin)
                throw *c.d->fin;
            return r;
        };
        c.ui.progress.clear();
        run.GererPatientsInconnus();

        QCOMPARE(vus.size(), 2);
        QCOMPARE(vus[0].patient, 900);
        QCOMPARE(vus[0].medecin, 2);   // the first row's physician
        QVERIFY(!vus[0].progression);
        QVERIFY(!vus[0].principale);
        QCOMPARE(vus[1].patient, 901);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM CPMAIN WHERE PATIENTS_ID IS NULL").toInt(), 0);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM CPMAIN WHERE PATIENTS_ID=5").toInt(), 3);
        QCOMPARE(c.f.scalar("SELECT NOM FROM PATIENTS WHERE PATIENTS_ID=901").toString(), u"MOREL"_s);
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 3);   // two rows moved, one patient created; nothing about the deleted row
        for (const JournalRow &r : j)
            QCOMPARE(r.niveau, 2);
        QCOMPARE(c.ui.progress.first(), u"  Recherche des patients inconnus dans la comptabilité..."_s);
        QVERIFY(c.ui.progress.contains(u"  Gestion des patients inconnus dans la comptabilité (3/4)"_s));
        QVERIFY(c.ui.progress.contains(u"  Gestion des patients inconnus dans la comptabilité (4/4)"_s));
        QCOMPARE(c.ui.progress.last(), u"  Gestion des patients inconnus dans la comptabilité..."_s);   // reopened after the dialog
        QVERIFY(!c.ui.progressOpen);
        QVERIFY(!c.ui.mainEnabled);
    }

    void failedCaseAnsweredNoGoesOn()
    {
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        c.compta(2, 901, 1, dt(2024, 3, 16));
        QVERIFY(c.demarrer());
        CheckRun run(*c.s);
        int appels = 0;
        c.ui.onSelectPatient = [&] { return ++appels == 1 ? 7 : creer(c, "Morel"); };
        c.ui.answers = {false};
        run.GererPatientsInconnus();
        QCOMPARE(appels, 2);
        QCOMPARE(c.ui.questions.size(), 1);
        QCOMPARE(c.ui.questions[0].kind, Boite::QuestionAvert);
        QCOMPARE(c.ui.questions[0].text,
                 u"Le traitement du dossier n°900 ne s'est pas effectué correctement !\r\rVoulez-vous fermer le programme ?"_s);
        const auto echec = lignes(*c.s, kOrigine);
        QCOMPARE(echec.size(), 1);
        QCOMPARE(echec[0].niveau, 1);
        QCOMPARE(echec[0].patientId.toInt(), 900);
        QCOMPARE(echec[0].patientNom, u"Dossier n°900 inconnu dans la base."_s);
        QCOMPARE(echec[0].medecinId.toInt(), 0);
        QCOMPARE(echec[0].action, u"Dossier patient inconnu : le programme n'est pas parvenu à traiter le dossier patient n°900"_s);
        QCOMPARE(c.f.scalar("SELECT count(*) FROM PATIENTS WHERE PATIENTS_ID=901").toInt(), 1);
    }

    void failedCaseAnsweredYesReviewsThenCloses()
    {
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        c.compta(2, 901, 1, dt(2024, 3, 16));
        QVERIFY(c.demarrer());
        CheckRun run(*c.s);
        int appels = 0;
        c.ui.onSelectPatient = [&] { return ++appels, 7; };
        c.ui.answers = {true, false};   // close; do not print
        QVERIFY_THROWS_EXCEPTION(common::FinProgramme, run.GererPatientsInconnus());
        QCOMPARE(appels, 1);
        QCOMPARE(c.ui.viewerShown, 1);
        QCOMPARE(c.ui.questions.size(), 2);
        QCOMPARE(c.ui.questions[1].text, u"Voulez-vous imprimer cette liste ?"_s);
        QCOMPARE(c.ui.printed, 0);
        QVERIFY(!c.fichiersDeTravail());
    }

    void unreadableAccountingIsJournalledNotShown_data()
    {
        QTest::addColumn<QString>("pendantLePremier");
        QTest::addColumn<QString>("erreur");
        QTest::newRow("rows gone") << "DELETE FROM CPMAIN WHERE PATIENTS_ID=901"
                                   << "aucun enregistrement de la comptabilité ne fait plus référence à ce dossier.";
        QTest::newRow("open fails") << "DROP TABLE CPMAIN" << "no such table: CPMAIN";
    }

    void unreadableAccountingIsJournalledNotShown()
    {
        QFETCH(QString, pendantLePremier);
        QFETCH(QString, erreur);
        Cas c;
        c.compta(1, 900, 1, dt(2024, 3, 15));
        c.compta(2, 901, 1, dt(2024, 3, 16));
        QVERIFY(c.demarrer());
        CheckRun run(*c.s);
        int appels = 0;
        c.ui.onSelectPatient = [&] {
            ++appels;
            c.f.exec(pendantLePremier);
            return 1;
        };
        run.GererPatientsInconnus();
        QCOMPARE(appels, 1);
        const auto j = lignes(*c.s, kOrigine);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].patientId.toInt(), 901);
        QCOMPARE(j[0].action, "Dossier patient inconnu : la comptabilité du dossier patient n°901 n'a pas pu être lue. Erreur : " + erreur);
        QVERIFY(!c.ui.progressOpen);
    }

    void careSheetsOfUnknownPatients()
    {
        Cas c;
        c.patient(5, "Durand", "Jean", "D000005");
        c.compta(1, 901, 1, dt(2024, 3, 16));
        const QList<QVariantList> feuilles = {{1, 5}, {2, 6}, {3, QVariant()}, {4, 901}, {5, 77}, {6, 78}};
        for (const QVariantList &f : feuilles)
            c.f.insert("CPSVFACT", {{"CPSVFact_ID", f[0]}, {"Patients_ID", f[1]}});
        c.f.exec("CREATE TRIGGER t BEFORE DELETE ON CPSVFACT WHEN OLD.CPSVFact_ID=5 BEGIN SELECT RAISE(ABORT,'FSE verrouillée'); END");
        QVERIFY(c.demarrer());
        c.patient(6, "Petit", "Léo", "P000006");   // in PATIENTS only: its sheet goes
        CheckRun run(*c.s);
        c.ui.onSelectPatient = [&] { return creer(c, "Morel"); };
        run.GererPatientsInconnus();
        c.ui.progress.clear();
        run.SupprimerFSEOrphelines();

        QCOMPARE(c.f.scalar("SELECT group_concat(CPSVFact_ID) FROM (SELECT CPSVFact_ID FROM CPSVFACT ORDER BY 1)").toString(), u"1,4,5"_s);
        const auto j = lignes(*c.s, kOrigineFSE);
        QCOMPARE(j.size(), 4);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].patientId.toInt(), 77);
        QCOMPARE(j[0].action, u"Patient de la FSE inconnu : le programme n'est pas parvenu à supprimer la FSE n°5 qui fait "
                              "référence à un dossier patient n°77 qui n'existe pas. Vous devez supprimer cette FSE manuellement."
                              "\r\rErreur : FSE verrouillée"_s);
        QCOMPARE(j[1].niveau, 2);
        QCOMPARE(j[1].patientId.toInt(), 6);
        QCOMPARE(j[1].action, u"Patient de la FSE inconnu : le programme a supprimé la FSE n°2 qui faisait référence à un "
                              "dossier patient n°6 qui n'existe pas."_s);
        QVERIFY(j[2].patientId.isNull());   // null read as patient 0
        QVERIFY(j[2].action.contains(u"FSE n°3 qui faisait référence à un dossier patient n°0 "_s));
        QCOMPARE(j[3].patientId.toInt(), 78);
        QCOMPARE(c.ui.progress.first(), u"  Recherche des FSE non rattachées à un patient..."_s);
        QCOMPARE(c.ui.progress.last(), u"  Recherche des FSE non rattachées à un patient (6/6)"_s);
        QVERIFY(!c.ui.progressOpen);
    }
};

QTEST_MAIN(PatientsInconnusTest)
#include "patientsinconnus_test.moc"
