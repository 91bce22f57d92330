#include "support/Fixture.h"
#include "app/Common.h"
#include "db/Engine.h"
#include "db/Formats.h"
#include "db/IniFile.h"
#include "db/DbError.h"
#include "db/paradox/PxRecovery.h"
#include "tools/demo/DemoData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

// Start-up, connection set-up, work tables and shut-down on scratch practices.
class StartupTest : public QObject {
    Q_OBJECT

    static void touch(const QString &path, const QByteArray &content = QByteArray("x"))
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    static QStringList workFiles(const QString &dir)
    {
        QStringList out;
        for (const QString &n : QDir(dir).entryList(QDir::Files))
            if (n.startsWith(QLatin1String("aldurix"), Qt::CaseInsensitive) || n.startsWith(QLatin1String("_QSQ"), Qt::CaseInsensitive))
                out << n;
        return out;
    }

    static QString readFile(const QString &path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }

private slots:
    void serverPathGetsOneFinalSeparator()
    {
        for (const QString &suffix : {QString(), QStringLiteral("/")}) {
            PracticeFixture f;
            f.writeIni({QStringLiteral("[DataBase]"), QStringLiteral("Server=") + f.base + suffix, QStringLiteral("Private=") + f.prive});
            ScriptedInteraction ui;
            auto s = f.start(ui);
            QVERIFY(s);
            QCOMPARE(s->CheminBase, QDir::toNativeSeparators(f.base) + QDir::separator());
            QCOMPARE(s->CheminPrive, QDir::toNativeSeparators(f.prive));
            QVERIFY(ui.messages.isEmpty());
            QVERIFY(s->baseOuverte);
            QVERIFY(s->ModeSQL);
            QCOMPARE(db::formats::shortDateFormat(), QStringLiteral("MM/dd/yyyy"));
        }
    }

    void missingIniEndsTheProgram()
    {
        PracticeFixture f;
        QFile::remove(f.programme + QStringLiteral("/Praxelle.ini"));
        ScriptedInteraction ui;
        int code = -1;
        QVERIFY(!f.start(ui, &code));
        QCOMPARE(code, 1);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(ui.messages[0].text, QStringLiteral("Le fichier de configuration ") + common::repertoireProgramme()
                                          + QStringLiteral("Praxelle.ini n'existe pas !\rL'application va être fermée."));
    }

    void iniFoundWhateverItsCase()
    {
        PracticeFixture f;
        QFile::rename(f.programme + QStringLiteral("/Praxelle.ini"), f.programme + QStringLiteral("/PRAXELLE.INI"));
        QFile::rename(f.base + QStringLiteral("/PRAXELLE.VER"), f.base + QStringLiteral("/praxelle.ver"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        QVERIFY(s->baseOuverte);
    }

    void defaultsWithoutDataBaseSection()
    {
        PracticeFixture f;
        f.writeIni({QStringLiteral("[Autre]"), QStringLiteral("Server=/ailleurs")});
        ScriptedInteraction ui;
        int code = -1;
        QVERIFY(!f.start(ui, &code));   // the default directory holds no database here
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].text, QStringLiteral("La base de données n'est pas accessible à partir de ")
                                          + QDir::toNativeSeparators(QStringLiteral("/opt/Orbelis/Base/"))
                                          + QStringLiteral(" !\rL'application va être fermée."));
    }

    void noVersionFileEndsBeforeAnyConnection()
    {
        PracticeFixture f;
        QFile::remove(f.base + QStringLiteral("/PRAXELLE.VER"));
        const QString cfgBefore = readFile(f.programme + QStringLiteral("/AldurixEngine.cfg"));
        ScriptedInteraction ui;
        int code = -1;
        QVERIFY(!f.start(ui, &code));
        QCOMPARE(code, 1);
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.messages[0].text.startsWith(QStringLiteral("La base de données n'est pas accessible à partir de ")));
        QCOMPARE(ui.beeps, 0);
        QCOMPARE(readFile(f.programme + QStringLiteral("/AldurixEngine.cfg")), cfgBefore);
    }

    void leftoverFilesAndLocksAreRemovedFirst()
    {
        PracticeFixture f;
        for (const char *n : {"Aldurix3.DB", "ALDURIX3.PX", "aldurix1.mb", "_QSQ12.DB", "_qsq4.tmp"})
            touch(f.prive + QLatin1Char('/') + QString::fromLatin1(n));
        for (const char *n : {"PARADOX.LCK", "pdoxusrs.lck", "Pdoxusrs.net"}) {
            touch(f.base + QLatin1Char('/') + QString::fromLatin1(n));
            touch(f.prive + QLatin1Char('/') + QString::fromLatin1(n));
        }
        touch(f.prive + QStringLiteral("/garder.txt"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        QStringList left = QDir(f.prive).entryList(QDir::Files);
        left.sort();
        QCOMPARE(left, QStringList({QStringLiteral("Aldurix1.DB"), QStringLiteral("Aldurix2.DB"), QStringLiteral("Aldurix3.DB"),
                                    QStringLiteral("Aldurix4.DB"), QStringLiteral("Aldurix5.DB"), QStringLiteral("garder.txt")}));
        QCOMPARE(QDir(f.base).entryList(QDir::Files).filter(QStringLiteral(".lck"), Qt::CaseInsensitive).size(), 0);
        QCOMPARE(s->TableResultats.recordCount(), 0);   // a fresh journal
    }

    void workTablesHoldTheSnapshots()
    {
        PracticeFixture f;
        f.insert(QStringLiteral("PATIENTS"), {{QStringLiteral("PATIENTS_ID"), 5}, {QStringLiteral("NOM"), QStringLiteral("Durand")}, {QStringLiteral("PRENOM"), QStringLiteral("Jean")}, {QStringLiteral("NE_LE"), QDate(1950, 2, 1)}, {QStringLiteral("N_OMON"), QStringLiteral("D000005")}});
        f.insert(QStringLiteral("MEDECINS"), {{QStringLiteral("MEDECINS_ID"), 2}, {QStringLiteral("MEDECINS_COMPTABLE_ID"), 2}, {QStringLiteral("NOM"), QStringLiteral("Martin")}, {QStringLiteral("PRENOM"), QStringLiteral("Luc")}});
        f.insert(QStringLiteral("MOTCONSU"), {{QStringLiteral("MOTCONSU_ID"), 9}, {QStringLiteral("PATIENTS_ID"), 5}, {QStringLiteral("DATE_CONSULTATION"), QDateTime(QDate(2024, 1, 3), QTime(10, 15))}});
        f.insert(QStringLiteral("CPORG"), {{QStringLiteral("CPOrg_ID"), 3}, {QStringLiteral("Nom"), QStringLiteral("CPAM")}, {QStringLiteral("Ville"), QStringLiteral("Lyon")}, {QStringLiteral("Princ"), true}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        QVERIFY(s->TablePatients.findKey({5}));
        QCOMPARE(s->TablePatients.fieldByName(QStringLiteral("NE_LE")).asDateTime().date(), QDate(1950, 2, 1));
        QVERIFY(s->TableMedecins.findKey({2}));
        QCOMPARE(s->TableMedecins.fieldByName(QStringLiteral("PRENOM")).asString(), QStringLiteral("Luc"));
        QVERIFY(s->TableConsultations.findKey({9}));
        QCOMPARE(s->TableConsultations.fieldByName(QStringLiteral("DATE_CONSULTATION")).asDateTime(), QDateTime(QDate(2024, 1, 3), QTime(10, 15)));
        QVERIFY(s->TableOrganismes.findKey({3}));
        QCOMPARE(s->TableOrganismes.fieldByName(QStringLiteral("Ville")).asString(), QStringLiteral("Lyon"));
        QVERIFY(s->TableOrganismes.fieldByName(QStringLiteral("Princ")).asBoolean());
        const QStringList expected = {QStringLiteral("  Récupération des informations médecins, utilisateurs en cours..."),
                                      QStringLiteral("  Récupération des informations patients en cours..."),
                                      QStringLiteral("  Création de la table d'enregistrement des résultats en cours..."),
                                      QStringLiteral("  Récupération des dates de consultations..."),
                                      QStringLiteral("  Récupération des tiers payants...")};
        QCOMPARE(ui.progress.mid(1, 5), expected);
        QCOMPARE(ui.progress.first(), QStringLiteral("  Veuillez patienter"));
        QVERIFY(ui.mainEnabled);
        QVERIFY(!ui.progressOpen);
    }

    void patientBasedTables()
    {
        PracticeFixture f;
        f.exec(QStringLiteral("CREATE TABLE VACCINS (VACCINS_ID INTEGER, patients_id INTEGER)"));
        f.exec(QStringLiteral("CREATE TABLE SANS_PATIENT (ID INTEGER, PATIENTS INTEGER)"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        QVERIFY(s->ListeTablesPatient.contains(QStringLiteral("VACCINS")));
        QVERIFY(s->ListeTablesPatient.contains(QStringLiteral("CPMAIN")));
        QVERIFY(s->ListeTablesPatient.contains(QStringLiteral("MOTCONSU")));
        QVERIFY(s->ListeTablesPatient.contains(QStringLiteral("CPSVFACT")));   // "Patients_ID"
        QVERIFY(!s->ListeTablesPatient.contains(QStringLiteral("PATIENTS")));
        QVERIFY(!s->ListeTablesPatient.contains(QStringLiteral("SANS_PATIENT")));
        QVERIFY(ui.progress.contains(QStringLiteral("  Recherche du champ PATIENTS_ID dans la table VACCINS en cours...")));
        QCOMPARE(nomTablePatient(QStringLiteral("dbo.CPMAIN"), true), QStringLiteral("CPMAIN"));
        QCOMPARE(nomTablePatient(QStringLiteral("compta.cpmain"), true), QStringLiteral("CPMAIN"));
        QCOMPARE(nomTablePatient(QStringLiteral("CPMAIN"), true), QStringLiteral("CPMAIN"));
        QCOMPARE(nomTablePatient(QStringLiteral("cpmain.db"), false), QStringLiteral("CPMAIN"));
        QCOMPARE(nomTablePatient(QStringLiteral("CPMAIN"), false), QStringLiteral("CPMAIN"));
    }

    void missingSourceTableEndsStartUpAndCleansUp()
    {
        PracticeFixture f;
        f.exec(QStringLiteral("DROP TABLE CPORG"));
        ScriptedInteraction ui;
        int code = -1;
        QVERIFY(!f.start(ui, &code));
        QCOMPARE(code, 0);
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY2(ui.messages[0].text.startsWith(QStringLiteral("Erreur à l'ouverture du programme. Veuillez vous assurer que Praxelle est bien fermé sur tous les postes. \rErreur : ")),
                 qPrintable(ui.messages[0].text));
        QVERIFY(ui.messages[0].text.contains(QStringLiteral("CPORG")));
        QVERIFY(workFiles(f.prive).isEmpty());
        QVERIFY(ui.mainEnabled);
        QCOMPARE(db::formats::shortDateFormat(), QStringLiteral("dd/MM/yyyy"));   // restored by the shut-down
    }

    void shutDownRemovesEveryWorkFile()
    {
        PracticeFixture f;
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        touch(f.prive + QStringLiteral("/_QSQ7.DB"));
        touch(f.base + QStringLiteral("/Paradox.lck"));
        QVERIFY(!workFiles(f.prive).isEmpty());
        QVERIFY_THROWS_EXCEPTION(common::FinProgramme, s->BtFermerClick());
        QVERIFY(workFiles(f.prive).isEmpty());
        QVERIFY(!QFile::exists(f.base + QStringLiteral("/Paradox.lck")));
        QVERIFY(QFile::exists(f.dbFile));
        QCOMPARE(db::formats::shortDateFormat(), QStringLiteral("dd/MM/yyyy"));
    }

    void sqlServerSetUpLinesInOrder()
    {
        PracticeFixture f;
        f.writeVersion({QStringLiteral("[DBKERNEL]"), QStringLiteral("DBType=0"), QStringLiteral("DatabaseName=Orbelis"),
                        QStringLiteral("ServerName=127.0.0.1,1"), QStringLiteral("[Application]"), QStringLiteral("ProgName=Praxelle")});
        ScriptedInteraction ui;
        int code = -1;
        QVERIFY(!f.start(ui, &code));   // nobody answers on that port
        QCOMPARE(code, 1);
        QCOMPARE(ui.beeps, 1);
        QCOMPARE(ui.messages.size(), 1);
        QVERIFY(ui.messages[0].text.startsWith(QStringLiteral("Connexion à la base de données  impossible !\rErreur : ")));
        QVERIFY(ui.messages[0].text.endsWith(QStringLiteral("\rL'application va être fermée.")));
        // The lines the connection was given, checked on a set-up that stops before opening.
        Session s(ui);
        s.CheminBase = f.base + QLatin1Char('/');
        db::IniFile ver(f.base + QStringLiteral("/PRAXELLE.VER"));
        db::Connection c;
        QVERIFY(s.ParametrerBase(ver, c));
        QCOMPARE(c.databaseName, QStringLiteral("OrbelisDB_MSSQL"));
        QCOMPARE(c.params, QStringList({QStringLiteral("USER NAME=sa"), QStringLiteral("PASSWORD=qvtzkr"), QStringLiteral("BLOB SIZE=300"),
                                        QStringLiteral("BLOBS TO CACHE=10000"), QStringLiteral("DATABASE NAME=Orbelis"),
                                        QStringLiteral("SERVER NAME=127.0.0.1,1"), QStringLiteral("LANGDRIVER=BLLT1FR0")}));
        QVERIFY(!c.loginPrompt);
        const db::AliasDef a = db::Engine::instance().alias(QStringLiteral("OrbelisDB_MSSQL"));
        QCOMPARE(a.driver, QStringLiteral("MSSQL"));
        QCOMPARE(a.param(QStringLiteral("LANGDRIVER")), QStringLiteral("BLLT1FR0"));
        // Given a login and an encoded password.
        f.writeVersion({QStringLiteral("[DBKERNEL]"), QStringLiteral("DatabaseName=Orbelis"), QStringLiteral("ServerName=srv"),
                        QStringLiteral("UserName=compta"), QStringLiteral("SAPW=") + EncoderMotDePasse(QStringLiteral("s3cret!")),
                        QStringLiteral("BlobSize=64")});
        db::IniFile ver2(f.base + QStringLiteral("/PRAXELLE.VER"));
        db::Connection c2;
        QVERIFY(s.ParametrerBase(ver2, c2));
        QCOMPARE(c2.params.mid(0, 3), QStringList({QStringLiteral("USER NAME=compta"), QStringLiteral("PASSWORD=s3cret!"), QStringLiteral("BLOB SIZE=64")}));
        // Neither a server nor an alias: the set-up fails with its warning.
        f.writeVersion({QStringLiteral("[DBKERNEL]"), QStringLiteral("DBType=0"), QStringLiteral("DatabaseName=Orbelis")});
        ScriptedInteraction ui3;
        auto s3 = f.start(ui3);
        QVERIFY(s3);   // the main window stays open without a database
        QVERIFY(!s3->baseOuverte);
        QCOMPARE(ui3.messages.size(), 1);
        QCOMPARE(ui3.messages[0].kind, Boite::Avertissement);
        QCOMPARE(ui3.messages[0].text, QStringLiteral("Impossible d'initialiser la base de données !"));
    }

    void aliasesAreAddedOnce()
    {
        PracticeFixture f;
        f.writeVersion({QStringLiteral("[DBKERNEL]"), QStringLiteral("DBType=0"), QStringLiteral("DatabaseName=Orbelis"), QStringLiteral("ServerName=127.0.0.1,1")});
        for (int i = 0; i < 2; ++i) {
            ScriptedInteraction ui;
            f.start(ui);
        }
        const QString cfg = readFile(f.programme + QStringLiteral("/AldurixEngine.cfg"));
        QCOMPARE(cfg.count(QStringLiteral("[ALIAS OrbelisDB_MSSQL]")), 1);
    }

    void paradoxSetUp()
    {
        PracticeFixture f;
        for (const char *n : {"METATABLE.DB", "metafield.db", "TableLink.db", "PATIENTS.DB", "MEDECINS.DB"})
            touch(f.base + QLatin1Char('/') + QString::fromLatin1(n));
        touch(f.base + QStringLiteral("/PDOXUSRS.LCK"));
        touch(f.programme + QStringLiteral("/paradox.lck"));
        f.writeVersion({QStringLiteral("[Application]"), QStringLiteral("ProgName=Praxelle")});
        const QString cfgBefore = readFile(f.programme + QStringLiteral("/AldurixEngine.cfg"));
        ScriptedInteraction ui;
        Session s(ui);
        s.CheminBase = f.base + QLatin1Char('/');
        QVERIFY(s.EstBaseParadox(s.CheminBase));
        db::IniFile ver(f.base + QStringLiteral("/PRAXELLE.VER"));
        db::Connection c;
        QVERIFY(s.ParametrerBase(ver, c));
        QCOMPARE(s.TypeBase, 1);
        QCOMPARE(c.databaseName, QStringLiteral("OrbelisDB_Paradox"));
        QCOMPARE(c.params, QStringList({QStringLiteral("PATH=") + f.base + QLatin1Char('/')}));
        QVERIFY(QFileInfo(f.base + QStringLiteral("/NetWork")).isDir());
        QCOMPARE(db::Engine::instance().netDir(), f.base + QStringLiteral("/NetWork"));
        QVERIFY(!QFile::exists(f.base + QStringLiteral("/PDOXUSRS.LCK")));
        QVERIFY(!QFile::exists(f.programme + QStringLiteral("/paradox.lck")));
        // InitBDESettings absent: written as 0, no engine setting touched.
        QCOMPARE(db::IniFile(f.base + QStringLiteral("/PRAXELLE.VER")).readString(QStringLiteral("Troubles"), QStringLiteral("InitBDESettings")), QStringLiteral("0"));
        const QString cfgAfter = readFile(f.programme + QStringLiteral("/AldurixEngine.cfg"));
        QCOMPARE(cfgAfter.count(QStringLiteral("LOCAL SHARE=FALSE")), cfgBefore.isEmpty() ? 1 : cfgBefore.count(QStringLiteral("LOCAL SHARE=FALSE")));
        // With DBType 1 on a directory without the markers: Paradox set-up, SQL mode.
        PracticeFixture g;
        g.writeVersion({QStringLiteral("[DBKERNEL]"), QStringLiteral("DBType=1"), QStringLiteral("AppServerPath=Serveur/App")});
        Session t(ui);
        t.CheminBase = g.base + QLatin1Char('/');
        db::IniFile ver2(g.base + QStringLiteral("/PRAXELLE.VER"));
        db::Connection c2;
        QVERIFY(!t.EstBaseParadox(t.CheminBase));
        QVERIFY(t.ParametrerBase(ver2, c2));
        QCOMPARE(t.TypeBase, 1);
        QVERIFY(QFileInfo(g.base + QStringLiteral("/Serveur/App")).isDir());
    }

    void tablesTheEngineWouldRefuseAreNamedOnce()
    {
        // A practice whose indexes are all kept: nothing to say.
        {
            PracticeFixture f;
            demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
            f.versParadox();
            ScriptedInteraction ui;
            auto s = f.start(ui);
            QVERIFY(s);
            QCOMPARE(ui.messages.size(), 1);   // "Veuillez fermer..."
        }
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        f.versParadox();
        QVERIFY(QFile::remove(f.baseParadox + QStringLiteral("/CPMAIN.Y02")));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        QCOMPARE(ui.messages.size(), 2);
        QCOMPARE(ui.messages[0].text, QStringLiteral("Veuillez fermer Praxelle sur tous les postes."));
        const QString texte = ui.messages[1].text;
        QVERIFY2(texte.startsWith(QStringLiteral("Certaines tables ne pourront pas être modifiées")), qPrintable(texte));
        QVERIFY2(texte.contains(QStringLiteral("Table CPMAIN : son index secondaire CPMAIN.X02 n'a pas de fichier d'index .Y")),
                 qPrintable(texte));
        QVERIFY(!texte.contains(QStringLiteral("PATIENTS")));
    }

    void paradoxDirectoryWithBrokenTablesEndsTheStartUp()
    {
        PracticeFixture f;
        for (const char *n : {"metatable.db", "metafield.db", "tablelink.db", "patients.db", "medecins.db"})
            touch(f.base + QLatin1Char('/') + QString::fromLatin1(n), QByteArray("pas une table"));
        f.writeVersion({QStringLiteral("[Application]"), QStringLiteral("ProgName=Praxelle")});
        ScriptedInteraction ui;
        int code = -1;
        QVERIFY(!f.start(ui, &code));
        // The Paradox box comes first; the damaged table is then refused when
        // the snapshots read it, and the start-up ends with the engine's word.
        QCOMPARE(ui.messages.size(), 2);
        QCOMPARE(ui.messages[0].text, QStringLiteral("Veuillez fermer Praxelle sur tous les postes."));
        QVERIFY2(ui.messages[1].text.startsWith(QStringLiteral("Erreur à l'ouverture du programme. Veuillez vous assurer que Praxelle est bien fermé sur tous les postes. \rErreur : ")),
                 qPrintable(ui.messages[1].text));
        QVERIFY(workFiles(f.prive).isEmpty());
        for (const char *n : {"metatable.db", "metafield.db", "tablelink.db", "patients.db", "medecins.db"}) {
            QFile t(f.base + QLatin1Char('/') + QString::fromLatin1(n));
            QVERIFY(t.open(QIODevice::ReadOnly));
            QCOMPARE(t.readAll(), QByteArray("pas une table"));   // untouched
        }
    }

    // A run killed in the middle of a write to a practice table: the next
    // start-up puts the table back before the connection reads it. When
    // another program changed the table since, start-up leaves it and its
    // journal alone and stops with a warning naming the table.
    void interruptedWritesAreUndoneBeforeTheConnection()
    {
        PracticeFixture f;
        f.insert(QStringLiteral("PATIENTS"), {{QStringLiteral("PATIENTS_ID"), 1}, {QStringLiteral("NOM"), QStringLiteral("Martin")}});
        f.writeVersion({QStringLiteral("[Application]"), QStringLiteral("ProgName=Praxelle")});
        f.versParadox();
        const QString dir = f.baseParadox;
        const QString journal = dir + QStringLiteral("/PATIENTS.DB.aldjrn");
        auto tableFiles = [&] {
            QMap<QString, QByteArray> out;
            for (const QString &n : QDir(dir).entryList({QStringLiteral("PATIENTS.*")}, QDir::Files)) {
                QFile t(dir + QLatin1Char('/') + n);
                t.open(QIODevice::ReadOnly);
                out.insert(n, t.readAll());
            }
            return out;
        };
        const auto before = tableFiles();
        // Killed after its journal is written and part of the table changed.
        auto killMidWrite = [&] {
            for (int k = 0; k < 50; ++k) {
                QProcess p;
                p.start(QStringLiteral(ALDURIX_BINARY_DIR "/tests/paradox_crash_helper"),
                        {dir, QStringLiteral("kill"), QString::number(k),
                         QStringLiteral("INSERT INTO PATIENTS (PATIENTS_ID, NOM) VALUES (2, 'Durand'), (3, 'Petit')")});
                p.waitForFinished(60000);
                if (p.exitStatus() != QProcess::CrashExit)
                    break;
                if (QFileInfo(journal).size() > 0 && tableFiles() != before)
                    return true;
                db::paradox::recoverDirectory(dir);
            }
            return false;
        };
        QVERIFY(killMidWrite());
        {
            ScriptedInteraction ui;
            auto s = f.start(ui);
            QVERIFY(s);
            QCOMPARE(ui.messages.size(), 1);
            QCOMPARE(ui.messages[0].text, QStringLiteral("Veuillez fermer Praxelle sur tous les postes."));
            QCOMPARE(tableFiles(), before);
            QVERIFY(QDir(dir).entryList({QStringLiteral("*.ald*")}).isEmpty());
            QCOMPARE(PracticeFixture::lignes(*s, QStringLiteral("SELECT count(*) FROM PATIENTS")), QList<QStringList>{{"1"}});
        }

        QVERIFY(killMidWrite());
        {
            QFile db(dir + QStringLiteral("/PATIENTS.DB"));
            QVERIFY(db.open(QIODevice::Append));
            db.write(QByteArray(16, 'z'));   // another program's bytes
        }
        const auto changed = tableFiles();
        ScriptedInteraction ui;
        int code = -1;
        QVERIFY(!f.start(ui, &code));
        QCOMPARE(code, 1);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Avertissement);
        const QString text = ui.messages[0].text;
        QVERIFY2(text.startsWith(QStringLiteral("Une modification interrompue n'a pas pu être annulée :\rLa table PATIENTS a été "
                                                "modifiée par un autre programme")), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("\rL'application va être fermée.")), qPrintable(text));
        QCOMPARE(tableFiles(), changed);
        QVERIFY(QFileInfo::exists(journal));
    }

    void engineSettingsCorrectedOnRequest()
    {
        PracticeFixture f;
        for (const char *n : {"metatable.db", "metafield.db", "tablelink.db", "patients.db", "medecins.db"})
            touch(f.base + QLatin1Char('/') + QString::fromLatin1(n));
        f.writeVersion({QStringLiteral("[Troubles]"), QStringLiteral("InitBDESettings=1")});
        ScriptedInteraction ui;
        Session s(ui);
        s.CheminBase = f.base + QLatin1Char('/');
        s.AjusterReglagesBDE();
        QCOMPARE(s.LireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;LOCAL SHARE")), QStringLiteral("TRUE"));
        QCOMPARE(s.LireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;MAXFILEHANDLES")), QStringLiteral("200"));
        QCOMPARE(s.LireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;LANGDRIVER")), QStringLiteral("intl"));
        QCOMPARE(s.LireParametreBDE(QStringLiteral("\\DRIVERS\\PARADOX\\INIT\\;LANGDRIVER")), QStringLiteral("intl"));
        s.EcrireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;MAXFILEHANDLES"), QStringLiteral("512"));
        s.AjusterReglagesBDE();
        QCOMPARE(s.LireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;MAXFILEHANDLES")), QStringLiteral("512"));
        try {
            s.LireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\LOCAL SHARE"));
            QFAIL("no error");
        } catch (const db::DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("Invalid parameter passed to function.  There must be a semi-colon delimited sting passed"));
        }
        try {
            s.EcrireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;ABSENT"), QStringLiteral("1"));
            QFAIL("no error");
        } catch (const db::DbError &e) {
            QCOMPARE(e.message(), QStringLiteral("\\SYSTEM\\INIT\\;ABSENT entry was not found in configuration file"));
        }
        // A setting that is no number fails the whole set-up with its warning.
        s.EcrireParametreBDE(QStringLiteral("\\SYSTEM\\INIT\\;MAXFILEHANDLES"), QStringLiteral("beaucoup"));
        f.writeVersion({QStringLiteral("[Troubles]"), QStringLiteral("InitBDESettings=1")});
        ScriptedInteraction ui2;
        auto s2 = f.start(ui2);
        QVERIFY(s2);
        QVERIFY(!s2->baseOuverte);
        QCOMPARE(ui2.messages.size(), 1);
        QCOMPARE(ui2.messages[0].text, QStringLiteral("Impossible d'initialiser la base de données !"));
    }

    void unusablePrivateDirectoryOrDatabaseFile()
    {
        {
            PracticeFixture f;
            touch(f.root + QStringLiteral("/PasUnDossier"));
            f.writeIni({QStringLiteral("[DataBase]"), QStringLiteral("Server=") + f.base, QStringLiteral("Private=") + f.root + QStringLiteral("/PasUnDossier")});
            ScriptedInteraction ui;
            int code = -1;
            QVERIFY(!f.start(ui, &code));
            QCOMPARE(ui.messages.size(), 1);
            QVERIFY(ui.messages[0].text.startsWith(QStringLiteral("Erreur à l'ouverture du programme.")));
            QVERIFY(QFile::exists(f.root + QStringLiteral("/PasUnDossier")));   // nothing but work files is ever deleted
            QVERIFY(QFile::exists(f.dbFile));
        }
        {
            PracticeFixture f;
            QFile::remove(f.dbFile);
            touch(f.dbFile, QByteArray(2048, 'z'));
            ScriptedInteraction ui;
            int code = -1;
            QVERIFY(!f.start(ui, &code));
            QCOMPARE(code, 1);
            QCOMPARE(ui.beeps, 1);
            QVERIFY2(ui.messages[0].text.startsWith(QStringLiteral("Connexion à la base de données TestPractice impossible !\rErreur : ")),
                     qPrintable(ui.messages[0].text));
            QVERIFY(ui.messages[0].text.contains(QStringLiteral("not a database")));
            QCOMPARE(QFileInfo(f.dbFile).size(), 2048);
        }
        {
            // A garbled version file: unknown sections, a DBType that is no number.
            PracticeFixture f;
            QFile ver(f.base + QStringLiteral("/PRAXELLE.VER"));
            QVERIFY(ver.open(QIODevice::WriteOnly));
            ver.write("\x01\x02[[[\r\n[DBKERNEL]\r\nDBType=zéro\r\nAlias=TestPractice\r\n[Inconnue]\r\n=\r\nSAPW=F\r\n");
            ver.close();
            ScriptedInteraction ui;
            auto s = f.start(ui);
            QVERIFY(s);
            QVERIFY(s->baseOuverte);
            QCOMPARE(s->TypeBase, 0);
        }
    }

    void passwordCoding()
    {
        QCOMPARE(DecoderMotDePasse(QStringLiteral("ABC")), QStringLiteral("_"));      // odd length
        QCOMPARE(DecoderMotDePasse(QStringLiteral("0G")), QStringLiteral("_"));       // above "F"
        QCOMPARE(DecoderMotDePasse(QStringLiteral("0a")), QStringLiteral("_"));       // lower case
        QCOMPARE(DecoderMotDePasse(QString()), QString());
        QCOMPARE(HexVersEntier(QStringLiteral("ff")), 255);
        QCOMPARE(HexVersEntier(QStringLiteral("1G")), 16);                            // unknown counts 0
        QCOMPARE(HexVersEntier(QStringLiteral("100")), 256);
        // Bytes 32, 64... pass unchanged.
        const QString longPassword = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-_éè");
        const QString coded = EncoderMotDePasse(longPassword);
        QCOMPARE(coded.size(), longPassword.size() * 2);
        QCOMPARE(coded.mid(31 * 2, 2), QStringLiteral("%1").arg(longPassword[31].unicode(), 2, 16, QLatin1Char('0')).toUpper());
        QCOMPARE(DecoderMotDePasse(coded), longPassword);
        QVERIFY(coded != QString::fromLatin1(longPassword.toLatin1().toHex().toUpper()));
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "startup_test.moc"
