#include "support/Fixture.h"
#include "db/Formats.h"
#include "dialogs/SelectOrg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

// The insurance body dialog, driven through its real widgets.
class SelectOrgTest : public QObject {
    Q_OBJECT

    // keyClicks knows ASCII only: other letters go as key events with their text.
    static void taper(QWidget *w, const QString &texte)
    {
        for (const QChar ch : texte) {
            if (ch.unicode() < 128) {
                QTest::keyClick(w, char(ch.unicode()));
            } else {
                QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
                QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
            }
        }
    }

    // A started practice and the dialog, with QryCPMain left as the check
    // leaves it: on the row of the unknown number, the tag set.
    struct Cas {
        PracticeFixture f;
        ScriptedInteraction ui;
        std::unique_ptr<Session> s;
        std::unique_ptr<TFSelectOrganisme> d;

        void demarrer()
        {
            s = f.start(ui);
            QVERIFY(s);
            d = std::make_unique<TFSelectOrganisme>(*s, nullptr);
        }
        void positionner(int tag, const QString &colonne, int numero)
        {
            s->QryCPMain.clearSql();
            s->QryCPMain.addLine(QStringLiteral("SELECT %1 AS %2").arg(numero).arg(colonne));
            s->QryCPMain.open();
            s->QryCPMain.tag = tag;
        }
        void montrer()
        {
            d->show();
            d->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(d.get()));
        }
        template <class W> W *champ(const char *nom) { return enfant<W>(d.get(), nom); }
        QLineEdit *ligne(const char *nom) { return champ<QLineEdit>(nom); }
        void saisir(const char *nom, const QString &texte)
        {
            QLineEdit *e = ligne(nom);
            e->setFocus();
            e->selectAll();
            QTest::keyClick(e, Qt::Key_Delete);
            taper(e, texte);
        }
        void valider() { QTest::mouseClick(champ<QPushButton>("BtValider"), Qt::LeftButton); }
        QList<QVariantList> caisses()
        {
            return f.rows(QStringLiteral("SELECT CPOrg_ID, Organisme, Nom, Adresse, CP, Ville, Telephone, Fax, Princ, "
                                         "TauxDef, BaseRemb, Comments FROM CPORG ORDER BY CPOrg_ID"));
        }
    };

    static QString lignes(const QString &code, const QString &nom, const QString &adresse, const QString &cp,
                          const QString &ville, const QString &tel, const QString &fax, const QString &taux,
                          const QString &commentaires)
    {
        return QStringLiteral("        - Code : ") + code + QStringLiteral("\r        - Nom : ") + nom
               + QStringLiteral("\r        - Adresse : ") + adresse + QStringLiteral("\r        - CP : ") + cp
               + QStringLiteral("\r        - Ville : ") + ville + QStringLiteral("\r        - Téléphone : ") + tel
               + QStringLiteral("\r        - Fax : ") + fax + QStringLiteral("\r        - Taux de remboursement par défaut : ")
               + taux + QStringLiteral("%\r        - Commentaires : ") + commentaires;
    }

    static const QString &blancs()
    {
        static const QString b(14, QLatin1Char(' '));
        return b;
    }

private slots:
    void showProposesDefaultsByKindOfReference_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("colonne");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("taux");
        QTest::newRow("principale") << 1 << "CPOrg_1_ID"
                                    << "La table comptabilité fait référence à une caisse principale n°45 qui n'existe pas."
                                    << "70";
        QTest::newRow("mutuelle") << 2 << "CPOrg_2_ID"
                                  << "La table comptabilité fait référence à une caisse mutuelle n°45 qui n'existe pas."
                                  << "100";
        QTest::newRow("suivi principale")
            << 3 << "CPOrg_ID"
            << "La table de suivi des tiers payants fait référence à une caisse principale n°45 qui n'existe pas." << "70";
        QTest::newRow("suivi complémentaire")
            << 4 << "CPOrg_ID"
            << "La table de suivi des tiers payants fait référence à une caisse complémentaire n°45 qui n'existe pas."
            << "100";
    }

    void showProposesDefaultsByKindOfReference()
    {
        QFETCH(int, tag);
        QFETCH(QString, colonne);
        QFETCH(QString, situation);
        QFETCH(QString, taux);
        Cas c;
        c.demarrer();
        c.positionner(tag, colonne, 45);
        c.montrer();
        QCOMPARE(c.champ<QLabel>("Label1")->text(), situation);
        QCOMPARE(c.ligne("EDCode")->text(), QStringLiteral("CI_45"));
        QCOMPARE(c.ligne("EdNom")->text(), QStringLiteral("Caisse inconnue n°45"));
        QCOMPARE(c.ligne("EDTauxDef")->text(), taux);
        QCOMPARE(c.ligne("EdCP")->text(), QStringLiteral("CP"));
        QCOMPARE(c.ligne("EDVille")->text(), QStringLiteral("ville"));
        QVERIFY(c.ligne("EDCode")->hasFocus());
    }

    void eachShowResetsTheFieldsButAnUnknownKindKeepsTheRate()
    {
        Cas c;
        c.demarrer();
        c.positionner(2, QStringLiteral("CPOrg_2_ID"), 8);
        c.montrer();
        c.saisir("EDTauxDef", QStringLiteral("55"));
        c.champ<QPlainTextEdit>("EDAdresse")->setPlainText(QStringLiteral("1 rue Haute"));
        c.champ<QPlainTextEdit>("EDComments")->setPlainText(QStringLiteral("note"));
        c.saisir("EDTelephone", QStringLiteral("0102030405"));
        c.saisir("EdCP", QStringLiteral("69000"));
        c.d->hide();

        c.positionner(9, QStringLiteral("CPOrg_ID"), 8);
        c.montrer();
        QCOMPARE(c.champ<QLabel>("Label1")->text(),
                 QStringLiteral("La table comptabilité fait référence à une caisse mutuelle n°8 qui n'existe pas."));
        QCOMPARE(c.ligne("EDCode")->text(), QString());
        QCOMPARE(c.ligne("EdNom")->text(), QString());
        QCOMPARE(c.ligne("EDTauxDef")->text(), QStringLiteral("55"));
        QCOMPARE(c.ligne("EdCP")->text(), QStringLiteral("CP"));
        QCOMPARE(TFSelectOrganisme::texteMasque(c.ligne("EDTelephone")), blancs());
        QVERIFY(c.champ<QPlainTextEdit>("EDAdresse")->toPlainText().isEmpty());
        QVERIFY(c.champ<QPlainTextEdit>("EDComments")->toPlainText().isEmpty());
    }

    void fieldsAreLimitedAndMandatoryOnesRed()
    {
        Cas c;
        c.demarrer();
        c.positionner(1, QStringLiteral("CPOrg_1_ID"), 3);
        c.montrer();
        c.saisir("EDCode", QStringLiteral("ABCDEFGHIJKLMN"));
        QCOMPARE(c.ligne("EDCode")->text(), QStringLiteral("ABCDEFGHIJ"));
        c.saisir("EDTauxDef", QStringLiteral("1234"));
        QCOMPARE(c.ligne("EDTauxDef")->text(), QStringLiteral("123"));
        c.saisir("EdCP", QStringLiteral("690001"));
        QCOMPARE(c.ligne("EdCP")->text(), QStringLiteral("69000"));
        c.saisir("EDVille", QString(30, QLatin1Char('v')));
        QCOMPARE(c.ligne("EDVille")->text(), QString(25, QLatin1Char('v')));
        const QString nom(150, QLatin1Char('n'));
        c.saisir("EdNom", nom);
        QCOMPARE(c.ligne("EdNom")->text(), nom);
        for (const char *obligatoire : {"EDCode", "EdNom", "EDTauxDef"})
            QCOMPARE(c.ligne(obligatoire)->palette().color(QPalette::Base), QColor(255, 179, 179));
        QVERIFY(c.ligne("EDVille")->palette().color(QPalette::Base) != QColor(255, 179, 179));
    }

    void createsTheBodyWithTheDefaultsAndJournalsIt()
    {
        Cas c;
        c.demarrer();
        c.positionner(2, QStringLiteral("CPOrg_2_ID"), 45);
        c.montrer();
        c.valider();
        QCOMPARE(c.d->result(), 1);
        QVERIFY(!c.d->isVisible());
        // Untouched postcode, city and telephones: empty and 14 blanks.
        QCOMPARE(c.caisses(), (QList<QVariantList>{{45, QStringLiteral("CI_45"), QStringLiteral("Caisse inconnue n°45"),
                                                    QString(), QString(), QString(), blancs(), blancs(), 0, 100.0,
                                                    QStringLiteral("Tarif SS"), QString()}}));
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].origine, QStringLiteral("Liste des tiers payant"));
        QVERIFY(j[0].patientId.isNull());
        QVERIFY(j[0].medecinId.isNull());
        QVERIFY(!j[0].date.isValid());
        QCOMPARE(j[0].action, QStringLiteral("Création d'un tiers payant : la comptabilité faisait référence à une caisse n°45 "
                                             "qui n'existait pas.\rLe programme a créé cette caisse avec les données suivantes :\r")
                                  + lignes(QStringLiteral("CI_45"), QStringLiteral("Caisse inconnue n°45"), QString(),
                                           QString(), QString(), blancs(), blancs(), QStringLiteral("100"), QString()));
        QVERIFY(c.s->TableOrganismes.findKey({45}));
        QCOMPARE(c.s->TableOrganismes.fieldByName(QStringLiteral("Nom")).asString(), QStringLiteral("CI_45"));
        QCOMPARE(c.s->TableOrganismes.fieldByName(QStringLiteral("Ville")).asString(), QString());
        QCOMPARE(c.s->TableOrganismes.fieldByName(QStringLiteral("Princ")).asBoolean(), false);
        QVERIFY(c.ui.messages.isEmpty());
    }

    void writesWhatTheUserTyped()
    {
        Cas c;
        c.demarrer();
        c.positionner(3, QStringLiteral("CPOrg_ID"), 7);
        c.montrer();
        c.saisir("EDCode", QStringLiteral("CPAM69"));
        c.saisir("EdNom", QStringLiteral("CPAM du Rhône"));
        c.saisir("EDTauxDef", QStringLiteral("-5"));
        QTest::keyClicks(c.champ<QPlainTextEdit>("EDAdresse"), QStringLiteral("276 cours Emile Zola"));
        QTest::keyClick(c.champ<QPlainTextEdit>("EDAdresse"), Qt::Key_Return);
        QTest::keyClicks(c.champ<QPlainTextEdit>("EDAdresse"), QStringLiteral("BP 12"));
        c.saisir("EdCP", QStringLiteral("69100"));
        c.saisir("EDVille", QStringLiteral("Villeurbanne"));
        c.saisir("EDTelephone", QStringLiteral("0472123456"));
        c.champ<QPlainTextEdit>("EDComments")->setPlainText(QStringLiteral("à rappeler"));
        c.valider();
        QCOMPARE(c.d->result(), 1);
        QCOMPARE(c.caisses(), (QList<QVariantList>{{7, QStringLiteral("CPAM69"), QStringLiteral("CPAM du Rhône"),
                                                    QStringLiteral("276 cours Emile Zola\nBP 12"), QStringLiteral("69100"),
                                                    QStringLiteral("Villeurbanne"), QStringLiteral("04 72 12 34 56"), blancs(),
                                                    1, -5.0, QStringLiteral("Tarif SS"), QStringLiteral("à rappeler")}}));
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 1);
        QVERIFY(j[0].action.endsWith(lignes(QStringLiteral("CPAM69"), QStringLiteral("CPAM du Rhône"),
                                            QStringLiteral("276 cours Emile Zola\nBP 12"), QStringLiteral("69100"),
                                            QStringLiteral("Villeurbanne"), QStringLiteral("04 72 12 34 56"), blancs(),
                                            QStringLiteral("-5"), QStringLiteral("à rappeler"))));
        QVERIFY(c.s->TableOrganismes.findKey({7}));
        QCOMPARE(c.s->TableOrganismes.fieldByName(QStringLiteral("Ville")).asString(), QStringLiteral("Villeurbanne"));
        QCOMPARE(c.s->TableOrganismes.fieldByName(QStringLiteral("Princ")).asBoolean(), true);
    }

    void placeholderWordsAreNotWritten()
    {
        Cas c;
        c.demarrer();
        c.positionner(1, QStringLiteral("CPOrg_1_ID"), 5);
        c.montrer();
        c.saisir("EDVille", QStringLiteral("VILLE"));
        c.saisir("EdCP", QStringLiteral("cp"));
        c.valider();
        QCOMPARE(cpEtVille(c), (QVariantList{QString(), QString()}));
    }

    void enteringThePostcodeOrCityEmptiesIt()
    {
        Cas c;
        c.demarrer();
        c.positionner(1, QStringLiteral("CPOrg_1_ID"), 5);
        c.montrer();
        QLineEdit *cp = c.ligne("EdCP");
        QLineEdit *ville = c.ligne("EDVille");
        QTest::mouseClick(cp, Qt::LeftButton);
        QCOMPARE(cp->text(), QString());
        QTest::keyClicks(cp, QStringLiteral("69001"));
        QTest::keyClick(cp, Qt::Key_Tab);   // into the city: emptied
        QVERIFY(ville->hasFocus());
        QCOMPARE(ville->text(), QString());
        QTest::keyClicks(ville, QStringLiteral("Lyon"));
        QTest::mouseClick(ville, Qt::LeftButton);   // a click while in it
        QCOMPARE(ville->text(), QString());
        QTest::mouseClick(cp, Qt::LeftButton);   // back into a typed postcode
        QCOMPARE(cp->text(), QString());
    }

    void enterMovesFromCodeToNameToTheButtonOnly()
    {
        Cas c;
        c.demarrer();
        c.positionner(1, QStringLiteral("CPOrg_1_ID"), 5);
        c.montrer();
        QTest::keyClick(c.ligne("EDCode"), Qt::Key_Return);
        QVERIFY(c.ligne("EdNom")->hasFocus());
        QTest::keyClick(c.ligne("EdNom"), Qt::Key_Return);
        QVERIFY(c.champ<QPushButton>("BtValider")->hasFocus());
        // Enter in another field creates nothing.
        c.ligne("EDTauxDef")->setFocus();
        QTest::keyClick(c.ligne("EDTauxDef"), Qt::Key_Return);
        QVERIFY(c.d->isVisible());
        QCOMPARE(c.f.scalar(QStringLiteral("SELECT count(*) FROM CPORG")).toInt(), 0);
        // On the button it does.
        c.champ<QPushButton>("BtValider")->setFocus();
        QTest::keyClick(c.champ<QPushButton>("BtValider"), Qt::Key_Return);
        QVERIFY(!c.d->isVisible());
        QCOMPARE(c.f.scalar(QStringLiteral("SELECT count(*) FROM CPORG")).toInt(), 1);
    }

    void validationStopsAtTheFirstMissingField()
    {
        Cas c;
        c.demarrer();
        c.positionner(1, QStringLiteral("CPOrg_1_ID"), 5);
        c.montrer();
        const QString code = QStringLiteral("Veuillez compléter le champ 'code'.");
        const QString nom = QStringLiteral("Veuillez compléter le champ 'nom'.");
        const QString taux = QStringLiteral("Veuillez compléter le champ 'taux de remboursement par défaut'.");
        c.saisir("EDCode", QString());
        c.saisir("EdNom", QString());
        c.saisir("EDTauxDef", QString());
        c.valider();
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(c.ui.messages[0].text, code);
        QVERIFY(c.ligne("EDCode")->hasFocus());

        c.saisir("EDCode", QString(10, QLatin1Char(' ')));   // blanks are a code
        c.valider();
        QCOMPARE(c.ui.messages.last().text, nom);
        QVERIFY(c.ligne("EdNom")->hasFocus());

        c.saisir("EdNom", QStringLiteral("Mutuelle"));
        for (const QString &refuse : {QString(), QStringLiteral("7,5"), QStringLiteral("7.5"), QStringLiteral("abc")}) {
            c.saisir("EDTauxDef", refuse);
            const int avant = c.ui.messages.size();
            c.valider();
            QCOMPARE(c.ui.messages.size(), avant + 1);
            QCOMPARE(c.ui.messages.last().text, taux);
            QVERIFY(c.ligne("EDTauxDef")->hasFocus());
        }
        QVERIFY(c.d->isVisible());
        QCOMPARE(c.f.scalar(QStringLiteral("SELECT count(*) FROM CPORG")).toInt(), 0);
        QCOMPARE(PracticeFixture::journal(*c.s).size(), 0);

        c.saisir("EDTauxDef", QStringLiteral("0"));
        c.valider();
        QCOMPARE(c.d->result(), 1);
        QCOMPARE(c.f.rows(QStringLiteral("SELECT Organisme, TauxDef FROM CPORG")),
                 (QList<QVariantList>{{QString(10, QLatin1Char(' ')), 0.0}}));
    }

    void aPartlyFilledTelephoneIsRefusedOnLeaving()
    {
        Cas c;
        c.demarrer();
        c.positionner(1, QStringLiteral("CPOrg_1_ID"), 5);
        c.montrer();
        const QString refus = QStringLiteral("Valeur d'entrée incorrecte. Utiliser Echap pour abandonner les modifications");
        QLineEdit *tel = c.ligne("EDTelephone");
        QLineEdit *fax = c.ligne("EDFax");

        // Passing through untouched is accepted.
        tel->setFocus();
        QTest::keyClick(tel, Qt::Key_Tab);
        QVERIFY(fax->hasFocus());
        QVERIFY(c.ui.messages.isEmpty());

        tel->setFocus();
        QTest::keyClicks(tel, QStringLiteral("0472"));
        QTest::keyClick(tel, Qt::Key_Tab);
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(c.ui.messages[0].text, refus);
        QVERIFY(tel->hasFocus());
        // Nor can the button write it.
        c.valider();
        QVERIFY(c.d->isVisible());
        QCOMPARE(c.ui.messages.last().text, refus);
        QCOMPARE(c.f.scalar(QStringLiteral("SELECT count(*) FROM CPORG")).toInt(), 0);

        // Escape gives back the text the field had, and the dialog stays.
        QTest::keyClick(tel, Qt::Key_Escape);
        QCOMPARE(TFSelectOrganisme::texteMasque(tel), blancs());
        QVERIFY(c.d->isVisible());
        const int avant = c.ui.messages.size();
        QTest::keyClick(tel, Qt::Key_Tab);
        QCOMPARE(c.ui.messages.size(), avant);
        QVERIFY(fax->hasFocus());

        QTest::keyClicks(fax, QStringLiteral("0472123456"));
        QTest::keyClick(fax, Qt::Key_Tab);
        QCOMPARE(c.ui.messages.size(), avant);
        c.valider();
        QCOMPARE(c.f.rows(QStringLiteral("SELECT Telephone, Fax FROM CPORG")),
                 (QList<QVariantList>{{blancs(), QStringLiteral("04 72 12 34 56")}}));
    }

    // A number typed and then rubbed out is a change that fills no digit;
    // the next case starts with both fields untouched again.
    void aTelephoneTypedThenRubbedOutIsRefused()
    {
        Cas c;
        c.demarrer();
        c.positionner(1, QStringLiteral("CPOrg_1_ID"), 5);
        c.montrer();
        QLineEdit *tel = c.ligne("EDTelephone");
        QLineEdit *fax = c.ligne("EDFax");
        tel->setFocus();
        QTest::keyClicks(tel, QStringLiteral("04"));
        QTest::keyClick(tel, Qt::Key_Backspace);
        QTest::keyClick(tel, Qt::Key_Backspace);
        QCOMPARE(TFSelectOrganisme::texteMasque(tel), blancs());
        QTest::keyClick(tel, Qt::Key_Tab);
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].text, QStringLiteral("Valeur d'entrée incorrecte. Utiliser Echap pour abandonner les modifications"));
        QVERIFY(tel->hasFocus());
        QTest::keyClick(tel, Qt::Key_Escape);
        QTest::keyClick(tel, Qt::Key_Tab);
        QCOMPARE(c.ui.messages.size(), 1);
        QVERIFY(fax->hasFocus());

        c.saisir("EDFax", QStringLiteral("0472123456"));
        QTest::keyClick(fax, Qt::Key_Tab);
        c.valider();
        QCOMPARE(c.f.scalar(QStringLiteral("SELECT count(*) FROM CPORG")).toInt(), 1);
        QCOMPARE(c.ui.messages.size(), 1);

        c.positionner(1, QStringLiteral("CPOrg_1_ID"), 6);
        c.montrer();
        fax->setFocus();
        QTest::keyClick(fax, Qt::Key_Tab);
        c.valider();
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.f.rows(QStringLiteral("SELECT CPOrg_ID, Telephone, Fax FROM CPORG ORDER BY CPOrg_ID")),
                 (QList<QVariantList>{{5, blancs(), QStringLiteral("04 72 12 34 56")}, {6, blancs(), blancs()}}));
    }

    void theDialogCannotBeCancelled()
    {
        Cas c;
        c.demarrer();
        c.positionner(1, QStringLiteral("CPOrg_1_ID"), 5);
        c.montrer();
        QTest::keyClick(c.ligne("EDCode"), Qt::Key_Escape);
        QVERIFY(c.d->isVisible());
        c.d->close();
        QVERIFY(c.d->isVisible());
        QVERIFY(!(c.d->windowFlags() & Qt::WindowCloseButtonHint));
    }

    void failedInsertClosesWithoutMessage()
    {
        Cas c;
        c.f.exec(QStringLiteral("CREATE TRIGGER refus BEFORE INSERT ON CPORG WHEN NEW.CPOrg_ID=45 "
                                "BEGIN SELECT RAISE(ABORT,'caisse refusée'); END"));
        c.demarrer();
        c.positionner(4, QStringLiteral("CPOrg_ID"), 45);
        c.montrer();
        c.saisir("EDVille", QStringLiteral("Lyon"));
        c.valider();
        QCOMPARE(c.d->result(), 7);
        QVERIFY(!c.d->isVisible());
        QVERIFY(c.ui.messages.isEmpty());
        // The failure row lists the fields as the dialog gave them.
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].action, QStringLiteral("Création d'un tiers payant : la comptabilité référence une caisse n°45 qui "
                                             "n'existe pas.\rLe programme n'est pas parvenu à créer cette caisse avec les "
                                             "données suivantes :\r")
                                  + lignes(QStringLiteral("CI_45"), QStringLiteral("Caisse inconnue n°45"), QString(),
                                           QString(), QStringLiteral("Lyon"), blancs(), blancs(), QStringLiteral("100"),
                                           QString())
                                  + QStringLiteral("\r\rCette caisse devra être créée manuellement.\rErreur : caisse refusée"));

        // The same dialog goes on with the next body.
        c.positionner(4, QStringLiteral("CPOrg_ID"), 46);
        c.montrer();
        c.valider();
        QCOMPARE(c.d->result(), 1);
        QCOMPARE(c.f.scalar(QStringLiteral("SELECT count(*) FROM CPORG WHERE CPOrg_ID=46")).toInt(), 1);
    }

    void patientsListFollowsTheKindOfReference()
    {
        Cas c;
        auto patient = [&](int id, const char *nom, const char *prenom, const QVariant &ne) {
            c.f.insert(QStringLiteral("PATIENTS"), {{QStringLiteral("PATIENTS_ID"), id},
                                                    {QStringLiteral("NOM"), QString::fromUtf8(nom)},
                                                    {QStringLiteral("PRENOM"), QString::fromUtf8(prenom)},
                                                    {QStringLiteral("N_OMON"), QString::fromUtf8(nom).left(1) + QStringLiteral("%1").arg(id, 6, 10, QLatin1Char('0'))},
                                                    {QStringLiteral("NE_LE"), ne}});
        };
        auto recette = [&](int id, int patientId, const QVariant &org1, const QVariant &org2) {
            c.f.insert(QStringLiteral("CPMAIN"), {{QStringLiteral("CPMAIN_ID"), id},
                                                  {QStringLiteral("PATIENTS_ID"), patientId},
                                                  {QStringLiteral("CPOrg_1_ID"), org1},
                                                  {QStringLiteral("CPOrg_2_ID"), org2}});
        };
        patient(1, "Martin", "Paul", QDate(1970, 3, 14));
        patient(2, "élie", "Anne", QVariant());
        patient(3, "Durand", "Zoé", QDate(1985, 11, 2));
        recette(1, 1, 60, 61);
        recette(2, 1, 60, QVariant());
        recette(3, 3, 60, QVariant());
        recette(4, 2, QVariant(), 60);
        recette(5, 9, 60, QVariant());   // unknown patient: not listed
        c.demarrer();
        QToolButton *liste = c.champ<QToolButton>("SBListe");
        QCOMPARE(liste->toolTip(), QStringLiteral("Liste des patients concernés"));

        c.positionner(3, QStringLiteral("CPOrg_ID"), 60);
        c.montrer();
        QTest::mouseClick(liste, Qt::LeftButton);
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Information);
        QCOMPARE(c.ui.messages[0].text, QStringLiteral("(D000003) DURAND Zoé - 11/02/1985\r(M000001) MARTIN Paul - 03/14/1970"));
        QVERIFY(c.d->isVisible());

        c.positionner(4, QStringLiteral("CPOrg_ID"), 60);
        QTest::mouseClick(liste, Qt::LeftButton);
        QCOMPARE(c.ui.messages.last().text, QStringLiteral("(é000002) éLIE Anne - "));

        c.positionner(2, QStringLiteral("CPOrg_2_ID"), 99);
        QTest::mouseClick(liste, Qt::LeftButton);
        QCOMPARE(c.ui.messages.last().kind, Boite::Information);
        QCOMPARE(c.ui.messages.last().text, QString());
    }

private:
    static QVariantList cpEtVille(Cas &c)
    {
        const auto r = c.f.rows(QStringLiteral("SELECT CP, Ville FROM CPORG"));
        return r.isEmpty() ? QVariantList() : r[0];
    }
};

QTEST_MAIN(SelectOrgTest)
#include "selectorg_test.moc"
