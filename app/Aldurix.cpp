#include "app/Common.h"
#include "app/Main.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Aldurix"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orbelis Comptabilité Checker"));
    // The standard buttons read "Oui", "Non", "Annuler"... whatever the session's language.
    QTranslator qtFrancais;
    if (qtFrancais.load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtFrancais);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));

    std::unique_ptr<TFMain> fenetre;
    try {
        fenetre = std::make_unique<TFMain>();
        fenetre->creerDialogues();
    } catch (const common::FinProgramme &f) {
        return f.code;
    }
    fenetre->show();
    return app.exec();
}
