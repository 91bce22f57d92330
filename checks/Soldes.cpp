#include "app/Session.h"
#include "checks/CheckRun.h"
#include "checks/Parcours.h"
#include "db/DbError.h"

#include <cmath>
#include <optional>

namespace {

// Strictly between 0 and one cent as the user reads the amounts, to the
// millionth: on floating columns 10.01 - 10.00 is 0.0099999999999998, and a
// plain "< 0.01" would write off a real one-cent debt. Plain comparisons, so
// every engine evaluates them alike.
QString petitsSoldes(int caisse)
{
    const QString n = QString::number(caisse);
    return QStringLiteral("((MontantTiersPayant%1 - RegleTiersPayant%1) < 0.0099995) AND ((MontantTiersPayant%1 - RegleTiersPayant%1) >= 0.0000005)")
        .arg(n);
}

} // namespace

void CheckRun::SolderPetitsSoldes()
{
    // The answers are followed by the corrections they asked for, or the
    // user would be left not knowing which of them were applied.
    const Session::SansInterruption decision(s);
    if (!s.ui.question(Boite::Confirmation, QStringLiteral("Souhaitez-vous solder les dettes des tiers payants présentant un "
                                                           "solde inférieur à un centime d'Euro ?")))
        return;

    struct Passe {
        int caisse;
        QString recherche, correction, genre;
    };
    const Passe passes[] = {
        {1, QStringLiteral("Recherche des petits soldes des caisses principales..."),
         QStringLiteral("Correction des petits soldes des caisses principales..."), QStringLiteral("principales")},
        {2, QStringLiteral("Recherche des petits soldes des caisses complémentaires..."),
         QStringLiteral("Correction des petits soldes des caisses complémentaires..."), QStringLiteral("complémentaires")},
    };
    // Yes: the billed amounts take the settled values; No: the reverse. Asked
    // only once there is something to cancel, and once for both passes.
    std::optional<bool> ajusterFactures;
    for (const Passe &p : passes) {
        const QString n = QString::number(p.caisse);
        s.DemarrerProgression(p.recherche, 0, 1, 0, false);
        s.Qry1.clearSql();
        s.Qry1.addLine(QStringLiteral("SELECT * FROM CPMAIN WHERE ") + petitsSoldes(p.caisse));
        s.Qry1.open();
        s.ArreterProgression(false);
        const int nombre = s.Qry1.recordCount();
        if (nombre == 0) {
            s.ArreterProgression(false);
            continue;
        }
        s.DemarrerProgression(p.correction, 0, 1, 0, false);
        s.Qry2.clearSql();
        if (!ajusterFactures)
            ajusterFactures = s.ui.question(
                Boite::Confirmation,
                QStringLiteral("L'annulation de ces dettes doit-elle se faire par un ajustement des montants facturés (les "
                               "montants facturés prennent la valeur des sommes remboursées par les tiers payants) ?\r\r"
                               "(Si vous répondez ")
                    + QStringLiteral("\"Non\"")
                    + QStringLiteral(", l'annulation se fera par un ajustement des sommes remboursées par les tiers payants "
                                     "qui prendront la valeur des sommes qui leur étaient initialement facturées.)\r\r"
                                     "Nous vous conseillons de cliquer sur ")
                    + QStringLiteral("\"Oui\"") + QStringLiteral("."));
        const QString cible = *ajusterFactures ? QStringLiteral("MontantTiersPayant") : QStringLiteral("RegleTiersPayant");
        const QString valeur = *ajusterFactures ? QStringLiteral("RegleTiersPayant") : QStringLiteral("MontantTiersPayant");
        s.Qry2.addLine(QStringLiteral("UPDATE CPMAIN SET ") + cible + n + QStringLiteral(" = ") + valeur + n
                       + QStringLiteral(" WHERE ") + petitsSoldes(p.caisse));
        try {
            s.Qry2.execSQL();
            s.AjouterResultat(0, QString(), 0, kOrigineCompta, 3,
                              QStringLiteral("Ajustement des soldes des tiers payants : ") + QString::number(nombre)
                                  + QStringLiteral(" soldes des caisses ") + p.genre
                                  + QStringLiteral(" inférieurs à un centime d'Euro ont été corrigés."));
        } catch (const db::DbError &e) {
            s.AjouterResultat(0, QString(), 0, kOrigineCompta, 2,
                              QStringLiteral("Ajustement des soldes des tiers payants : le programme n'est pas parvenu à "
                                             "traiter les soldes des caisses ")
                                  + p.genre
                                  + QStringLiteral(" inférieurs à un centime d'Euro pour la raison suivante : ") + e.message()
                                  + QStringLiteral("\r") + QStringLiteral("La correction des valeurs doit être faite manuellement."));
        }
        s.ArreterProgression(false);
    }
}

void CheckRun::SignalerSoldesCrediteurs()
{
    const QString titre = QStringLiteral("Recherche des soldes créditeurs des tiers payants...");
    s.ArreterProgression(false);
    s.DemarrerProgression(titre, 0, 1, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT CPMAIN_ID, PATIENTS_ID, DATE_CONSULTATION, MEDECINS_ID, CPOrg_1_ID, CPOrg_2_ID, "
                                  "MontantTiersPayant1, RegleTiersPayant1, MontantTiersPayant2, RegleTiersPayant2, MONNAIE1"));
    s.Qry1.addLine(QStringLiteral("FROM CPMAIN WHERE ((MontantTiersPayant1 - RegleTiersPayant1) < 0) OR "
                                  "((MontantTiersPayant2 - RegleTiersPayant2) < 0)"));
    s.Qry1.open();
    Parcours p(s, s.Qry1, titre, false, QStringLiteral("Recherche des soldes créditeurs des tiers payants ("));
    while (p.suivant()) {
        const QString monnaie = s.Qry1.fieldByName(QStringLiteral("MONNAIE1")).asString();
        for (int caisse = 1; caisse <= 2; ++caisse) {
            const QString n = QString::number(caisse);
            const double facture = s.Qry1.fieldByName(QStringLiteral("MontantTiersPayant") + n).asFloat();
            const double regle = s.Qry1.fieldByName(QStringLiteral("RegleTiersPayant") + n).asFloat();
            // Credits up to 0.0099 are rounding leftovers, not worth a row;
            // compared on the decimal digits, so 10.00 against 10.0099 is one.
            // A value no amount can have is still reported, as it reads.
            const auto f = db::Decimal::fromDouble(facture);
            const auto r = db::Decimal::fromDouble(regle);
            const bool crediteur = f && r ? *f - *r < db::Decimal::fromUnits(-99, 4) : facture - regle < -0.0099;
            if (!crediteur)
                continue;
            const QString soldeTexte = f && r ? s.RenvoyerMontant(monnaie, (*f - *r).abs())
                                              : s.RenvoyerMontant(monnaie, std::fabs(facture - regle));
            const QString factureTexte = s.RenvoyerMontant(monnaie, facture);
            const QString regleTexte = s.RenvoyerMontant(monnaie, regle);
            const db::Field organisme = s.Qry1.fieldByName(QStringLiteral("CPOrg_") + n + QStringLiteral("_ID"));
            QString caisseTexte = QStringLiteral("la caisse ");
            if (s.TableOrganismes.findKey({organisme.asInteger()}))
                caisseTexte += s.TableOrganismes.fieldByName(QStringLiteral("Nom")).asString() + QStringLiteral(" (")
                               + s.TableOrganismes.fieldByName(QStringLiteral("Ville")).asString() + QStringLiteral(") ");
            s.AjouterResultat(s.Qry1.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger(),
                              s.Qry1.fieldByName(QStringLiteral("DATE_CONSULTATION")).asString(),
                              s.Qry1.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger(), kOrigineCompta, 2,
                              QStringLiteral("Solde créditeur du tiers payant : l'enregistrement n°")
                                  + s.Qry1.fieldByName(QStringLiteral("CPMAIN_ID")).asString()
                                  + QStringLiteral(" de la table CPMAIN indique un solde créditeur pour ") + caisseTexte
                                  + QStringLiteral("n°") + organisme.asString() + QStringLiteral(".") + QStringLiteral("\r")
                                  + factureTexte + QStringLiteral(" ont été facturés et la caisse a remboursé ") + regleTexte
                                  + QStringLiteral(". Cela donne un solde créditeur de ") + soldeTexte + QStringLiteral("."));
        }
    }
    s.ArreterProgression(true);
}
