// Undoes a check run from its backup, for scripts and for an administrator
// at a console: the restore window's work, without the window.
#include "app/Common.h"
#include "app/Garde.h"
#include "app/Interaction.h"
#include "app/Sauvegardes.h"
#include "app/Session.h"
#include "db/DbError.h"
#include "db/Restore.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>
#include <cstdio>
#include <optional>

#ifdef Q_OS_WIN
#include <io.h>
#define ALDURIX_ISATTY(fd) _isatty(fd)
#define ALDURIX_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define ALDURIX_ISATTY(fd) isatty(fd)
#define ALDURIX_FILENO(f) fileno(f)
#endif

namespace {

const char *kUsage =
    "Usage : AldurixRestore --liste\n"
    "        AldurixRestore FICHIER_DE_SAUVEGARDE [--oui]\n"
    "\n"
    "--liste   liste les sauvegardes des traitements, la plus récente en premier :\n"
    "          fichier, date, base, enregistrements modifiés, état, résumé du journal\n"
    "          (séparés par des tabulations).\n"
    "FICHIER   annule les corrections du traitement de cette sauvegarde ; un nom sans\n"
    "          répertoire est cherché dans le répertoire des sauvegardes.\n"
    "--oui     restaure sans demander de confirmation.\n"
    "\n"
    "Codes de sortie : 0 réussite, 1 échec (message sur la sortie d'erreur),\n"
    "2 rien n'a été fait (pas de confirmation, ou usage incorrect).\n";

QTextStream &sortie()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &erreurs()
{
    static QTextStream s(stderr);
    return s;
}

// The program's texts break their lines with "\r".
QString lignes(const QString &texte) { return QString(texte).replace(QLatin1Char('\r'), QLatin1Char('\n')); }

// The start-up's boxes, written to the error output: nobody is there to
// answer, so every question of the start-up is answered No, which changes
// nothing.
class InteractionConsole : public Interaction {
public:
    void message(Boite kind, const QString &text) override
    {
        erreurs() << prefixe(kind) << lignes(text) << Qt::endl;
    }
    bool question(Boite kind, const QString &text) override
    {
        erreurs() << prefixe(kind) << lignes(text) << QStringLiteral("\n(réponse : Non)") << Qt::endl;
        return false;
    }
    void bip(bool) override {}
    void DemarrerProgression(const QString &text, int, int, int, bool) override { montrer(text); }
    void UpdateProgression(const QString &text, int, int) override { montrer(text); }
    void ArreterProgression(bool) override { m_dernier.clear(); }
    // The start-up's steps are no news at a console; the restore's is.
    bool progressionMontree = false;
    int afficherSelectPatient() override { return ResultatAucun; }
    int afficherSelectOrganisme() override { return ResultatAucun; }
    void afficherResultats() override {}
    void imprimerRapport() override {}

private:
    static QString prefixe(Boite kind)
    {
        switch (kind) {
        case Boite::Erreur:
            return QStringLiteral("Erreur : ");
        case Boite::Avertissement:
        case Boite::QuestionAvert:
            return QStringLiteral("Attention : ");
        default:
            return QString();
        }
    }
    // Each step once, not each of its rows.
    void montrer(const QString &text)
    {
        if (!progressionMontree || text.isEmpty() || text == m_dernier)
            return;
        m_dernier = text;
        erreurs() << text << Qt::endl;
    }
    QString m_dernier;
};

// The end of the program as the window's "Fermer" does it: the work files
// and locks of the start-up go. The code stays the restore's: a failure of
// the clean-up is told, and the next start-up removes what is left.
int terminer(Session &s, int code)
{
    try {
        s.BtFermerClick();
    } catch (const common::FinProgramme &) {
    }
    return code;
}

int lister(Session &s)
{
    const QList<db::BackupInfo> liste = db::listBackups(s.RepertoireSauvegardes);
    if (liste.isEmpty()) {
        erreurs() << QStringLiteral("Aucune sauvegarde dans ") << QDir::toNativeSeparators(s.RepertoireSauvegardes) << Qt::endl;
        return 0;
    }
    for (const db::BackupInfo &b : liste) {
        sortie() << QStringList{QFileInfo(b.file).fileName(), b.started.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                                b.databaseText(), QString::number(b.changedRows), sauvegardes::etat(b), b.summary}
                        .join(QLatin1Char('\t'))
                 << Qt::endl;
    }
    return 0;
}

// Yes typed at a console; nothing typed, or no console, is no.
bool confirmer(const QString &question)
{
    erreurs() << question << QStringLiteral(" [o/N] ") << Qt::flush;
    QTextStream entree(stdin);
    const QString reponse = entree.readLine().trimmed().toLower();
    return reponse == QLatin1String("o") || reponse == QLatin1String("oui");
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    // A script may run where there is no display: the program's windows are
    // never shown here anyway.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Aldurix"));
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));

    QStringList args = app.arguments().mid(1);
    const bool oui = args.removeAll(QStringLiteral("--oui")) > 0;
    const bool liste = args.removeAll(QStringLiteral("--liste")) > 0;
    if (liste ? (oui || !args.isEmpty()) : args.size() != 1 || args[0].startsWith(QLatin1String("--"))) {
        erreurs() << QString::fromUtf8(kUsage) << Qt::flush;
        return 2;
    }

    InteractionConsole console;
    Session s(console);
    try {
        s.LireRepertoires(s.FichierConfiguration());
    } catch (const common::FinProgramme &f) {
        return f.code;
    } catch (const std::exception &e) {
        erreurs() << QStringLiteral("Erreur : le fichier de configuration ne peut pas être lu : ") << garde::messageDe(e)
                  << Qt::endl;
        return 1;
    }
    if (liste) {
        try {
            return lister(s);
        } catch (const std::exception &e) {
            erreurs() << QStringLiteral("Erreur : ") << garde::messageDe(e) << Qt::endl;
            return 1;
        }
    }

    QString fichier = args[0];
    if (QFileInfo(fichier).fileName() == fichier)
        fichier = QDir(s.RepertoireSauvegardes).absoluteFilePath(fichier);
    db::BackupInfo info;
    try {
        info = db::readBackup(fichier);
    } catch (const db::DbError &e) {
        erreurs() << lignes(e.message()) << Qt::endl;
        return 1;
    }
    const QString question = lignes(sauvegardes::confirmationRestauration(info));
    // Nobody to ask: nothing is touched, not even the start-up's files.
    if (!oui && !ALDURIX_ISATTY(ALDURIX_FILENO(stdin))) {
        erreurs() << question << Qt::endl
                  << QStringLiteral("Restauration non effectuée : aucune confirmation possible sans terminal. "
                                    "Ajoutez --oui pour restaurer sans confirmation.")
                  << Qt::endl;
        return 2;
    }

    // The practice database, opened as the program opens it.
    try {
        s.FormCreate();
    } catch (const common::FinProgramme &f) {
        return f.code != 0 ? f.code : 1;
    }
    if (!s.baseOuverte) {
        erreurs() << QStringLiteral("La restauration n'a pas été effectuée : la base de données n'a pas pu être ouverte.")
                  << Qt::endl;
        return terminer(s, 1);
    }
    if (!oui && !confirmer(question)) {
        erreurs() << QStringLiteral("Restauration abandonnée.") << Qt::endl;
        return terminer(s, 2);
    }
    console.progressionMontree = true;
    try {
        const sauvegardes::Restauration r = sauvegardes::restaurer(s, fichier);
        sortie() << lignes(sauvegardes::compteRenduRestauration(r, -1)) << Qt::endl;
    } catch (const db::DbError &e) {
        erreurs() << QStringLiteral("La restauration n'a pas été effectuée.\nErreur : ") << lignes(e.message()) << Qt::endl;
        return terminer(s, 1);
    } catch (const std::exception &e) {
        erreurs() << QStringLiteral("La restauration n'a pas été effectuée.\nErreur : ") << garde::messageDe(e)
                  << Qt::endl;
        return terminer(s, 1);
    }
    return terminer(s, 0);
}
