#include "support/DemoRun.h"
#include "support/Fixture.h"
#include "support/PxIndexCheck.h"
#include "app/Common.h"
#include "app/Session.h"
#include "checks/CheckRun.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Formats.h"
#include "db/Restore.h"
#include "db/RunBackup.h"
#include "db/WriteStatement.h"
#include "tools/demo/DemoData.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

// Every run leaves a backup from which it can be undone: after a whole
// run, after a run killed in the middle, with rows changed since; and a run
// never changes anything its backup does not cover.
class BackupTest : public QObject {
    Q_OBJECT

    // What a restore must give back: every row through the engine, and on
    // Paradox every record as pxlib reads the files.
    struct Etat {
        QMap<QString, QList<QStringList>> tables;
        QMap<QString, QStringList> fichiers;
    };

    static QMap<QString, QStringList> fichiersParadox(const PracticeFixture &f)
    {
        QMap<QString, QStringList> out;
        if (f.baseParadox.isEmpty())
            return out;
        const QDir dir(f.baseParadox);
        for (const QString &name : dir.entryList({QStringLiteral("*.DB")}, QDir::Files))
            out.insert(name, pxlibRecords(dir.filePath(name)));
        return out;
    }

    static Etat etat(PracticeFixture &f, Session &s) { return {tablesPratique(s), fichiersParadox(f)}; }

    static void comparer(const Etat &obtenu, const Etat &attendu)
    {
        QCOMPARE(obtenu.tables.keys(), attendu.tables.keys());
        for (auto it = attendu.tables.constBegin(); it != attendu.tables.constEnd(); ++it) {
            const QList<QStringList> lignes = obtenu.tables.value(it.key());
            QVERIFY2(lignes == it.value(), qPrintable(QStringLiteral("table %1 : %2 lignes au lieu de %3")
                                                          .arg(it.key()).arg(lignes.size()).arg(it.value().size())));
        }
        QCOMPARE(obtenu.fichiers.keys(), attendu.fichiers.keys());
        for (auto it = attendu.fichiers.constBegin(); it != attendu.fichiers.constEnd(); ++it)
            QVERIFY2(obtenu.fichiers.value(it.key()) == it.value(), qPrintable(it.key() + QStringLiteral(" lu par pxlib diffère")));
    }

    static QString seuleSauvegarde(const Session &s)
    {
        const QList<db::BackupInfo> liste = db::listBackups(s.RepertoireSauvegardes);
        if (liste.size() != 1)
            return QString();
        return liste.first().file;
    }

    static void pratiqueDemo(PracticeFixture &f, Moteur moteur)
    {
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        f.vers(moteur);
        db::formats::setShortDateFormat(QStringLiteral("MM/dd/yyyy"));
    }

private slots:
    void runThenRestoreGivesTheDatabaseBack_data() { lignesParMoteur(); }
    void runThenRestoreGivesTheDatabaseBack()
    {
        QFETCH(Moteur, moteur);
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        MOTEUR_OU_PASSER(f, moteur);
        db::formats::setShortDateFormat(QStringLiteral("MM/dd/yyyy"));
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        const Etat avant = etat(f, *s);
        {
            const ReponsesDemo reponses(ui, *s);
            CheckRun run(*s);
            run.BtValiderClick();
        }
        QVERIFY(s->DBOrbelis.backend().runBackup() == nullptr);
        const QString fichier = seuleSauvegarde(*s);
        QVERIFY(!fichier.isEmpty());
        const db::BackupInfo info = db::readBackup(fichier);
        QCOMPARE(info.state, QStringLiteral("terminé"));
        QVERIFY(info.ended.isValid());
        QVERIFY(info.changedRows > 50);
        QVERIFY2(info.summary.contains(QStringLiteral(" lignes : ")), qPrintable(info.summary));
        QVERIFY(!info.database.isEmpty());
        // The report is kept although nothing was printed, beside the backup.
        QCOMPARE(ui.rapportsGardes.size(), 1);
        QCOMPARE(info.report, ui.rapportsGardes.first());
        QVERIFY(QFileInfo(info.report).size() > 1000);
        QCOMPARE(QFileInfo(info.report).absolutePath(), QFileInfo(fichier).absolutePath());
        QVERIFY(etat(f, *s).tables != avant.tables);

        const db::RestoreResult r = db::restoreBackup(s->DBOrbelis, fichier);
        QVERIFY2(r.leftAlone.isEmpty(), qPrintable(r.leftAlone.join(QLatin1Char('\n'))));
        QVERIFY(r.undone >= info.changedRows - r.unchanged);
        comparer(etat(f, *s), avant);
        if (moteur == Moteur::Paradox) {
            const QString incoherents = checkSecondaryIndexes(f.baseParadox);
            QVERIFY2(incoherents.isEmpty(), qPrintable(incoherents));
        }
        QVERIFY(db::readBackup(fichier).restored.isValid());
        // Twice is harmless: everything is already as before.
        const db::RestoreResult encore = db::restoreBackup(s->DBOrbelis, fichier);
        QCOMPARE(encore.undone, 0);
        QVERIFY2(encore.leftAlone.isEmpty(), qPrintable(encore.leftAlone.join(QLatin1Char('\n'))));
        comparer(etat(f, *s), avant);
    }

    void rowsChangedSinceAreLeftAndListed()
    {
        PracticeFixture f;
        pratiqueDemo(f, Moteur::SQLite);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        const Etat avant = etat(f, *s);
        {
            const ReponsesDemo reponses(ui, *s);
            CheckRun(*s).BtValiderClick();
        }
        const QString fichier = seuleSauvegarde(*s);
        QVERIFY(!fichier.isEmpty());
        // A patient the run changed, and an accounting record it deleted.
        qint64 patient = 0, compta = 0;
        {
            QSqlDatabase b = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lecture_sauvegarde"));
            b.setDatabaseName(fichier);
            QVERIFY(b.open());
            QSqlQuery q(b);
            QVERIFY(q.exec(QStringLiteral("SELECT nature, nom_table, avant FROM images ORDER BY id")));
            while (q.next()) {
                if (q.value(2).isNull())
                    continue;
                const QVariantList row = db::unpackRow(q.value(2).toByteArray());
                if (!patient && q.value(0) == QStringLiteral("U") && q.value(1) == QStringLiteral("PATIENTS"))
                    patient = row[0].toLongLong();
                if (!compta && q.value(0) == QStringLiteral("D") && q.value(1) == QStringLiteral("CPMAIN"))
                    compta = row[0].toLongLong();
            }
            b.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("lecture_sauvegarde"));
        QVERIFY(patient > 0 && compta > 0);
        f.exec(QStringLiteral("UPDATE PATIENTS SET PRENOM = 'Changé depuis' WHERE PATIENTS_ID = %1").arg(patient));
        f.exec(QStringLiteral("INSERT INTO CPMAIN (CPMAIN_ID, PATIENTS_ID, MEDECINS_ID) VALUES (%1, 1, 1)").arg(compta));

        const db::RestoreResult r = db::restoreBackup(s->DBOrbelis, fichier);
        QCOMPARE(r.leftAlone.size(), 2);
        QVERIFY2(r.leftAlone.filter(QStringLiteral("Table PATIENTS, enregistrement PATIENTS_ID = %1 : modifié par le traitement, "
                                                   "modifié à nouveau depuis ; laissé tel quel.").arg(patient)).size() == 1,
                 qPrintable(r.leftAlone.join(QLatin1Char('\n'))));
        QVERIFY2(r.leftAlone.filter(QStringLiteral("Table CPMAIN, enregistrement CPMAIN_ID = %1 : supprimé par le traitement, "
                                                   "un enregistrement de même clé a été créé depuis").arg(compta)).size() == 1,
                 qPrintable(r.leftAlone.join(QLatin1Char('\n'))));
        // Everything else is as before the run; those two rows as they are now.
        Etat apres = etat(f, *s);
        QCOMPARE(PracticeFixture::lignes(*s, QStringLiteral("SELECT PRENOM FROM PATIENTS WHERE PATIENTS_ID = %1").arg(patient)),
                 QList<QStringList>{{QStringLiteral("Changé depuis")}});
        QCOMPARE(f.scalar(QStringLiteral("SELECT MEDECINS_ID FROM CPMAIN WHERE CPMAIN_ID = %1").arg(compta)).toInt(), 1);
        f.exec(QStringLiteral("DELETE FROM CPMAIN WHERE CPMAIN_ID = %1").arg(compta));
        for (const QString &t : {QStringLiteral("PATIENTS"), QStringLiteral("CPMAIN")})
            apres.tables.remove(t);
        Etat attendu = avant;
        for (const QString &t : {QStringLiteral("PATIENTS"), QStringLiteral("CPMAIN")})
            attendu.tables.remove(t);
        comparer(apres, attendu);
    }

    // A real process, killed outright in the middle of the run: the next
    // start-up says so, and the backup undoes everything the database kept.
    void killedRunIsCoveredByItsBackup_data()
    {
        QTest::addColumn<Moteur>("moteur");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<int>("rang");
        for (const auto &[nom, moteur] : {std::pair{"SQLite", Moteur::SQLite}, std::pair{"Paradox", Moteur::Paradox}}) {
            QTest::addRow("%s, doublons", nom) << moteur << QStringLiteral("Gestion du doublon") << 2;
            QTest::addRow("%s, fin du traitement", nom) << moteur << QStringLiteral("Gestion des caisses inconnues dans le suivi") << 2;
        }
    }
    void killedRunIsCoveredByItsBackup()
    {
        QFETCH(Moteur, moteur);
        QFETCH(QString, texte);
        QFETCH(int, rang);
        PracticeFixture f;
        pratiqueDemo(f, moteur);
        Etat avant;
        {
            ScriptedInteraction ui;
            auto s = f.start(ui);
            QVERIFY(s);
            avant = etat(f, *s);
        }
        QProcess enfant;
        enfant.start(QStringLiteral(ALDURIX_BINARY_DIR "/tests/run_kill_helper"), {f.programme, texte, QString::number(rang)});
        QVERIFY(enfant.waitForFinished(120000));
        QVERIFY2(enfant.exitStatus() == QProcess::CrashExit,
                 ("code " + QByteArray::number(enfant.exitCode()) + ", fin de la sortie : " + enfant.readAllStandardOutput().right(600)).constData());

        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        const QString fichier = seuleSauvegarde(*s);
        QVERIFY(!fichier.isEmpty());
        const db::BackupInfo info = db::readBackup(fichier);
        QVERIFY(!info.ended.isValid());
        QVERIFY(info.changedRows > 0);
        // One box, after the start-up's own, naming the backup.
        const auto boites = ui.messages;
        QVERIFY(!boites.isEmpty());
        QCOMPARE(boites.last().kind, Boite::Information);
        QVERIFY2(boites.last().text.contains(QDir::toNativeSeparators(fichier)), qPrintable(boites.last().text));
        QVERIFY(boites.last().text.startsWith(QStringLiteral("Un traitement précédent ne s'est pas terminé normalement")));
        if (moteur == Moteur::Paradox)
            QCOMPARE(boites.first().text, QStringLiteral("Veuillez fermer Praxelle sur tous les postes."));
        QVERIFY(etat(f, *s).tables != avant.tables);

        const db::RestoreResult r = db::restoreBackup(s->DBOrbelis, fichier);
        QVERIFY2(r.leftAlone.isEmpty(), qPrintable(r.leftAlone.join(QLatin1Char('\n'))));
        comparer(etat(f, *s), avant);
        if (moteur == Moteur::Paradox) {
            const QString incoherents = checkSecondaryIndexes(f.baseParadox);
            QVERIFY2(incoherents.isEmpty(), qPrintable(incoherents));
        }
        // Told once: the next start-up says nothing more of it.
        s.reset();
        ScriptedInteraction ensuite;
        auto s2 = f.start(ensuite);
        QVERIFY(s2);
        for (const auto &m : ensuite.messages)
            QVERIFY(!m.text.contains(QStringLiteral("ne s'est pas terminé")));
    }

    void backupThatCannotBeMadeStopsTheRunFirst()
    {
        PracticeFixture f;
        pratiqueDemo(f, Moteur::SQLite);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        const Etat avant = etat(f, *s);
        // A file where the directory of the backups should be.
        QDir().mkpath(QFileInfo(s->RepertoireSauvegardes).absolutePath());
        QFile bouchon(s->RepertoireSauvegardes);
        QVERIFY(bouchon.open(QIODevice::WriteOnly));
        bouchon.close();
        ui.messages.clear();
        ui.progress.clear();
        CheckRun(*s).BtValiderClick();
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QVERIFY2(ui.messages[0].text.startsWith(QStringLiteral("Le traitement n'a pas été lancé : aucune correction n'est faite "
                                                               "sans la sauvegarde qui permet de l'annuler.\rErreur : La sauvegarde "
                                                               "de ce traitement n'a pas pu être créée dans le répertoire ")),
                 qPrintable(ui.messages[0].text));
        QVERIFY(ui.progress.isEmpty());
        comparer(etat(f, *s), avant);
    }

    // A write the backup cannot take is never made: the run ends in order
    // at that statement, and the backup covers everything made before it.
    void backupFailingMidRunStopsBeforeTheWrite()
    {
        PracticeFixture f;
        pratiqueDemo(f, Moteur::SQLite);
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        const Etat avant = etat(f, *s);
        ui.onDemarrer = [&](const QString &texte) {
            if (texte.contains(QStringLiteral("Recherche des doublons")) && s->sauvegarde)
                s->sauvegarde->backup().failWriteIn(2);
        };
        CheckRun(*s).BtValiderClick();
        const auto erreurs = std::count_if(ui.messages.begin(), ui.messages.end(), [](const auto &m) {
            return m.kind == Boite::Erreur && m.text.startsWith(QStringLiteral("Le traitement a été interrompu par une erreur imprévue."))
                   && m.text.contains(QStringLiteral("ne peut pas être écrite"));
        });
        QCOMPARE(int(erreurs), 1);
        for (const QString &p : ui.progress)
            QVERIFY(!p.contains(QStringLiteral("patients inconnus")));
        const QString fichier = seuleSauvegarde(*s);
        QCOMPARE(db::readBackup(fichier).state, QStringLiteral("arrêté sur une erreur"));
        // One duplicate deleted (its image kept), the second never.
        const db::RestoreResult r = db::restoreBackup(s->DBOrbelis, fichier);
        QVERIFY(r.leftAlone.isEmpty());
        comparer(etat(f, *s), avant);
    }

    // Every statement text of the program that changes rows is one the
    // backup can read beforehand: each place in the sources that writes one
    // is reached by a run below, and every text those runs sent was taken
    // (a text the gateway cannot classify stops the run with its message).
    void everyWriteOfTheProgramIsClassified()
    {
        QStringList envoyes;
        const auto executer = [&](const std::function<void(PracticeFixture &)> &preparer, const QString &naissance) {
            PracticeFixture f;
            demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
            preparer(f);
            ScriptedInteraction ui;
            auto s = f.start(ui);
            QVERIFY(s);
            {
                const ReponsesDemo reponses(ui, *s, naissance);
                try {
                    CheckRun(*s).BtValiderClick();
                } catch (const common::FinProgramme &) {
                    QStringList boites;
                    for (const auto &m : ui.messages)
                        boites << m.text;
                    QFAIL(qPrintable(QStringLiteral("le programme s'est arrêté : ") + boites.join(QStringLiteral(" | "))));
                }
            }
            for (const auto &m : ui.messages)
                QVERIFY2(!m.text.contains(QStringLiteral("Instruction refusée")), qPrintable(m.text));
            QSqlDatabase b = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("textes"));
            b.setDatabaseName(seuleSauvegarde(*s));
            QVERIFY(b.open());
            QSqlQuery q(b);
            QVERIFY(q.exec(QStringLiteral("SELECT texte FROM textes")));
            while (q.next())
                envoyes << q.value(0).toString().simplified();
            b.close();
            b = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("textes"));
        };
        executer([](PracticeFixture &) {}, QString());
        // The other forms: a new patient with a birth date, a practice
        // without consultations and without their counter's row.
        executer(
            [](PracticeFixture &f) {
                f.exec(QStringLiteral("DELETE FROM ID_VALUES WHERE KEY_NAME = 'MOTCONSU'"));
                f.exec(QStringLiteral("DELETE FROM MOTCONSU"));
            },
            QStringLiteral("03/04/1971"));

        // The places: string literals that begin a write, in the program's
        // sources; what they begin with up to the first value put in.
        QStringList manquants;
        int lieux = 0;
        const QRegularExpression litteral(QStringLiteral("\"((?:UPDATE |DELETE FROM |INSERT INTO )[^\"]*)\""),
                                          QRegularExpression::CaseInsensitiveOption);
        for (const char *dossier : {"app", "checks", "dialogs", "report"}) {
            QDirIterator it(QStringLiteral(ALDURIX_SOURCE_DIR "/") + QLatin1String(dossier), {QStringLiteral("*.cpp")}, QDir::Files);
            while (it.hasNext()) {
                const QString fichier = it.next();
                QFile src(fichier);
                QVERIFY(src.open(QIODevice::ReadOnly));
                const QString texte = QString::fromUtf8(src.readAll());
                for (const QRegularExpressionMatch &m : litteral.globalMatch(texte)) {
                    QString debut = m.captured(1);
                    debut = debut.left(debut.indexOf(QRegularExpression(QStringLiteral("[:%]")))).simplified();
                    ++lieux;
                    const bool vu = std::any_of(envoyes.begin(), envoyes.end(), [&](const QString &e) {
                        return e.startsWith(debut, Qt::CaseInsensitive);
                    });
                    if (!vu)
                        manquants << QFileInfo(fichier).fileName() + QStringLiteral(" : ") + m.captured(1);
                }
            }
        }
        QVERIFY(lieux > 15);
        QVERIFY2(manquants.isEmpty(), qPrintable(QStringLiteral("jamais envoyés : ") + manquants.join(QStringLiteral("\n"))));
        for (const QString &e : std::as_const(envoyes))
            QVERIFY2(db::classifyWrite(e).has_value(), qPrintable(e));
    }
};

QTEST_MAIN(BackupTest)
#include "backup_test.moc"
