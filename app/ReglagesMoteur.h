#pragma once
#include <QString>

// The engine's own settings, "\\NODE\\;NAME" in its configuration file beside
// the program, and the adjustment PRAXELLE.VER may ask of them at start-up.
// They hold no state of their own: the file is the state.
namespace reglages {

// Throws db::DbError for a setting that is not "node;name" or not there.
QString LireParametreBDE(const QString &setting);
void EcrireParametreBDE(const QString &setting, const QString &value);
// cheminBase: the database directory, where PRAXELLE.VER is.
void AjusterReglagesBDE(const QString &cheminBase);

} // namespace reglages
