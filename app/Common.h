#pragma once
#include <QString>
#include <QStringList>

// Small routines shared by start-up, shut-down and the dialogs.
namespace common {

// The program ends: thrown once the shut-down has cleaned up, caught by the
// program entry (or by the window handler that was running) to leave.
struct FinProgramme {
    int code = 0;
};

// The user asked the check run to stop ("Interrompre" on its progress
// window): thrown between two records, caught by the run, which ends in
// order. Not a std::exception, so that the phases' guards let it through.
struct Interruption {};

// The last line of every message that ends the program.
inline const QString kApplicationFermee = QStringLiteral("L'application va être fermée.");

// The platform's directory separator, which the practice files call "\".
QChar separateur();
// Accepts either separator in configured paths.
QString cheminNatif(const QString &path);

QString AjouterAntiSlash(const QString &path);
// Deletes every file whose name matches without regard to case; true when
// none was there or all were deleted. Never throws.
bool SupprimerFichier(const QString &path);
// The existing file of that name in its directory, whatever the case of its
// letters; empty when there is none.
QString fichierExistant(const QString &path);
bool repertoireExiste(const QString &path);
// Names (not paths) of the files of a directory matching a wildcard, case ignored.
QStringList fichiersCorrespondants(const QString &directory, const QString &pattern);

// The program's own directory, with its trailing separator.
QString repertoireProgramme();
void definirRepertoireProgramme(const QString &dir);   // tests run the program elsewhere

} // namespace common
