#include "app/Common.h"
#include "app/Session.h"

using db::FieldDef;
using db::FieldType;

namespace {

FieldDef champ(const char *name, FieldType type, int size = 0, bool required = false)
{
    return FieldDef{QString::fromLatin1(name), type, size, required};
}

struct Instantane {
    const char *progression;
    db::Query *source;          // null for the results journal
    const char *sql;
    db::TableCursor *table;
    const char *fichier;
    std::vector<FieldDef> champs;
    const char *cle;
    const char *secondaire;     // name
    const char *champsSecondaires;
    int optionsSecondaires;
};

} // namespace

void Session::CreerTablesTravail()
{
    const std::vector<Instantane> tables = {
        {"Récupération des informations médecins, utilisateurs en cours...", &QryMedecin,
         "SELECT MEDECINS_ID, MEDECINS_COMPTABLE_ID, SV_LPS, AG2035_COMPTE, NOM, PRENOM, ACCESSTOSV FROM MEDECINS ORDER BY MEDECINS_ID",
         &TableMedecins, "Aldurix2.DB",
         {champ("MEDECINS_ID", FieldType::Integer, 0, true), champ("MEDECINS_COMPTABLE_ID", FieldType::Integer, 0, true),
          champ("SV_LPS", FieldType::Memo, 1), champ("AG2035_COMPTE", FieldType::Text, 4),
          champ("NOM", FieldType::Text, 50, true), champ("PRENOM", FieldType::Text, 50, true),
          champ("ACCESSTOSV", FieldType::Boolean)},
         "MEDECINS_ID", nullptr, nullptr, 0},
        {"Récupération des informations patients en cours...", &QrPatient,
         "SELECT PATIENTS_ID, NOM, PRENOM, NE_LE, N_OMON FROM PATIENTS ORDER BY PATIENTS_ID", &TablePatients,
         "Aldurix1.DB",
         {champ("PATIENTS_ID", FieldType::Integer, 0, true), champ("NOM", FieldType::Text, 50, true),
          champ("PRENOM", FieldType::Text, 50, true), champ("NE_LE", FieldType::DateTime),
          champ("N_OMON", FieldType::Text, 7)},
         "PATIENTS_ID", nullptr, nullptr, 0},
        {"Création de la table d'enregistrement des résultats en cours...", nullptr, nullptr, &TableResultats,
         Journal::kFichier, Journal::champs(), Journal::kCle, Journal::kOrdre, Journal::kChampsOrdre,
         Journal::kOptionsOrdre},
        {"Récupération des dates de consultations...", &QryMotConsu,
         "SELECT MOTCONSU_ID, PATIENTS_ID, DATE_CONSULTATION FROM MOTCONSU ORDER BY MOTCONSU_ID", &TableConsultations,
         "Aldurix4.DB",
         {champ("MOTCONSU_ID", FieldType::Integer, 0, true), champ("PATIENTS_ID", FieldType::Integer),
          champ("DATE_CONSULTATION", FieldType::DateTime)},
         "MOTCONSU_ID", "PatientDateCons", "PATIENTS_ID;DATE_CONSULTATION", db::ixCaseInsensitive},
        {"Récupération des tiers payants...", &QryOrganismes,
         "SELECT CPORG_ID, Nom, Ville, Princ FROM CPORG ORDER BY CPORG_ID", &TableOrganismes, "Aldurix5.DB",
         {champ("CPORG_ID", FieldType::Integer, 0, true), champ("Nom", FieldType::Text, 10),
          champ("Ville", FieldType::Text, 25), champ("Princ", FieldType::Boolean)},
         "CPORG_ID", nullptr, nullptr, 0},
    };
    for (const Instantane &t : tables) {
        UpdateProgression(QString::fromUtf8(t.progression), 0, 0);
        if (t.source) {
            t.source->clearSql();
            t.source->addLine(QString::fromLatin1(t.sql));
        }
        t.table->close();
        t.table->setDatabaseName(CheminPrive);
        t.table->setTableName(QString::fromLatin1(t.fichier));
        t.table->fieldDefs() = t.champs;
        t.table->createTable();
        if (t.source)
            t.table->copyFrom(*t.source);
        t.table->addIndex(QString(), QString::fromLatin1(t.cle), db::ixPrimary | db::ixUnique);
        if (t.secondaire)
            t.table->addIndex(QString::fromLatin1(t.secondaire), QString::fromLatin1(t.champsSecondaires),
                              t.optionsSecondaires);
        t.table->open();
        // The journal reads in its own order; the snapshots by their key.
        t.table->setIndexName(t.table == &TableResultats ? QString::fromLatin1(Journal::kOrdre) : QString());
    }
}

QString nomTablePatient(const QString &listed, bool modeSQL)
{
    QString nom = listed.toUpper();
    // An owner prefix ("dbo.", or any other length) goes with its dot; a name
    // without one stays whole. A file name loses its extension.
    const int point = nom.indexOf(QLatin1Char('.'));
    if (point >= 0)
        nom = modeSQL ? nom.mid(point + 1) : nom.left(point);
    return nom;
}

void Session::RechercherTablesPatient()
{
    QStringList noms = db::Engine::instance().tableNames(NomBase, ModeSQL ? QString() : QStringLiteral("*.db"),
                                                         !ModeSQL, !ModeSQL);
    for (QString &nom : noms)
        nom = nomTablePatient(nom, ModeSQL);
    DemarrerProgression(QStringLiteral("Recherche des tables basées sur les patients en cours..."), int(noms.size()), 1, 0, true);
    noms.removeAll(QStringLiteral("PATIENTS"));
    ListeTablesPatient.clear();
    for (int i = 0; i < noms.size(); ++i) {
        UpdateProgression(QStringLiteral("Recherche du champ PATIENTS_ID dans la table ") + noms[i]
                              + QStringLiteral(" en cours..."),
                          int(noms.size()), i + 1);
        try {
            Table1.close();
            Table1.setTableName(noms[i]);
            const QStringList colonnes = Table1.fieldNames();
            for (const QString &c : colonnes) {
                if (c.compare(QLatin1String("PATIENTS_ID"), Qt::CaseInsensitive) == 0) {
                    ListeTablesPatient << noms[i];
                    break;
                }
            }
        } catch (const std::exception &) {
            // A table that cannot be opened is simply not a patient-based one.
        }
        Table1.close();
    }
}
