#include "app/Session.h"
#include "checks/CheckRun.h"
#include "checks/Parcours.h"
#include "db/DbError.h"
#include "db/Formats.h"

namespace fmt = db::formats;

namespace {
const QString kOrigine = QStringLiteral("Transfert AG2035 (CPTRANS)");
}

void CheckRun::CreerTransfertsInconnus()
{
    const QString titre = QStringLiteral("Création des transferts inconnus...");
    s.DemarrerProgression(titre, 0, 1, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT CPTrans_ID FROM CPMAIN WHERE CPTrans_ID IS NOT NULL AND CPTrans_ID NOT IN "
                                  "(SELECT CPTrans_ID FROM CPTRANS) GROUP BY CPTrans_ID ORDER BY CPTrans_ID"));
    s.Qry1.open();

    s.Qry2.clearSql();
    s.Qry2.addLine(QStringLiteral("INSERT INTO CPTRANS (CPTrans_ID, Medecins_ID, CPTRANS_DATE) "
                                  "VALUES (:cptrans_id, :medecins_id, :date)"));

    Parcours p(s, s.Qry1, titre, false, QStringLiteral("Création des transferts inconnus ("));
    while (p.suivant()) {
        const qint64 numero = s.Qry1.fieldByName(QStringLiteral("CPTrans_ID")).asInteger();
        s.Qry2.setInteger(QStringLiteral("cptrans_id"), numero);

        s.Qry3.clearSql();
        s.Qry3.addLine(QStringLiteral("SELECT MAX(DATE_CONSULTATION) FROM CPMAIN WHERE CPTrans_ID=:cptrans_id"));
        s.Qry3.setInteger(QStringLiteral("cptrans_id"), numero);
        s.Qry3.open();
        // The INSERT is prepared once for all rows: a date that cannot be read
        // must not inherit the previous transfer's, so it goes in empty.
        s.Qry2.setParam(QStringLiteral("date"), db::ParamType::Unset, QVariant());
        try {
            const QDateTime lue = s.Qry3.field(0).asDateTime();
            // Written and read back in the short date format, as every date
            // copied between tables: the time of day goes.
            const QString texte = fmt::dateToText(lue.date());
            const std::optional<QDate> jour = fmt::textToDate(texte);
            if (!jour)
                throw db::DbError(QStringLiteral("'") + texte + QStringLiteral("' n'est pas une date correcte"));
            s.Qry2.setDateTime(QStringLiteral("date"), QDateTime(*jour, QTime(0, 0)));
        } catch (const db::DbError &e) {
            s.ui.message(Boite::Simple, QStringLiteral("Problème sur la date de consultation du transfert n°")
                                            + QString::number(numero) + QStringLiteral("\r")
                                            + QStringLiteral("Erreur : ") + e.message());
        }

        s.Qry3.clearSql();
        s.Qry3.addLine(QStringLiteral("SELECT MAX(MEDECINS_ID) FROM CPMAIN WHERE CPTrans_ID=:cptrans_id"));
        s.Qry3.setInteger(QStringLiteral("cptrans_id"), numero);
        s.Qry3.open();
        const qint64 medecin = s.Qry3.field(0).asInteger();
        s.Qry2.setInteger(QStringLiteral("medecins_id"), medecin);

        const QString texteNumero = s.Qry2.param(QStringLiteral("cptrans_id")).asString();
        const QString texteDate = s.Qry2.param(QStringLiteral("date")).asString();
        try {
            s.Qry2.execSQL();
            s.AjouterResultat(0, texteDate, medecin, kOrigine, 2,
                              QStringLiteral("Transfert AG2035 inconnu : le programme a créé le transfert AG2035 n°")
                                  + texteNumero
                                  + QStringLiteral(" à partir des données de la table de comptabilité (CPMAIN). "
                                                   "Ce transfert est daté au ")
                                  + texteDate + QStringLiteral(". "));
        } catch (const db::DbError &e) {
            s.AjouterResultat(0, texteDate, medecin, kOrigine, 1,
                              QStringLiteral("Transfert AG2035 inconnu : le programme n'est pas parvenu à créer le "
                                             "transfert AG2035 n°")
                                  + texteNumero
                                  + QStringLiteral(" trouvé à partir des données de la table de comptabilité (CPMAIN). "
                                                   "Ce transfert est daté au ")
                                  + texteDate + QStringLiteral(".") + QStringLiteral("\r") + QStringLiteral("Erreur : ")
                                  + e.message() + QStringLiteral("\r") + QStringLiteral("Il doit être créé manuellement."));
        }
    }
    s.ArreterProgression(false);
}
