#pragma once
#include "app/Interaction.h"

#include <QString>

class QWidget;

// Every message box of the program is built here: icon, buttons, French
// standard buttons, and "\r" in the program's texts shown as a line break.
namespace messages {

QString texteAffiche(const QString &text);
// Returns true for Yes on the question kinds, true for OK otherwise.
bool afficher(QWidget *parent, Boite kind, const QString &text);

} // namespace messages
