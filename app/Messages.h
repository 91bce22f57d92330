#pragma once
#include "app/Interaction.h"

#include <QString>

class QWidget;

// Every message box of the program is built here: icon, buttons, French
// standard buttons, and "\r" in the program's texts shown as a line break.
namespace messages {

// Refusal of a masked input left half-filled, in both dialogs.
inline const QString kSaisieIncorrecte =
    QStringLiteral("Valeur d'entrée incorrecte. Utiliser Echap pour abandonner les modifications");

QString texteAffiche(const QString &text);
// Returns true for Yes on the question kinds, true for OK otherwise.
bool afficher(QWidget *parent, Boite kind, const QString &text);

} // namespace messages
