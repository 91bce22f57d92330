#include "support/Fixture.h"
#include "checks/CheckRun.h"

#include <QTest>

// The first two phases: the file number N_OMON and the empty first names.
class PatientsTest : public QObject {
    Q_OBJECT

    void patient(PracticeFixture &f, int id, const QVariant &nom, const QVariant &prenom, const QVariant &nomon)
    {
        f.insert(QStringLiteral("PATIENTS"), {{QStringLiteral("PATIENTS_ID"), id}, {QStringLiteral("NOM"), nom},
                                              {QStringLiteral("PRENOM"), prenom}, {QStringLiteral("N_OMON"), nomon},
                                              {QStringLiteral("MEDECINS_ID"), 1}});
    }

private slots:
    void expectedNumberRule()
    {
        QCOMPARE(CheckRun::numeroAttendu(QStringLiteral("Durand"), 123), QStringLiteral("D000123"));
        QCOMPARE(CheckRun::numeroAttendu(QStringLiteral("martin"), 45), QStringLiteral("m000045"));
        QCOMPARE(CheckRun::numeroAttendu(QStringLiteral("Roy"), 1234567), QStringLiteral("R1234567"));
        QCOMPARE(CheckRun::numeroAttendu(QStringLiteral("Roy"), 123456), QStringLiteral("R123456"));
        QCOMPARE(CheckRun::numeroAttendu(QString(), 123), QStringLiteral("000123"));
        QCOMPARE(CheckRun::numeroAttendu(QStringLiteral("de Witte"), 7), QStringLiteral("d000007"));
    }

    void correctsNumbersAndCountsOnlySuccesses()
    {
        PracticeFixture f;
        patient(f, 1, QStringLiteral("Durand"), QStringLiteral("Jean"), QStringLiteral("D000001"));   // right
        patient(f, 7, QStringLiteral("de Witte"), QStringLiteral("Anne"), QStringLiteral("D000007")); // case of the initial
        patient(f, 8, QStringLiteral("Roy"), QStringLiteral("Paul"), QVariant());                      // null
        patient(f, 9, QStringLiteral("Blanc"), QStringLiteral("Luc"), QStringLiteral("B9"));            // refused below
        patient(f, 10, QString(), QStringLiteral("Zoé"), QStringLiteral("X000010"));                    // no initial
        f.exec(QStringLiteral("CREATE TRIGGER refus BEFORE UPDATE ON PATIENTS WHEN NEW.PATIENTS_ID=9 "
                              "BEGIN SELECT RAISE(ABORT,'dossier verrouillé'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        ui.progress.clear();
        run.VerifierNumerotation();
        QCOMPARE(f.scalar(QStringLiteral("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=7")).toString(), QStringLiteral("d000007"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=8")).toString(), QStringLiteral("R000008"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=9")).toString(), QStringLiteral("B9"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=10")).toString(), QStringLiteral("000010"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 2);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].patientId.toInt(), 9);
        QCOMPARE(j[0].patientNom, QStringLiteral("BLANC Luc"));
        QCOMPARE(j[0].action, QStringLiteral("Liste des patients : le champ N_OMON de la table PATIENTS, pour le dossier de Luc Blanc (n°9) "
                                             "indique B9 alors qu'il devrait être B000009\rLe programme n'est pas parvenu à corriger "
                                             "cette valeur pour la raison suivante : dossier verrouillé"));
        QCOMPARE(j[1].niveau, 3);
        QVERIFY(j[1].patientId.isNull());
        QCOMPARE(j[1].medecinId.toInt(), 0);
        QCOMPARE(j[1].action, QStringLiteral("Liste des patients : le champ N_OMON de la table PATIENTS a été corrigé pour 3 dossiers."));
        QVERIFY(qAbs(j[1].date.secsTo(QDateTime::currentDateTime())) < 60);
        QVERIFY(!ui.mainEnabled);   // left disabled for the next phase
        QCOMPARE(ui.progress.first(), QStringLiteral("  Vérification de la numérotation des dossiers patients..."));
    }

    void fillsEmptyFirstNames()
    {
        PracticeFixture f;
        patient(f, 1, QStringLiteral("Durand"), QString(), QStringLiteral("D000001"));
        patient(f, 2, QStringLiteral("Petit"), QVariant(), QStringLiteral("P000002"));
        patient(f, 3, QStringLiteral("Grand"), QStringLiteral("Léa"), QStringLiteral("G000003"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.VerifierPrenoms();
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM PATIENTS WHERE PRENOM='Inconnu'")).toInt(), 2);
        QCOMPARE(f.scalar(QStringLiteral("SELECT PRENOM FROM PATIENTS WHERE PATIENTS_ID=3")).toString(), QStringLiteral("Léa"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].action, QStringLiteral("Liste des patients : le champ PRENOM de la table PATIENTS a été corrigé pour 2 dossiers en y inscrivant la valeur 'Inconnu'."));
        QVERIFY(ui.progress.contains(QStringLiteral("  Vérification du prénom des dossiers patients...")));
    }

    void emptyPatientTableWritesNothing()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        CheckRun run(*s);
        run.VerifierNumerotation();
        run.VerifierPrenoms();
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
    }
};

QTEST_GUILESS_MAIN(PatientsTest)
#include "patients_test.moc"
