#include "support/Fixture.h"
#include "checks/CheckRun.h"
#include "db/Backend.h"
#include "db/Formats.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

// Engine failures on every driver. The backend's switch fails one statement
// of a phase, as the engine would (a locked record, a lost server), on a
// SQLite practice and on the same practice turned into Paradox tables: a
// guarded repair's failure becomes its journal row and the phase goes on; a
// failure no phase guards ends the run in order.
namespace {

struct Ligne {
    int niveau;
    QString action;   // "%1" stands for the engine's message
};

// What a phase changed, read back through the session's own connection:
// the rows of a statement, fields joined by ":" and rows by ",".
struct Controle {
    QString sql;
    QString attendu;
};

struct Reparation {
    QString nom;
    void (*preparer)(PracticeFixture &);
    void (CheckRun::*phase)();
    int k;   // the failing statement, counted from the phase's start
    QList<Ligne> journal;
    Controle controle;
};

struct Interruption {
    QString nom;
    QString annonce;   // the progress text of the phase in which the switch is armed
    int k;             // counted from that announcement
    int lignesOffertes;
    QList<Controle> controles;
};

void recette(PracticeFixture &f, int id, QVariantMap autres = {})
{
    autres.insert(u"CPMAIN_ID"_s, id);
    autres.insert(u"PATIENTS_ID"_s, 1);
    if (!autres.contains(u"MEDECINS_ID"_s))
        autres.insert(u"MEDECINS_ID"_s, 1);
    if (!autres.contains(u"DATE_CONSULTATION"_s))
        autres.insert(u"DATE_CONSULTATION"_s, QDateTime(QDate(2024, 1, 10), QTime(0, 0)));
    f.insert(u"CPMAIN"_s, autres);
}

void patient(PracticeFixture &f, int id, const QString &nom, const QString &prenom, const QString &numero)
{
    f.insert(u"PATIENTS"_s, {{u"PATIENTS_ID"_s, id}, {u"NOM"_s, nom}, {u"PRENOM"_s, prenom}, {u"N_OMON"_s, numero},
                             {u"MEDECINS_ID"_s, 1}});
}

void medecin(PracticeFixture &f)
{
    f.insert(u"MEDECINS"_s, {{u"MEDECINS_ID"_s, 1}, {u"MEDECINS_COMPTABLE_ID"_s, 1}, {u"NOM"_s, u"Dr"_s}, {u"PRENOM"_s, u"X"_s}});
}

const QString kVentilations = u"Ventilation du suivi des règlements des tiers payants : la table CPGest contient des "
                              "enregistrements faisant référence à un relevé de tiers payant inexistant dans la table "
                              "CPOrdPay. Actions menées :\r"_s;

QList<Reparation> reparations()
{
    return {
        {u"UPDATE du parcours des patients (phase 1)"_s,
         [](PracticeFixture &f) {
             medecin(f);
             patient(f, 1, u"Durand"_s, u"Jean"_s, u"X"_s);
             patient(f, 2, u"Martin"_s, u"Léa"_s, u"Y"_s);
         },
         &CheckRun::VerifierNumerotation,
         1,   // the correction of patient 1
         {{1, u"Liste des patients : le champ N_OMON de la table PATIENTS, pour le dossier de Jean Durand (n°1) "
              "indique X alors qu'il devrait être D000001\rLe programme n'est pas parvenu à corriger cette valeur "
              "pour la raison suivante : %1"_s},
          {3, u"Liste des patients : le champ N_OMON de la table PATIENTS a été corrigé pour 1 dossiers."_s}},
         {u"SELECT PATIENTS_ID, N_OMON FROM PATIENTS ORDER BY PATIENTS_ID"_s, u"1:X,2:M000002"_s}},

        {u"DELETE des ventilations orphelines (phase 7)"_s,
         [](PracticeFixture &f) {
             const QList<QVariantList> lignes = {{20, 100, 12.5}, {21, 101, 30}, {22, 102, 7.5}};
             for (const QVariantList &l : lignes)
                 f.insert(u"CPGEST"_s, {{u"CPGest_ID"_s, l[0]}, {u"CPOrdpay_ID"_s, 5}, {u"CPMain_ID"_s, l[1]},
                                        {u"Montant"_s, l[2]}});
         },
         &CheckRun::SupprimerVentilationsOrphelines,
         4,   // the statements, the lines of statement 5, then line 20, 21...
         {{2, kVentilations
                  + u"   - suppression de l'enregistrement n°20 d'un montant de 12,50 EUR et faisant référence à "
                    "l'enregistrement n°100 de la table de la comptabilité (CPMAIN)\r"
                    "   - le programme n'est pas parvenu à supprimer l'enregistrement n°21 d'un montant de 30 EUR et "
                    "faisant référence à l'enregistrement n°101 de la table de la comptabilité (CPMAIN). Vous devez "
                    "effectuer cette suppression manuellement.\rL'erreur rencontrée est : %1"
                    "   - suppression de l'enregistrement n°22 d'un montant de 7,50 EUR et faisant référence à "
                    "l'enregistrement n°102 de la table de la comptabilité (CPMAIN)\r"_s}},
         {u"SELECT CPGest_ID FROM CPGEST ORDER BY CPGest_ID"_s, u"21"_s}},

        {u"UPDATE des FSE inconnues (phase 8)"_s,
         [](PracticeFixture &f) {
             f.insert(u"CPSVFACT"_s, {{u"CPSVFact_ID"_s, 1}});
             recette(f, 2, {{u"Montant1"_s, 1}, {u"CPSVFact_ID"_s, 5}});
             recette(f, 3, {{u"Montant1"_s, 1}, {u"CPSVFact_ID"_s, 5}});
             recette(f, 4, {{u"Montant1"_s, 1}, {u"CPSVFact_ID"_s, 1}});
         },
         &CheckRun::AnnulerFSEInconnues,
         3,   // the records, the count for record 2, its clearing
         {{2, u"FSE inconnue : l'enregistrement n°2 indique une FSE inconnue dans CPSVFact. Le programme n'est pas "
              "parvenu à annuler cette information avec pour la raison suivante :%1"_s},
          {3, u"FSE inconnues : 1 enregistrements de CPMAin mentionnaient des FSE inexistantes dans CPSVFact. Cette "
              "information a été annulée."_s}},
         {u"SELECT CPMAIN_ID, CPSVFact_ID FROM CPMAIN ORDER BY CPMAIN_ID"_s, u"2:5,3:,4:1"_s}},

        {u"INSERT des transferts inconnus (phase 12)"_s,
         [](PracticeFixture &f) {
             recette(f, 1, {{u"CPTrans_ID"_s, 7}, {u"MEDECINS_ID"_s, 2},
                            {u"DATE_CONSULTATION"_s, QDateTime(QDate(2023, 5, 4), QTime(15, 30))}});
             recette(f, 2, {{u"CPTrans_ID"_s, 9}, {u"MEDECINS_ID"_s, 4},
                            {u"DATE_CONSULTATION"_s, QDateTime(QDate(2023, 1, 1), QTime(0, 0))}});
         },
         &CheckRun::CreerTransfertsInconnus,
         4,   // the transfers, the date and the physician of 7, its creation
         {{1, u"Transfert AG2035 inconnu : le programme n'est pas parvenu à créer le transfert AG2035 n°7 trouvé à "
              "partir des données de la table de comptabilité (CPMAIN). Ce transfert est daté au 05/04/2023.\r"
              "Erreur : %1\rIl doit être créé manuellement."_s},
          {2, u"Transfert AG2035 inconnu : le programme a créé le transfert AG2035 n°9 à partir des données de la "
              "table de comptabilité (CPMAIN). Ce transfert est daté au 01/01/2023. "_s}},
         {u"SELECT CPTrans_ID, Medecins_ID FROM CPTRANS ORDER BY CPTrans_ID"_s, u"9:4"_s}},
    };
}

// The run's practice: phase 1 corrects a file number, phase 5 deletes an
// empty record, phase 8 would clear an unknown care sheet.
void pratiqueDuRun(PracticeFixture &f)
{
    medecin(f);
    patient(f, 1, u"Durand"_s, u"Jean"_s, u"X"_s);
    recette(f, 1);
    recette(f, 2, {{u"Montant1"_s, 1}, {u"CPSVFact_ID"_s, 5}});
}

QList<Interruption> interruptions()
{
    return {
        {u"sélection en tête de phase (phase 3)"_s, u"Ajustement des médecins inexistants..."_s, 1, 1,
         {{u"SELECT N_OMON FROM PATIENTS"_s, u"D000001"_s},
          {u"SELECT CPMAIN_ID, CPSVFact_ID FROM CPMAIN ORDER BY CPMAIN_ID"_s, u"1:,2:5"_s}}},
        {u"sélection pendant le parcours (phase 8)"_s, u"Recherche des FSE inconnues dans la comptabilité..."_s, 2, 2,
         {{u"SELECT N_OMON FROM PATIENTS"_s, u"D000001"_s},
          {u"SELECT CPMAIN_ID, CPSVFact_ID FROM CPMAIN ORDER BY CPMAIN_ID"_s, u"2:5"_s}}},
    };
}

// Arms the switch when a phase announces itself, so that a whole run can
// fail inside the phase wanted.
class Armement : public ScriptedInteraction {
public:
    db::Backend *backend = nullptr;
    QString annonce;
    int k = 0;

    void DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible) override
    {
        if (backend && text == annonce) {
            backend->failStatement(k);
            backend = nullptr;
        }
        ScriptedInteraction::DemarrerProgression(text, maximum, step, position, barVisible);
    }
};

QString lire(Session &s, const QString &sql)
{
    QStringList lignes;
    for (const QStringList &l : PracticeFixture::lignes(s, sql))
        lignes << l.join(u':');
    return lignes.join(u',');
}

} // namespace

class FailuresTest : public QObject {
    Q_OBJECT

    // The practice prepared, then on the engine asked; the same short date
    // format on all, so that texts with dates read alike.
    static std::unique_ptr<Session> demarrer(PracticeFixture &f, ScriptedInteraction &ui, Moteur moteur)
    {
        db::formats::setShortDateFormat(u"MM/dd/yyyy"_s);
        auto s = f.start(ui);
        if (s && s->ModeSQL == (moteur == Moteur::Paradox))
            QTest::qFail("not opened through the driver wanted", __FILE__, __LINE__);
        ui.messages.clear();   // the reminder to close the practice software, on Paradox
        ui.progress.clear();
        return s;
    }

    // Every case once on each engine.
    template <class Cas>
    static void surChaqueMoteur(const QList<Cas> &cas)
    {
        QTest::addColumn<int>("cas");
        QTest::addColumn<Moteur>("moteur");
        for (int i = 0; i < cas.size(); ++i) {
            QTest::newRow(qPrintable(cas[i].nom + u" / SQLite"_s)) << i << Moteur::SQLite;
            QTest::newRow(qPrintable(cas[i].nom + u" / Paradox"_s)) << i << Moteur::Paradox;
            QTest::newRow(qPrintable(cas[i].nom + u" / serveur"_s)) << i << Moteur::Serveur;
        }
    }

private slots:
    void guardedRepairFailureIsJournalled_data() { surChaqueMoteur(reparations()); }

    void guardedRepairFailureIsJournalled()
    {
        QFETCH(int, cas);
        QFETCH(Moteur, moteur);
        const Reparation r = reparations()[cas];
        PracticeFixture f;
        r.preparer(f);
        MOTEUR_OU_PASSER(f, moteur);
        ScriptedInteraction ui;
        auto s = demarrer(f, ui, moteur);
        QVERIFY(s);
        db::Backend &backend = s->DBOrbelis.backend();
        const QString message = backend.failureMessage();
        CheckRun run(*s);
        backend.failStatement(r.k);
        (run.*r.phase)();

        QVERIFY(!backend.failureArmed());
        const auto j = PracticeFixture::journal(*s);
        QCOMPARE(j.size(), r.journal.size());
        for (int i = 0; i < j.size(); ++i) {
            QCOMPARE(j[i].niveau, r.journal[i].niveau);
            QCOMPARE(j[i].action, QString(r.journal[i].action).replace(u"%1"_s, message));
        }
        // The other repairs of the phase went through.
        QCOMPARE(lire(*s, r.controle.sql), r.controle.attendu);
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(!ui.progressOpen);
    }

    void unguardedFailureEndsTheRunInOrder_data() { surChaqueMoteur(interruptions()); }

    void unguardedFailureEndsTheRunInOrder()
    {
        QFETCH(int, cas);
        QFETCH(Moteur, moteur);
        const Interruption c = interruptions()[cas];
        PracticeFixture f;
        pratiqueDuRun(f);
        MOTEUR_OU_PASSER(f, moteur);
        Armement ui;
        auto s = demarrer(f, ui, moteur);
        QVERIFY(s);
        db::Backend &backend = s->DBOrbelis.backend();
        ui.backend = &backend;
        ui.annonce = c.annonce;
        ui.k = c.k;
        int offertes = -1;
        ui.onViewer = [&] { offertes = int(PracticeFixture::journal(*s).size()); };
        CheckRun run(*s);
        run.BtValiderClick();

        QVERIFY2(!ui.backend && !backend.failureArmed(), "the phase was not reached, or the statement not run");
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(ui.messages[0].text, u"Le traitement a été interrompu par une erreur imprévue. Les corrections déjà "
                                      "effectuées sont conservées.\rErreur : "_s
                                          + backend.failureMessage());
        QVERIFY(!ui.progressOpen);
        QVERIFY(ui.mainEnabled);
        QCOMPARE(ui.viewerShown, 1);
        QCOMPARE(offertes, c.lignesOffertes);
        QCOMPARE(PracticeFixture::journal(*s).size(), 0);
        // What the run did before the failure stays; what came after did not run.
        for (const Controle &k : c.controles)
            QCOMPARE(lire(*s, k.sql), k.attendu);
    }
};

QTEST_MAIN(FailuresTest)
#include "failures_test.moc"
