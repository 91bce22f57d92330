#include "support/Fixture.h"
#include "checks/CreationCaisse.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kBlancs(14, QLatin1Char(' '));

QString lignes(const SaisieCaisse &c)
{
    return u"        - Code : "_s + c.code + u"\r        - Nom : "_s + c.nom + u"\r        - Adresse : "_s + c.adresse
           + u"\r        - CP : "_s + c.cp + u"\r        - Ville : "_s + c.ville + u"\r        - Téléphone : "_s + c.telephone
           + u"\r        - Fax : "_s + c.fax + u"\r        - Taux de remboursement par défaut : "_s + c.taux
           + u"%\r        - Commentaires : "_s + c.commentaires;
}

const SaisieCaisse kSaisie{u"CPAM69"_s,      u"CPAM du Rhône"_s, u"276 cours Emile Zola\nBP 12"_s,
                           u"69100"_s,       u"Villeurbanne"_s,  u"04 72 12 34 56"_s,
                           kBlancs,          u"-5"_s,            u"à rappeler"_s};

// A started practice with QryCPMain left as the unknown-body phase leaves it.
struct Cas {
    PracticeFixture f;
    ScriptedInteraction ui;
    std::unique_ptr<Session> s;

    bool demarrer(int tag, const QString &colonne, int numero)
    {
        s = f.start(ui);
        if (!s)
            return false;
        s->QryCPMain.clearSql();
        s->QryCPMain.addLine(u"SELECT %1 AS %2"_s.arg(numero).arg(colonne));
        s->QryCPMain.open();
        s->QryCPMain.tag = tag;
        return true;
    }
};

} // namespace

// The creation of a missing insurance body, driven without its dialog.
class CreationCaisseTest : public QObject {
    Q_OBJECT

private slots:
    void createdAsEnteredAndJournalled_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("colonne");
        QTest::addColumn<bool>("principale");
        QTest::newRow("principale") << 1 << "CPOrg_1_ID" << true;
        QTest::newRow("mutuelle") << 2 << "CPOrg_2_ID" << false;
        QTest::newRow("suivi principale") << 3 << "CPOrg_ID" << true;
        QTest::newRow("suivi complémentaire") << 4 << "CPOrg_ID" << false;
    }

    void createdAsEnteredAndJournalled()
    {
        QFETCH(int, tag);
        QFETCH(QString, colonne);
        QFETCH(bool, principale);
        Cas c;
        QVERIFY(c.demarrer(tag, colonne, 7));
        QVERIFY(CreationCaisse(*c.s).CreerCaisse(kSaisie));
        QCOMPARE(c.f.rows(u"SELECT CPOrg_ID, Organisme, Nom, Adresse, CP, Ville, Telephone, Fax, Princ, TauxDef, BaseRemb, "
                          "Comments FROM CPORG"_s),
                 (QList<QVariantList>{{7, u"CPAM69"_s, u"CPAM du Rhône"_s, u"276 cours Emile Zola\nBP 12"_s, u"69100"_s,
                                       u"Villeurbanne"_s, u"04 72 12 34 56"_s, kBlancs, principale ? 1 : 0, -5.0,
                                       u"Tarif SS"_s, u"à rappeler"_s}}));
        // The work table receives the code as its name, for the later checks.
        QVERIFY(c.s->TableOrganismes.findKey({7}));
        QCOMPARE(c.s->TableOrganismes.fieldByName(u"Nom"_s).asString(), u"CPAM69"_s);
        QCOMPARE(c.s->TableOrganismes.fieldByName(u"Ville"_s).asString(), u"Villeurbanne"_s);
        QCOMPARE(c.s->TableOrganismes.fieldByName(u"Princ"_s).asBoolean(), principale);
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].origine, u"Liste des tiers payant"_s);
        QVERIFY(j[0].patientId.isNull());
        QVERIFY(j[0].medecinId.isNull());
        QVERIFY(!j[0].date.isValid());
        QCOMPARE(j[0].action, u"Création d'un tiers payant : la comptabilité faisait référence à une caisse n°7 qui "
                              "n'existait pas.\rLe programme a créé cette caisse avec les données suivantes :\r"_s
                                  + lignes(kSaisie));
        QVERIFY(c.ui.messages.isEmpty());
    }

    void aRefusedBodyIsLeftToBeCreatedByHand()
    {
        Cas c;
        c.f.exec(u"CREATE TRIGGER refus BEFORE INSERT ON CPORG BEGIN SELECT RAISE(ABORT,'caisse refusée'); END"_s);
        QVERIFY(c.demarrer(4, u"CPOrg_ID"_s, 45));
        QVERIFY(!CreationCaisse(*c.s).CreerCaisse(kSaisie));
        QCOMPARE(c.f.scalar(u"SELECT count(*) FROM CPORG"_s).toInt(), 0);
        QVERIFY(!c.s->TableOrganismes.findKey({45}));
        QVERIFY(c.ui.messages.isEmpty());
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 1);
        QCOMPARE(j[0].niveau, 1);
        QCOMPARE(j[0].origine, u"Liste des tiers payant"_s);
        QCOMPARE(j[0].action, u"Création d'un tiers payant : la comptabilité référence une caisse n°45 qui n'existe pas.\r"
                              "Le programme n'est pas parvenu à créer cette caisse avec les données suivantes :\r"_s
                                  + lignes(kSaisie)
                                  + u"\r\rCette caisse devra être créée manuellement.\rErreur : caisse refusée"_s);
    }

    // The body is in CPORG but its copy is refused: both rows are journalled,
    // and the work table takes the next body.
    void aRefusedCopyIsAFailureToo()
    {
        Cas c;
        // The snapshot already holds 12, which CPORG no longer has.
        c.f.insert(u"CPORG"_s, {{u"CPOrg_ID"_s, 12}, {u"Nom"_s, u"Ancienne"_s}});
        QVERIFY(c.demarrer(1, u"CPOrg_1_ID"_s, 12));
        c.f.exec(u"DELETE FROM CPORG"_s);
        CreationCaisse creation(*c.s);
        QVERIFY(!creation.CreerCaisse(kSaisie));
        const auto j = PracticeFixture::journal(*c.s);
        QCOMPARE(j.size(), 2);
        QVERIFY(j[0].action.startsWith(u"Création d'un tiers payant : la comptabilité faisait référence"_s));
        QVERIFY(j[1].action.startsWith(u"Création d'un tiers payant : la comptabilité référence une caisse n°12"_s));
        QVERIFY(!c.s->TableOrganismes.editing());
        c.s->QryCPMain.setSql(u"SELECT 13 AS CPOrg_1_ID"_s);
        c.s->QryCPMain.open();
        QVERIFY(creation.CreerCaisse(kSaisie));
        QVERIFY(c.s->TableOrganismes.findKey({13}));
    }

    // With neither the body nor its journal row, the failure is shown.
    void aFailureTheJournalRefusesIsShown()
    {
        Cas c;
        c.f.exec(u"CREATE TRIGGER refus BEFORE INSERT ON CPORG BEGIN SELECT RAISE(ABORT,'caisse refusée'); END"_s);
        QVERIFY(c.demarrer(2, u"CPOrg_2_ID"_s, 45));
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"journal"_s);
            d.setDatabaseName(c.f.prive + u"/Aldurix3.DB"_s);
            QVERIFY(d.open());
            QVERIFY(QSqlQuery(d).exec(u"CREATE TRIGGER plein BEFORE INSERT ON Aldurix3 BEGIN SELECT RAISE(ABORT,'journal plein'); END"_s));
        }
        QSqlDatabase::removeDatabase(u"journal"_s);
        QVERIFY(!CreationCaisse(*c.s).CreerCaisse(kSaisie));
        QCOMPARE(c.ui.messages.size(), 1);
        QCOMPARE(c.ui.messages[0].kind, Boite::Erreur);
        QVERIFY(c.ui.messages[0].text.startsWith(u"Création d'un tiers payant : la comptabilité référence une caisse n°45"_s));
        QVERIFY(c.ui.messages[0].text.endsWith(u"Cette caisse devra être créée manuellement.\rErreur : caisse refusée\r"
                                               "Erreur : journal plein"_s));
        QVERIFY(!c.s->TableResultats.editing());
    }
};

QTEST_MAIN(CreationCaisseTest)
#include "creationcaisse_test.moc"
