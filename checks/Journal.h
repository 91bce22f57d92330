#pragma once
#include "db/Field.h"
#include "db/TableCursor.h"

#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

class Interaction;

// The results journal, work table Aldurix3.DB: one row per finding, repair
// or failed repair of a run. The only code that knows its columns and the
// order it is read in (level, then origin without regard to case, then order
// of writing); every writer and reader of the journal goes through it.
class Journal {
public:
    static constexpr const char *kFichier = "Aldurix3.DB";
    static constexpr const char *kCle = "RESULTATS_ID";
    static constexpr const char *kOrdre = "Ordre";
    static constexpr const char *kChampsOrdre = "NIVEAU;ORIGIN_TABLE;RESULTATS_ID";
    static constexpr int kOptionsOrdre = db::ixUnique | db::ixCaseInsensitive;
    // The columns, in the table's order, for its creation at start-up.
    static std::vector<db::FieldDef> champs();

    // A row written as given: an invalid value leaves its column empty.
    struct Ligne {
        QVariant patientId{}, patientNom{}, date{}, medecinId{};
        QString origine{};
        int niveau = 0;
        QString action{};
    };
    // A row read back, each column as the engine gives it.
    struct Lue {
        db::Field patientId, patientNom, date, medecinId, origine, niveau, action;
    };

    // patients: the patients' snapshot, for the names of the checks' rows;
    // ui: where a check's row that cannot be written is reported.
    Journal(db::TableCursor &table, db::TableCursor &patients, Interaction &ui);

    // A row of the checks: the patient's name from the snapshot, the date read
    // in the short date format or else the time of writing. Never throws: a
    // row that cannot be written is shown in an error box and dropped.
    void AjouterResultat(qint64 PatientID, const QString &DateConsultation, qint64 MedecinID,
                         const QString &OriginTable, int Niveau, const QString &Action);
    // Throws the engine's failure; the row is then dropped, not left pending.
    void ajouter(const Ligne &ligne);

    // 0 when there is no journal (the connection set-up failed).
    int nombre();
    // Between runs: each run starts with an empty journal.
    void vider();
    // Every row, in the journal's order. Throws db::DbError when the table
    // cannot be read.
    void parcourir(const std::function<void(const Lue &)> &rangee);
    std::vector<Lue> lignes();

    // The word a level is shown with; empty for any other level.
    static QString motNiveau(qint64 niveau);

private:
    db::TableCursor &m_table;
    db::TableCursor &m_patients;
    Interaction &m_ui;
};
