#include "app/Session.h"
#include "checks/CheckRun.h"
#include "checks/Parcours.h"
#include "db/DbError.h"

namespace {

// A record is empty when no amount column holds anything; a zero is a value.
const QString kSansMontant = QStringLiteral(
    "MONTANT1 IS NULL AND MONTANT2 IS NULL AND MONTANT3 IS NULL AND MONTANT4 IS NULL AND PAIEMENT1 IS NULL AND "
    "PAIEMENT2 IS NULL AND REGLETIERSPAYANT1 IS NULL AND REGLETIERSPAYANT2 IS NULL");
} // namespace

void CheckRun::SupprimerEnregistrementsVides()
{
    s.DemarrerProgression(QStringLiteral("Recherche des enregistrements vides dans la comptabilité..."), 0, 0, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT * FROM CPMAIN WHERE ") + kSansMontant);
    s.Qry1.open();
    const int vides = s.Qry1.recordCount();
    s.ArreterProgression(false);
    if (vides >= 1) {
        s.DemarrerProgression(QStringLiteral("Suppression des enregistrements vides dans la comptabilité..."), 0, 0, 0, false);
        // One statement for all of them: the count reported is the one found
        // above, the engine does not say how many rows it removed.
        try {
            s.Qry1.clearSql();
            s.Qry1.addLine(QStringLiteral("DELETE FROM CPMAIN WHERE ") + kSansMontant);
            s.Qry1.execSQL();
            s.AjouterResultat(0, QString(), 0, kOrigineCompta, 3,
                              QString::number(vides)
                                  + QStringLiteral(" enregistrements vides ont été supprimés dans la table de la comptabilité."));
        } catch (const db::DbError &e) {
            s.AjouterResultat(0, QString(), 0, kOrigineCompta, 1,
                              QString::number(vides)
                                  + QStringLiteral(" enregistrements vides n'ont pas pu être supprimés dans la table de la comptabilité.")
                                  + QStringLiteral("\r") + QStringLiteral("\r") + QStringLiteral("Erreur rencontrée : ")
                                  + e.message());
        }
        s.ArreterProgression(false);
    }
    s.ArreterProgression(false);
}

void CheckRun::SupprimerRelevesVides()
{
    s.DemarrerProgression(QStringLiteral("Recherche des enregistrements vides dans le suivi des tiers payant..."), 0, 0, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT count(*) FROM CPORDPAY WHERE CPOrg_ID IS NULL"));
    s.Qry1.open();
    const qint64 vides = s.Qry1.field(0).asInteger();
    s.Qry1.close();
    // Not guarded: a statement table that cannot be cleaned stops the run.
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("DELETE FROM CPORDPAY WHERE CPOrg_ID IS NULL"));
    s.Qry1.execSQL();
    s.ArreterProgression(false);
    if (vides >= 1)
        s.AjouterResultat(0, QString(), 0, QStringLiteral("Suivi des tiers payants (CPORDPAY)"), 3,
                          QString::number(vides)
                              + QStringLiteral(" enregistrements vides ont été supprimés dans la table du suivi des réglements des tiers payants (CPORDPAY)."));
    s.ArreterProgression(true);
}

void CheckRun::SupprimerVentilationsOrphelines()
{
    const QString texte = QStringLiteral("Recherche des relevés tiers payants inconnus...");
    s.DemarrerProgression(texte, 0, 0, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT CPOrdpay_ID FROM CPGEST WHERE CPordpay_ID NOT IN (SELECT CPORDPAY_ID FROM CPORDPAY) GROUP BY CPOrdpay_ID ORDER BY CPOrdpay_ID"));
    s.Qry1.open();
    // Runs on across the statements: every line handled counts, deleted or not.
    int traitees = 0;
    s.Qry2.clearSql();
    s.Qry2.addLine(QStringLiteral("SELECT * FROM CPGEST WHERE CPOrdpay_ID=:cpordpay_id ORDER BY CPGest_ID"));
    s.Qry3.clearSql();
    s.Qry3.addLine(QStringLiteral("DELETE FROM CPGEST WHERE CPGest_ID=:cpgest_id"));
    Parcours p(s, s.Qry1, texte, true, QStringLiteral("Recherche des relevés tiers payants inconnus ("));
    while (p.suivant()) {
        s.Qry2.setInteger(QStringLiteral("cpordpay_id"), s.Qry1.fieldByName(QStringLiteral("CPOrdpay_ID")).asInteger());
        s.Qry2.open();
        QString actions = QStringLiteral(
            "Ventilation du suivi des règlements des tiers payants : la table CPGest contient des enregistrements faisant "
            "référence à un relevé de tiers payant inexistant dans la table CPOrdPay. Actions menées :\r");
        for (s.Qry2.first(); !s.Qry2.eof(); s.Qry2.next()) {
            ++traitees;
            const db::Field ligne = s.Qry2.fieldByName(QStringLiteral("CPGest_ID"));
            const QString montant = s.RenvoyerMontant(QStringLiteral("EUR"), s.Qry2.fieldByName(QStringLiteral("Montant")).asFloat());
            const QString recette = s.Qry2.fieldByName(QStringLiteral("CPMain_ID")).asString();
            try {
                s.Qry3.setInteger(QStringLiteral("cpgest_id"), ligne.asInteger());
                s.Qry3.execSQL();
                actions += QStringLiteral("   - suppression de l'enregistrement n°") + ligne.asString()
                           + QStringLiteral(" d'un montant de ") + montant
                           + QStringLiteral(" et faisant référence à l'enregistrement n°") + recette
                           + QStringLiteral(" de la table de la comptabilité (CPMAIN)") + QStringLiteral("\r");
            } catch (const db::DbError &e) {
                actions += QStringLiteral("   - le programme n'est pas parvenu à supprimer l'enregistrement n°") + ligne.asString()
                           + QStringLiteral(" d'un montant de ") + montant
                           + QStringLiteral(" et faisant référence à l'enregistrement n°") + recette
                           + QStringLiteral(" de la table de la comptabilité (CPMAIN). Vous devez effectuer cette suppression manuellement.")
                           + QStringLiteral("\r") + QStringLiteral("L'erreur rencontrée est : ") + e.message();
            }
        }
        if (traitees >= 1)
            s.AjouterResultat(0, QString(), 0, QStringLiteral("Ventilation des tiers payants (CPGEST)"), 2, actions);
    }
    s.ArreterProgression(true);
}

void CheckRun::AnnulerFSEInconnues()
{
    const QString texte = QStringLiteral("Recherche des FSE inconnues dans la comptabilité...");
    s.DemarrerProgression(texte, 0, 0, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT CPMain_ID, CPSVFact_ID FROM CPMAIN WHERE NOT CPSVFact_ID IS NULL"));
    s.Qry1.open();
    int annulees = 0;
    s.Qry2.clearSql();
    s.Qry2.addLine(QStringLiteral("SELECT count(*) FROM CPSVFACT WHERE CPSVFact_ID=:cpsvfact_id"));
    s.Qry3.clearSql();
    s.Qry3.addLine(QStringLiteral("UPDATE CPMAIN SET CPSVFact_ID=NULL WHERE CPMAIN_ID=:cpmain_id"));
    Parcours p(s, s.Qry1, texte, true, QStringLiteral("Recherche des FSE inconnues dans la comptabilité ("));
    parcourirPuisResumer([&] {
        while (p.suivant()) {
            s.Qry2.setInteger(QStringLiteral("cpsvfact_id"), s.Qry1.fieldByName(QStringLiteral("CPSVFact_ID")).asInteger());
            s.Qry2.open();
            if (s.Qry2.field(0).asInteger() != 0)
                continue;
            const qint64 recette = s.Qry1.fieldByName(QStringLiteral("CPMAIN_ID")).asInteger();
            try {
                s.Qry3.setInteger(QStringLiteral("cpmain_id"), recette);
                s.Qry3.execSQL();
                ++annulees;
            } catch (const db::DbError &e) {
                s.AjouterResultat(0, QString(), 0, kOrigineCompta, 2,
                                  QStringLiteral("FSE inconnue : l'enregistrement n°") + QString::number(recette)
                                      + QStringLiteral(" indique une FSE inconnue dans CPSVFact. Le programme n'est pas parvenu à annuler cette information avec pour la raison suivante :")
                                      + e.message());
            }
        }
    }, [&] {
        if (annulees >= 1)
            s.AjouterResultat(0, QString(), 0, kOrigineCompta, 3,
                              QStringLiteral("FSE inconnues : ") + QString::number(annulees)
                                  + QStringLiteral(" enregistrements de CPMAin mentionnaient des FSE inexistantes dans CPSVFact. Cette information a été annulée."));
    });
    s.ArreterProgression(true);
}
