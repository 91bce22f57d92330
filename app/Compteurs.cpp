#include "app/Compteurs.h"
#include "db/DbError.h"
#include "db/Formats.h"
#include "db/TableCursor.h"

using db::DbError;
namespace fmt = db::formats;

bool Compteurs::ActionSurTable(const QString &action, const QString &table, const QString &champ, const QString &champID,
                             qint64 valeur, qint64 valeurID)
{
    if (champ == champID && valeur == valeurID)
        return true;
    QString texte;
    if (action == QLatin1String("UPDATE"))
        texte = QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + champ + QStringLiteral("=:valeur WHERE ")
                + champID + QStringLiteral("=:valeur_ID");
    else if (action == QLatin1String("DELETE"))
        texte = QStringLiteral("DELETE FROM ") + table + QStringLiteral(" WHERE ") + champID + QStringLiteral("=:valeur_ID");
    else
        return false;
    try {
        m_qryAction.close();
        m_qryAction.clearSql();
        m_qryAction.addLine(texte);
        if (action == QLatin1String("UPDATE"))
            m_qryAction.setInteger(QStringLiteral("valeur"), valeur);
        m_qryAction.setInteger(QStringLiteral("valeur_ID"), valeurID);
        m_qryAction.execSQL();
        return true;
    } catch (const DbError &e) {
        try {
            m_journal.ajouter({.origine = table,
                             .niveau = 1,
                             .action = QStringLiteral("La requête suivante a échoué, vous devez l'exécuter manuellement : ")
                                       + texte + QStringLiteral("\r\n") + QStringLiteral("\r") + QStringLiteral("Erreur : ")
                                       + e.message()});
        } catch (const DbError &) {
        }
        return false;
    }
}

void Compteurs::AjusterIDValues(const QString &cle, qint64 valeur, bool forcer)
{
    db::TableCursor compteurs(QStringLiteral("TableIDValues"));
    compteurs.setDatabaseName(m_nomBase);
    compteurs.setTableName(QStringLiteral("ID_VALUES"));
    compteurs.open();
    compteurs.setIndexFieldNames(QStringLiteral("KEY_NAME"));
    if (compteurs.findKey({fmt::upperAscii(cle)})) {
        if (compteurs.fieldByName(QStringLiteral("LAST_VALUE")).asInteger() < valeur || forcer) {
            compteurs.edit();
            compteurs.setFieldValue(QStringLiteral("LAST_VALUE"), valeur);
            compteurs.post();
        }
    } else {
        compteurs.append();
        compteurs.setFieldValue(QStringLiteral("KEY_NAME"), cle);
        compteurs.setFieldValue(QStringLiteral("LAST_VALUE"), valeur);
        compteurs.post();
    }
}
