#include "app/Garde.h"
#include "db/DbError.h"

#include <stdexcept>

namespace garde {

QString messageDe(const std::exception &e)
{
    if (const auto *dbe = dynamic_cast<const db::DbError *>(&e))
        return dbe->message();
    if (const auto *be = dynamic_cast<const db::BackupError *>(&e))
        return be->message();
    return QString::fromLocal8Bit(e.what());
}

void rapporter(Interaction &ui, const std::exception &e) { ui.message(Boite::Erreur, messageDe(e)); }

} // namespace garde
