#pragma once
#include "app/Common.h"
#include "app/Interaction.h"

#include <QString>
#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

// The one boundary between the program and the event loop, which does not
// carry exceptions: every slot, dialog handler and the program entry run their
// work through it.
namespace garde {

// The text of a failure: the engine's message of a db::DbError, otherwise
// what the exception says.
QString messageDe(const std::exception &e);

// The platform's default error report: the failure's text in an error box.
void rapporter(Interaction &ui, const std::exception &e);

// Runs a handler called from the event loop. The end of the program comes
// back to the caller, which ends it with that code; any other failure is
// given to the report (the failure's text) and the program goes on.
template <class Rapport, class F>
std::optional<common::FinProgramme> protegerAvec(Rapport &&rapport, F &&handler)
{
    try {
        std::forward<F>(handler)();
    } catch (const common::FinProgramme &fin) {
        return fin;
    } catch (const std::exception &e) {
        // A report that fails in turn has nowhere left to go.
        try {
            rapport(messageDe(e));
        } catch (...) {
        }
    } catch (...) {
        try {
            rapport(QStringLiteral("Erreur inconnue."));
        } catch (...) {
        }
    }
    return std::nullopt;
}

// The same, reported through the seam's error box.
template <class F>
std::optional<common::FinProgramme> proteger(Interaction &ui, F &&handler)
{
    return protegerAvec([&ui](const QString &texte) { ui.message(Boite::Erreur, texte); }, std::forward<F>(handler));
}

// The same for a handler of a modal window: the end of the program is kept
// in the window's fin, for the code that showed it, and the window closes
// with ResultatNon.
template <class Fenetre, class F>
void protegerFenetre(Fenetre &fenetre, Interaction &ui, F &&handler)
{
    if (auto fin = proteger(ui, std::forward<F>(handler))) {
        fenetre.fin = fin;
        fenetre.done(ResultatNon);
    }
}

} // namespace garde
