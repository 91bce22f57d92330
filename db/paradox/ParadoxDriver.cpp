#include "db/paradox/ParadoxDriver.h"
#include "db/DbError.h"

namespace db::paradox {

void attachDirectory(sqlite3 *, const QString &directory)
{
    throw DbError(QStringLiteral("Le pilote Paradox n'est pas disponible dans cette version du moteur : "
                                 "la base %1 ne peut pas être ouverte.").arg(directory));
}

} // namespace db::paradox
