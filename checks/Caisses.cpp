#include "app/Session.h"
#include "checks/CheckRun.h"

namespace {

struct Passe {
    QString recherche;
    QString requete;
    QString gestion;
    QString ligne;
    int tag;   // 0: chosen row by row
};

} // namespace

void CheckRun::GererCaissesInconnues()
{
    const Passe passes[] = {
        {QStringLiteral("Recherche des caisses principales inconnues dans la comptabilité..."),
         QStringLiteral("SELECT CPOrg_1_ID FROM CPMAIN WHERE (NOT CPorg_1_ID IS NULL) AND (CPorg_1_ID NOT IN "
                        "(SELECT CPOrg_ID FROM CPORG)) GROUP BY CPOrg_1_ID ORDER BY CPOrg_1_ID"),
         QStringLiteral("Gestion des caisses pincipales inconnues dans la comptabilité..."),
         QStringLiteral("Gestion des caisses pincipales inconnues dans la comptabilité ("), 1},
        {QStringLiteral("Recherche des caisses complémentaires inconnues dans la comptabilité..."),
         QStringLiteral("SELECT CPOrg_2_ID FROM CPMAIN WHERE (NOT CPorg_2_ID IS NULL) AND (CPorg_2_ID NOT IN "
                        "(SELECT CPOrg_ID FROM CPORG)) GROUP BY CPOrg_2_ID ORDER BY CPOrg_2_ID"),
         QStringLiteral("Gestion des caisses complémentaires inconnues dans la comptabilité..."),
         QStringLiteral("Gestion des caisses complémentaires inconnues dans la comptabilité ("), 2},
        {QStringLiteral("Recherche des caisses inconnues dans le suivi des tiers payants..."),
         QStringLiteral("SELECT CPOrg_ID FROM CPORDPAY WHERE (NOT CPorg_ID IS NULL) AND (CPorg_ID NOT IN "
                        "(SELECT CPOrg_ID FROM CPORG)) GROUP BY CPOrg_ID ORDER BY CPOrg_ID"),
         QStringLiteral("Gestion des caisses inconnues dans le suivi des tiers payants..."),
         QStringLiteral("Gestion des caisses inconnues dans le suivi des tiers payants ("), 0},
    };
    db::Query &liste = s.QryCPMain;
    for (const Passe &p : passes) {
        s.DemarrerProgression(p.recherche, 0, 1, 0, false);
        // Each list is read when its pass starts, so it no longer holds the
        // bodies that the dialog created in an earlier pass.
        liste.clearSql();
        liste.addLine(p.requete);
        liste.open();
        if (p.tag != 0)
            liste.tag = p.tag;
        const int total = liste.recordCount();
        s.ArreterProgression(false);
        int position = 0;
        s.DemarrerProgression(p.gestion, total, 1, 0, true);
        for (liste.first(); !liste.eof(); liste.next()) {
            if (p.tag == 0) {
                // The dialog proposes a principal body when the accounting uses
                // the number as one.
                s.Qry1.clearSql();
                s.Qry1.addLine(QStringLiteral("SELECT count(CPMain_ID) FROM CPMAIN WHERE CPOrg_1_ID=:cporg_id"));
                s.Qry1.setInteger(QStringLiteral("cporg_id"), liste.fieldByName(QStringLiteral("CPOrg_ID")).asInteger());
                s.Qry1.open();
                liste.tag = s.Qry1.field(0).asInteger() > 0 ? 3 : 4;
            }
            ++position;
            const QString texte = compteur(p.ligne, position, total);
            s.UpdateProgression(texte, total, position);
            s.ArreterProgression(false);
            // Whether the body was created or not, the next number follows:
            // the dialog journals its own outcome.
            s.ui.afficherSelectOrganisme();
            s.DemarrerProgression(texte, total, 1, 0, true);
        }
    }
    s.ArreterProgression(false);
}
