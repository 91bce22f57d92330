#include "app/Session.h"
#include "checks/CheckRun.h"
#include "db/DbError.h"
#include "db/Formats.h"

namespace fmt = db::formats;

namespace {
const QString kOrigineMedecins = QStringLiteral("Liste des médecins/utilisateurs (MEDECINS)");

QString montant(const db::Field &f) { return fmt::floatToText(f.asFloat()); }

// One insurance body line: what was billed to it and, when any, what it paid.
QString ligneCaisse(Session &s, const QString &libelle, const QString &champFacture, const QString &champCaisse,
                    const QString &champRegle)
{
    const db::Query &q = s.Qry1;
    const db::Field caisse = q.fieldByName(champCaisse);
    QString ligne = libelle + montant(q.fieldByName(champFacture));
    if (s.TableOrganismes.findKey({caisse.asInteger()}))
        ligne += QStringLiteral("€ ont été facturés à la caisse ")
                 + s.TableOrganismes.fieldByName(QStringLiteral("Nom")).asString() + QLatin1Char('(')
                 + s.TableOrganismes.fieldByName(QStringLiteral("Ville")).asString() + QStringLiteral(").");
    else
        ligne += QStringLiteral("€ ont été facturés à la caisse n°") + caisse.asString()
                 + QStringLiteral(" (inconnue pour l'instant).");
    if (db::montantPositif(q.fieldByName(champRegle).asFloat()))
        ligne += QStringLiteral(" Cette caisse a déjà versé ") + montant(q.fieldByName(champRegle)) + QStringLiteral("€.");
    return ligne + QStringLiteral("\r");
}
} // namespace

void CheckRun::CreerMedecinsAbsents()
{
    s.DemarrerProgression(QStringLiteral("Ajustement des médecins inexistants..."), 0, 0, 0, false);
    s.Qry1.clearSql();
    s.Qry1.addLine(QStringLiteral("SELECT MEDECINS_ID FROM PATIENTS WHERE MEDECINS_ID NOT IN (SELECT MEDECINS_ID FROM MEDECINS) GROUP BY MEDECINS_ID ORDER BY MEDECINS_ID"));
    s.Qry1.open();
    const int total = s.Qry1.recordCount();
    s.ArreterProgression(false);
    if (total == 0)
        return;
    s.DemarrerProgression(QStringLiteral("Création des médecins/utilisateurs absents..."), 0, 0, 0, false);
    for (s.Qry1.first(); !s.Qry1.eof(); s.Qry1.next()) {
        const db::Field numero = s.Qry1.fieldByName(QStringLiteral("MEDECINS_ID"));
        // With an empty MEDECINS table the NOT IN test lets the patients
        // without physician through: a missing reference names no physician.
        if (numero.isNull())
            continue;
        const qint64 m = numero.asInteger();
        s.Qry2.clearSql();
        s.Qry2.addLine(QStringLiteral("INSERT INTO MEDECINS (MEDECINS_ID, SYSTEM_FLAGS, MEDECINS_COMPTABLE_ID, NOM, PRENOM) VALUES (:medecins_id, :flags, :medecins_id, :nom, :prenom)"));
        s.Qry2.setInteger(QStringLiteral("medecins_id"), m);
        // The counter goes up first, so the practice software never hands out
        // this number again, even if the insert below is refused.
        s.AjusterIDValues(QStringLiteral("MEDECINS_ID"), m, false);
        s.Qry2.setText(QStringLiteral("flags"), QStringLiteral("*US PA CO CM AN"));
        s.Qry2.setText(QStringLiteral("nom"), QStringLiteral("Médecin inconnu n°") + QString::number(m));
        s.Qry2.setText(QStringLiteral("prenom"), QStringLiteral("Ajustement Aldurix"));
        try {
            s.Qry2.execSQL();
            s.AjouterResultat(0, QString(), 0, kOrigineMedecins, 2,
                              QStringLiteral("Création du médecin inconnu ") + QString::number(m)
                                  + QStringLiteral(" dans la liste des médecins/utilisateurs."));
        } catch (const db::DbError &e) {
            s.AjouterResultat(0, QString(), 0, kOrigineCompta, 1,
                              QStringLiteral("La création du médecin inconnu ") + QString::number(m)
                                  + QStringLiteral(" dans la liste des médecins/utilisateurs a échoué avec le message d'erreur suivant : ")
                                  + e.message() + QStringLiteral(". Vous devez le créer manuellement."));
        }
    }
    s.ArreterProgression(false);
}

void CheckRun::SupprimerRecettesMedecinsInconnus()
{
    const QString texte = QStringLiteral("Recherche des médecins inconnus dans la comptabilité...");
    s.DemarrerProgression(texte, 0, 1, 0, true);
    db::Query &medecins = s.QryCPMain;
    medecins.clearSql();
    medecins.addLine(QStringLiteral("SELECT MEDECINS_ID"));
    medecins.addLine(QStringLiteral("FROM CPMAIN"));
    medecins.addLine(QStringLiteral("WHERE MEDECINS_ID NOT IN (SELECT MEDECINS_ID FROM MEDECINS)"));
    medecins.addLine(QStringLiteral("GROUP BY MEDECINS_ID"));
    medecins.addLine(QStringLiteral("ORDER BY MEDECINS_ID"));
    medecins.open();
    const int total = medecins.recordCount();
    int position = 0;
    for (medecins.first(); !medecins.eof(); medecins.next()) {
        ++position;
        s.UpdateProgression(texte, total, position);
        const qint64 m = medecins.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger();
        s.Qry1.clearSql();
        s.Qry1.addLine(QStringLiteral("SELECT * FROM CPMAIN WHERE MEDECINS_ID=:medecins_id ORDER BY DATE_CONSULTATION, PATIENTS_ID, CPMAIN_ID"));
        s.Qry1.setInteger(QStringLiteral("medecins_id"), m);
        s.Qry1.open();
        const int recettes = s.Qry1.recordCount();
        int rang = 0;
        for (s.Qry1.first(); !s.Qry1.eof(); s.Qry1.next()) {
            ++rang;
            s.UpdateProgression(QStringLiteral("Suppression des recettes du médecin inconnu n°") + QString::number(m)
                                    + QStringLiteral(" (") + QString::number(rang) + QLatin1Char('/')
                                    + QString::number(recettes) + QLatin1Char(')'),
                                recettes, rang);
            const qint64 id = s.Qry1.fieldByName(QStringLiteral("CPMAIN_ID")).asInteger();
            const qint64 patient = s.Qry1.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger();
            const QString date = s.Qry1.fieldByName(QStringLiteral("DATE_CONSULTATION")).asString();
            if (s.ActionSurTable(QStringLiteral("DELETE"), QStringLiteral("CPMAIN"), QString(), QStringLiteral("CPMAIN_ID"), 0, id))
                s.AjouterResultat(patient, date, m, kOrigineCompta, 2,
                                  QStringLiteral("Médecin inconnu : l'enregistrement n°") + QString::number(id)
                                      + QStringLiteral(" de la table comptabilité faisait référence à un médecin n°") + QString::number(m)
                                      + QStringLiteral(" inconnu de la liste des médecins utilisateurs. Cet enregistrement a été supprimé.")
                                      + QStringLiteral("\r") + QStringLiteral("Il contenait les informations suivantes :")
                                      + QStringLiteral("\r") + QStringLiteral("     - actes facturés : ") + s.DecrireActes()
                                      + QStringLiteral("\r") + DecrireRecette(true));
            else
                s.AjouterResultat(patient, date, m, kOrigineCompta, 1,
                                  QStringLiteral("Médecin inconnu : l'enregistrement n°") + QString::number(id)
                                      + QStringLiteral(" de la table comptabilité fait référence à un médecin n°") + QString::number(m)
                                      + QStringLiteral(" inconnu de la liste des médecins utilisateurs. Cet enregistrement n'a pas pu être supprimé par le programme. Sa suppression doit être faite manuellement.")
                                      + QStringLiteral("\r") + QStringLiteral("Il contient les informations suivantes :")
                                      + QStringLiteral("\r") + QStringLiteral("     - actes facturés : ") + s.DecrireActes()
                                      + QStringLiteral("\r") + DecrireRecette(false));
        }
    }
    s.ArreterProgression(false);
}

QString CheckRun::DecrireRecette(bool supprime)
{
    const db::Query &q = s.Qry1;
    QString texte;
    const db::Field paiement1 = q.fieldByName(QStringLiteral("Paiement1"));
    const db::Field paiement2 = q.fieldByName(QStringLiteral("Paiement2"));
    const QString mode1 = q.fieldByName(QStringLiteral("Mode1")).asString();
    const QString mode2 = q.fieldByName(QStringLiteral("Mode2")).asString();
    const bool positif1 = db::montantPositif(paiement1.asFloat());
    const bool positif2 = db::montantPositif(paiement2.asFloat());
    if (positif1) {
        if (positif2 && mode1 == mode2)
            texte += QStringLiteral("     - paiements du patient : ") + (paiement1.asDecimal() + paiement2.asDecimal()).toText()
                     + QStringLiteral("€ payés en ") + mode1 + QStringLiteral("\r");
        else if (positif2 && supprime)
            texte += QStringLiteral("     - paiements du patient : ") + s.RenvoyerMontant(QStringLiteral("EUR"), paiement1.asFloat())
                     + QStringLiteral(" payés en ") + mode1 + QStringLiteral(" et ")
                     + s.RenvoyerMontant(QStringLiteral("EUR"), paiement2.asFloat()) + QStringLiteral(" payés en ") + mode2
                     + QStringLiteral("\r");
        else if (positif2)
            texte += QStringLiteral("     - paiements du patient : ") + montant(paiement1) + QStringLiteral("€ payés en ") + mode1
                     + QStringLiteral(" et ") + montant(paiement2) + QStringLiteral("€ payés en ") + mode2
                     + QStringLiteral("\r");
        else
            texte += QStringLiteral("     - paiement du patient : ") + montant(paiement1) + QStringLiteral("€ payés en ") + mode1
                     + QStringLiteral("\r");
    }
    if (db::montantPositif(q.fieldByName(QStringLiteral("MontantTiersPayant1")).asFloat()))
        texte += ligneCaisse(s, QStringLiteral("     - paiement de la caisse principale : "),
                             QStringLiteral("MontantTiersPayant1"), QStringLiteral("CPOrg_1_ID"),
                             QStringLiteral("RegleTiersPayant1"));
    if (db::montantPositif(q.fieldByName(QStringLiteral("MontantTiersPayant2")).asFloat()))
        texte += ligneCaisse(s, QStringLiteral("     - paiement de la caisse complémentaire : "),
                             QStringLiteral("MontantTiersPayant2"), QStringLiteral("CPOrg_2_ID"),
                             QStringLiteral("RegleTiersPayant2"));
    const db::Field fse = q.fieldByName(QStringLiteral("CPSVFact_ID"));
    if (fse.asInteger() >= 1)
        texte += QStringLiteral("     - une feuille de soins électronique n°") + fse.asString()
                 + QStringLiteral(" a été effectuée.");
    return texte;
}
