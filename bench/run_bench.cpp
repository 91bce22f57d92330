// The whole check run on demo practices of growing size, with faults in bulk,
// on SQLite and on the same practice as Paradox tables, measured phase by
// phase against the same detections and repairs written set-based
// (bench/setbased.sql) and run by SQLite on a copy of the same data.
//
//   run_bench [SIZE...] [--engines sqlite,paradox] [--repeat K] [--faults P]
//             [--visits V] [--seed S] [--progress-size N] [--sql FILE] [--keep DIR]
//
// V: accounting rows of a healthy patient on average (10 unless told).
//
// Every measurement runs in a child process (this program again, with
// --child), so that its peak memory is its own. Times are medians over the
// repeats. After the first repeat the program's SQLite result and the
// set-based result are compared table by table.
#include "app/Common.h"
#include "app/Interaction.h"
#include "app/Progress.h"
#include "app/Session.h"
#include "report/RapportPdf.h"
#include "checks/CheckRun.h"
#include "db/Engine.h"
#include "db/Formats.h"
#include "db/paradox/ParadoxDriver.h"
#include "dialogs/SelectOrg.h"
#include "dialogs/SelectPat.h"
#include "tools/demo/BulkFaults.h"
#include "tools/demo/DemoData.h"
#include "tools/demo/PracticeSchema.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <optional>

#ifndef BENCH_SQL
#define BENCH_SQL "bench/setbased.sql"
#endif

namespace {

constexpr int kPhases = 19;

// The first thing each phase shows: its first progress text, or for the
// small balances the question that opens it.
const char *const kPhaseStarts[kPhases] = {
    "Vérification de la numérotation des dossiers patients...",
    "Vérification des prénoms des patients...",
    "Ajustement des médecins inexistants...",
    "Recherche des médecins inconnus dans la comptabilité...",
    "Recherche des enregistrements vides dans la comptabilité...",
    "Recherche des enregistrements vides dans le suivi des tiers payant...",
    "Recherche des relevés tiers payants inconnus...",
    "Recherche des FSE inconnues dans la comptabilité...",
    "Recherche des doublons dans la comptabilité...",
    "Recherche des patients inconnus dans la comptabilité...",
    "Recherche des FSE non rattachées à un patient...",
    "Création des transferts inconnus...",
    "Recherche des remises de chèques inconnues dans la comptabilité...",
    "Recherche des remises de chèques inconnues dans le suivi des tiers payants...",
    "Recherche des caisses principales inconnues dans la comptabilité...",
    "Recherche des caisses complémentaires inconnues dans la comptabilité...",
    "Recherche des caisses inconnues dans le suivi des tiers payants...",
    "Souhaitez-vous solder les dettes des tiers payants",
    "Recherche des soldes créditeurs des tiers payants...",
};

const char *const kPhaseNames[kPhases] = {
    "file numbers (N_OMON)", "first names", "missing physicians", "accounting of unknown physicians",
    "empty accounting rows", "statements without body", "orphan settlement lines", "unknown care sheets",
    "duplicates", "unknown patients (dialog)", "orphan care sheets", "unknown transfers",
    "deposits from accounting", "deposits from follow-up", "principal bodies (dialog)",
    "complementary bodies (dialog)", "follow-up bodies (dialog)", "small balances", "credit balances",
};

using Mesures = QMap<QString, double>;

double peakMegabytes()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0;   // kilobytes on Linux
}

void sortie(const QString &key, double value) { std::printf("%s %.6f\n", qPrintable(key), value); }

void writeFile(const QString &path, const QString &text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(text.toUtf8());
}

bool copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QDir src(from);
    for (const QFileInfo &fi : src.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + fi.fileName();
        if (fi.isDir() ? !copyTree(fi.filePath(), target) : !QFile::copy(fi.filePath(), target))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Children

// The answers of the whole run, recorded with the moment each phase starts.
class Chrono : public Interaction {
public:
    explicit Chrono(Progression *window) : m_window(window)
    {
        m_clock.start();
        m_main.resize(400, 300);
    }

    std::function<int()> onSelectPatient, onSelectOrganisme;
    double starts[kPhases + 1] = {};   // ms; the last one is the end of the run
    int phase = -1;
    bool enStartup = true;
    double snapshotStart = -1, snapshotEnd = -1;

    double now() const { return double(m_clock.nsecsElapsed()) / 1e6; }

    void message(Boite, const QString &) override {}
    bool question(Boite, const QString &text) override
    {
        mark(text);
        // Cancel the small balances, by the billed amounts; do not print.
        return !text.startsWith(QStringLiteral("Voulez-vous imprimer"))
            && !text.startsWith(QStringLiteral("Aucun enregistrement"));
    }
    void bip(bool) override {}
    void DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible) override
    {
        if (enStartup && text.isEmpty() && snapshotStart < 0)
            snapshotStart = now();
        mark(text);
        if (m_window)
            m_window->demarrer(&m_main, QStringLiteral("  "), text, maximum, step, position, barVisible);
    }
    void UpdateProgression(const QString &text, int maximum, int position) override
    {
        mark(text);
        if (m_window)
            m_window->mettreAJour(&m_main, QStringLiteral("  "), text, maximum, position);
    }
    void ArreterProgression(bool enable) override
    {
        if (enStartup && enable && snapshotStart >= 0 && snapshotEnd < 0)
            snapshotEnd = now();
        if (m_window)
            m_window->arreter(&m_main, enable);
    }
    int afficherSelectPatient() override { return onSelectPatient(); }
    int afficherSelectOrganisme() override { return onSelectOrganisme(); }
    void afficherResultats() override { starts[kPhases] = now(); }
    void imprimerRapport() override {}
    // The report kept with the backup is part of what the safety net costs.
    bool enregistrerRapport(Session &session, const QString &chemin, QString *erreur) override
    {
        const double t = now();
        const bool ok = enregistrerRapportPdf(session, chemin, erreur);
        rapport += now() - t;
        return ok;
    }
    double rapport = 0;   // ms spent keeping the report, after the run

private:
    void mark(const QString &text)
    {
        if (enStartup)
            return;
        for (int k = phase + 1; k < kPhases; ++k) {
            if (text.startsWith(QString::fromUtf8(kPhaseStarts[k]))) {
                for (int j = phase + 1; j <= k; ++j)
                    starts[j] = now();
                phase = k;
                return;
            }
        }
    }

    Progression *m_window;
    QWidget m_main;
    QElapsedTimer m_clock;
};

template <class W> W *child(const QObject *parent, const char *name)
{
    W *w = parent->findChild<W *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no %s named %s", W::staticMetaObject.className(), name);
    return w;
}

// One whole run of the program on the practice of dir (Base or BaseParadox):
// start-up, the 19 phases with the real dialogs settled by script, shut-down.
int childProgram(const QString &engine, const QString &dir, bool window, bool sansSauvegarde)
{
    const bool paradox = engine == QLatin1String("paradox");
    const QString program = dir + QStringLiteral("/prog"), priv = dir + QStringLiteral("/Private");
    const QString base = dir + (paradox ? QStringLiteral("/BaseParadox") : QStringLiteral("/Base"));
    QDir().mkpath(program);
    QDir().mkpath(priv);
    common::definirRepertoireProgramme(program);
    db::Engine::instance().setConfigFile(program + QStringLiteral("/AldurixEngine.cfg"));
    if (paradox) {
        writeFile(base + QStringLiteral("/PRAXELLE.VER"),
                  QStringLiteral("[DBKERNEL]\r\nDBType=1\r\n[Application]\r\nProgName=Praxelle\r\n"));
    } else {
        db::Engine::instance().addAlias(QStringLiteral("BenchPractice"), QStringLiteral("SQLITE"),
                                        {QStringLiteral("PATH=") + base + QStringLiteral("/PRACTICE.SQLITE")});
        writeFile(base + QStringLiteral("/PRAXELLE.VER"),
                  QStringLiteral("[DBKERNEL]\r\nDBType=0\r\nAlias=BenchPractice\r\n[Application]\r\nProgName=Praxelle\r\n"));
    }
    writeFile(program + QStringLiteral("/Praxelle.ini"),
              QStringLiteral("[DataBase]\r\nServer=%1\r\nPrivate=%2\r\n").arg(base, priv));
    // Every engine gets the same date format, as in the engines' comparison.
    db::formats::setShortDateFormat(QStringLiteral("MM/dd/yyyy"));

    Progression progression;
    Chrono ui(window ? &progression : nullptr);
    Session s(ui);
    s.sansSauvegarde = sansSauvegarde;
    const double t0 = ui.now();
    try {
        s.FormCreate();
    } catch (const common::FinProgramme &) {
        std::fprintf(stderr, "start-up ended the program\n");
        return 3;
    }
    const double startup = ui.now() - t0;
    ui.enStartup = false;

    TFSelectPatient patients(s, progression);
    TFSelectOrganisme caisses(s);
    ui.onSelectPatient = [&] {
        const qint64 inconnu = s.QryCPMain.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger();
        QTimer::singleShot(0, &patients, [&patients, inconnu] {
            if (inconnu == 4) {
                child<QRadioButton>(&patients, "RGChoice_0")->click();
                auto *liste = child<QComboBox>(&patients, "CBPatients_existant");
                liste->setCurrentIndex(liste->findData(10));
                child<QPushButton>(&patients, "BtPatient_existant")->click();
            } else {
                child<QRadioButton>(&patients, "RGChoice_1")->click();
                child<QLineEdit>(&patients, "EDNom")->setText(QStringLiteral("Lefèvre"));
                child<QLineEdit>(&patients, "EDPrenom")->setText(QStringLiteral("Inès"));
                child<QPushButton>(&patients, "BtNouveau_patient")->click();
            }
        });
        const int r = patients.afficher();
        if (patients.fin)
            throw *patients.fin;
        return r;
    };
    ui.onSelectOrganisme = [&] {
        caisses.show();
        child<QPushButton>(&caisses, "BtValider")->click();
        return caisses.result();
    };

    CheckRun run(s);
    const double runStart = ui.now();
    try {
        run.BtValiderClick();
    } catch (const common::FinProgramme &) {
        std::fprintf(stderr, "the run ended the program\n");
        return 4;
    }
    const double runEnd = ui.now();
    if (ui.starts[kPhases] == 0)
        ui.starts[kPhases] = runEnd;
    if (ui.phase != kPhases - 1)
        std::fprintf(stderr, "only %d phases recognised\n", ui.phase + 1);
    for (int k = 0; k < kPhases; ++k) {
        const double from = k == 0 ? runStart : ui.starts[k];
        sortie(QStringLiteral("phase%1").arg(k + 1), ui.starts[k + 1] - from);
    }
    sortie(QStringLiteral("run"), ui.starts[kPhases] - runStart);
    sortie(QStringLiteral("startup"), startup);
    if (!sansSauvegarde)
        sortie(QStringLiteral("rapport"), ui.rapport);
    sortie(QStringLiteral("snapshots"), ui.snapshotEnd - ui.snapshotStart);
    sortie(QStringLiteral("memory"), peakMegabytes());
    try {
        s.BtFermerClick();
    } catch (const common::FinProgramme &) {
    }
    return 0;
}

struct Section {
    int phase;
    QByteArray sql;
};

// The set-based script, cut at its "-- phase N" lines; what comes before the
// first one is set-up, not timed.
std::vector<Section> sections(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file));
    std::vector<Section> out{{0, {}}};
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("-- phase ")) {
            int n = 0;
            for (int i = 9; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i)
                n = n * 10 + (line[i] - '0');
            out.push_back({n, {}});
            continue;
        }
        out.back().sql += line + '\n';
    }
    return out;
}

int sqliteExec(sqlite3 *db, const QByteArray &sql, const QString &where)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(where), error ? error : "?");
        sqlite3_free(error);
        return 1;
    }
    return 0;
}

int childSetBased(const QString &file, const QString &script)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK)
        return 2;
    double times[kPhases + 1] = {};
    QElapsedTimer t;
    for (const Section &s : sections(script)) {
        t.start();
        // One transaction per phase: the set-based work as SQLite does it best.
        if (sqliteExec(db, "BEGIN;\n" + s.sql + "COMMIT;\n", QStringLiteral("phase %1").arg(s.phase)))
            return 3;
        if (s.phase >= 1 && s.phase <= kPhases)
            times[s.phase] += double(t.nsecsElapsed()) / 1e6;
    }
    double total = 0;
    for (int k = 1; k <= kPhases; ++k) {
        sortie(QStringLiteral("phase%1").arg(k), times[k]);
        total += times[k];
    }
    sortie(QStringLiteral("run"), total);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM temp.JOURNAL", -1, &st, nullptr);
    if (st && sqlite3_step(st) == SQLITE_ROW)
        sortie(QStringLiteral("journal"), sqlite3_column_int(st, 0));
    sqlite3_finalize(st);
    sortie(QStringLiteral("memory"), peakMegabytes());
    sqlite3_close(db);
    return 0;
}

// The four source statements of the start-up snapshots, copied in bulk into
// a database of their own: what the snapshots cost at best.
int childBulkCopy(const QString &file, const QString &target)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK)
        return 2;
    QElapsedTimer t;
    t.start();
    const QByteArray sql =
        "ATTACH DATABASE '" + target.toUtf8() + "' AS copie;\n"
        "BEGIN;\n"
        "CREATE TABLE copie.medecins AS SELECT MEDECINS_ID, MEDECINS_COMPTABLE_ID, SV_LPS, AG2035_COMPTE, NOM, PRENOM, "
        "ACCESSTOSV FROM MEDECINS ORDER BY MEDECINS_ID;\n"
        "CREATE TABLE copie.patients AS SELECT PATIENTS_ID, NOM, PRENOM, NE_LE, N_OMON FROM PATIENTS ORDER BY PATIENTS_ID;\n"
        "CREATE TABLE copie.consultations AS SELECT MOTCONSU_ID, PATIENTS_ID, DATE_CONSULTATION FROM MOTCONSU ORDER BY MOTCONSU_ID;\n"
        "CREATE TABLE copie.organismes AS SELECT CPORG_ID, Nom, Ville, Princ FROM CPORG ORDER BY CPORG_ID;\n"
        "CREATE UNIQUE INDEX copie.pk_medecins ON medecins(MEDECINS_ID);\n"
        "CREATE UNIQUE INDEX copie.pk_patients ON patients(PATIENTS_ID);\n"
        "CREATE UNIQUE INDEX copie.pk_consultations ON consultations(MOTCONSU_ID);\n"
        "CREATE INDEX copie.ix_consultations ON consultations(PATIENTS_ID, DATE_CONSULTATION);\n"
        "CREATE UNIQUE INDEX copie.pk_organismes ON organismes(CPORG_ID);\n"
        "COMMIT;\n";
    if (sqliteExec(db, sql, QStringLiteral("bulk copy")))
        return 3;
    sortie(QStringLiteral("bulkcopy"), double(t.nsecsElapsed()) / 1e6);
    sqlite3_close(db);
    return 0;
}

int childGenerate(int patients, const QString &dir, double percent, quint64 seed, int visits)
{
    QDir().mkpath(dir + QStringLiteral("/Base"));
    QDir().mkpath(dir + QStringLiteral("/BaseParadox"));
    QElapsedTimer t;
    t.start();
    demo::PlantedFaults planted;
    demo::BulkFaults bulk;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("generate"));
        d.setDatabaseName(dir + QStringLiteral("/Base/PRACTICE.SQLITE"));
        if (!d.open())
            return 2;
        demo::createPracticeTables(d);
        planted = demo::writeDemoData(d, patients, seed, visits);
        bulk = demo::applyBulkFaults(d, percent, seed);
        db::paradox::exportSqliteDatabase(d, dir + QStringLiteral("/BaseParadox"), demo::practiceSecondaryIndexes());
        QSqlQuery q(d);
        q.exec(QStringLiteral("SELECT count(*) FROM CPMAIN"));
        q.next();
        sortie(QStringLiteral("cpmain"), q.value(0).toDouble());
        d.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("generate"));
    sortie(QStringLiteral("generate"), double(t.nsecsElapsed()) / 1e6);
    std::fprintf(stderr, "%s\n", qPrintable(demo::describe(bulk)));
    return 0;
}

// ---------------------------------------------------------------------------
// Parent

std::optional<Mesures> runChild(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "child %s failed (%d):\n%s\n", qPrintable(args.join(QLatin1Char(' '))), p.exitCode(),
                     p.readAllStandardError().constData());
        return std::nullopt;
    }
    const QByteArray err = p.readAllStandardError();
    if (!err.trimmed().isEmpty() && args.value(0) != QLatin1String("generate"))
        std::fprintf(stderr, "%s", err.constData());
    Mesures m;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> kv = line.trimmed().split(' ');
        if (kv.size() == 2)
            m.insert(QString::fromLatin1(kv[0]), kv[1].toDouble());
    }
    if (args.value(0) == QLatin1String("generate"))
        m.insert(QStringLiteral("describe#") + QString::fromUtf8(err), 0);
    return m;
}

Mesures median(const QList<Mesures> &runs)
{
    Mesures out;
    if (runs.isEmpty())
        return out;
    for (const QString &k : runs.first().keys()) {
        std::vector<double> v;
        for (const Mesures &m : runs)
            v.push_back(m.value(k));
        std::sort(v.begin(), v.end());
        out.insert(k, v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
    }
    return out;
}

QString duree(double ms)
{
    if (ms < 0)
        return QStringLiteral("-");
    if (ms < 1000)
        return QStringLiteral("%1 ms").arg(ms, 0, 'f', ms < 10 ? 1 : 0);
    return QStringLiteral("%1 s").arg(ms / 1000, 0, 'f', ms < 100000 ? 2 : 1);
}

QString rapport(double a, double b)
{
    if (a < 0 || b <= 0)
        return QStringLiteral("-");
    return QStringLiteral("%1").arg(a / b, 0, 'f', a / b < 10 ? 2 : 0);
}

void ligne(const QStringList &cells, const QList<int> &widths)
{
    QString out;
    for (int i = 0; i < cells.size(); ++i)
        out += i == 0 ? cells[i].leftJustified(widths[i]) : cells[i].rightJustified(widths[i]);
    std::printf("%s\n", qPrintable(out));
}

// Every practice table of the program's result against the set-based one,
// row by row in key order, every column as SQLite stores it.
QStringList comparer(const QString &programme, const QString &ensembliste)
{
    QStringList ecarts;
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("compare"));
        d.setDatabaseName(programme);
        d.open();
        QSqlQuery q(d);
        q.exec(QStringLiteral("ATTACH DATABASE '%1' AS sb").arg(ensembliste));
        for (const demo::TableDef &t : demo::practiceTables()) {
            QStringList cols;
            for (const demo::Column &c : t.columns)
                cols << c.name;
            const QString list = cols.join(QStringLiteral(", "));
            for (const auto &[a, b, label] : {std::tuple{QStringLiteral("main"), QStringLiteral("sb"), QStringLiteral("program only")},
                                              std::tuple{QStringLiteral("sb"), QStringLiteral("main"), QStringLiteral("set-based only")}}) {
                const QString sql = QStringLiteral("SELECT %1 FROM %2.%3 EXCEPT SELECT %1 FROM %4.%3 ORDER BY 1")
                                        .arg(list, a, t.name, b);
                if (!q.exec(sql)) {
                    ecarts << t.name + QStringLiteral(": ") + q.lastError().text();
                    continue;
                }
                int n = 0;
                while (q.next()) {
                    if (++n <= 3) {
                        QStringList v;
                        for (int i = 0; i < q.record().count(); ++i)
                            v << (q.value(i).isNull() ? QStringLiteral("NULL") : q.value(i).toString());
                        ecarts << QStringLiteral("  %1 %2: %3").arg(t.name, label, v.join(QLatin1Char('|')).left(400));
                    }
                }
                if (n > 3)
                    ecarts << QStringLiteral("  %1 %2: ... %3 rows in all").arg(t.name, label).arg(n);
            }
        }
        d.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("compare"));
    return ecarts;
}

struct Taille {
    int patients = 0;
    Mesures sqlite, paradox, setBased, bulk, window;
    Mesures sqliteSans, paradoxSans;   // the same runs without the safety net
    double cpmain = 0;
    bool identiques = false;
};

int parent(const QStringList &args)
{
    QList<int> sizes;
    QStringList engines{QStringLiteral("sqlite"), QStringLiteral("paradox")};
    int repeat = 1, progressSize = 20000;
    double percent = 1;
    int visits = 10;
    quint64 seed = demo::kDefaultSeed;
    QString script = QStringLiteral(BENCH_SQL), keep;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--engines"))
            engines = args.value(++i).split(QLatin1Char(','), Qt::SkipEmptyParts);
        else if (a == QLatin1String("--repeat"))
            repeat = qMax(1, args.value(++i).toInt());
        else if (a == QLatin1String("--faults"))
            percent = args.value(++i).toDouble();
        else if (a == QLatin1String("--visits"))
            visits = qBound(1, args.value(++i).toInt(), demo::kMaximumVisits);
        else if (a == QLatin1String("--seed"))
            seed = args.value(++i).toULongLong();
        else if (a == QLatin1String("--progress-size"))
            progressSize = args.value(++i).toInt();
        else if (a == QLatin1String("--sql"))
            script = args.value(++i);
        else if (a == QLatin1String("--keep"))
            keep = args.value(++i);
        else if (a.toInt() >= demo::kMinimumPatients)
            sizes << a.toInt();
        else {
            std::fprintf(stderr, "usage: run_bench [SIZE...] [--engines sqlite,paradox] [--repeat K] [--faults P] "
                                 "[--visits V] [--seed S] [--progress-size N] [--sql FILE] [--keep DIR]\n");
            return 1;
        }
    }
    if (sizes.isEmpty())
        sizes = {5000, 10000, 20000, 40000};
    const bool withSqlite = engines.contains(QStringLiteral("sqlite")), withParadox = engines.contains(QStringLiteral("paradox"));
    if (!QFile::exists(script)) {
        std::fprintf(stderr, "set-based script not found: %s (--sql FILE)\n", qPrintable(script));
        return 1;
    }

    std::printf("Aldurix whole-run bench: %s, %d cores; Qt %s, SQLite %s; faults %g %%, seed %llu, %d repeat(s)\n",
                qPrintable(QSysInfo::prettyProductName()), QThread::idealThreadCount(), qVersion(), sqlite3_libversion(),
                percent, seed, repeat);
    QTemporaryDir tmp;
    const QString root = keep.isEmpty() ? tmp.path() : keep;
    QList<Taille> results;
    for (int n : sizes) {
        Taille r;
        r.patients = n;
        const QString dir = QStringLiteral("%1/p%2").arg(root).arg(n);
        QDir(dir).removeRecursively();
        const auto gen = runChild({QStringLiteral("generate"), QString::number(n), dir + QStringLiteral("/gen"),
                                   QString::number(percent), QString::number(seed), QString::number(visits)});
        if (!gen)
            return 2;
        r.cpmain = gen->value(QStringLiteral("cpmain"));
        std::printf("\n== %d patients: %.0f accounting rows (%.1f a patient), generated in %s\n", n, r.cpmain,
                    r.cpmain / n, qPrintable(duree(gen->value(QStringLiteral("generate")))));
        for (auto it = gen->constBegin(); it != gen->constEnd(); ++it)
            if (it.key().startsWith(QStringLiteral("describe#")))
                std::printf("%s", qPrintable(it.key().mid(9)));

        QList<Mesures> sq, px, sb, bc, sqSans, pxSans;
        QString programResult, setBasedResult;
        for (int k = 0; k < repeat; ++k) {
            const QString run = QStringLiteral("%1/run%2").arg(dir).arg(k);
            if (withSqlite) {
                QDir().mkpath(run + QStringLiteral("/sqlite/Base"));
                QFile::copy(dir + QStringLiteral("/gen/Base/PRACTICE.SQLITE"), run + QStringLiteral("/sqlite/Base/PRACTICE.SQLITE"));
                if (const auto m = runChild({QStringLiteral("program"), QStringLiteral("sqlite"), run + QStringLiteral("/sqlite")}))
                    sq << *m;
                if (k == 0)
                    programResult = run + QStringLiteral("/sqlite/Base/PRACTICE.SQLITE");
                // The same run without its backup, right after: the safety
                // net's cost as a ratio of neighbouring runs.
                QDir().mkpath(run + QStringLiteral("/sqlite-sans/Base"));
                QFile::copy(dir + QStringLiteral("/gen/Base/PRACTICE.SQLITE"), run + QStringLiteral("/sqlite-sans/Base/PRACTICE.SQLITE"));
                if (const auto m = runChild({QStringLiteral("program"), QStringLiteral("sqlite"), run + QStringLiteral("/sqlite-sans"),
                                             QStringLiteral("--sans-sauvegarde")}))
                    sqSans << *m;
                QDir(run + QStringLiteral("/sqlite-sans")).removeRecursively();
            }
            if (withParadox) {
                copyTree(dir + QStringLiteral("/gen/BaseParadox"), run + QStringLiteral("/paradox/BaseParadox"));
                if (const auto m = runChild({QStringLiteral("program"), QStringLiteral("paradox"), run + QStringLiteral("/paradox")}))
                    px << *m;
                QDir(run + QStringLiteral("/paradox")).removeRecursively();
                copyTree(dir + QStringLiteral("/gen/BaseParadox"), run + QStringLiteral("/paradox-sans/BaseParadox"));
                if (const auto m = runChild({QStringLiteral("program"), QStringLiteral("paradox"), run + QStringLiteral("/paradox-sans"),
                                             QStringLiteral("--sans-sauvegarde")}))
                    pxSans << *m;
                QDir(run + QStringLiteral("/paradox-sans")).removeRecursively();
            }
            QDir().mkpath(run + QStringLiteral("/set"));
            QFile::copy(dir + QStringLiteral("/gen/Base/PRACTICE.SQLITE"), run + QStringLiteral("/set/PRACTICE.SQLITE"));
            if (const auto m = runChild({QStringLiteral("setbased"), run + QStringLiteral("/set/PRACTICE.SQLITE"), script}))
                sb << *m;
            if (k == 0)
                setBasedResult = run + QStringLiteral("/set/PRACTICE.SQLITE");
            QFile::remove(run + QStringLiteral("/bulk.sqlite"));
            if (const auto m = runChild({QStringLiteral("bulkcopy"), dir + QStringLiteral("/gen/Base/PRACTICE.SQLITE"),
                                         run + QStringLiteral("/bulk.sqlite")}))
                bc << *m;
        }
        r.sqlite = median(sq);
        r.paradox = median(px);
        r.setBased = median(sb);
        r.bulk = median(bc);
        r.sqliteSans = median(sqSans);
        r.paradoxSans = median(pxSans);
        if (n == progressSize && withSqlite) {
            QList<Mesures> w;
            for (int k = 0; k < repeat; ++k) {
                const QString run = QStringLiteral("%1/window%2").arg(dir).arg(k);
                QDir().mkpath(run + QStringLiteral("/Base"));
                QFile::copy(dir + QStringLiteral("/gen/Base/PRACTICE.SQLITE"), run + QStringLiteral("/Base/PRACTICE.SQLITE"));
                if (const auto m = runChild({QStringLiteral("program"), QStringLiteral("sqlite"), run, QStringLiteral("--window")}))
                    w << *m;
            }
            r.window = median(w);
        }

        const auto v = [](const Mesures &m, const QString &k) { return m.contains(k) ? m.value(k) : -1.0; };
        const QList<int> w = {36, 11, 11, 11, 9, 9};
        std::printf("\n");
        ligne({QStringLiteral("phase"), QStringLiteral("SQLite"), QStringLiteral("Paradox"), QStringLiteral("set-based"),
               QStringLiteral("SQ/set"), QStringLiteral("PX/set")},
              w);
        for (int k = 1; k <= kPhases; ++k) {
            const QString key = QStringLiteral("phase%1").arg(k);
            ligne({QStringLiteral("%1 %2").arg(k, 2).arg(QString::fromLatin1(kPhaseNames[k - 1])), duree(v(r.sqlite, key)),
                   duree(v(r.paradox, key)), duree(v(r.setBased, key)), rapport(v(r.sqlite, key), v(r.setBased, key)),
                   rapport(v(r.paradox, key), v(r.setBased, key))},
                  w);
        }
        const QString run = QStringLiteral("run");
        ligne({QStringLiteral("whole run"), duree(v(r.sqlite, run)), duree(v(r.paradox, run)), duree(v(r.setBased, run)),
               rapport(v(r.sqlite, run), v(r.setBased, run)), rapport(v(r.paradox, run), v(r.setBased, run))},
              w);
        const auto mo = [](double mb) { return mb < 0 ? QStringLiteral("-") : QStringLiteral("%1 MB").arg(mb, 0, 'f', 0); };
        ligne({QStringLiteral("peak memory"), mo(v(r.sqlite, QStringLiteral("memory"))), mo(v(r.paradox, QStringLiteral("memory"))),
               mo(v(r.setBased, QStringLiteral("memory"))), QString(), QString()},
              w);
        ligne({QStringLiteral("start-up (FormCreate)"), duree(v(r.sqlite, QStringLiteral("startup"))),
               duree(v(r.paradox, QStringLiteral("startup"))), QString(), QString(), QString()},
              w);
        const QString snap = QStringLiteral("snapshots");
        ligne({QStringLiteral("start-up snapshots vs bulk copy"), duree(v(r.sqlite, snap)), duree(v(r.paradox, snap)),
               duree(v(r.bulk, QStringLiteral("bulkcopy"))), rapport(v(r.sqlite, snap), v(r.bulk, QStringLiteral("bulkcopy"))),
               rapport(v(r.paradox, snap), v(r.bulk, QStringLiteral("bulkcopy")))},
              w);
        if (!r.sqliteSans.isEmpty() || !r.paradoxSans.isEmpty()) {
            std::printf("\nsafety net, phase by phase (with / without)\n");
            for (int k = 1; k <= kPhases; ++k) {
                const QString key = QStringLiteral("phase%1").arg(k);
                ligne({QStringLiteral("%1 %2").arg(k, 2).arg(QString::fromLatin1(kPhaseNames[k - 1])), duree(v(r.sqlite, key)),
                       duree(v(r.sqliteSans, key)), duree(v(r.paradox, key)), duree(v(r.paradoxSans, key))},
                      w);
            }
        }
        for (const auto &[nom, avec, sans] : {std::tuple{"SQLite", &r.sqlite, &r.sqliteSans}, std::tuple{"Paradox", &r.paradox, &r.paradoxSans}})
            if (!sans->isEmpty())
                std::printf("safety net (%s): 19 phases with %s, without %s, ratio %s; then the report kept as a PDF %s\n", nom,
                            qPrintable(duree(v(*avec, run))), qPrintable(duree(v(*sans, run))),
                            qPrintable(rapport(v(*avec, run), v(*sans, run))), qPrintable(duree(v(*avec, QStringLiteral("rapport")))));
        if (!r.window.isEmpty())
            std::printf("progress window (SQLite): with %s, without %s, ratio %s\n", qPrintable(duree(v(r.window, run))),
                        qPrintable(duree(v(r.sqlite, run))), qPrintable(rapport(v(r.window, run), v(r.sqlite, run))));
        if (!programResult.isEmpty() && !setBasedResult.isEmpty()) {
            const QStringList ecarts = comparer(programResult, setBasedResult);
            r.identiques = ecarts.isEmpty();
            if (r.identiques)
                std::printf("program (SQLite) vs set-based: tables identiques (every column of every practice table)\n");
            else
                std::printf("program (SQLite) vs set-based: differences\n%s\n", qPrintable(ecarts.join(QLatin1Char('\n'))));
        }
        std::fflush(stdout);
        results << r;
    }

    if (results.size() > 1) {
        std::printf("\nsummary (whole run; x2 = time against the size before)\n");
        const QList<int> w = {9, 10, 11, 11, 11, 8, 8, 8, 8, 9, 9};
        ligne({QStringLiteral("patients"), QStringLiteral("rows"), QStringLiteral("SQLite"), QStringLiteral("Paradox"),
               QStringLiteral("set-based"), QStringLiteral("SQ/set"), QStringLiteral("PX/set"), QStringLiteral("SQ x2"),
               QStringLiteral("PX x2"), QStringLiteral("SQ mem"), QStringLiteral("PX mem")},
              w);
        for (int i = 0; i < results.size(); ++i) {
            const Taille &r = results[i];
            const auto v = [](const Mesures &m, const QString &k) { return m.contains(k) ? m.value(k) : -1.0; };
            const QString run = QStringLiteral("run"), mem = QStringLiteral("memory");
            const bool doubled = i > 0 && results[i - 1].patients * 2 == r.patients;
            ligne({QString::number(r.patients), QString::number(qint64(r.cpmain)), duree(v(r.sqlite, run)), duree(v(r.paradox, run)),
                   duree(v(r.setBased, run)), rapport(v(r.sqlite, run), v(r.setBased, run)),
                   rapport(v(r.paradox, run), v(r.setBased, run)),
                   doubled ? rapport(v(r.sqlite, run), v(results[i - 1].sqlite, run)) : QStringLiteral("-"),
                   doubled ? rapport(v(r.paradox, run), v(results[i - 1].paradox, run)) : QStringLiteral("-"),
                   v(r.sqlite, mem) < 0 ? QStringLiteral("-") : QStringLiteral("%1 MB").arg(v(r.sqlite, mem), 0, 'f', 0),
                   v(r.paradox, mem) < 0 ? QStringLiteral("-") : QStringLiteral("%1 MB").arg(v(r.paradox, mem), 0, 'f', 0)},
                  w);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.value(0) == QLatin1String("--child")) {
        const QString mode = args.value(1);
        if (mode == QLatin1String("program")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            QApplication app(argc, argv);
            return childProgram(args.value(2), args.value(3), args.contains(QStringLiteral("--window")),
                                args.contains(QStringLiteral("--sans-sauvegarde")));
        }
        QCoreApplication app(argc, argv);
        if (mode == QLatin1String("setbased"))
            return childSetBased(args.value(2), args.value(3));
        if (mode == QLatin1String("bulkcopy"))
            return childBulkCopy(args.value(2), args.value(3));
        if (mode == QLatin1String("generate"))
            return childGenerate(args.value(2).toInt(), args.value(3), args.value(4).toDouble(), args.value(5).toULongLong(),
                                 args.value(6).toInt());
        return 1;
    }
    QCoreApplication app(argc, argv);
    return parent(args);
}
