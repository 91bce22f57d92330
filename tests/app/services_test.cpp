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
        // A third decimal of 4 never goes up (binary 2.4 is a hair above 2.4).
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 5.024), QStringLiteral("5,02 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("FRF"), 0.08), QStringLiteral("0,52 FRF"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 12.995), QStringLiteral("13 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 0.1 + 0.2), QStringLiteral("0,30 EUR"));
        QCOMPARE(s.RenvoyerMontant(QStringLiteral("EUR"), 1e300), QStringLiteral("1e+300 EUR"));
    }

    // Every amount from -200 to 200 by thousandths, against the rule worked
    // out on integers: cut after the third decimal, rounded on it upward for a
    // positive amount, cut toward zero for a negative one.
    void amountTextsSweep()
    {
        ScriptedInteraction ui;
        Session s(ui);
        auto texte = [](qint64 centimes) {
            const qint64 a = qAbs(centimes);
            QString t = QString::number(a / 100);
            if (a % 100 != 0) {
                QString d = QStringLiteral("%1").arg(a % 100, 2, 10, QLatin1Char('0'));
                if (d.endsWith(QLatin1Char('0')))
                    d.chop(1);
                t += QLatin1Char(',') + d;
            }
            return centimes < 0 ? QLatin1Char('-') + t : t;
        };
        // p: the exact amount in units of 10^-decimals.
        auto attendu = [&](qint64 p, qint64 parUnite, const QString &monnaie) {
            const qint64 entier = p / parUnite;
            const qint64 milliemes = (p % parUnite) / (parUnite / 1000);
            qint64 centimes = milliemes / 10;
            if (milliemes % 10 >= 5)
                ++centimes;
            const bool uneDecimale = centimes > 0 && centimes < 100 && centimes % 10 == 0;
            return texte(entier * 100 + centimes) + (uneDecimale ? QStringLiteral("0 ") : QStringLiteral(" ")) + monnaie;
        };
        int erreurs = 0;
        for (qint64 k = -200000; k <= 200000; ++k) {
            const double montant = double(k) / 1000.0;
            const QString eur = s.RenvoyerMontant(QStringLiteral("EUR"), montant);
            const QString frf = s.RenvoyerMontant(QStringLiteral("FRF"), montant);
            // In francs: k thousandths times 655957 hundred-thousandths.
            const QString eurAttendu = attendu(k, 1000, QStringLiteral("EUR"));
            const QString frfAttendu = attendu(k * 655957, 100000000, QStringLiteral("FRF"));
            if ((eur != eurAttendu || frf != frfAttendu) && ++erreurs <= 5)
                qWarning("%s: %s / %s, attendu %s / %s", qPrintable(QString::number(montant, 'f', 3)), qPrintable(eur),
                         qPrintable(frf), qPrintable(eurAttendu), qPrintable(frfAttendu));
        }
        QCOMPARE(erreurs, 0);
    }

    void exactDecimals()
    {
        using db::Decimal;
        const Decimal tiers = *Decimal::fromDouble(0.1) + *Decimal::fromDouble(0.2);
        QCOMPARE(tiers, *Decimal::fromDouble(0.3));
        QCOMPARE(tiers.toDouble(), 0.3);
        QCOMPARE((*Decimal::fromDouble(10.01) - *Decimal::fromDouble(10.00)), Decimal::fromUnits(1, 2));
        // A stored sum of binary leftovers reads as what was meant.
        QCOMPARE(Decimal::fromDouble(0.1 + 0.2)->toText(), QStringLiteral("0,3"));
        QCOMPARE(Decimal::fromUnits(-12345, 3).toText(), QStringLiteral("-12,345"));
        QCOMPARE(Decimal::fromDouble(999999999.9999999999)->toText(), QStringLiteral("1000000000"));
        QCOMPARE(Decimal::fromDouble(1e-7)->toText(), QStringLiteral("0,0000001"));
        QCOMPARE(Decimal::fromDouble(1.5e18), std::nullopt);   // beyond any amount
        QCOMPARE(Decimal::fromDouble(std::nan("")), std::nullopt);
        // FRF conversion is cut toward zero, on both signs.
        QCOMPARE(Decimal::fromUnits(8, 2).multipliedBy(655957, 5), Decimal::fromUnits(5247656, 7));
        QCOMPARE(Decimal::fromUnits(-8, 2).multipliedBy(655957, 5), Decimal::fromUnits(-5247656, 7));
        QCOMPARE(Decimal::fromUnits(-5247656, 7).integerPart(), 0);
        QCOMPARE(Decimal::fromUnits(-5247656, 7).fractionDigits(3), -524);
        // A binary leftover is no payment; a millionth is one.
        QVERIFY(!db::montantPositif(0.3 - (0.1 + 0.2) + 1e-16));
        QVERIFY(db::montantPositif(0.000001));
        QVERIFY(!db::montantPositif(-5));
    }

    void actTexts()
    {
        PracticeFixture f;
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 1}, {QStringLiteral("CodeActe1"), QStringLiteral("C")}, {QStringLiteral("Montant1"), 20.0}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 2}, {QStringLiteral("CodeActe1"), QStringLiteral("C")}, {QStringLiteral("CodeActe4"), QStringLiteral("K")}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 3}, {QStringLiteral("Montant2"), 20.5}, {QStringLiteral("Montant4"), 5.0}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 4}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 5}, {QStringLiteral("CodeActe2"), QStringLiteral("V")}, {QStringLiteral("CodeActe3"), QStringLiteral("K")}, {QStringLiteral("Montant1"), 30.0}, {QStringLiteral("Montant3"), -30.0}});
        // Totals are summed on the decimal digits: no binary leftover.
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 6}, {QStringLiteral("Montant1"), 0.1}, {QStringLiteral("Montant2"), 0.2}, {QStringLiteral("Montant3"), -0.3}});
        f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), 7}, {QStringLiteral("Montant1"), 10.1}, {QStringLiteral("Montant2"), 20.2}});
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
                                     QStringLiteral(" pour une valeur de 25,5€."), QString(), QStringLiteral("V + K"),
                                     QString(), QStringLiteral(" pour une valeur de 30,3€.")}));
    }
};

QTEST_GUILESS_MAIN(ServicesTest)
#include "services_test.moc"
