#include "tools/demo/DemoData.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Formats.h"
#include "db/IniFile.h"
#include "tools/demo/PracticeSchema.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace demo {

namespace {

// SplitMix64: tiny, and the same sequence on every platform and library,
// which std::*_distribution does not promise.
class Rng {
public:
    explicit Rng(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % quint64(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T, size_t N>
    const T &pick(const T (&list)[N]) { return list[below(int(N))]; }

private:
    quint64 m_state;
};

// One stream per patient, so the files of a small demo keep their names and
// birth dates in a bigger one (their visits differ once the number of
// physicians does).
quint64 streamSeed(quint64 seed, quint64 stream)
{
    Rng r(seed ^ (stream * 0xD1B54A32D192ED03ull));
    return r.next();
}

// ---------------------------------------------------------------------------
// Reference data

const char *const kSurnames[] = {
    "MARTIN", "BERNARD", "THOMAS", "PETIT", "ROBERT", "RICHARD", "DURAND", "DUBOIS", "MOREAU", "LAURENT",
    "SIMON", "MICHEL", "LEFEBVRE", "LEROY", "ROUX", "DAVID", "BERTRAND", "MOREL", "FOURNIER", "GIRARD",
    "BONNET", "DUPONT", "LAMBERT", "FONTAINE", "ROUSSEAU", "VINCENT", "MULLER", "FAURE", "ANDRÉ", "MERCIER",
    "BLANC", "GUÉRIN", "BOYER", "CHEVALIER", "FRANÇOIS", "LEGRAND", "GAUTHIER", "GARCIA", "PERRIN", "ROBIN",
    "CLÉMENT", "MORIN", "NICOLAS", "HENRY", "MATHIEU", "MASSON", "DUVAL", "DENIS", "DUMONT", "LEMAIRE",
    "NOËL", "MEYER", "DUFOUR", "MEUNIER", "BRUN", "BLANCHARD", "GIRAUD", "JOLY", "RIVIÈRE", "LUCAS",
    "BRUNET", "GAILLARD", "BARBIER", "ARNAUD", "MARTINEZ", "GÉRARD", "ROCHE", "RENARD", "SCHMITT", "ROY",
    "LEROUX", "COLIN", "VIDAL", "CARON", "PICARD", "ROGER", "FABRE", "AUBERT", "LEMOINE", "RENAUD",
    "DUMAS", "LACROIX", "OLIVIER", "BOURGEOIS", "BENOÎT", "REY", "LECLERC", "ROLLAND", "GUILLAUME", "LECOMTE",
    "LOPEZ", "DUPUY", "GUILLOT", "HUBERT", "BERGER", "CARPENTIER", "SANCHEZ", "DUPUIS", "MOULIN", "DESCHAMPS",
    "HUET", "PEREZ", "BOUCHER", "FLEURY", "ROYER", "KLEIN", "JACQUET", "ADAM", "POIRIER", "MARTY",
    "AUBRY", "GUYOT", "CARRÉ", "CHARPENTIER", "MÉNARD", "MAILLARD", "BARON", "BERTIN", "BAILLY", "HERVÉ",
    "SCHNEIDER", "FERNANDEZ", "LE GALL", "COLLET", "LÉGER", "BOUVIER", "JULIEN", "PRÉVOST", "MILLET", "PERROT",
    "COUSIN", "GERMAIN", "BRETON", "BESSON", "LANGLOIS", "RÉMY", "PELLETIER", "LÉVÊQUE", "PERRIER", "LEBLANC",
    "BARRE", "LEBRUN", "MARCHAL", "WEBER", "MALLET", "HAMON", "BOULANGER", "JACOB", "MONNIER", "MICHAUD",
    "RODRIGUEZ", "GUICHARD", "GILLET", "ÉTIENNE", "POULAIN", "TESSIER", "CHAUVIN", "DA SILVA", "BOUCHET", "GAY",
    "HUMBERT", "REYNAUD", "ANTOINE", "PERRET", "BARTHÉLEMY", "CORDIER", "PICHON", "LEJEUNE", "GILBERT", "LAMY",
    "DELAUNAY", "PASQUIER", "CARLIER", "LAPORTE", "BENSAÏD", "HADDAD", "NGUYEN", "TRAN", "OUVRARD", "ZIMMERMANN"};

// Family names as some files keep them, particle in lower case.
const char *const kParticleNames[] = {"de la Roche", "de Montaigu", "du Verger", "de Lestrade"};
const char *const kLowerInitialNames[] = {"le Gall", "le Bihan", "le Goff"};
const char *const kAccentedNames[] = {"ÉMERY", "ÉVRARD", "ÉLUARD"};

struct FirstName {
    const char *name;
    char sex;
};
const FirstName kFirstNames[] = {
    {"Marie", 'F'},     {"Jeanne", 'F'},   {"Françoise", 'F'}, {"Monique", 'F'},  {"Catherine", 'F'},
    {"Nathalie", 'F'},  {"Isabelle", 'F'}, {"Sylvie", 'F'},    {"Anne", 'F'},     {"Martine", 'F'},
    {"Christine", 'F'}, {"Sophie", 'F'},   {"Valérie", 'F'},   {"Sandrine", 'F'}, {"Céline", 'F'},
    {"Julie", 'F'},     {"Camille", 'F'},  {"Léa", 'F'},       {"Manon", 'F'},    {"Chloé", 'F'},
    {"Emma", 'F'},      {"Inès", 'F'},     {"Jade", 'F'},      {"Louise", 'F'},   {"Alice", 'F'},
    {"Zoé", 'F'},       {"Mathilde", 'F'}, {"Élodie", 'F'},    {"Aurélie", 'F'},  {"Hélène", 'F'},
    {"Brigitte", 'F'},  {"Odette", 'F'},   {"Geneviève", 'F'}, {"Claire", 'F'},   {"Agnès", 'F'},
    {"Jean", 'M'},      {"Pierre", 'M'},   {"Michel", 'M'},    {"André", 'M'},    {"Philippe", 'M'},
    {"Alain", 'M'},     {"Jacques", 'M'},  {"Bernard", 'M'},   {"Patrick", 'M'},  {"Daniel", 'M'},
    {"Nicolas", 'M'},   {"Christophe", 'M'}, {"Stéphane", 'M'}, {"Laurent", 'M'}, {"Frédéric", 'M'},
    {"Julien", 'M'},    {"Sébastien", 'M'}, {"Thomas", 'M'},   {"Antoine", 'M'},  {"Lucas", 'M'},
    {"Hugo", 'M'},      {"Louis", 'M'},    {"Gabriel", 'M'},   {"Arthur", 'M'},   {"Jules", 'M'},
    {"Léo", 'M'},       {"Raphaël", 'M'},  {"Maxime", 'M'},    {"Théo", 'M'},     {"Paul", 'M'},
    {"François", 'M'},  {"Gérard", 'M'},   {"Marcel", 'M'},    {"René", 'M'},     {"Yves", 'M'}};

struct City {
    const char *cp;
    const char *ville;
    const char *phone;   // first digits of a land line there
};
const City kCities[] = {
    {"69001", "LYON", "04 78"},       {"69003", "LYON", "04 78"},          {"69004", "LYON", "04 72"},
    {"69006", "LYON", "04 78"},       {"69007", "LYON", "04 72"},          {"69008", "LYON", "04 78"},
    {"69100", "VILLEURBANNE", "04 72"}, {"69500", "BRON", "04 78"},         {"69200", "VÉNISSIEUX", "04 78"},
    {"69300", "CALUIRE-ET-CUIRE", "04 78"}, {"69600", "OULLINS", "04 78"}, {"69130", "ÉCULLY", "04 78"},
    {"69160", "TASSIN-LA-DEMI-LUNE", "04 78"}, {"69800", "SAINT-PRIEST", "04 72"}};

const char *const kStreets[] = {
    "rue Victor Hugo", "avenue Jean Jaurès", "rue de la République", "cours Gambetta", "rue Paul Bert",
    "rue Garibaldi", "chemin des Vignes", "boulevard des Belges", "impasse des Lilas", "rue des Tanneurs",
    "montée de la Grande Côte", "avenue Berthelot", "rue Pasteur", "allée des Tilleuls", "place du Marché",
    "rue du Docteur Rollet", "quai Saint-Vincent", "rue des Écoles", "avenue Félix Faure", "rue Anatole France"};

const char *const kMotifs[] = {
    "Renouvellement d'ordonnance", "Fièvre et courbatures", "Angine", "Suivi tension artérielle",
    "Douleurs lombaires", "Vaccination antigrippale", "Bilan annuel", "Certificat de sport",
    "Toux persistante", "Gastro-entérite", "Suivi diabète", "Entorse de cheville", "Otite",
    "Fatigue, bilan sanguin", "Éruption cutanée", "Insomnie", "Conjonctivite", "Suivi grossesse"};
const char *const kCardioMotifs[] = {
    "Avis cardiologique", "Palpitations", "Essoufflement à l'effort", "Suivi insuffisance cardiaque",
    "Bilan préopératoire", "Douleur thoracique"};

const char *const kLetterSubjects[] = {
    "Courrier au confrère cardiologue", "Demande d'avis dermatologique", "Certificat médical",
    "Compte rendu de consultation", "Demande d'examen radiologique", "Courrier de liaison infirmière"};
const char *const kPrescriptions[] = {
    "Paracétamol 1 g : 1 comprimé 3 fois par jour pendant 5 jours.",
    "Amoxicilline 1 g : 1 comprimé matin et soir pendant 6 jours.",
    "Ibuprofène 400 mg : 1 comprimé 3 fois par jour au cours des repas pendant 3 jours.",
    "Séances de kinésithérapie : 10 séances, rééducation lombaire.",
    "Bilan sanguin : NFS, ionogramme, glycémie à jeun, bilan lipidique.",
    "Ramipril 5 mg : 1 comprimé le matin. Traitement pour 3 mois.",
    "Metformine 850 mg : 1 comprimé matin et soir. Traitement pour 3 mois."};
const char *const kHistory[] = {
    "Hypertension artérielle", "Diabète de type 2", "Appendicectomie (1998)", "Asthme",
    "Allergie à la pénicilline", "Fracture du poignet droit", "Hypothyroïdie", "Tabagisme sevré",
    "Cholécystectomie", "Migraines"};

struct Physician {
    const char *nom;
    const char *prenom;
    bool cardiologist;
    const char *bank;
};
// Number i + 1. The third one is the practice's cardiologist, who charges
// above the agreed fee.
const Physician kPhysicians[] = {
    {"MARCHAND", "Anne", false, "Banque du Rhône, agence Bellecour"},
    {"ROUSSEL", "Philippe", false, "Crédit de la Croix-Rousse"},
    {"BENHAMOU", "Sarah", true, "Banque de Fourvière"},
    {"LEFEBVRE", "Thomas", false, "Banque des Canuts"},
    {"NGUYEN", "Claire", false, "Crédit de la Croix-Rousse"},
    {"GARNIER", "Julien", false, "Banque du Rhône, agence Part-Dieu"}};
constexpr int kMaxPhysicians = 6;

struct Body {
    const char *organisme;
    const char *nom;
    const char *adresse;
    const char *cp;
    const char *ville;
    const char *telephone;
    bool principal;
    bool paysByCheque;
};
// Number i + 1: the local fund, the funds of the cities some patients come
// from, the farmers' fund, then the complementary insurers.
const Body kBodies[] = {
    {"016911000", "CPAM de Lyon", "12 rue de la Gare", "69003", "LYON", "36 46", true, false},
    {"013811000", "CPAM de Grenoble", "2 rue des Alliés", "38000", "GRENOBLE", "36 46", true, false},
    {"014211000", "CPAM de Saint-Étienne", "3 avenue de la Libération", "42000", "SAINT-ÉTIENNE", "36 46", true, false},
    {"010111000", "CPAM de Bourg-en-Bresse", "1 place de la Grenouillère", "01000", "BOURG-EN-BRESSE", "36 46", true, false},
    {"017511000", "CPAM de Paris", "21 rue Georges Auric", "75019", "PARIS", "36 46", true, false},
    {"011311000", "CPAM de Marseille", "8 rue Jules Moulet", "13006", "MARSEILLE", "36 46", true, false},
    {"026911000", "MSA Ain-Rhône", "15 avenue du Champ de Foire", "01000", "BOURG-EN-BRESSE", "04 74 45 99 00", true, false},
    {"775624012", "Mutuelle des Monts du Lyonnais", "4 place de la Mairie", "69170", "TARARE", "04 74 63 10 20", false, false},
    {"775658123", "Mutuelle Familiale du Rhône", "18 rue de la Charité", "69002", "LYON", "04 78 37 52 10", false, false},
    {"779312456", "Mutuelle des Soyeux", "9 rue d'Austerlitz", "69004", "LYON", "04 78 28 61 44", false, true},
    {"776543210", "Prévoyance Rhodanienne", "31 avenue Henri Barbusse", "69100", "VILLEURBANNE", "04 72 65 80 80", false, false},
    {"784442918", "Mutuelle des Enseignants du Sud-Est", "6 boulevard Gambetta", "38000", "GRENOBLE", "04 76 46 12 12", false, true},
    {"781209876", "Mutuelle des Artisans de la Loire", "22 rue de la Résistance", "42000", "SAINT-ÉTIENNE", "04 77 32 18 90", false, false},
    {"779900331", "Mutuelle Saint-Vincent", "5 quai Jean Jaurès", "38200", "VIENNE", "04 74 85 22 33", false, true}};
constexpr int kBodyCount = int(sizeof(kBodies) / sizeof(kBodies[0]));
constexpr int kFirstComplementary = 8;

// The accounting runs from early 2021 to the end of June 2024; a few rows in
// francs come from 2001, before the euro.
const QDate kActivityStart(2021, 1, 4);   // a Monday: weeks start there
const QDate kActivityEnd(2024, 6, 28);
const QDate kAsOf(2024, 6, 30);
const QDate kLastTransferMonth(2024, 6, 1);   // June is not transferred yet

// Blocks of numbers kept for the planted rows (see the header).
constexpr int kPlantedCpmain = 100;
constexpr int kPlantedFse = 20;
constexpr int kPlantedStatements = 20;
constexpr int kPlantedLines = 20;
constexpr int kPlantedTransfers = 10;
constexpr int kPlantedDeposits = 10;

constexpr int kPatientToAttach = 4;
constexpr int kPatientToCreate = 9;
constexpr int kPatientOfOrphanSheets = 15;
constexpr int kAttachTo = 10;

QString text(const char *s) { return QString::fromUtf8(s); }
QVariant money(qint64 cents) { return QVariant(double(cents) / 100.0); }
QString stamp(const QDateTime &dt) { return db::formats::storageText(dt); }
QString stamp(const QDate &d) { return db::formats::storageText(QDateTime(d, QTime(0, 0))); }
int monthKey(const QDate &d) { return d.year() * 12 + d.month() - 1; }
QDate monthStart(int key) { return QDate(key / 12, key % 12 + 1, 1); }

QString expectedNomon(const QString &nom, int id)
{
    const QString digits = QString::number(id);
    return nom.left(1) + QStringLiteral("000000").left(std::max(0, 6 - int(digits.size()))) + digits;
}

// ---------------------------------------------------------------------------
// Writing rows: one prepared INSERT per table, every column bound, so an
// unset column is stored as null.

class Table {
public:
    class Row {
    public:
        Row &set(const char *column, const QVariant &value)
        {
            m_values[m_table->column(column)] = value;
            return *this;
        }
        Row &setNull(const char *column) { return set(column, QVariant()); }
        Row &setDate(const char *column, const QDateTime &dt) { return set(column, stamp(dt)); }
        Row &setMoney(const char *column, qint64 cents) { return set(column, money(cents)); }
        Row &setBool(const char *column, bool b) { return set(column, b ? 1 : 0); }
        QVariant get(const char *column) const { return m_values[m_table->column(column)]; }

    private:
        friend class Table;
        explicit Row(const Table *t) : m_table(t), m_values(int(t->m_names.size())) {}
        const Table *m_table;
        QVariantList m_values;
    };

    Table(QSqlDatabase db, const char *name) : m_query(db)
    {
        m_def = findTable(text(name));
        if (!m_def)
            throw std::logic_error(std::string("no such practice table: ") + name);
        QStringList cols, marks;
        for (const Column &c : m_def->columns) {
            m_names.push_back(c.name.toLatin1());
            cols << c.name;
            marks << QStringLiteral("?");
        }
        for (size_t i = 0; i < m_names.size(); ++i)
            m_index.emplace(std::string_view(m_names[i].constData(), size_t(m_names[i].size())), int(i));
        if (!m_query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                 .arg(m_def->name, cols.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))))
            throw db::DbError(m_query.lastError().text());
    }

    Row row() const { return Row(this); }

    void insert(const Row &r)
    {
        for (int i = 0; i < r.m_values.size(); ++i)
            m_query.bindValue(i, r.m_values[i]);
        if (!m_query.exec())
            throw db::DbError(QStringLiteral("%1 : %2").arg(m_def->name, m_query.lastError().text()));
    }

    int column(const char *name) const
    {
        const auto it = m_index.find(std::string_view(name));
        if (it == m_index.end())
            throw std::logic_error(std::string("no column ") + name + " in " + m_def->name.toStdString());
        return it->second;
    }

private:
    const TableDef *m_def = nullptr;
    QSqlQuery m_query;
    std::vector<QByteArray> m_names;
    std::unordered_map<std::string_view, int> m_index;
};

// ---------------------------------------------------------------------------

struct PatientInfo {
    int id = 0;
    QString nom;
    QString prenom;
    QDate born;
    char sex = 'F';
    int physician = 0;    // attending physician as stored; 0 when none
    int principal = 1;    // CPORG number of the patient's fund
    int mutuelle = 0;     // 0 when none
};

struct Act {
    const char *code;
    const char *label;
    qint64 tarif;     // agreed fee, cents
    qint64 montant;   // billed, cents
};

struct Deposit {
    int physician = 0;
    QDate date;
    qint64 cents = 0;
    int count = 0;
    bool patient = true;   // patients' cheques, or the insurers'
};

struct Statement {
    int body = 0;
    int physician = 0;
    QDate date;
    qint64 cents = 0;
    int deposit = 0;   // 0 when paid by transfer
};

struct Transfer {
    int physician = 0;
    QDate date;
};

class Generator {
public:
    Generator(QSqlDatabase db, int patients, quint64 seed, int visits)
        : m_db(db), m_patients(patients), m_seed(seed), m_visits(visits), m_extra(std::min(5, patients / 5000)),
          m_physicianCount(patients < 50 ? 4 : patients < 5000 ? 5 : 6),
          tPatients(db, "PATIENTS"), tMedecins(db, "MEDECINS"), tMotconsu(db, "MOTCONSU"), tCpmain(db, "CPMAIN"),
          tCporg(db, "CPORG"), tCpordpay(db, "CPORDPAY"), tCpgest(db, "CPGEST"), tCpsvfact(db, "CPSVFACT"),
          tCptrans(db, "CPTRANS"), tCprem(db, "CPREM"), tCpbanks(db, "CPBANKS"), tIdValues(db, "ID_VALUES"),
          tCourrier(db, "COURRIER"), tOrdonnance(db, "ORDONNANCE"), tAntecedents(db, "ANTECEDENTS"),
          tMetatable(db, "METATABLE"), tMetafield(db, "METAFIELD"), tTablelink(db, "TABLELINK")
    {
        for (QDate d = kActivityStart; d <= kActivityEnd; d = d.addDays(1))
            if (d.dayOfWeek() != Qt::Sunday)
                m_workingDays.push_back(d);
    }

    PlantedFaults run()
    {
        m_faults.physicians = m_physicianCount;
        writeReference();
        plant();
        writePatients();
        writeAggregates();
        writeCounters();
        m_faults.patients = m_patientRows;
        m_faults.cpmainRows = m_cpmainRows;
        return m_faults;
    }

private:
    // -- reference tables ----------------------------------------------------

    void writeReference()
    {
        for (int i = 0; i < m_physicianCount; ++i) {
            const Physician &p = kPhysicians[i];
            tMedecins.insert(tMedecins.row()
                                 .set("MEDECINS_ID", i + 1)
                                 .set("MEDECINS_COMPTABLE_ID", i + 1)
                                 .set("SYSTEM_FLAGS", QStringLiteral("*US PA CO CM AN"))
                                 .set("NOM", text(p.nom))
                                 .set("PRENOM", text(p.prenom))
                                 .set("SV_LPS", QStringLiteral("Lecteur Sesam-Vitale sur port USB, carte CPS n°%1")
                                                    .arg(8100000000ll + 7919 * (i + 1)))
                                 .set("AG2035_COMPTE", QStringLiteral("7060"))
                                 .setBool("ACCESSTOSV", true));
        }
        // The front desk is a user of the software, not a physician: no
        // patients, no accounting, no bank.
        const int desk = m_physicianCount + 1;
        tMedecins.insert(tMedecins.row()
                             .set("MEDECINS_ID", desk)
                             .set("MEDECINS_COMPTABLE_ID", desk)
                             .set("SYSTEM_FLAGS", QStringLiteral("*US"))
                             .set("NOM", QStringLiteral("SECRÉTARIAT"))
                             .set("PRENOM", QStringLiteral("Accueil"))
                             .setBool("ACCESSTOSV", false));

        int bank = 0;
        for (int i = 0; i < m_physicianCount; ++i) {
            m_bankOf[i + 1] = ++bank;
            tCpbanks.insert(tCpbanks.row()
                                .set("CPBanks_ID", bank)
                                .set("Medecins_ID", i + 1)
                                .set("Label", QStringLiteral("Banque 1"))
                                .set("Name", text(kPhysicians[i].bank)));
            if (i == 0)   // a second account, which the deposits never use
                tCpbanks.insert(tCpbanks.row()
                                    .set("CPBanks_ID", ++bank)
                                    .set("Medecins_ID", 1)
                                    .set("Label", QStringLiteral("Banque 2"))
                                    .set("Name", QStringLiteral("Société Lyonnaise de Dépôts")));
        }

        for (int i = 0; i < kBodyCount; ++i) {
            const Body &b = kBodies[i];
            tCporg.insert(tCporg.row()
                              .set("CPOrg_ID", i + 1)
                              .set("Organisme", text(b.organisme))
                              .set("Nom", text(b.nom))
                              .set("Adresse", text(b.adresse))
                              .set("CP", text(b.cp))
                              .set("Ville", text(b.ville))
                              .set("Telephone", text(b.telephone))
                              .setBool("Princ", b.principal)
                              .set("TauxDef", b.principal ? 70.0 : 30.0)
                              .set("BaseRemb", b.principal ? QStringLiteral("Tarif conventionnel") : QStringLiteral("BR + ticket modérateur"))
                              .set("Comments", b.paysByCheque ? QStringLiteral("Règle par chèque.") : QVariant()));
        }

        tMetatable.insert(tMetatable.row().set("METATABLE_ID", 1).set("TABLE_NAME", QStringLiteral("PATIENTS")));
        tMetafield.insert(tMetafield.row()
                              .set("METAFIELD_ID", 1)
                              .set("TABLE_NAME", QStringLiteral("PATIENTS"))
                              .set("FIELD_NAME", QStringLiteral("PATIENTS_ID")));
        tTablelink.insert(tTablelink.row()
                              .set("TABLELINK_ID", 1)
                              .set("MASTER", QStringLiteral("PATIENTS"))
                              .set("DETAIL", QStringLiteral("MOTCONSU")));
    }

    // -- accounting rows -----------------------------------------------------

    // Every row goes through here, so that no two rows share patient,
    // physician, date and time unless a case asks for it: an accidental
    // duplicate would be one more fault than the ones documented.
    int addCpmain(Table::Row &r, bool duplicate = false)
    {
        const int id = m_nextCpmain++;
        r.set("CPMAIN_ID", id);
        const QVariant pid = r.get("PATIENTS_ID");
        const auto key = std::make_tuple(pid.isNull() ? -1 : pid.toInt(), r.get("MEDECINS_ID").toInt(),
                                         r.get("DATE_CONSULTATION").toString());
        if (!m_accountingKeys.insert(key).second && !duplicate)
            throw std::logic_error("demo data: unplanned duplicate accounting row " + std::to_string(id));
        tCpmain.insert(r);
        ++m_cpmainRows;
        return id;
    }

    void addConsultation(int patient, const QDateTime &when, int physician, const QString &motif)
    {
        if (!m_consultationKeys.insert({patient, stamp(when)}).second)
            return;   // one consultation for the duplicates of one visit
        tMotconsu.insert(tMotconsu.row()
                             .set("MOTCONSU_ID", ++m_motconsu)
                             .set("PATIENTS_ID", patient)
                             .setDate("DATE_CONSULTATION", when)
                             .set("MOTIF_DE_CONSULTATION", motif)
                             .set("MEDECINS_ID", physician));
    }

    void addCareSheet(int id, const QVariant &patient, int physician, const QDateTime &when, qint64 cents)
    {
        tCpsvfact.insert(tCpsvfact.row()
                             .set("CPSVFact_ID", id)
                             .set("Patients_ID", patient)
                             .set("MEDECINS_ID", physician)
                             .setDate("DATE_FSE", when)
                             .setMoney("MONTANT", cents));
    }

    // -- planted faults ------------------------------------------------------

    // A consultation at the agreed fee paid in cash, with the patient's fund:
    // healthy in every respect, which each case then breaks in one way.
    Table::Row plainVisit(int patient, int physician, const QDateTime &when)
    {
        Table::Row r = tCpmain.row();
        if (patient)
            r.set("PATIENTS_ID", patient);
        r.set("MEDECINS_ID", physician)
            .setDate("DATE_CONSULTATION", when)
            .set("CodeActe1", QStringLiteral("C"))
            .set("LabelActe1", QStringLiteral("Consultation"))
            .setMoney("Tarif1", 2650)
            .setMoney("Montant1", 2650)
            .setMoney("TarifSS1", 2650)
            .setMoney("MontantSS1", 2650)
            .setMoney("Paiement1", 2650)
            .set("Mode1", QStringLiteral("ESPECES"))
            .setBool("TiersPayant", false)
            .set("CPOrg_1_ID", 1)
            .set("MONNAIE1", QStringLiteral("EUR"))
            .set("MONNAIE2", QStringLiteral("EUR"));
        return r;
    }

    // The same visit billed to the fund (70 %) and to a complementary insurer
    // (the rest), nothing settled yet.
    Table::Row tiersPayantVisit(int patient, int physician, const QDateTime &when, int body1, int body2)
    {
        Table::Row r = plainVisit(patient, physician, when);
        r.setNull("Paiement1").setNull("Mode1").setBool("TiersPayant", true).set("CPOrg_1_ID", body1)
            .setMoney("MontantTiersPayant1", 1855).setMoney("RegleTiersPayant1", 0).set("Taux1", 70.0);
        if (body2)
            r.set("CPOrg_2_ID", body2).setMoney("MontantTiersPayant2", 795).setMoney("RegleTiersPayant2", 0)
                .set("Taux2", 30.0);
        return r;
    }

    // Distinct from each other, and never on a quarter hour like the healthy
    // visits, so a planted row cannot meet one by chance.
    QDateTime nextPlantedWhen()
    {
        const int k = m_plantedWhen++;
        QDate d = QDate(2024, 2, 5).addDays(k);
        if (d.dayOfWeek() == Qt::Sunday)
            d = d.addDays(-1);
        return QDateTime(d, QTime(8 + k % 10, 55));
    }

    int nextHost()
    {
        static const int hosts[] = {1, 2, 7, 10, 12, 16, 18, 20, 22, 23, 25, 26, 28, 29, 30};
        return hosts[m_host++ % int(sizeof(hosts) / sizeof(hosts[0]))];
    }

    enum class Visit { Recorded, NotRecorded };

    int plantRow(Table::Row r, Visit visit = Visit::Recorded, bool duplicate = false)
    {
        const int id = addCpmain(r, duplicate);
        const QVariant pid = r.get("PATIENTS_ID");
        if (visit == Visit::Recorded && !pid.isNull())
            addConsultation(pid.toInt(), *db::formats::fromStorageText(r.get("DATE_CONSULTATION").toString()),
                            r.get("MEDECINS_ID").toInt(), text(kMotifs[id % int(std::size(kMotifs))]));
        return id;
    }

    using Builder = std::function<Table::Row(int patient, const QDateTime &when)>;

    // A row of the next host patient at the next planted time.
    int plantNext(const Builder &build) { return plantRow(build(nextHost(), nextPlantedWhen())); }

    void plant()
    {
        PlantedFaults &f = m_faults;
        m_nextCpmain = 1;

        // Physicians missing from MEDECINS.
        f.missingPhysicians = {91, 92};
        f.patientsOfMissingPhysicians = {6, 19, 24};
        f.cpmainOfNamedMissingPhysician = plantRow(plainVisit(6, 91, QDateTime(QDate(2024, 1, 8), QTime(9, 5))));
        f.accountingOnlyPhysicians = {97, 98};
        f.cpmainOfAccountingOnlyPhysicians << plantRow(plainVisit(30, 97, QDateTime(QDate(2024, 1, 9), QTime(9, 5))))
                                           << plantRow(plainVisit(28, 97, QDateTime(QDate(2024, 1, 9), QTime(9, 35))))
                                           << plantRow(plainVisit(26, 97, QDateTime(QDate(2024, 1, 11), QTime(14, 5))))
                                           << plantRow(plainVisit(25, 98, QDateTime(QDate(2024, 1, 12), QTime(10, 5))));

        // Rows without any amount: the act was keyed, the visit never billed.
        for (int i = 0; i < 2 + m_extra; ++i)
            f.emptyCpmain << plantNext([this](int p, const QDateTime &w) {
                Table::Row r = plainVisit(p, 1, w);
                for (const char *c : {"Tarif1", "Montant1", "TarifSS1", "MontantSS1", "Paiement1", "Mode1", "CPOrg_1_ID"})
                    r.setNull(c);
                return r;
            });
        // A free visit: zeros are amounts.
        f.zeroAmountCpmain = plantNext([this](int p, const QDateTime &w) {
            Table::Row r = plainVisit(p, 1, w);
            r.setMoney("Montant1", 0).setMoney("Paiement1", 0).set("LabelActe1", QStringLiteral("Consultation gratuite"));
            return r;
        });

        // References to care sheets that are gone (the hole 3, the number 0).
        QList<int> sheets = {3, 3, 0};
        for (int i = 0; i < m_extra; ++i)
            sheets << 8 + i;
        for (int sheet : sheets) {
            if (!f.missingCareSheets.contains(sheet))
                f.missingCareSheets << sheet;
            f.cpmainWithMissingCareSheet << plantNext([this, sheet](int p, const QDateTime &w) {
                Table::Row r = plainVisit(p, 1, w);
                r.set("CPSVFact_ID", sheet).setMoney("SVMontant", 2650).set("SVCodeActes", QStringLiteral("C"));
                return r;
            });
        }

        // Duplicates. The pair: the first lacks its fee details.
        const QDateTime pairWhen(QDate(2024, 2, 12), QTime(10, 20));
        {
            Table::Row a = plainVisit(20, 2, pairWhen);
            a.setNull("LabelActe1").setNull("TarifSS1").setNull("MontantSS1");
            Table::Row b = plainVisit(20, 2, pairWhen);
            b.set("Payeur", QStringLiteral("Mme la patiente")).set("IDP1", QStringLiteral("Reçu 2024-118"));
            f.duplicatePair << plantRow(a, Visit::Recorded, true) << plantRow(b, Visit::Recorded, true);
        }
        // The triple: the middle one was completed, the others keyed twice in haste.
        const QDateTime tripleWhen(QDate(2024, 2, 14), QTime(16, 40));
        {
            Table::Row a = plainVisit(22, 1, tripleWhen);
            a.setNull("TarifSS1").setNull("MontantSS1");
            Table::Row b = plainVisit(22, 1, tripleWhen);
            b.set("Payeur", QStringLiteral("M. le patient")).set("CodeActe2", QStringLiteral("K"))
                .set("LabelActe2", QStringLiteral("Électrocardiogramme")).setMoney("Tarif2", 1440)
                .setMoney("Montant2", 1440).setMoney("Paiement1", 4090);
            Table::Row c = plainVisit(22, 1, tripleWhen);
            c.setNull("LabelActe1").setNull("TarifSS1").setNull("MontantSS1").setNull("CPOrg_1_ID");
            f.duplicateTriple << plantRow(a, Visit::Recorded, true) << plantRow(b, Visit::Recorded, true)
                              << plantRow(c, Visit::Recorded, true);
        }
        // Morning and afternoon of the same day: two visits, not a duplicate.
        f.sameDayOtherTime << plantRow(plainVisit(23, 3, QDateTime(QDate(2024, 2, 16), QTime(9, 5))))
                           << plantRow(plainVisit(23, 3, QDateTime(QDate(2024, 2, 16), QTime(11, 5))));

        // Rows that lost their patient number.
        for (int i = 0; i < 2 + m_extra; ++i)
            f.cpmainWithoutPatient << plantNext([this](int, const QDateTime &w) { return plainVisit(0, 1, w); });

        // Unknown patient 4, whose file was merged by hand into file 10 but
        // whose accounting stayed: the first row is the visit file 10 has too.
        const QDateTime mergeWhen(QDate(2024, 4, 3), QTime(14, 50));
        {
            Table::Row t = tiersPayantVisit(kAttachTo, 2, mergeWhen, 1, 0);
            t.setMoney("Paiement1", 795).set("Mode1", QStringLiteral("CB"));
            f.mergeTarget = plantRow(t);
            Table::Row r1 = plainVisit(kPatientToAttach, 2, mergeWhen);
            r1.set("CodeActe1", QStringLiteral("K")).set("LabelActe1", QStringLiteral("Électrocardiogramme"))
                .setMoney("Tarif1", 1440).setMoney("Montant1", 1440).setMoney("TarifSS1", 1440)
                .setMoney("MontantSS1", 1440).setMoney("Paiement1", 1440).set("Mode1", QStringLiteral("CHEQUE"))
                .set("IDP1", QStringLiteral("3021457"));
            f.mergeSource = plantRow(r1, Visit::NotRecorded);
            const QDateTime w2(QDate(2024, 4, 17), QTime(10, 5));
            Table::Row r2 = tiersPayantVisit(kPatientToAttach, 2, w2, 1, 9);
            r2.set("CPSVFact_ID", 1).setMoney("SVMontant", 2650).set("SVCodeActes", QStringLiteral("C"));
            addCareSheet(1, kPatientToAttach, 2, w2, 2650);
            const int id2 = plantRow(r2);
            Table::Row r3 = plainVisit(kPatientToAttach, 3, QDateTime(QDate(2024, 5, 6), QTime(15, 35)));
            r3.set("CodeActe1", QStringLiteral("CS")).set("LabelActe1", QStringLiteral("Consultation spécialiste"))
                .setMoney("Tarif1", 3000).setMoney("Montant1", 3500).setMoney("TarifSS1", 3000)
                .setMoney("MontantSS1", 3000).setMoney("Paiement1", 3500).set("Mode1", QStringLiteral("CB"));
            f.cpmainOfPatientToAttach << f.mergeSource << id2 << plantRow(r3, Visit::NotRecorded);
        }
        // Unknown patient 9, whose file was lost: it is to be created again.
        {
            const QDateTime w1(QDate(2024, 3, 11), QTime(11, 10));
            Table::Row s1 = tiersPayantVisit(kPatientToCreate, 1, w1, 1, 0);
            s1.setMoney("Paiement1", 795).set("Mode1", QStringLiteral("CB"))
                .set("CPSVFact_ID", 2).setMoney("SVMontant", 2650).set("SVCodeActes", QStringLiteral("C"));
            addCareSheet(2, kPatientToCreate, 1, w1, 2650);
            Table::Row s2 = plainVisit(kPatientToCreate, 1, QDateTime(QDate(2024, 3, 25), QTime(9, 50)));
            f.cpmainOfPatientToCreate << plantRow(s1, Visit::NotRecorded) << plantRow(s2, Visit::NotRecorded);
        }
        f.careSheetsOfUnknownPatients = {1, 2};
        // Care sheets of a deleted file, and one that never had a patient.
        f.orphanCareSheets = {5, 6, 7};
        addCareSheet(5, kPatientOfOrphanSheets, 1, QDateTime(QDate(2023, 11, 6), QTime(10, 0)), 2500);
        addCareSheet(6, kPatientOfOrphanSheets, 1, QDateTime(QDate(2023, 12, 4), QTime(17, 30)), 2500);
        addCareSheet(7, QVariant(), 2, QDateTime(QDate(2024, 1, 15), QTime(8, 45)), 2650);
        plantPatientPapers();

        // Rows of transfers that are gone from CPTRANS.
        f.missingTransfers = {3, 4};
        for (const auto &[transfer, physician, when] :
             std::vector<std::tuple<int, int, QDateTime>>{{3, 1, QDateTime(QDate(2024, 1, 10), QTime(9, 5))},
                                                          {3, 2, QDateTime(QDate(2024, 1, 22), QTime(17, 5))},
                                                          {3, 1, QDateTime(QDate(2024, 1, 15), QTime(10, 5))},
                                                          {4, 3, QDateTime(QDate(2024, 1, 29), QTime(11, 5))}}) {
            Table::Row r = plainVisit(nextHost(), physician, when);
            r.set("CPTrans_ID", transfer);
            f.cpmainWithMissingTransfer << plantRow(r);
        }

        // Rows of cheque deposits that are gone from CPREM.
        f.missingDepositsOfAccounting = {2, 3};
        auto deposited = [this](int physician, const QDateTime &when, int deposit) {
            Table::Row r = plainVisit(nextHost(), physician, when);
            r.set("CPRem_ID", deposit).set("CPBanks_ID", m_bankOf.at(physician))
                .setDate("DepoDate", QDateTime(when.date().addDays(8 - when.date().dayOfWeek()), QTime(0, 0)));
            return r;
        };
        {
            Table::Row a = deposited(1, QDateTime(QDate(2024, 3, 4), QTime(9, 5)), 2);
            a.set("Mode1", QStringLiteral("CHEQUE")).set("IDP1", QStringLiteral("4410021"));
            Table::Row b = deposited(1, QDateTime(QDate(2024, 3, 5), QTime(10, 5)), 2);
            b.set("Mode1", QStringLiteral("Chèque")).set("IDP1", QStringLiteral("0918334"));
            Table::Row c = deposited(2, QDateTime(QDate(2024, 3, 6), QTime(11, 5)), 2);
            c.setMoney("Paiement1", 1000).setMoney("Paiement2", 1650).set("Mode2", QStringLiteral("cheque"))
                .set("IDP2", QStringLiteral("7730012"));
            Table::Row d = deposited(3, QDateTime(QDate(2024, 3, 7), QTime(14, 5)), 3);
            d.set("CodeActe1", QStringLiteral("CS")).setMoney("Tarif1", 3000).setMoney("Montant1", 3000)
                .setMoney("TarifSS1", 3000).setMoney("MontantSS1", 3000).setMoney("Paiement1", 3000)
                .set("Mode1", QStringLiteral("Chèque")).set("IDP1", QStringLiteral("2200416"));
            f.cpmainWithMissingDeposit << plantRow(a) << plantRow(b) << plantRow(c) << plantRow(d);
        }

        // Insurance bodies that are gone from CPORG. The first row was settled
        // by statement 7, of body 31 too.
        f.missingPrincipalBodies = {31, 33};
        f.missingComplementaryBodies = {32, 33};
        f.missingStatementBodies = {31, 34};
        auto billedTo = [this](int physician, int body1, int body2, qint64 settled1) {
            return [=, this](int p, const QDateTime &w) {
                Table::Row r = tiersPayantVisit(p, physician, w, body1, body2);
                r.setMoney("RegleTiersPayant1", settled1);
                if (!body2)
                    r.setMoney("Paiement1", 795).set("Mode1", QStringLiteral("ESPECES"));
                return r;
            };
        };
        f.cpmainWithMissingPrincipal << plantNext(billedTo(1, 31, 0, 1855)) << plantNext(billedTo(1, 31, 0, 0));
        f.cpmainWithMissingComplementary << plantNext(billedTo(1, 1, 32, 0)) << plantNext(billedTo(1, 1, 32, 0));
        f.cpmainWithMissingPrincipal << plantNext(billedTo(2, 33, 0, 0));
        f.cpmainWithMissingComplementary << plantNext(billedTo(2, 1, 33, 0));

        // Balances. 18.55 - 18.545 is half a cent; 18.55 - 18.54 is a cent
        // (a hair above it in binary), which must stay.
        auto settled = [this](double regle1, double regle2, bool both) {
            return [=, this](int p, const QDateTime &w) {
                Table::Row r = tiersPayantVisit(p, 1, w, 1, both ? 9 : 0);
                r.set("RegleTiersPayant1", regle1);
                if (both)
                    r.set("RegleTiersPayant2", regle2);
                else
                    r.setMoney("Paiement1", 795).set("Mode1", QStringLiteral("CB"));
                return r;
            };
        };
        for (int i = 0; i < 1 + m_extra; ++i)
            f.smallPrincipalBalances << plantNext(settled(18.545, 0, false));
        f.smallComplementaryBalances << plantNext(settled(18.55, 7.945, true));
        f.oneCentBalance = plantNext(settled(18.54, 0, false));
        for (int i = 0; i < 1 + m_extra; ++i)
            f.principalCredits << plantNext(settled(25.45, 0, false));
        {
            // A visit of 2001, in francs: the insurer paid 5,50 F too much.
            const QDateTime when(QDate(2001, 3, 14), QTime(10, 35));
            Table::Row r = tiersPayantVisit(nextHost(), 1, when, 1, 9);
            r.setMoney("Tarif1", 11500).setMoney("Montant1", 11500).setNull("TarifSS1").setNull("MontantSS1")
                .setMoney("MontantTiersPayant1", 8050).setMoney("RegleTiersPayant1", 8050)
                .setMoney("MontantTiersPayant2", 3450).setMoney("RegleTiersPayant2", 4000)
                .set("MONNAIE1", QStringLiteral("FRF")).set("MONNAIE2", QStringLiteral("FRF"));
            f.complementaryCreditFrf = plantRow(r);
        }
        f.doubleCredit = plantNext(settled(20.55, 10.95, true));
        f.tinyCredit = plantNext(settled(18.555, 0, false));

        if (m_nextCpmain > kPlantedCpmain + 1)
            throw std::logic_error("demo data: the planted accounting rows overflow their block");
        plantStatements();
    }

    void plantPatientPapers()
    {
        auto letter = [this](int patient, const QDate &d, const char *subject) {
            const int id = ++m_courrier;
            tCourrier.insert(tCourrier.row()
                                 .set("COURRIER_ID", id)
                                 .set("PATIENTS_ID", patient)
                                 .set("DATE_COURRIER", stamp(d))
                                 .set("OBJET", text(subject))
                                 .set("TEXTE", QStringLiteral("Cher confrère,\r\nje vous adresse ce patient pour avis.\r\nBien confraternellement.")));
            return id;
        };
        auto prescription = [this](int patient, const QDate &d, const char *content) {
            const int id = ++m_ordonnance;
            tOrdonnance.insert(tOrdonnance.row()
                                   .set("ORDONNANCE_ID", id)
                                   .set("PATIENTS_ID", patient)
                                   .set("DATE_ORDONNANCE", stamp(d))
                                   .set("CONTENU", text(content)));
            return id;
        };
        PlantedFaults &f = m_faults;
        f.courrierOfUnknownPatients << letter(kPatientToAttach, QDate(2024, 4, 17), "Courrier au confrère cardiologue")
                                    << letter(kPatientToCreate, QDate(2024, 3, 11), "Certificat médical");
        f.ordonnanceOfUnknownPatients << prescription(kPatientToAttach, QDate(2024, 4, 3), kPrescriptions[4])
                                      << prescription(kPatientToAttach, QDate(2024, 4, 17), kPrescriptions[5])
                                      << prescription(kPatientToCreate, QDate(2024, 3, 11), kPrescriptions[0]);
        tAntecedents.insert(tAntecedents.row()
                                .set("ANTECEDENTS_ID", ++m_antecedents)
                                .set("Patients_ID", kPatientToAttach)
                                .set("LIBELLE", QStringLiteral("Hypertension artérielle")));
    }

    void plantStatements()
    {
        PlantedFaults &f = m_faults;
        auto statement = [this](int id, const QVariant &body, const QVariant &deposit, const QDate &date, bool cheque,
                                qint64 cents, int physician) {
            tCpordpay.insert(tCpordpay.row()
                                 .set("CPORDPAY_ID", id)
                                 .set("CPOrg_ID", body)
                                 .set("CPRem_ID", deposit)
                                 .set("P_DATE", stamp(date))
                                 .setBool("Cheque", cheque)
                                 .setMoney("PayeSum", cents)
                                 .set("MEDECINS_ID", physician)
                                 .set("Bank", m_bankOf.at(physician)));
        };
        // Keyed and abandoned before the insurer was chosen.
        f.statementsWithoutBody << 1 << 2;
        statement(1, QVariant(), QVariant(), QDate(2024, 2, 9), false, 0, 1);
        statement(2, QVariant(), QVariant(), QDate(2024, 3, 8), false, 0, 2);
        for (int i = 0; i < m_extra; ++i) {
            f.statementsWithoutBody << 11 + i;
            statement(11 + i, QVariant(), QVariant(), QDate(2024, 4, 10).addDays(i), false, 0, 1 + i % 3);
        }
        // Deposit 5 held the cheques of statements 3 and 5; statement 4 was
        // paid by transfer but filed under it all the same.
        f.missingDepositsOfStatements = {5, 2};
        f.statementsWithMissingDeposit = {3, 4, 5, 6};
        statement(3, 1, 5, QDate(2024, 2, 12), true, 12050, 1);
        statement(4, 1, 5, QDate(2024, 2, 13), false, 8000, 2);
        statement(5, 1, 5, QDate(2024, 2, 14), true, 4530, 2);
        statement(6, 9, 2, QDate(2024, 3, 6), true, 3180, 1);
        // Statements of insurers that are gone; 31 also has accounting rows.
        f.statementsWithMissingBody = {7, 10};
        statement(7, 31, QVariant(), QDate(2024, 3, 15), false, 1855, 1);
        statement(10, 34, QVariant(), QDate(2024, 3, 18), false, 2270, 3);
        tCpgest.insert(tCpgest.row()
                           .set("CPGest_ID", ++m_cpgest)
                           .set("CPOrdpay_ID", 7)
                           .set("CPMain_ID", f.cpmainWithMissingPrincipal.first())
                           .setMoney("Montant", 1855));
        // Lines of statements 8 and 9, deleted without their lines.
        f.missingStatements = {8, 9};
        const QList<int> settledRows = {f.smallPrincipalBalances.first(), f.oneCentBalance, f.doubleCredit};
        for (int i = 0; i < 4 + m_extra; ++i) {
            const int id = ++m_cpgest;
            f.orphanSettlementLines << id;
            tCpgest.insert(tCpgest.row()
                               .set("CPGest_ID", id)
                               .set("CPOrdpay_ID", i < 3 ? 8 : 9)
                               .set("CPMain_ID", settledRows[i % settledRows.size()])
                               .setMoney("Montant", 1855));
        }
        if (m_cpgest > kPlantedLines || 10 + m_extra > kPlantedStatements)
            throw std::logic_error("demo data: the planted statements overflow their block");
    }

    // -- healthy patients ----------------------------------------------------

    PatientInfo makePatient(int id, Rng &rng) const
    {
        PatientInfo p;
        p.id = id;
        p.nom = text(rng.pick(kSurnames));
        const FirstName &fn = rng.pick(kFirstNames);
        p.prenom = text(fn.name);
        p.sex = fn.sex;
        p.born = QDate(1932, 1, 1).addDays(rng.below(88 * 365));
        p.physician = 1 + rng.below(m_physicianCount);
        static const int principalWeights[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 3, 4, 5, 7};
        p.principal = rng.pick(principalWeights);
        p.mutuelle = rng.chance(65) ? kFirstComplementary + rng.below(kBodyCount - kFirstComplementary + 1) : 0;
        return p;
    }

    void writePatients()
    {
        // The scaled cases sit just below each multiple of 5000.
        std::set<int> extraNomon, extraPrenom;
        for (int i = 1; i <= m_extra; ++i) {
            extraNomon.insert(5000 * i - 1);
            extraPrenom.insert(5000 * i - 2);
        }
        PlantedFaults &f = m_faults;
        f.wrongNomon = {3, 8, 13, 21};
        f.unusualButRightNomon = {11, 14};
        f.emptyPrenom = {5, 17};
        for (int id : extraNomon)
            f.wrongNomon << id;
        for (int id : extraPrenom)
            f.emptyPrenom << id;

        m_nextCpmain = kPlantedCpmain + 1;
        for (int id = 1; m_patientRows < m_patients; ++id) {
            if (id == kPatientToAttach || id == kPatientToCreate || id == kPatientOfOrphanSheets)
                continue;
            Rng rng(streamSeed(m_seed, quint64(id)));
            PatientInfo p = makePatient(id, rng);
            QVariant nomon;
            QVariant prenom = p.prenom;
            QVariant physician = p.physician;
            switch (id) {
            case 3: p.nom = text(rng.pick(kParticleNames)); nomon = QStringLiteral("D") + expectedNomon(p.nom, id).mid(1); break;
            case 8: break;
            case 11: p.nom = text(rng.pick(kLowerInitialNames)); nomon = expectedNomon(p.nom, id); break;
            case 13: nomon = p.nom.left(1) + QStringLiteral("13"); break;
            case 14: p.nom = text(rng.pick(kAccentedNames)); nomon = expectedNomon(p.nom, id); break;
            case 21: nomon = p.nom.left(1) + QStringLiteral("000012"); break;
            default:
                nomon = extraNomon.count(id) ? p.nom.left(1) + QString::number(id) : expectedNomon(p.nom, id);
            }
            if (id == 5)
                prenom = QString(QStringLiteral(""));
            else if (id == 17 || extraPrenom.count(id))
                prenom = QVariant();
            if (id == 6 || id == 19)
                physician = 91;
            else if (id == 24)
                physician = 92;
            else if (id == 27)
                physician = QVariant();
            const City &city = rng.pick(kCities);
            tPatients.insert(tPatients.row()
                                 .set("PATIENTS_ID", id)
                                 .set("NOM", p.nom)
                                 .set("PRENOM", prenom)
                                 .set("NE_LE", stamp(p.born))
                                 .set("N_OMON", nomon)
                                 .set("MEDECINS_ID", physician)
                                 .set("SEXE", QString(QLatin1Char(p.sex)))
                                 .set("ADRESSE", QStringLiteral("%1 %2").arg(1 + rng.below(120)).arg(text(rng.pick(kStreets))))
                                 .set("CP", text(city.cp))
                                 .set("VILLE", text(city.ville))
                                 .set("TELEPHONE", QStringLiteral("%1 %2 %3 %4")
                                                       .arg(text(city.phone))
                                                       .arg(rng.below(100), 2, 10, QLatin1Char('0'))
                                                       .arg(rng.below(100), 2, 10, QLatin1Char('0'))
                                                       .arg(rng.below(100), 2, 10, QLatin1Char('0'))));
            ++m_patientRows;
            writeAccounting(p, rng);
        }
        if (m_nextCpmain <= kPlantedCpmain)
            throw std::logic_error("demo data: healthy accounting inside the planted block");
    }

    QString mode(Rng &rng) const
    {
        const int r = rng.below(100);
        if (r < 30)
            return QStringLiteral("CHEQUE");
        if (r < 40)
            return QStringLiteral("Chèque");
        if (r < 65)
            return QStringLiteral("ESPECES");
        return QStringLiteral("CB");
    }

    static bool isCheque(const QString &mode) { return mode == QLatin1String("CHEQUE") || mode == QStringLiteral("Chèque"); }

    std::vector<Act> chooseActs(const PatientInfo &p, int physician, const QDate &d, bool francs, Rng &rng) const
    {
        std::vector<Act> acts;
        const bool cardiologist = kPhysicians[physician - 1].cardiologist;
        const int age = p.born.daysTo(d) / 365;
        if (francs) {
            if (cardiologist)
                acts.push_back({"CS", "Consultation spécialiste", 15000, 15000});
            else if (age >= 75 && rng.chance(40))
                acts.push_back({"V", "Visite", 13500, 13500});
            else
                acts.push_back({"C", "Consultation", 11500, 11500});
            return acts;
        }
        const qint64 c = d >= QDate(2023, 12, 22) ? 2650 : 2500;
        if (cardiologist) {
            acts.push_back({"CS", "Consultation spécialiste", 3000, 3500});   // fee above the agreed one
            if (rng.chance(35))
                acts.push_back({"K", "Électrocardiogramme", 1440, 1440});
        } else if (age >= 75 && rng.chance(40)) {
            acts.push_back({"V", "Visite", c, c});
            acts.push_back({"MD", "Majoration de déplacement", 1000, 1000});
        } else {
            acts.push_back({"C", "Consultation", c, c});
            if (rng.chance(8))
                acts.push_back({"K", "Électrocardiogramme", 1440, 1440});
        }
        return acts;
    }

    void writeAccounting(const PatientInfo &p, Rng &rng)
    {
        // From 1 to twice the mean less one, evenly.
        const int rows = 1 + rng.below(2 * m_visits - 1);
        std::vector<int> days;
        while (int(days.size()) < rows) {
            const int d = rng.below(int(m_workingDays.size()));
            if (std::find(days.begin(), days.end(), d) == days.end())
                days.push_back(d);
        }
        std::sort(days.begin(), days.end());
        std::vector<std::pair<QDateTime, bool>> visits;   // when, in francs
        if (p.born.year() < 1980 && rng.chance(5)) {
            QDate d = QDate(2001, 1, 2).addDays(rng.below(360));
            if (d.dayOfWeek() == Qt::Sunday)
                d = d.addDays(1);
            visits.push_back({QDateTime(d, QTime(8, 0).addSecs(900 * rng.below(40))), true});
        }
        for (int day : days) {
            const QDate d = m_workingDays[size_t(day)];
            const int quarterHours = d.dayOfWeek() == Qt::Saturday ? 16 : 44;
            visits.push_back({QDateTime(d, QTime(8, 0).addSecs(900 * rng.below(quarterHours))), false});
        }
        const bool attendingKnown = p.physician >= 1 && p.physician <= m_physicianCount;
        for (const auto &[when, francs] : visits) {
            const int physician = attendingKnown && rng.chance(80) ? p.physician : 1 + rng.below(m_physicianCount);
            writeVisit(p, physician, when, francs, rng);
        }

        if (rng.chance(25)) {
            const int n = 1 + rng.below(2);
            for (int i = 0; i < n; ++i)
                tCourrier.insert(tCourrier.row()
                                     .set("COURRIER_ID", ++m_courrier)
                                     .set("PATIENTS_ID", p.id)
                                     .set("DATE_COURRIER", stamp(visits[size_t(rng.below(int(visits.size())))].first.date()))
                                     .set("OBJET", text(rng.pick(kLetterSubjects)))
                                     .set("TEXTE", QStringLiteral("Cher confrère,\r\nje vous adresse %1 %2, né(e) le %3, pour avis.\r\nBien confraternellement.")
                                                       .arg(p.prenom, p.nom, p.born.toString(QStringLiteral("dd/MM/yyyy")))));
        }
        if (rng.chance(40)) {
            const int n = 1 + rng.below(3);
            for (int i = 0; i < n; ++i)
                tOrdonnance.insert(tOrdonnance.row()
                                       .set("ORDONNANCE_ID", ++m_ordonnance)
                                       .set("PATIENTS_ID", p.id)
                                       .set("DATE_ORDONNANCE", stamp(visits[size_t(rng.below(int(visits.size())))].first.date()))
                                       .set("CONTENU", text(rng.pick(kPrescriptions))));
        }
        if (rng.chance(35)) {
            const int n = 1 + rng.below(2);
            for (int i = 0; i < n; ++i)
                tAntecedents.insert(tAntecedents.row()
                                        .set("ANTECEDENTS_ID", ++m_antecedents)
                                        .set("Patients_ID", p.id)
                                        .set("LIBELLE", text(rng.pick(kHistory))));
        }
    }

    void writeVisit(const PatientInfo &p, int physician, const QDateTime &when, bool francs, Rng &rng)
    {
        const QDate d = when.date();
        const std::vector<Act> acts = chooseActs(p, physician, d, francs, rng);
        qint64 total = 0, tarifTotal = 0;
        Table::Row r = tCpmain.row();
        r.set("PATIENTS_ID", p.id).set("MEDECINS_ID", physician).setDate("DATE_CONSULTATION", when);
        QStringList codes;
        for (size_t i = 0; i < acts.size(); ++i) {
            const QByteArray n = QByteArray::number(qulonglong(i + 1));
            r.set(("CodeActe" + n).constData(), text(acts[i].code))
                .set(("LabelActe" + n).constData(), text(acts[i].label))
                .setMoney(("Tarif" + n).constData(), acts[i].tarif)
                .setMoney(("Montant" + n).constData(), acts[i].montant);
            if (!francs)
                r.setMoney(("TarifSS" + n).constData(), acts[i].tarif).setMoney(("MontantSS" + n).constData(), acts[i].tarif);
            codes << text(acts[i].code);
            total += acts[i].montant;
            tarifTotal += acts[i].tarif;
        }
        const QString currency = francs ? QStringLiteral("FRF") : QStringLiteral("EUR");
        r.set("MONNAIE1", currency).set("MONNAIE2", currency).set("CPOrg_1_ID", p.principal);

        // Who pays: the fund and perhaps the insurer directly, the patient the rest.
        const bool tiersPayant = !francs && rng.chance(45);
        qint64 tp1 = 0, tp2 = 0, patientPays = total;
        if (tiersPayant) {
            tp1 = (tarifTotal * 70 + 50) / 100;
            patientPays = total - tp1;
            if (p.mutuelle && rng.chance(60)) {
                tp2 = patientPays;
                patientPays = 0;
            }
        }
        r.setBool("TiersPayant", tiersPayant);
        QString mode1, mode2;
        qint64 pay1 = 0, pay2 = 0;
        if (patientPays > 0) {
            r.set("Payeur", (p.nom + QLatin1Char(' ') + p.prenom).left(50));
            mode1 = francs ? (rng.chance(60) ? QStringLiteral("CHEQUE") : QStringLiteral("ESPECES")) : mode(rng);
            if (!francs && patientPays > 1000 && mode1 != QLatin1String("ESPECES") && rng.chance(10)) {
                mode2 = mode1;
                mode1 = QStringLiteral("ESPECES");
                pay1 = 1000;
                pay2 = patientPays - 1000;
                r.setMoney("Paiement1", pay1).set("Mode1", mode1).setMoney("Paiement2", pay2).set("Mode2", mode2);
            } else {
                pay1 = patientPays;
                r.setMoney("Paiement1", pay1).set("Mode1", mode1);
            }
        }
        const int id = m_nextCpmain;   // the number addCpmain is about to give

        if (!francs) {
            // Cheques older than a week went to the bank on the following Monday.
            const bool cheque1 = isCheque(mode1), cheque2 = isCheque(mode2);
            if (cheque1)
                r.set("IDP1", QStringLiteral("%1").arg(rng.below(10000000), 7, 10, QLatin1Char('0')));
            if (cheque2)
                r.set("IDP2", QStringLiteral("%1").arg(rng.below(10000000), 7, 10, QLatin1Char('0')));
            if (mode1 == QLatin1String("CB") || mode2 == QLatin1String("CB") || cheque1 || cheque2)
                r.set("CPBanks_ID", m_bankOf.at(physician));
            if ((cheque1 || cheque2) && d.daysTo(kAsOf) >= 7) {
                const int week = int(kActivityStart.daysTo(d) / 7);
                const int deposit = depositId({physician, week}, physician, d.addDays(8 - d.dayOfWeek()), true);
                Deposit &dep = m_deposits[deposit];
                dep.cents += (cheque1 ? pay1 : 0) + (cheque2 ? pay2 : 0);
                dep.count += int(cheque1) + int(cheque2);
                r.set("CPRem_ID", deposit).setDate("DepoDate", QDateTime(dep.date, QTime(0, 0)));
            }
            if (d < kLastTransferMonth)
                r.set("CPTrans_ID", transferId(physician, monthKey(d)));

            if (tiersPayant) {
                r.setMoney("MontantTiersPayant1", tp1).set("Taux1", 70.0);
                r.setMoney("RegleTiersPayant1", settle(p.principal, physician, d, tp1, id, rng));
                if (tp2) {
                    r.set("CPOrg_2_ID", p.mutuelle).setMoney("MontantTiersPayant2", tp2).set("Taux2", 30.0);
                    r.setMoney("RegleTiersPayant2", settle(p.mutuelle, physician, d, tp2, id, rng));
                }
            }
            if (tiersPayant || rng.chance(55)) {
                const int sheet = m_nextFse++;
                addCareSheet(sheet, p.id, physician, when, total);
                r.set("CPSVFact_ID", sheet).setMoney("SVMontant", total).set("SVCodeActes", codes.join(QLatin1Char('@')));
            }
        }
        addCpmain(r);

        const char *motif = kPhysicians[physician - 1].cardiologist ? rng.pick(kCardioMotifs) : rng.pick(kMotifs);
        addConsultation(p.id, when, physician,
                        acts[0].code == std::string_view("V") ? QStringLiteral("Visite à domicile : ") + text(motif) : text(motif));
    }

    // What the insurer has paid: all of it, on a statement of the following
    // month, once six weeks have gone by; now and then a claim is rejected.
    qint64 settle(int body, int physician, const QDate &d, qint64 cents, int cpmainId, Rng &rng)
    {
        if (d.daysTo(kAsOf) < 45 || !rng.chance(95))
            return 0;
        const auto key = std::make_tuple(body, physician, monthKey(d));
        auto it = m_statementByKey.find(key);
        if (it == m_statementByKey.end()) {
            const int id = m_nextStatement++;
            Statement s;
            s.body = body;
            s.physician = physician;
            s.date = monthStart(monthKey(d) + 1).addDays(9 + body % 5);
            if (kBodies[body - 1].paysByCheque) {
                // The insurers' cheques of a month go to the bank together on the 20th.
                const QDate depositDate = QDate(s.date.year(), s.date.month(), 20);
                s.deposit = depositId({physician, -monthKey(s.date)}, physician, depositDate, false);
            }
            it = m_statementByKey.emplace(key, id).first;
            m_statements.emplace(id, s);
        }
        m_statements[it->second].cents += cents;
        tCpgest.insert(tCpgest.row()
                           .set("CPGest_ID", m_nextLine++)
                           .set("CPOrdpay_ID", it->second)
                           .set("CPMain_ID", cpmainId)
                           .setMoney("Montant", cents));
        return cents;
    }

    // Patients' deposits are keyed by week, insurers' by minus the month.
    int depositId(std::pair<int, int> key, int physician, const QDate &date, bool patient)
    {
        auto it = m_depositByKey.find(key);
        if (it != m_depositByKey.end())
            return it->second;
        const int id = m_nextDeposit++;
        Deposit d;
        d.physician = physician;
        d.date = date;
        d.patient = patient;
        m_deposits.emplace(id, d);
        m_depositByKey.emplace(key, id);
        return id;
    }

    // The AG2035 transfer of a physician's month, done early the next month.
    int transferId(int physician, int month)
    {
        auto it = m_transferByKey.find({physician, month});
        if (it != m_transferByKey.end())
            return it->second;
        const int id = m_nextTransfer++;
        m_transfers.emplace(id, Transfer{physician, monthStart(month + 1).addDays(4)});
        m_transferByKey.emplace(std::make_pair(physician, month), id);
        return id;
    }

    void writeAggregates()
    {
        for (const auto &[id, s] : m_statements) {
            tCpordpay.insert(tCpordpay.row()
                                 .set("CPORDPAY_ID", id)
                                 .set("CPOrg_ID", s.body)
                                 .set("CPRem_ID", s.deposit ? QVariant(s.deposit) : QVariant())
                                 .set("P_DATE", stamp(s.date))
                                 .setBool("Cheque", s.deposit != 0)
                                 .setMoney("PayeSum", s.cents)
                                 .set("MEDECINS_ID", s.physician)
                                 .set("Bank", m_bankOf.at(s.physician)));
            if (s.deposit) {
                m_deposits[s.deposit].cents += s.cents;
                ++m_deposits[s.deposit].count;
            }
        }
        for (const auto &[id, d] : m_deposits)
            tCprem.insert(tCprem.row()
                              .set("CPRem_ID", id)
                              .set("DATE_CONSULTATION", stamp(d.date))
                              .setMoney("Montant", d.cents)
                              .set("Medecins_ID", d.physician)
                              .set("Qte", double(d.count))
                              .set("Banque", text(kPhysicians[d.physician - 1].bank))
                              .set("CPBanks_ID", m_bankOf.at(d.physician))
                              .setBool("Patient", d.patient));
        for (const auto &[id, t] : m_transfers)
            tCptrans.insert(tCptrans.row()
                                .set("CPTrans_ID", id)
                                .set("Medecins_ID", t.physician)
                                .set("CPTRANS_DATE", stamp(t.date)));
    }

    // Each counter holds the highest number in use: the next one given is free.
    void writeCounters()
    {
        static const char *const counters[][3] = {
            {"MEDECINS_ID", "MEDECINS", "MEDECINS_ID"},   {"PATIENTS_ID", "PATIENTS", "PATIENTS_ID"},
            {"MOTCONSU", "MOTCONSU", "MOTCONSU_ID"},      {"CPMAIN_ID", "CPMAIN", "CPMAIN_ID"},
            {"CPORG_ID", "CPORG", "CPOrg_ID"},            {"CPORDPAY_ID", "CPORDPAY", "CPORDPAY_ID"},
            {"CPGEST_ID", "CPGEST", "CPGest_ID"},         {"CPSVFACT_ID", "CPSVFACT", "CPSVFact_ID"},
            {"CPTRANS_ID", "CPTRANS", "CPTrans_ID"},      {"CPREM_ID", "CPREM", "CPRem_ID"},
            {"CPBANKS_ID", "CPBANKS", "CPBanks_ID"},      {"COURRIER_ID", "COURRIER", "COURRIER_ID"},
            {"ORDONNANCE_ID", "ORDONNANCE", "ORDONNANCE_ID"}, {"ANTECEDENTS_ID", "ANTECEDENTS", "ANTECEDENTS_ID"}};
        QSqlQuery q(m_db);
        for (const auto &c : counters) {
            if (!q.exec(QStringLiteral("SELECT coalesce(max(%1), 0) FROM %2").arg(text(c[2]), text(c[1]))) || !q.next())
                throw db::DbError(q.lastError().text());
            tIdValues.insert(tIdValues.row().set("KEY_NAME", text(c[0])).set("LAST_VALUE", q.value(0).toLongLong()));
        }
    }

    QSqlDatabase m_db;
    const int m_patients;
    const quint64 m_seed;
    const int m_visits;
    const int m_extra;
    const int m_physicianCount;
    PlantedFaults m_faults;
    std::vector<QDate> m_workingDays;
    std::map<int, int> m_bankOf;   // physician -> its "Banque 1"

    Table tPatients, tMedecins, tMotconsu, tCpmain, tCporg, tCpordpay, tCpgest, tCpsvfact, tCptrans, tCprem,
        tCpbanks, tIdValues, tCourrier, tOrdonnance, tAntecedents, tMetatable, tMetafield, tTablelink;

    int m_patientRows = 0;
    int m_cpmainRows = 0;
    int m_nextCpmain = 1;
    int m_nextFse = kPlantedFse + 1;
    int m_nextStatement = kPlantedStatements + 1;
    int m_nextLine = kPlantedLines + 1;
    int m_nextDeposit = kPlantedDeposits + 1;
    int m_nextTransfer = kPlantedTransfers + 1;
    int m_cpgest = 0;
    int m_motconsu = 0;
    int m_courrier = 0;
    int m_ordonnance = 0;
    int m_antecedents = 0;
    int m_plantedWhen = 0;
    int m_host = 0;

    std::set<std::tuple<int, int, QString>> m_accountingKeys;
    std::set<std::pair<int, QString>> m_consultationKeys;
    std::map<std::tuple<int, int, int>, int> m_statementByKey;
    std::map<int, Statement> m_statements;
    std::map<std::pair<int, int>, int> m_depositByKey;
    std::map<int, Deposit> m_deposits;
    std::map<std::pair<int, int>, int> m_transferByKey;
    std::map<int, Transfer> m_transfers;
};

void writeCrlfFile(const QString &path, const QStringList &lines)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw db::DbError(QStringLiteral("Impossible d'écrire le fichier %1 : %2").arg(path, f.errorString()));
    f.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

bool hasEntries(const QString &dir)
{
    return !QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).isEmpty();
}

} // namespace

PlantedFaults writeDemoData(QSqlDatabase db, int patients, quint64 seed, int visits)
{
    if (patients < kMinimumPatients)
        throw std::invalid_argument("a demo practice needs at least " + std::to_string(kMinimumPatients) + " patients");
    if (visits < 1 || visits > kMaximumVisits)
        throw std::invalid_argument("a patient has from 1 to " + std::to_string(kMaximumVisits) + " accounting rows on average");
    if (!db.transaction())
        throw db::DbError(db.lastError().text());
    try {
        PlantedFaults f = Generator(db, patients, seed, visits).run();
        if (!db.commit())
            throw db::DbError(db.lastError().text());
        return f;
    } catch (...) {
        db.rollback();
        throw;
    }
}

DemoLayout::DemoLayout(const QString &outDir, const QString &programDir)
    : out(QDir::cleanPath(QDir(outDir).absolutePath())), program(QDir::cleanPath(QDir(programDir).absolutePath()))
{
}

bool baseDirectoryInUse(const DemoLayout &layout) { return hasEntries(layout.baseDir()); }

void writeDemoConfiguration(const DemoLayout &layout)
{
    writeCrlfFile(layout.versionFile(), {QStringLiteral("[DBKERNEL]"), QStringLiteral("DBType=0"),
                                         QStringLiteral("Alias=") + kDemoAlias, QString(),
                                         QStringLiteral("[Application]"), QStringLiteral("ProgName=Praxelle")});
    // An existing Praxelle.ini keeps its other settings and its layout.
    if (QFileInfo::exists(layout.iniFile())) {
        db::IniFile ini(layout.iniFile());
        ini.writeString(QStringLiteral("DataBase"), QStringLiteral("Server"), layout.baseDir());
        ini.writeString(QStringLiteral("DataBase"), QStringLiteral("Private"), layout.privateDir());
    } else {
        writeCrlfFile(layout.iniFile(), {QStringLiteral("[DataBase]"), QStringLiteral("Server=") + layout.baseDir(),
                                         QStringLiteral("Private=") + layout.privateDir()});
    }
    db::Engine &engine = db::Engine::instance();
    engine.setConfigFile(layout.engineConfig());
    engine.addAlias(kDemoAlias, QStringLiteral("SQLITE"), {QStringLiteral("PATH=") + layout.databaseFile()});
}

PlantedFaults writeDemoPractice(const DemoLayout &layout, int patients, quint64 seed, bool force)
{
    if (baseDirectoryInUse(layout)) {
        if (!force)
            throw BaseInUse(QStringLiteral("Le répertoire de la base de données %1 n'est pas vide. "
                                           "Utilisez --force pour le remplacer.")
                                .arg(QDir::toNativeSeparators(layout.baseDir())));
        if (!QDir(layout.baseDir()).removeRecursively())
            throw db::DbError(QStringLiteral("Impossible de vider le répertoire %1.").arg(layout.baseDir()));
    }
    if (force && QFileInfo(layout.privateDir()).isDir() && !QDir(layout.privateDir()).removeRecursively())
        throw db::DbError(QStringLiteral("Impossible de vider le répertoire %1.").arg(layout.privateDir()));
    for (const QString &dir : {layout.baseDir(), layout.privateDir(), layout.program})
        if (!QDir().mkpath(dir))
            throw db::DbError(QStringLiteral("Impossible de créer le répertoire %1.").arg(dir));

    PlantedFaults faults;
    const QString connection = QStringLiteral("demo-writer");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(layout.databaseFile());
        try {
            if (!db.open())
                throw db::DbError(db.lastError().text());
            // A fresh file that nobody else reads yet: a crash only loses the demo.
            QSqlQuery(db).exec(QStringLiteral("PRAGMA synchronous=OFF"));
            createPracticeTables(db);
            faults = writeDemoData(db, patients, seed);
        } catch (...) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
            throw;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    writeDemoConfiguration(layout);
    return faults;
}

} // namespace demo
