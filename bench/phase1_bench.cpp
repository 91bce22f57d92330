// The first phase of the run (file numbers) over 20 000 patients of which
// 1 000 need a correction, on a SQLite practice and on the same practice as
// Paradox tables. Prints the time of each and their ratio.
#include "app/Common.h"
#include "app/Interaction.h"
#include "app/Session.h"
#include "checks/CheckRun.h"
#include "db/Engine.h"
#include "db/Formats.h"
#include "db/IniFile.h"
#include "db/paradox/ParadoxDriver.h"
#include "tools/demo/PracticeSchema.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// Nobody to answer: the bench only measures the work.
class Silence : public Interaction {
public:
    void message(Boite, const QString &) override {}
    bool question(Boite, const QString &) override { return false; }
    void bip(bool) override {}
    void DemarrerProgression(const QString &, int, int, int, bool) override {}
    void UpdateProgression(const QString &, int, int) override {}
    void ArreterProgression(bool) override {}
    int afficherSelectPatient() override { return 1; }
    int afficherSelectOrganisme() override { return 1; }
    void afficherResultats() override {}
    void imprimerRapport() override {}
};

void writeFile(const QString &path, const QString &text)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text.toUtf8());
}

double phase1(const QString &program, const QString &server, const QString &priv)
{
    writeFile(program + QStringLiteral("/Praxelle.ini"),
              QStringLiteral("[DataBase]\r\nServer=%1\r\nPrivate=%2\r\n").arg(server, priv));
    Silence ui;
    Session s(ui);
    s.FormCreate();
    CheckRun run(s);
    QElapsedTimer t;
    t.start();
    run.VerifierNumerotation();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    // The corrections really happened: nothing is left to correct.
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT count(*) FROM PATIENTS WHERE N_OMON='X'"));
    s.Qry1.open();
    if (s.Qry1.field(0).asInteger() != 0)
        std::printf("  (%lld patients left uncorrected!)\n", s.Qry1.field(0).asInteger());
    try {
        s.BtFermerClick();
    } catch (const common::FinProgramme &) {
    }
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int patients = 20000, corrections = 1000;
    QTemporaryDir tmp;
    const QString program = tmp.path() + QStringLiteral("/prog"), base = tmp.path() + QStringLiteral("/Base"),
                  paradox = tmp.path() + QStringLiteral("/BaseParadox"), priv = tmp.path() + QStringLiteral("/Private");
    for (const QString &d : {program, base, paradox, priv})
        QDir().mkpath(d);
    common::definirRepertoireProgramme(program);
    db::Engine::instance().setConfigFile(program + QStringLiteral("/AldurixEngine.cfg"));
    const QString file = base + QStringLiteral("/PRACTICE.SQLITE");
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        d.setDatabaseName(file);
        d.open();
        demo::createPracticeTables(d);
        d.transaction();
        QSqlQuery q(d);
        q.prepare(QStringLiteral("INSERT INTO PATIENTS (PATIENTS_ID, NOM, PRENOM, N_OMON, MEDECINS_ID) VALUES (?, ?, ?, ?, 1)"));
        for (int i = 1; i <= patients; ++i) {
            const QString nom = QStringLiteral("Patient%1").arg(i);
            q.addBindValue(i);
            q.addBindValue(nom);
            q.addBindValue(QStringLiteral("Jean"));
            q.addBindValue(i % (patients / corrections) == 0 ? QStringLiteral("X") : CheckRun::numeroAttendu(nom, i));
            q.exec();
        }
        d.commit();
        db::paradox::exportSqliteDatabase(d, paradox);
        d.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    db::Engine::instance().addAlias(QStringLiteral("Bench"), QStringLiteral("SQLITE"), {QStringLiteral("PATH=") + file});
    writeFile(base + QStringLiteral("/PRAXELLE.VER"), QStringLiteral("[DBKERNEL]\r\nDBType=0\r\nAlias=Bench\r\n"));
    writeFile(paradox + QStringLiteral("/PRAXELLE.VER"), QStringLiteral("[DBKERNEL]\r\nDBType=1\r\n"));

    const double sqlite = phase1(program, base, priv);
    db::formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    const double px = phase1(program, paradox, priv);
    std::printf("phase 1, %d patients, %d corrections\n  SQLite  %8.1f ms\n  Paradox %8.1f ms\n  ratio   %8.2f\n",
                patients, corrections, sqlite, px, px / sqlite);
    return 0;
}
