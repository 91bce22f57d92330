#pragma once
#include "app/Compteurs.h"
#include "app/Interaction.h"
#include "app/ReglagesMoteur.h"
#include "app/Sauvegardes.h"
#include "checks/Journal.h"
#include "db/Engine.h"
#include "db/IniFile.h"
#include "db/Query.h"
#include "db/TableCursor.h"

#include <QString>
#include <QStringList>

// Start-up values, set once (read everywhere).
struct ValeursDemarrage {
    QString CheminBase;         // ends with a separator
    QString CheminPrive;        // no trailing separator
    QString NomBase;
    QString ProgName;
    QString FormatDateSauve;
    QString RepertoireSauvegardes;
    bool ModeSQL = false;
    int TypeBase = 0;
    bool baseOuverte = false;   // the connection set-up succeeded and the work tables exist
};

// The practice connection and every statement and cursor the phases and the
// dialogs share on it.
struct Requetes {
    db::Connection DBOrbelis{QStringLiteral("DBOrbelis")};
    db::Query QryMedecin{QStringLiteral("QryMedecin")}, QrPatient{QStringLiteral("QrPatient")},
        QryMotConsu{QStringLiteral("QryMotConsu")}, QryOrganismes{QStringLiteral("QryOrganismes")},
        QryCPMain{QStringLiteral("QryCPMain")}, QryCPGest{QStringLiteral("QryCPGest")},
        QrIDValues{QStringLiteral("QrIDValues")}, QrModifyTablePatients{QStringLiteral("QrModifyTablePatients")},
        QryAction{QStringLiteral("QryAction")}, Qry1{QStringLiteral("Qry1")}, Qry2{QStringLiteral("Qry2")},
        Qry3{QStringLiteral("Qry3")};
    db::TableCursor Table1{QStringLiteral("Table1")}, TableX{QStringLiteral("TableX")};

    // Binds them all to the opened connection.
    void lier(const QString &nomBase);
};

// The work tables of the private directory: the snapshots and the journal's
// table, open from start-up to shut-down.
struct TablesTravail {
    db::TableCursor TablePatients{QStringLiteral("TablePatients")}, TableMedecins{QStringLiteral("TableMedecins")},
        TableResultats{QStringLiteral("TableResultats")}, TableConsultations{QStringLiteral("TableConsultations")},
        TableOrganismes{QStringLiteral("TableOrganismes")};
    QStringList ListeTablesPatient;
};

// The user's seam as a session uses it: before anyone is asked anything (a
// box, a dialog, the review), the work the practice connection groups is
// committed, so that nothing already done waits on a person.
class InteractionEngagee : public Interaction {
public:
    InteractionEngagee(Interaction &ui, db::Connection &connection) : m_ui(ui), m_connection(connection) {}

    void message(Boite kind, const QString &text) override { engager(); m_ui.message(kind, text); }
    bool question(Boite kind, const QString &text) override { engager(); return m_ui.question(kind, text); }
    void bip(bool exclamation) override { m_ui.bip(exclamation); }
    void DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible) override
    { m_ui.DemarrerProgression(text, maximum, step, position, barVisible); }
    void UpdateProgression(const QString &text, int maximum, int position) override
    { m_ui.UpdateProgression(text, maximum, position); }
    void ArreterProgression(bool enable) override { m_ui.ArreterProgression(enable); }
    bool interruptionDemandee() override { return m_ui.interruptionDemandee(); }
    void effacerInterruption() override { m_ui.effacerInterruption(); }
    int afficherSelectPatient() override
    {
        engager();
        const Ouvert ouvert(m_dialogues);
        return m_ui.afficherSelectPatient();
    }
    int afficherSelectOrganisme() override
    {
        engager();
        const Ouvert ouvert(m_dialogues);
        return m_ui.afficherSelectOrganisme();
    }
    void afficherResultats() override { engager(); m_ui.afficherResultats(); }
    void imprimerRapport() override { engager(); m_ui.imprimerRapport(); }
    bool enregistrerRapport(Session &session, const QString &chemin, QString *erreur) override
    { return m_ui.enregistrerRapport(session, chemin, erreur); }

    // A resolution dialog is settling a case: its work is the case's.
    bool dialogueOuvert() const { return m_dialogues > 0; }

private:
    struct Ouvert {
        explicit Ouvert(int &n) : m_n(n) { ++m_n; }
        ~Ouvert() { --m_n; }
        int &m_n;
    };
    void engager();
    Interaction &m_ui;
    db::Connection &m_connection;
    int m_dialogues = 0;
};

// The main window's state and services, without the window: an aggregate of
// the start-up values, the statements, the work tables, the journal, the
// counters and the engine settings, under the names every phase and dialog
// knows them by. The window (TFMain) and the dialogs reach it through one
// instance.
class Session : public ValeursDemarrage, public Requetes, public TablesTravail {
public:
    explicit Session(Interaction &ui);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

private:
    InteractionEngagee m_interaction;

public:
    Interaction &ui;

    // The results journal, on TableResultats.
    Journal journal{TableResultats, TablePatients, ui};
    Compteurs compteurs{NomBase, QryAction, journal};
    // The backup of the run going on; none between runs.
    std::unique_ptr<SauvegardeTraitement> sauvegarde;
    // Only for the bench, which measures what the backup costs against the
    // same run without it; nothing in the program sets it.
    bool sansSauvegarde = false;

    // Start-up: configuration, connection, work tables. Throws
    // common::FinProgramme when the program must end (after its message).
    void FormCreate();
    // Praxelle.ini of the program's directory; when it is missing, the error
    // is shown and common::FinProgramme thrown.
    QString FichierConfiguration();
    // The practice's, the private and the backups' directories it names,
    // without touching any of them (the backups can be listed without a
    // start-up). Throws when the file cannot be read.
    void LireRepertoires(const QString &ini);
    bool InitialiserBase();
    bool EstBaseParadox(const QString &directory) const;
    bool ParametrerBase(db::IniFile &version, db::Connection &connection);
    void AjusterReglagesBDE() { reglages::AjusterReglagesBDE(CheminBase); }
    QString LireParametreBDE(const QString &setting) { return reglages::LireParametreBDE(setting); }
    void EcrireParametreBDE(const QString &setting, const QString &value) { reglages::EcrireParametreBDE(setting, value); }
    void CreerTablesTravail();
    void RechercherTablesPatient();

    // Services of the check run and the dialogs.
    void AjouterResultat(qint64 PatientID, const QString &DateConsultation, qint64 MedecinID,
                         const QString &OriginTable, int Niveau, const QString &Action)
    { journal.AjouterResultat(PatientID, DateConsultation, MedecinID, OriginTable, Niveau, Action); }
    bool ActionSurTable(const QString &action, const QString &table, const QString &champ,
                        const QString &champID, qint64 valeur, qint64 valeurID)
    { return compteurs.ActionSurTable(action, table, champ, champID, valeur, valeurID); }
    void AjusterIDValues(const QString &cle, qint64 valeur, bool forcer) { compteurs.AjusterIDValues(cle, valeur, forcer); }
    QString RenvoyerMontant(const QString &monnaie, double montant) const;
    QString RenvoyerMontant(const QString &monnaie, const db::Decimal &montant) const;
    QString DecrireActes() const;   // current row of Qry1

    // The phases open the progress for a step and move it at the start of
    // each record: both are the boundaries where a stop the user asked for
    // ends the run (common::Interruption).
    void DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible)
    {
        ui.DemarrerProgression(text, maximum, step, position, barVisible);
        verifierInterruption();
    }
    void UpdateProgression(const QString &text, int maximum, int position)
    {
        ui.UpdateProgression(text, maximum, position);
        verifierInterruption();
    }
    void ArreterProgression(bool enable) { ui.ArreterProgression(enable); }

    // Throws common::Interruption when the user asked the run to stop and
    // the run stands between two records: a run is going on, no group of
    // work is under way and no resolution dialog is open.
    void verifierInterruption();

    // The check run, for as long as it lives: stops are honoured; one asked
    // before it began is forgotten.
    class TraitementInterruptible {
    public:
        explicit TraitementInterruptible(Session &s);
        ~TraitementInterruptible() { m_s.m_interruptible = false; }
        TraitementInterruptible(const TraitementInterruptible &) = delete;
        TraitementInterruptible &operator=(const TraitementInterruptible &) = delete;

    private:
        Session &m_s;
    };
    // Work that stands or falls as a whole (a group of duplicates, a question
    // and the corrections it decides): its progress updates are no
    // boundaries; a stop asked meanwhile waits for the next one after it.
    class SansInterruption {
    public:
        explicit SansInterruption(Session &s) : m_s(s) { ++m_s.m_sansInterruption; }
        ~SansInterruption() { --m_s.m_sansInterruption; }
        SansInterruption(const SansInterruption &) = delete;
        SansInterruption &operator=(const SansInterruption &) = delete;

    private:
        Session &m_s;
    };

    // Shut-down: removes the work, query and lock files, then throws
    // common::FinProgramme (code 1 after showing an error that stopped the
    // removal). Does not return.
    [[noreturn]] void BtFermerClick();

private:
    bool m_interruptible = false;
    int m_sansInterruption = 0;

    QString repertoireParadox() const;
    // Undoes the writes a killed run left half-done in the practice tables,
    // before the connection reads them; ends the program (after its
    // message) when one cannot be undone safely.
    void reprendreEcrituresInterrompues();
    // Names, once, the tables the engine would refuse to change.
    void signalerTablesNonModifiables();
    // Tells, once, of the backups of runs that never ended.
    void signalerTraitementsInacheves();
    void supprimerVerrous();
    void supprimerFichiersTravail();
    void nettoyer();   // what the shut-down removes; throws on the first failure
};

// Password of the SQL Server login, as stored in PRAXELLE.VER.
QString DecoderMotDePasse(const QString &text);
QString EncoderMotDePasse(const QString &password);
int HexVersEntier(const QString &text);
// A listed table name as the patient-based tables list keeps it: upper case,
// without owner prefix (SQL) or file extension (Paradox).
QString nomTablePatient(const QString &listed, bool modeSQL);
