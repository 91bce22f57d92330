#include "support/Fixture.h"
#include "db/DbError.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <QTest>

// The services every phase relies on: the journal, the logged corrections,
// the identifier counters and the amount texts.
class ServicesTest : public QObject {
    Q_OBJECT

private slots:
    void journalRows()
    {
        PracticeFixture f;
        f.insert(QStringLiteral("PATIENTS"), {{QStringLiteral("PATIENTS_ID"), 12}, {QStringLiteral("NOM"), QStringLiteral("de la Tour")}, {QStringLiteral("PRENOM"), QStringLiteral("éloïse")}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        const QDateTime avant = QDateTime::currentDateTime().addSecs(-1);
        s->AjouterResultat(0, QString(), 0, QStringLiteral("Comptabilité (CPMAIN)"), 3, QStringLiteral("résumé"));
        s->AjouterResultat(12, QStringLiteral("03/05/2024 10:30:00"), 4, QStringLiteral("Comptabilité (CPMAIN)"), 3, QStringLiteral("second"));
        s->AjouterResultat(77, QStringLiteral("03/05/2024"), 0, QStringLiteral("comptabilité (CPMAIN)"), 1, QStringLiteral("inconnu"));
        s->AjouterResultat(12, QStringLiteral("pas une date"), 0, QStringLiteral("Liste"), 2, QStringLiteral("date illisible"));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 4);
        QCOMPARE(j[0].action, QStringLiteral("inconnu"));
        QCOMPARE(j[0].patientNom, QStringLiteral("Dossier n°77 inconnu dans la base."));
        QCOMPARE(j[0].date, QDateTime(QDate(2024, 3, 5), QTime(0, 0)));   // month first on SQL databases
        QCOMPARE(j[1].action, QStringLiteral("date illisible"));
        QVERIFY(j[1].date >= avant);
        // Same level and origin: insertion order.
        QCOMPARE(j[2].action, QStringLiteral("résumé"));
        QVERIFY(j[2].patientId.isNull());
        QVERIFY(j[2].patientNom.isEmpty());
        QCOMPARE(j[2].medecinId.toInt(), 0);
        QVERIFY(j[2].date >= avant && j[2].date <= QDateTime::currentDateTime().addSecs(1));
        QCOMPARE(j[3].action, QStringLiteral("second"));
        QCOMPARE(j[3].patientNom, QStringLiteral("DE LA TOUR éloïse"));
        QCOMPARE(j[3].date, QDateTime(QDate(2024, 3, 5), QTime(10, 30)));
        QCOMPARE(j[3].medecinId.toInt(), 4);
        QVERIFY(ui.messages.isEmpty());
    }

    void journalFailureIsShownAndTheRowDropped()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        // The journal's file refuses rows: make it read-only under the cursor.
        {
            QSqlDatabase j = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("journal"));
            j.setDatabaseName(f.prive + QStringLiteral("/Aldurix3.DB"));
            QVERIFY(j.open());
            QSqlQuery(j).exec(QStringLiteral("CREATE TRIGGER plein BEFORE INSERT ON Aldurix3 BEGIN SELECT RAISE(ABORT,'journal plein'); END"));
            j.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("journal"));
        s->AjouterResultat(5, QStringLiteral("01/02/2024"), 3, QStringLiteral("Origine"), 2, QStringLiteral("le texte"));
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(ui.messages[0].text,
                 QStringLiteral("Impossible d'enregistrer l'information ci-dessous dans la table des résultats :\r  - PATIENTS : n°5 Dossier n°5 inconnu dans la base.\r"
                                "  - Date de consultation : 01/02/2024\r  - MEDECINS_ID : 3\r  - table d'origine : Origine\r  - niveau de gravité : 2\r"
                                "  - action effectuée : le texte\r\rErreur : journal plein"));
        QVERIFY(!s->TableResultats.editing());
    }

    void loggedCorrections()
    {
        PracticeFixture f;
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 1}, {QStringLiteral("PATIENTS_ID"), 3}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 2}, {QStringLiteral("PATIENTS_ID"), 3}});
        f.exec(QStringLiteral("CREATE TRIGGER garde BEFORE DELETE ON CPMAIN WHEN OLD.CPMAIN_ID=2 BEGIN SELECT RAISE(ABORT,'ligne protégée'); END"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        // The key onto itself: nothing to do, success.
        QVERIFY(s->ActionSurTable(QStringLiteral("UPDATE"), QStringLiteral("CPMAIN"), QStringLiteral("CPMAIN_ID"), QStringLiteral("CPMAIN_ID"), 1, 1));
        QVERIFY(!s->ActionSurTable(QStringLiteral("update"), QStringLiteral("CPMAIN"), QStringLiteral("PATIENTS_ID"), QStringLiteral("CPMAIN_ID"), 9, 1));
        QCOMPARE(f.scalar(QStringLiteral("SELECT PATIENTS_ID FROM CPMAIN WHERE CPMAIN_ID=1")).toInt(), 3);
        QVERIFY(s->ActionSurTable(QStringLiteral("UPDATE"), QStringLiteral("CPMAIN"), QStringLiteral("PATIENTS_ID"), QStringLiteral("CPMAIN_ID"), 9, 1));
        QCOMPARE(f.scalar(QStringLiteral("SELECT PATIENTS_ID FROM CPMAIN WHERE CPMAIN_ID=1")).toInt(), 9);
        QVERIFY(s->ActionSurTable(QStringLiteral("DELETE"), QStringLiteral("CPMAIN"), QString(), QStringLiteral("CPMAIN_ID"), 0, 1));
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM CPMAIN WHERE CPMAIN_ID=1")).toInt(), 0);
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
        QVERIFY(!s->ActionSurTable(QStringLiteral("DELETE"), QStringLiteral("CPMAIN"), QString(), QStringLiteral("CPMAIN_ID"), 0, 2));
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].origine, QStringLiteral("CPMAIN"));
        QVERIFY(j[0].patientId.isNull());
        QVERIFY(j[0].medecinId.isNull());
        QVERIFY(!j[0].date.isValid());
        QCOMPARE(j[0].action, QStringLiteral("La requête suivante a échoué, vous devez l'exécuter manuellement : DELETE FROM CPMAIN WHERE CPMAIN_ID=:valeur_ID\r\n\rErreur : ligne protégée"));
    }

    void identifierCounters()
    {
        PracticeFixture f;
        f.insert(QStringLiteral("ID_VALUES"), {{QStringLiteral("KEY_NAME"), QStringLiteral("MEDECINS_ID")}, {QStringLiteral("LAST_VALUE"), 10}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        auto counter = [&](const QString &k) { return f.scalar(QStringLiteral("SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME='%1'").arg(k)); };
        s->AjusterIDValues(QStringLiteral("MEDECINS_ID"), 7, false);
        QCOMPARE(counter(QStringLiteral("MEDECINS_ID")).toInt(), 10);
        s->AjusterIDValues(QStringLiteral("MEDECINS_ID"), 10, false);
        QCOMPARE(counter(QStringLiteral("MEDECINS_ID")).toInt(), 10);
        s->AjusterIDValues(QStringLiteral("medecins_id"), 12, false);   // searched in upper case
        QCOMPARE(counter(QStringLiteral("MEDECINS_ID")).toInt(), 12);
        s->AjusterIDValues(QStringLiteral("MEDECINS_ID"), 5, true);
        QCOMPARE(counter(QStringLiteral("MEDECINS_ID")).toInt(), 5);
        s->AjusterIDValues(QStringLiteral("Nouvelle_Cle"), 3, false);
        QCOMPARE(counter(QStringLiteral("Nouvelle_Cle")).toInt(), 3);   // stored as passed
        f.exec(QStringLiteral("DROP TABLE ID_VALUES"));
        QVERIFY_THROWS_EXCEPTION(db::DbError, s->AjusterIDValues(QStringLiteral("MEDECINS_ID"), 1, false));
    }

    void amountTexts()
    {
        ScriptedInteraction ui;
        Session s(ui);
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 12.5), QStringLiteral("12,50 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 12), QStringLiteral("12 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 1.239), QStringLiteral("1,24 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 100.1), QStringLiteral("100,10 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("FRF"), 10), QStringLiteral("65,60 FRF"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), -12.5), QStringLiteral("-12,5 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 0.005), QStringLiteral("0,01 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 0.004), QStringLiteral("0 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("eur"), 2.25), QStringLiteral("2,25 eur"));   // only "FRF" converts
    }

    void actTexts()
    {
        PracticeFixture f;
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 1}, {QStringLiteral("CodeActe1"), QStringLiteral("C")}, {QStringLiteral("Montant1"), 20.0}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 2}, {QStringLiteral("CodeActe1"), QStringLiteral("C")}, {QStringLiteral("CodeActe4"), QStringLiteral("K")}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 3}, {QStringLiteral("Montant2"), 20.5}, {QStringLiteral("Montant4"), 5.0}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 4}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 5}, {QStringLiteral("CodeActe2"), QStringLiteral("V")}, {QStringLiteral("CodeActe3"), QStringLiteral("K")}, {QStringLiteral("Montant1"), 30.0}, {QStringLiteral("Montant3"), -30.0}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        s->Qry1.clearSql();
        s->Qry1.addLine(QStringLiteral("SELECT * FROM CPMAIN ORDER BY CPMAIN_ID"));
        s->Qry1.open();
        QStringList texts;
        for (; !s->Qry1.eof(); s->Qry1.next())
            texts << s->DecrireActes();
        QCOMPARE(texts, QStringList({QStringLiteral("C pour une valeur de 20€."), QStringLiteral("C + K"),
                                     QStringLiteral(" pour une valeur de 25,5€."), QString(), QStringLiteral("V + K")}));
    }
};

QTEST_GUILESS_MAIN(ServicesTest)
#include "services_test.moc"
