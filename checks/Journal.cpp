#include "checks/Journal.h"
#include "app/Garde.h"
#include "app/Interaction.h"
#include "checks/LigneAjoutee.h"
#include "db/Backend.h"
#include "db/Formats.h"
#include "db/Query.h"

namespace fmt = db::formats;

namespace {

const QString kPatientsId = QStringLiteral("PATIENTS_ID");
const QString kPatientsNom = QStringLiteral("PATIENTS_NOM");
const QString kDate = QStringLiteral("DATE_CONSULTATION");
const QString kMedecinsId = QStringLiteral("MEDECINS_ID");
const QString kOrigine = QStringLiteral("ORIGIN_TABLE");
const QString kNiveau = QStringLiteral("NIVEAU");
const QString kAction = QStringLiteral("ACTION");

QDateTime dateOuMaintenant(const QString &texte)
{
    if (auto d = fmt::textToDateTime(texte))
        return *d;
    // One reading of the clock: two readings a millisecond apart gave a time
    // a second early, and around midnight another day's date.
    const QDateTime maintenant = QDateTime::currentDateTime();
    const QTime t = maintenant.time();
    return QDateTime(maintenant.date(), QTime(t.hour(), t.minute(), t.second()));
}

} // namespace

std::vector<db::FieldDef> Journal::champs()
{
    using db::FieldType;
    return {{QString::fromLatin1(kCle), FieldType::AutoInc, 0, true}, {kPatientsId, FieldType::Integer},
            {kPatientsNom, FieldType::Text, 150},                     {kDate, FieldType::DateTime},
            {kMedecinsId, FieldType::Integer},                        {kOrigine, FieldType::Text, 150},
            {kNiveau, FieldType::Integer, 0, true},                   {kAction, FieldType::Memo}};
}

Journal::Journal(db::TableCursor &table, db::TableCursor &patients, Interaction &ui)
    : m_table(table), m_patients(patients), m_ui(ui)
{
}

void Journal::AjouterResultat(qint64 PatientID, const QString &DateConsultation, qint64 MedecinID,
                              const QString &OriginTable, int Niveau, const QString &Action)
{
    QString nomPatient;
    try {
        LigneAjoutee ligne(m_table);
        if (PatientID > 0) {
            ligne.valeur(kPatientsId, PatientID);
            if (m_patients.findKey({PatientID}))
                nomPatient = fmt::upperAscii(m_patients.fieldByName(QStringLiteral("NOM")).asString()) + QLatin1Char(' ')
                             + m_patients.fieldByName(QStringLiteral("PRENOM")).asString();
            else
                nomPatient = QStringLiteral("Dossier n°") + QString::number(PatientID) + QStringLiteral(" inconnu dans la base.");
            ligne.valeur(kPatientsNom, nomPatient);
        }
        ligne.valeur(kDate, dateOuMaintenant(DateConsultation))
            .valeur(kMedecinsId, MedecinID)
            .valeur(kOrigine, OriginTable)
            .valeur(kNiveau, Niveau)
            .valeur(kAction, Action)
            .poster();
    } catch (const std::exception &e) {
        m_ui.message(Boite::Erreur,
                     QStringLiteral("Impossible d'enregistrer l'information ci-dessous dans la table des résultats :\r  - PATIENTS : n°")
                         + QString::number(PatientID) + QLatin1Char(' ') + nomPatient + QStringLiteral("\r")
                         + QStringLiteral("  - Date de consultation : ") + DateConsultation + QStringLiteral("\r")
                         + QStringLiteral("  - MEDECINS_ID : ") + QString::number(MedecinID) + QStringLiteral("\r")
                         + QStringLiteral("  - table d'origine : ") + OriginTable + QStringLiteral("\r")
                         + QStringLiteral("  - niveau de gravité : ") + QString::number(Niveau) + QStringLiteral("\r")
                         + QStringLiteral("  - action effectuée : ") + Action + QStringLiteral("\r") + QStringLiteral("\r")
                         + QStringLiteral("Erreur : ") + garde::messageDe(e));
    }
}

void Journal::ajouter(const Ligne &l)
{
    LigneAjoutee ligne(m_table);
    const std::pair<const QString &, const QVariant &> facultatifs[] = {
        {kPatientsId, l.patientId}, {kPatientsNom, l.patientNom}, {kDate, l.date}, {kMedecinsId, l.medecinId}};
    for (const auto &[champ, v] : facultatifs)
        if (v.isValid())
            ligne.valeur(champ, v);
    ligne.valeur(kOrigine, l.origine).valeur(kNiveau, l.niveau).valeur(kAction, l.action).poster();
}

int Journal::nombre() { return m_table.active() ? m_table.recordCount() : 0; }

void Journal::vider()
{
    m_table.close();
    m_table.emptyTable();
    m_table.open();
    m_table.setIndexName(QString::fromLatin1(kOrdre));
}

void Journal::parcourir(const std::function<void(const Lue &)> &rangee)
{
    // A statement of its own on the file rather than the writers' cursor: a
    // reading neither moves that cursor nor trusts its copy of the rows.
    QStringList ordre = QString::fromLatin1(kChampsOrdre).split(QLatin1Char(';'));
    for (QString &champ : ordre)
        champ += QStringLiteral(" COLLATE NOCASE");   // as the index compares
    db::Query q(QStringLiteral("QryJournal"));
    q.setDatabaseName(m_table.databaseName());
    q.addLine(QStringLiteral("SELECT * FROM ") + db::quotedIdentifier(m_table.tableName().section(QLatin1Char('.'), 0, 0)));
    q.addLine(QStringLiteral("ORDER BY ") + ordre.join(QStringLiteral(", ")));
    q.open();
    for (q.first(); !q.eof(); q.next())
        rangee(Lue{q.fieldByName(kPatientsId), q.fieldByName(kPatientsNom), q.fieldByName(kDate),
                   q.fieldByName(kMedecinsId), q.fieldByName(kOrigine), q.fieldByName(kNiveau), q.fieldByName(kAction)});
}

std::vector<Journal::Lue> Journal::lignes()
{
    std::vector<Lue> out;
    parcourir([&out](const Lue &l) { out.push_back(l); });
    return out;
}

QString Journal::motNiveau(qint64 niveau)
{
    switch (niveau) {
    case 1: return QStringLiteral("important");
    case 2: return QStringLiteral("à prendre en compte");
    case 3: return QStringLiteral("pour information");
    default: return QString();
    }
}
