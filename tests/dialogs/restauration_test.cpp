// The restore window: the list of the runs' backups, and a run undone from
// it, through the main window's button as its user would.
#include "support/Fixture.h"
#include "support/Traitement.h"
#include "app/Main.h"
#include "app/Sauvegardes.h"
#include "dialogs/Restauration.h"
#include "tools/demo/DemoData.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>
#include <functional>

namespace {

QString L(const char *s) { return QString::fromUtf8(s); }

struct BoiteVue {
    QString texte;
    QMessageBox::Icon icone;
    QStringList boutons;   // without their accelerator marks
};

// Plays the user: answers every box (Yes to a restore, OK otherwise) and
// hands the restore window, once it is up, to the scenario, which runs from
// the event loop so that the boxes it opens are answered in turn.
class Pilote : public QObject {
public:
    QList<BoiteVue> boites;
    QStringList inattendus;
    std::function<void(TFRestauration *)> aLaFenetre;

    Pilote()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { tic(); });
        m_timer.start(10);
    }

private:
    void tic()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_enCours)
            return;
        if (auto *b = qobject_cast<QMessageBox *>(w)) {
            BoiteVue vue{b->text(), b->icon(), {}};
            for (QAbstractButton *bouton : b->buttons())
                vue.boutons << bouton->text().remove(QLatin1Char('&'));
            boites << vue;
            QAbstractButton *choix = b->button(QMessageBox::Yes);
            if (!choix)
                choix = b->button(QMessageBox::Ok);
            if (choix)
                QTest::mouseClick(choix, Qt::LeftButton);
            else
                b->reject();
        } else if (auto *d = qobject_cast<TFRestauration *>(w); d && aLaFenetre) {
            m_enCours = d;
            QTimer::singleShot(0, this, [this, d] { aLaFenetre(d); });
        } else {
            inattendus << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->windowTitle();
            if (auto *dialogue = qobject_cast<QDialog *>(w))
                dialogue->reject();
            else
                w->close();
        }
    }

    QTimer m_timer;
    QWidget *m_enCours = nullptr;
};

QStringList ligne(QTreeWidget *liste, int i)
{
    QStringList out;
    for (int c = 0; c < liste->columnCount(); ++c)
        out << liste->topLevelItem(i)->text(c);
    return out;
}

// The file a click on "Ouvrir le compte rendu" hands the desktop.
class Bureau : public QObject {
    Q_OBJECT
public:
    QList<QUrl> ouverts;
public slots:
    void ouvrir(const QUrl &url) { ouverts << url; }
};

const QString kAvantRestes = L("Les enregistrements suivants ont été modifiés depuis le traitement et laissés tels quels :");

QString restaure(int n) { return L("Restauration terminée : %1 enregistrements rétablis.").arg(n); }

int nombreRetablis(const QString &message)
{
    const QString debut = L("Restauration terminée : ");
    if (!message.startsWith(debut))
        return -1;
    return message.mid(debut.size()).section(QLatin1Char(' '), 0, 0).toInt();
}

// The rows of the file a restore wrote beside its backup, after its title line.
QStringList lignesDuFichier(const QString &fichier)
{
    QFile f(fichier);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lignes = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lignes.isEmpty())
        lignes.removeFirst();
    return lignes;
}

} // namespace

class RestaurationTest : public QObject {
    Q_OBJECT

    QTranslator m_francais;

    // The window on a session, a backup selected, "Restaurer" clicked; the
    // session's seam answers.
    static void restaurer(TFRestauration &d, int rang = 0)
    {
        auto *liste = enfant<QTreeWidget>(&d, "ListeSauvegardes");
        liste->setCurrentItem(liste->topLevelItem(rang));
        QTest::mouseClick(enfant<QPushButton>(&d, "BtRestaurer"), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_francais.load(QLocale(QLocale::French, QLocale::France), L("qtbase"), L("_"),
                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
        QApplication::installTranslator(&m_francais);
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    }

    void cleanup()
    {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }

    // The demo practice's run, listed and undone from the main window: the
    // practice is back as it was before the run, row for row.
    void runUndoneFromTheMainWindow()
    {
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        const QMap<QString, QStringList> avant = contenuPratique(f);
        const db::BackupInfo b = traitementComplet(f);
        QVERIFY(contenuPratique(f) != avant);
        QVERIFY(b.changedRows > 0);
        QVERIFY(QFile::exists(b.report));

        Pilote pilote;
        Bureau bureau;
        QDesktopServices::setUrlHandler(L("file"), &bureau, "ouvrir");
        TFMain main;
        main.creerDialogues();
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto *bouton = enfant<QPushButton>(&main, "BtSauvegardes");
        QCOMPARE(bouton->text(), L("&Sauvegardes..."));
        QVERIFY(bouton->isEnabled());
        pilote.boites.clear();   // the start-up's

        QStringList vue, vueApres, enTetes;
        QString aucune;
        bool sansSelection = true, avecSelection = false, compteRendu = false;
        QMap<QString, QStringList> apres;
        pilote.aLaFenetre = [&](TFRestauration *d) {
            auto *liste = enfant<QTreeWidget>(d, "ListeSauvegardes");
            for (int c = 0; c < liste->columnCount(); ++c)
                enTetes << liste->headerItem()->text(c);
            aucune = enfant<QLabel>(d, "LAucuneSauvegarde")->isVisible() ? L("visible") : QString();
            liste->clearSelection();
            sansSelection = enfant<QPushButton>(d, "BtRestaurer")->isEnabled()
                            || enfant<QPushButton>(d, "BtCompteRendu")->isEnabled();
            if (liste->topLevelItemCount() == 1) {
                vue = ligne(liste, 0);
                liste->setCurrentItem(liste->topLevelItem(0));
                avecSelection = enfant<QPushButton>(d, "BtRestaurer")->isEnabled();
                compteRendu = enfant<QPushButton>(d, "BtCompteRendu")->isEnabled();
                QTest::mouseClick(enfant<QPushButton>(d, "BtCompteRendu"), Qt::LeftButton);
                QTest::mouseClick(enfant<QPushButton>(d, "BtRestaurer"), Qt::LeftButton);
                apres = contenuPratique(f);
                vueApres = ligne(liste, 0);
            }
            QTest::mouseClick(enfant<QPushButton>(d, "BtFermer"), Qt::LeftButton);
        };
        QTest::mouseClick(bouton, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(L("file"));

        QCOMPARE(pilote.inattendus, QStringList());
        QCOMPARE(enTetes, QStringList({L("Date du traitement"), L("Base"), L("Enregistrements modifiés"), L("État"),
                                       L("Résumé du journal")}));
        QCOMPARE(aucune, QString());
        QVERIFY(!sansSelection);
        QVERIFY(avecSelection);
        QVERIFY(compteRendu);
        QCOMPARE(bureau.ouverts, QList<QUrl>({QUrl::fromLocalFile(b.report)}));
        QCOMPARE(vue, QStringList({b.started.toString(L("dd/MM/yyyy HH:mm:ss")), L("SQLite : ") + f.dbFile,
                                   QString::number(b.changedRows), L("terminé"), b.summary}));
        QVERIFY(!b.summary.isEmpty());

        QCOMPARE(pilote.boites.size(), 2);
        QCOMPARE(pilote.boites[0].texte,
                 L("Annuler les corrections du traitement du ") + b.started.toString(L("dd/MM/yyyy à HH:mm:ss")) + L(" (")
                     + QString::number(b.changedRows)
                     + L(" enregistrements modifiés) ? Les enregistrements modifiés depuis ce traitement seront laissés "
                         "tels quels."));
        QCOMPARE(pilote.boites[0].icone, QMessageBox::Warning);
        QCOMPARE(pilote.boites[0].boutons, QStringList({L("Oui"), L("Non")}));
        // Every row the run changed is put back, and nothing else.
        QCOMPARE(pilote.boites[1].texte, restaure(int(b.changedRows)));
        QCOMPARE(pilote.boites[1].icone, QMessageBox::Information);
        const QString ecarts = ecartsContenu(avant, apres);
        QVERIFY2(ecarts.isEmpty(), qPrintable(ecarts));
        QVERIFY(!QFile::exists(sauvegardes::fichierRestes(b.file)));

        // The list tells the restore at once.
        QCOMPARE(vueApres.size(), 5);
        QVERIFY2(vueApres[3].startsWith(L("terminé, restauré le ") + QDate::currentDate().toString(L("dd/MM/yyyy")) + L(" ")),
                 qPrintable(vueApres[3]));
        QVERIFY(db::readBackup(b.file).restored.isValid());
        QVERIFY(!main.fin);
        QVERIFY(main.isEnabled());
        QVERIFY(bouton->isEnabled());
        QVERIFY(!main.progression().ProgressionVisible);
    }

    // A row changed again after the run is not put back: the restore says
    // so, lists it in its message and in the file beside the backup, and
    // undoes everything else.
    void rowChangedSinceTheRunIsLeftAndListed()
    {
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        const QMap<QString, QStringList> avant = contenuPratique(f);
        const QString nomonAvant = f.scalar(L("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=13")).toString();
        const db::BackupInfo b = traitementComplet(f);
        QVERIFY(f.scalar(L("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=13")).toString() != nomonAvant);
        f.exec(L("UPDATE PATIENTS SET N_OMON='Z000013' WHERE PATIENTS_ID=13"));

        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        ui.messages.clear();
        ui.answers = {false, true};
        TFRestauration d(*s);
        d.show();
        // No changes nothing.
        restaurer(d);
        QCOMPARE(ui.questions.size(), 1);
        QVERIFY(ui.messages.isEmpty());
        QVERIFY(!db::readBackup(b.file).restored.isValid());
        QCOMPARE(f.scalar(L("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=13")).toString(), L("Z000013"));

        ui.progress.clear();
        restaurer(d);
        QCOMPARE(ui.questions.size(), 2);
        QCOMPARE(ui.questions[1].kind, Boite::QuestionAvert);
        QVERIFY(!ui.progress.isEmpty());
        QCOMPARE(ui.progress.first(), L("  Restauration de la sauvegarde du traitement du ")
                                          + b.started.toString(L("dd/MM/yyyy à HH:mm:ss")) + L("..."));
        QVERIFY(!ui.progressOpen);
        QVERIFY(ui.mainEnabled);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Information);
        const QStringList message = ui.messages[0].text.split(QLatin1Char('\r'));
        QCOMPARE(message.size(), 4);
        const int retablis = nombreRetablis(message[0]);
        QVERIFY(retablis > 0 && retablis < b.changedRows);
        QCOMPARE(message[0], restaure(retablis));
        QCOMPARE(message[1], kAvantRestes);
        QVERIFY2(message[2].startsWith(L("Table PATIENTS, enregistrement PATIENTS_ID = 13 : ")), qPrintable(message[2]));
        const QString fichier = sauvegardes::fichierRestes(b.file);
        QCOMPARE(QFileInfo(fichier).fileName(), QFileInfo(b.file).completeBaseName() + L("_restauration.txt"));
        QCOMPARE(message[3], L("Il est inscrit dans le fichier ") + QDir::toNativeSeparators(fichier) + L("."));
        QCOMPARE(lignesDuFichier(fichier), QStringList({message[2]}));

        // The later change stays; with it taken away, the practice is as before the run.
        QCOMPARE(f.scalar(L("SELECT N_OMON FROM PATIENTS WHERE PATIENTS_ID=13")).toString(), L("Z000013"));
        QSqlQuery q(f.db());
        q.prepare(L("UPDATE PATIENTS SET N_OMON=? WHERE PATIENTS_ID=13"));
        q.addBindValue(nomonAvant);
        QVERIFY(q.exec());
        const QString ecarts = ecartsContenu(avant, contenuPratique(f));
        QVERIFY2(ecarts.isEmpty(), qPrintable(ecarts));
        QVERIFY(enfant<QTreeWidget>(&d, "ListeSauvegardes")->topLevelItem(0)->text(TFRestauration::ColEtat).contains(L("restauré le")));
    }

    // Many rows left: the message shows the first ones and counts the rest;
    // the file holds them all.
    void manyRowsLeftAreCountedInTheMessageAndAllWritten()
    {
        PracticeFixture f;
        demo::writeDemoData(f.db(), demo::kDefaultPatients, demo::kDefaultSeed);
        traitementComplet(f);
        // Every row of the tables the run changes most, changed again: those
        // the run changed or added are left.
        f.exec(L("UPDATE CPMAIN SET Payeur = coalesce(Payeur, '') || '*'"));
        f.exec(L("UPDATE PATIENTS SET PRENOM = coalesce(PRENOM, '') || '*'"));
        f.exec(L("UPDATE MOTCONSU SET MOTIF_DE_CONSULTATION = coalesce(MOTIF_DE_CONSULTATION, '') || '*'"));
        f.exec(L("UPDATE ID_VALUES SET LAST_VALUE = LAST_VALUE + 1000"));
        f.exec(L("UPDATE CPORG SET Nom = coalesce(Nom, '') || '*'"));
        f.exec(L("UPDATE MEDECINS SET NOM = coalesce(NOM, '') || '*'"));
        f.exec(L("UPDATE CPREM SET Banque = coalesce(Banque, '') || '*'"));

        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        ui.messages.clear();
        ui.answers = {true};
        TFRestauration d(*s);
        restaurer(d);

        QCOMPARE(ui.messages.size(), 1);
        const QStringList message = ui.messages[0].text.split(QLatin1Char('\r'));
        const QString fichier = sauvegardes::fichierRestes(db::listBackups(s->RepertoireSauvegardes).first().file);
        const QStringList tous = lignesDuFichier(fichier);
        QVERIFY2(tous.size() > TFRestauration::kLignesMontrees, qPrintable(QString::number(tous.size())));
        QCOMPARE(message.size(), 2 + TFRestauration::kLignesMontrees + 2);
        QCOMPARE(message[1], kAvantRestes);
        QCOMPARE(message.mid(2, TFRestauration::kLignesMontrees), tous.mid(0, TFRestauration::kLignesMontrees));
        QCOMPARE(message[2 + TFRestauration::kLignesMontrees],
                 L("... et %1 autres.").arg(tous.size() - TFRestauration::kLignesMontrees));
        QCOMPARE(message.last(), L("Ils sont tous inscrits dans le fichier ") + QDir::toNativeSeparators(fichier) + L("."));
        for (const QString &l : tous)
            QVERIFY2(l.startsWith(L("Table ")) && l.endsWith(L(" ; laissé tel quel.")), qPrintable(l));
    }

    // No backup yet: the window says where it looked. A backup of another
    // practice is listed, but its restore is refused and changes nothing.
    void emptyDirectoryThenAnotherPracticesBackup()
    {
        PracticeFixture autre;
        const db::BackupInfo etrangere = traitementComplet(autre);

        PracticeFixture f;
        f.insert(L("PATIENTS"), {{L("PATIENTS_ID"), 1}, {L("NOM"), L("Durand")}, {L("PRENOM"), L("Jean")},
                                 {L("N_OMON"), L("D000001")}});
        ScriptedInteraction ui;
        auto s = f.start(ui);
        QVERIFY(s);
        {
            TFRestauration d(*s);
            d.show();
            QCOMPARE(enfant<QTreeWidget>(&d, "ListeSauvegardes")->topLevelItemCount(), 0);
            auto *aucune = enfant<QLabel>(&d, "LAucuneSauvegarde");
            QVERIFY(aucune->isVisible());
            QCOMPARE(aucune->text(), L("Aucune sauvegarde dans ") + QDir::toNativeSeparators(s->RepertoireSauvegardes));
            QVERIFY(!enfant<QPushButton>(&d, "BtRestaurer")->isEnabled());
            QVERIFY(!enfant<QPushButton>(&d, "BtCompteRendu")->isEnabled());
        }

        QVERIFY(QDir().mkpath(s->RepertoireSauvegardes));
        const QString copie = QDir(s->RepertoireSauvegardes).absoluteFilePath(QFileInfo(etrangere.file).fileName());
        QVERIFY(QFile::copy(etrangere.file, copie));
        const QMap<QString, QStringList> avant = contenuPratique(f);
        ui.messages.clear();
        ui.answers = {true};
        TFRestauration d(*s);
        d.show();
        QVERIFY(!enfant<QLabel>(&d, "LAucuneSauvegarde")->isVisible());
        QCOMPARE(enfant<QTreeWidget>(&d, "ListeSauvegardes")->topLevelItem(0)->text(TFRestauration::ColBase),
                 L("SQLite : ") + autre.dbFile);
        restaurer(d);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QVERIFY2(ui.messages[0].text.startsWith(L("La restauration n'a pas été effectuée.\rErreur : Cette sauvegarde concerne "
                                                  "la base SQLite : ")
                                                + autre.dbFile),
                 qPrintable(ui.messages[0].text));
        QVERIFY(!ui.progressOpen);
        QCOMPARE(contenuPratique(f), avant);
        QVERIFY(!db::readBackup(copie).restored.isValid());
    }

    // Without an open database the button is off: there is nothing to restore into.
    void noButtonWithoutAnOpenDatabase()
    {
        PracticeFixture f;
        // A SQL practice named neither by an alias nor by a server and database.
        f.writeVersion({L("[DBKERNEL]"), L("DBType=0")});
        Pilote pilote;
        TFMain main;
        QVERIFY(!main.session().baseOuverte);
        QCOMPARE(pilote.boites.size(), 1);
        QCOMPARE(pilote.boites[0].texte, L("Impossible d'initialiser la base de données !"));
        QVERIFY(!enfant<QPushButton>(&main, "BtSauvegardes")->isEnabled());
    }
};

QTEST_MAIN(RestaurationTest)
#include "restauration_test.moc"
