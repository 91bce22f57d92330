// AldurixRestore, as a script runs it: a child process beside the program's
// configuration, on a practice whose run left its backup.
#include "support/Fixture.h"
#include "support/Traitement.h"
#include "tools/demo/DemoData.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

QString L(const char *s) { return QString::fromUtf8(s); }

struct Issue {
    int code = -1;
    QString sortie, erreurs;
};

// The command copied into the fixture's program directory, where the program
// finds its configuration; its input closed, as a script's often is.
Issue lancer(PracticeFixture &f, const QStringList &arguments, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    const QString commande = f.programme + L("/AldurixRestore");
    if (!QFile::exists(commande) && !QFile::copy(QStringLiteral(ALDURIX_BINARY_DIR "/AldurixRestore"), commande))
        qFatal("cannot copy AldurixRestore");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(commande, arguments);
    p.closeWriteChannel();
    Issue out;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return out;
    out.code = p.exitCode();
    out.sortie = QString::fromUtf8(p.readAllStandardOutput());
    out.erreurs = QString::fromUtf8(p.readAllStandardError());
    return out;
}

QStringList fichiersDeTravail(const QString &dir)
{
    QStringList out;
    for (const QString &n : QDir(dir).entryList(QDir::Files))
        if (n.startsWith(L("Aldurix"), Qt::CaseInsensitive) || n.startsWith(L("_QSQ"), Qt::CaseInsensitive))
            out << n;
    return out;
}

} // namespace

class AldurixRestoreTest : public QObject {
    Q_OBJECT

private slots:
    // Listed, then restored by its bare name without a question: the practice
    // is back as before the run and the start-up's files are gone.
    void listedThenRestoredWithOui()
    {
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        const QMap<QString, QStringList> avant = contenuPratique(f);
        const db::BackupInfo b = traitementComplet(f);
        const QString nom = QFileInfo(b.file).fileName();

        // A script's environment may name no display at all.
        QProcessEnvironment sansEcran = QProcessEnvironment::systemEnvironment();
        for (const char *v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            sansEcran.remove(QString::fromLatin1(v));
        const Issue liste = lancer(f, {L("--liste")}, sansEcran);
        QCOMPARE(liste.code, 0);
        const QString ligne = QStringList{nom, b.started.toString(L("dd/MM/yyyy HH:mm:ss")), L("SQLite : ") + f.dbFile,
                                          QString::number(b.changedRows), L("terminé"), b.summary}
                                  .join(QLatin1Char('\t'));
        QCOMPARE(liste.sortie, ligne + L("\n"));

        const Issue r = lancer(f, {nom, L("--oui")});
        QVERIFY2(r.code == 0, qPrintable(r.erreurs));
        QCOMPARE(r.sortie, L("Restauration terminée : %1 enregistrements rétablis.\n").arg(b.changedRows));
        // The start-up's boxes, as the program shows them, go to the error output.
        QVERIFY2(r.erreurs.contains(L("Restauration de la sauvegarde du traitement du ")), qPrintable(r.erreurs));
        const QString ecarts = ecartsContenu(avant, contenuPratique(f));
        QVERIFY2(ecarts.isEmpty(), qPrintable(ecarts));
        QCOMPARE(fichiersDeTravail(f.prive), QStringList());

        const Issue apres = lancer(f, {L("--liste")});
        QCOMPARE(apres.code, 0);
        QVERIFY2(apres.sortie.section(QLatin1Char('\t'), 4, 4).startsWith(L("terminé, restauré le ")), qPrintable(apres.sortie));
    }

    // Nobody to confirm: nothing is done, not even the start-up. Then, with
    // --oui, a row changed since the run is left and printed.
    void noConfirmationNoRestoreAndRowsLeftPrinted()
    {
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        const db::BackupInfo b = traitementComplet(f);
        const QMap<QString, QStringList> apresTraitement = contenuPratique(f);

        const Issue refus = lancer(f, {b.file});
        QCOMPARE(refus.code, 2);
        QVERIFY2(refus.erreurs.contains(L("Annuler les corrections du traitement du ")), qPrintable(refus.erreurs));
        QVERIFY2(refus.erreurs.contains(L("Ajoutez --oui")), qPrintable(refus.erreurs));
        QCOMPARE(refus.sortie, QString());
        QCOMPARE(contenuPratique(f), apresTraitement);
        QVERIFY(!db::readBackup(b.file).restored.isValid());
        QCOMPARE(fichiersDeTravail(f.prive), QStringList());

        f.exec(L("UPDATE PATIENTS SET N_OMON='Z000013' WHERE PATIENTS_ID=13"));
        const Issue r = lancer(f, {b.file, L("--oui")});
        QVERIFY2(r.code == 0, qPrintable(r.erreurs));
        const QStringList lignes = r.sortie.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lignes.size(), 4);
        QCOMPARE(lignes[1], L("Les enregistrements suivants ont été modifiés depuis le traitement et laissés tels quels :"));
        QVERIFY2(lignes[2].startsWith(L("Table PATIENTS, enregistrement PATIENTS_ID = 13 : ")), qPrintable(lignes[2]));
        QCOMPARE(f.scalar(L("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=13")).toString(), L("Z000013"));
    }

    // A backup of another practice, a missing file, a wrong call: the
    // command fails with its reason and changes nothing.
    void failuresChangeNothing()
    {
        PracticeFixture autre;
        const db::BackupInfo etrangere = traitementComplet(autre);
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        const QMap<QString, QStringList> avant = contenuPratique(f);

        const Issue r = lancer(f, {etrangere.file, L("--oui")});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.erreurs.contains(L("La restauration n'a pas été effectuée.\nErreur : Cette sauvegarde concerne la base "
                                      "SQLite : ")
                                    + autre.dbFile + L(" ; la base ouverte est SQLite : ") + f.dbFile
                                    + L(". Rien n'a été restauré.")),
                 qPrintable(r.erreurs));
        QCOMPARE(contenuPratique(f), avant);
        QCOMPARE(fichiersDeTravail(f.prive), QStringList());
        QVERIFY(!db::readBackup(etrangere.file).restored.isValid());

        const Issue absent = lancer(f, {L("Aldurix_absent.sqlite"), L("--oui")});
        QCOMPARE(absent.code, 1);
        QVERIFY2(absent.erreurs.contains(L("n'existe pas.")), qPrintable(absent.erreurs));

        const Issue vide = lancer(f, {L("--liste")});
        QCOMPARE(vide.code, 0);
        QCOMPARE(vide.sortie, QString());
        QVERIFY2(vide.erreurs.contains(L("Aucune sauvegarde dans ") + QDir::toNativeSeparators(f.prive + L("/Sauvegardes"))), qPrintable(vide.erreurs));

        for (const QStringList &args : {QStringList(), QStringList({L("--liste"), L("--oui")}),
                                        QStringList({L("a.sqlite"), L("b.sqlite")})}) {
            const Issue usage = lancer(f, args);
            QCOMPARE(usage.code, 2);
            QVERIFY2(usage.erreurs.contains(L("Usage : AldurixRestore --liste")), qPrintable(usage.erreurs));
        }
    }
};

QTEST_MAIN(AldurixRestoreTest)
#include "aldurixrestore_test.moc"
