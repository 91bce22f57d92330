#include "app/Common.h"
#include "app/Garde.h"
#include "app/Messages.h"
#include "app/Main.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Aldurix"));
    // No display name: the window system would add it to every caption,
    // which the program sets whole ("Affectation d'un patient", "Erreur"...).
    // The standard buttons read "Oui", "Non", "Annuler"... whatever the session's language.
    QTranslator qtFrancais;
    if (qtFrancais.load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtFrancais);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));

    std::unique_ptr<TFMain> fenetre;
    bool cree = false;
    const auto fin = garde::protegerAvec([](const QString &texte) { messages::afficher(nullptr, Boite::Erreur, texte); },
                                         [&] {
                                             fenetre = std::make_unique<TFMain>();
                                             fenetre->creerDialogues();
                                             cree = true;
                                         });
    if (fin)
        return fin->code;
    // A failure that start-up did not settle itself has been shown: nothing
    // is left to run.
    if (!cree)
        return 1;
    fenetre->show();
    return app.exec();
}
