#pragma once
#include "db/Query.h"

#include <QDate>
#include <QString>
#include <optional>

class Session;

// What the window running a reassignment hears of it. The patient dialog
// answers with its own progress display (it disables the dialog, not the
// main window) and its pick list; nothing here needs a widget.
class SuiviReaffectation {
public:
    virtual ~SuiviReaffectation() = default;

    virtual void DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible) = 0;
    virtual void UpdateProgression(const QString &text, int maximum, int position) = 0;
    virtual void ArreterProgression() = 0;
    // A patient now exists under that number; nom is as stored (upper case).
    virtual void patientCree(qint64 patientId, const QString &nom, const QString &prenom, const QString &nOmon) = 0;
    // A failure ends the program: its message has been shown, the shut-down follows.
    virtual void fermetureEngagee() = 0;
};

// The data moves that settle an unknown patient number: its accounting
// attached to an existing patient, or a patient created under the number;
// then a consultation for every accounting date, and the number's other data
// moved. The case is the current row of QryCPMain, as the unknown-patient
// phase leaves it. A failure these moves guard ends the program: a warning,
// then the shut-down, which throws common::FinProgramme. No transaction:
// what was done before a failure stays done.
class Reaffectation {
public:
    Reaffectation(Session &session, SuiviReaffectation &suivi);

    // The unknown number's accounting may go to that number: a patient of the
    // database, and not the unknown number itself.
    bool dossierAcceptable(qint64 patientId);
    // Moves or merges each accounting row into the chosen patient's; dossier
    // is the chosen patient as the user saw it, for the journal.
    void AffecterPatientExistant(qint64 patientChoisi, const QString &dossier);
    // nom as typed; stored upper-cased.
    void CreerNouveauPatient(const QString &nom, const QString &prenom, const std::optional<QDate> &neLe);

    void Verifier_les_consultations(qint64 PatientId);
    void Transferer_donnees(qint64 OldPatientId, qint64 NewPatientId);

    // The merge of a source accounting row into a target row of the chosen
    // patient: the statement's lines and parameters, current rows of both.
    static void preparerFusion(db::Query &fusion, const db::Query &source, const db::Query &cible);

private:
    QString nomPourJournal();
    void creerConsultation(qint64 patientId, const QDateTime &date, qint64 medecinId);
    [[noreturn]] void fermerApplication(const QString &texte);

    Session &s;
    SuiviReaffectation &suivi;
    db::Query Query2{QStringLiteral("Query2")}, Query3{QStringLiteral("Query3")}, Query4{QStringLiteral("Query4")};
};
