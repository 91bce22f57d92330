#include "tools/demo/PracticeSchema.h"
#include "db/DbError.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace demo {

using db::FieldType;

namespace {

Column I(const char *n) { return {QString::fromLatin1(n), FieldType::Integer}; }
Column F(const char *n) { return {QString::fromLatin1(n), FieldType::Float}; }
Column T(const char *n, int size) { return {QString::fromLatin1(n), FieldType::Text, size}; }
Column M(const char *n) { return {QString::fromLatin1(n), FieldType::Memo}; }
Column D(const char *n) { return {QString::fromLatin1(n), FieldType::DateTime}; }
Column B(const char *n) { return {QString::fromLatin1(n), FieldType::Boolean}; }

std::vector<TableDef> build()
{
    std::vector<TableDef> t;
    t.push_back({QStringLiteral("PATIENTS"),
                 {I("PATIENTS_ID"), T("NOM", 50), T("PRENOM", 50), D("NE_LE"), T("N_OMON", 10), I("MEDECINS_ID"),
                  T("SEXE", 1), T("ADRESSE", 100), T("CP", 5), T("VILLE", 50), T("TELEPHONE", 20)},
                 QStringLiteral("PATIENTS_ID")});
    t.push_back({QStringLiteral("MEDECINS"),
                 {I("MEDECINS_ID"), I("MEDECINS_COMPTABLE_ID"), T("SYSTEM_FLAGS", 30), T("NOM", 50), T("PRENOM", 50),
                  M("SV_LPS"), T("AG2035_COMPTE", 4), B("ACCESSTOSV")},
                 QStringLiteral("MEDECINS_ID")});
    t.push_back({QStringLiteral("MOTCONSU"),
                 {I("MOTCONSU_ID"), I("PATIENTS_ID"), D("DATE_CONSULTATION"), T("MOTIF_DE_CONSULTATION", 255),
                  I("MEDECINS_ID")},
                 QStringLiteral("MOTCONSU_ID")});
    std::vector<Column> cp = {I("CPMAIN_ID"), I("PATIENTS_ID"), I("MEDECINS_ID"), D("DATE_CONSULTATION")};
    for (const char *c : {"CodeActe1", "CodeActe2", "CodeActe3", "CodeActe4"})
        cp.push_back(T(c, 20));
    for (const char *c : {"Tarif1", "Tarif2", "Tarif3", "Tarif4", "Montant1", "Montant2", "Montant3", "Montant4",
                          "Km", "MontantKm", "IndemniteDimanche", "IndemniteNuit"})
        cp.push_back(F(c));
    cp.push_back(T("Payeur", 50));
    cp.push_back(F("Paiement1"));
    cp.push_back(F("Paiement2"));
    cp.push_back(T("Mode1", 20));
    cp.push_back(T("Mode2", 20));
    cp.push_back(T("IDP1", 30));
    cp.push_back(T("IDP2", 30));
    cp.push_back(B("TiersPayant"));
    cp.push_back(I("CPOrg_1_ID"));
    cp.push_back(I("CPOrg_2_ID"));
    for (const char *c : {"MontantTiersPayant1", "MontantTiersPayant2", "RegleTiersPayant1", "RegleTiersPayant2"})
        cp.push_back(F(c));
    cp.push_back(I("CPTrans_ID"));
    cp.push_back(I("CPBanks_ID"));
    cp.push_back(I("CPRem_ID"));
    cp.push_back(F("IndemniteVille"));
    cp.push_back(F("Taux1"));
    cp.push_back(F("Taux2"));
    for (const char *c : {"TarifSS1", "TarifSS2", "TarifSS3", "TarifSS4", "MontantSS1", "MontantSS2", "MontantSS3",
                          "MontantSS4"})
        cp.push_back(F(c));
    cp.push_back(I("CPSVFact_ID"));
    cp.push_back(T("ID_TP1", 30));
    cp.push_back(T("ID_TP2", 30));
    cp.push_back(T("SVCodeActes", 100));
    for (const char *c : {"LabelActe1", "LabelActe2", "LabelActe3", "LabelActe4"})
        cp.push_back(T(c, 60));
    cp.push_back(F("SVMontant"));
    cp.push_back(T("MONNAIE1", 3));
    cp.push_back(T("MONNAIE2", 3));
    cp.push_back(D("DepoDate"));
    t.push_back({QStringLiteral("CPMAIN"), cp, QStringLiteral("CPMAIN_ID")});
    t.push_back({QStringLiteral("CPORG"),
                 {I("CPOrg_ID"), T("Organisme", 10), T("Nom", 100), M("Adresse"), T("CP", 5), T("Ville", 25),
                  T("Telephone", 14), T("Fax", 14), B("Princ"), F("TauxDef"), T("BaseRemb", 30), M("Comments")},
                 QStringLiteral("CPOrg_ID")});
    t.push_back({QStringLiteral("CPORDPAY"),
                 {I("CPORDPAY_ID"), I("CPOrg_ID"), I("CPRem_ID"), D("P_DATE"), B("Cheque"), F("PayeSum"),
                  I("MEDECINS_ID"), I("Bank")},
                 QStringLiteral("CPORDPAY_ID")});
    t.push_back({QStringLiteral("CPGEST"), {I("CPGest_ID"), I("CPOrdpay_ID"), I("CPMain_ID"), F("Montant")},
                 QStringLiteral("CPGest_ID")});
    t.push_back({QStringLiteral("CPSVFACT"),
                 {I("CPSVFact_ID"), I("Patients_ID"), I("MEDECINS_ID"), D("DATE_FSE"), F("MONTANT")},
                 QStringLiteral("CPSVFact_ID")});
    t.push_back({QStringLiteral("CPTRANS"), {I("CPTrans_ID"), I("Medecins_ID"), D("CPTRANS_DATE")},
                 QStringLiteral("CPTrans_ID")});
    t.push_back({QStringLiteral("CPREM"),
                 {I("CPRem_ID"), D("DATE_CONSULTATION"), F("Montant"), I("Medecins_ID"), F("Qte"), T("Banque", 50),
                  I("CPBanks_ID"), B("Patient")},
                 QStringLiteral("CPRem_ID")});
    t.push_back({QStringLiteral("CPBANKS"), {I("CPBanks_ID"), I("Medecins_ID"), T("Label", 30), T("Name", 50)},
                 QStringLiteral("CPBanks_ID")});
    t.push_back({QStringLiteral("ID_VALUES"), {T("KEY_NAME", 30), I("LAST_VALUE")}, QStringLiteral("KEY_NAME")});
    // Other tables of the patient file: the data a reassignment must move.
    t.push_back({QStringLiteral("COURRIER"),
                 {I("COURRIER_ID"), I("PATIENTS_ID"), D("DATE_COURRIER"), T("OBJET", 100), M("TEXTE")},
                 QStringLiteral("COURRIER_ID")});
    t.push_back({QStringLiteral("ORDONNANCE"),
                 {I("ORDONNANCE_ID"), I("PATIENTS_ID"), D("DATE_ORDONNANCE"), M("CONTENU")},
                 QStringLiteral("ORDONNANCE_ID")});
    t.push_back({QStringLiteral("ANTECEDENTS"), {I("ANTECEDENTS_ID"), I("Patients_ID"), T("LIBELLE", 100)},
                 QStringLiteral("ANTECEDENTS_ID")});
    // The practice software's dictionary: its presence marks a Paradox practice directory.
    t.push_back({QStringLiteral("METATABLE"), {I("METATABLE_ID"), T("TABLE_NAME", 30)}, QStringLiteral("METATABLE_ID")});
    t.push_back({QStringLiteral("METAFIELD"), {I("METAFIELD_ID"), T("TABLE_NAME", 30), T("FIELD_NAME", 30)},
                 QStringLiteral("METAFIELD_ID")});
    t.push_back({QStringLiteral("TABLELINK"), {I("TABLELINK_ID"), T("MASTER", 30), T("DETAIL", 30)},
                 QStringLiteral("TABLELINK_ID")});
    return t;
}

QString sqlType(const Column &c)
{
    switch (c.type) {
    case FieldType::Integer:
    case FieldType::AutoInc: return QStringLiteral("INTEGER");
    case FieldType::Float: return QStringLiteral("FLOAT");
    case FieldType::Text: return QStringLiteral("VARCHAR(%1)").arg(c.size);
    case FieldType::Memo: return QStringLiteral("MEMO");
    case FieldType::DateTime: return QStringLiteral("DATETIME");
    case FieldType::Boolean: return QStringLiteral("BOOLEAN");
    }
    return QString();
}

} // namespace

const std::vector<TableDef> &practiceTables()
{
    static const std::vector<TableDef> tables = build();
    return tables;
}

const TableDef *findTable(const QString &name)
{
    for (const TableDef &t : practiceTables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

QString createStatement(const TableDef &t)
{
    QStringList cols;
    for (const Column &c : t.columns)
        cols << c.name + QLatin1Char(' ') + sqlType(c) + (c.name == t.key ? QStringLiteral(" NOT NULL PRIMARY KEY") : QString());
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(t.name, cols.join(QStringLiteral(", ")));
}

void createPracticeTables(QSqlDatabase db)
{
    QSqlQuery q(db);
    for (const TableDef &t : practiceTables())
        if (!q.exec(createStatement(t)))
            throw db::DbError(q.lastError().text());
}

const std::vector<db::paradox::SecondaryIndexSpec> &practiceSecondaryIndexes()
{
    static const std::vector<db::paradox::SecondaryIndexSpec> indexes{
        {QStringLiteral("CPMAIN"), {QStringLiteral("PATIENTS_ID")}, false},
        {QStringLiteral("CPMAIN"), {QStringLiteral("MEDECINS_ID")}, false},
        {QStringLiteral("MOTCONSU"), {QStringLiteral("PATIENTS_ID")}, false},
        // Looked up by name whatever its letter case.
        {QStringLiteral("PATIENTS"), {QStringLiteral("NOM")}, true},
        {QStringLiteral("PATIENTS"), {QStringLiteral("NOM"), QStringLiteral("PRENOM")}, false},
    };
    return indexes;
}

} // namespace demo
