#include "checks/CreationCaisse.h"
#include "app/Session.h"
#include "checks/LigneAjoutee.h"
#include "db/DbError.h"

namespace {

const QString kOrigine = QStringLiteral("Liste des tiers payant");

// The lines of the journal texts that list what the body was created with.
QString donnees(const SaisieCaisse &c)
{
    return QStringLiteral("        - Code : ") + c.code + QStringLiteral("\r") + QStringLiteral("        - Nom : ") + c.nom
           + QStringLiteral("\r") + QStringLiteral("        - Adresse : ") + c.adresse + QStringLiteral("\r")
           + QStringLiteral("        - CP : ") + c.cp + QStringLiteral("\r") + QStringLiteral("        - Ville : ") + c.ville
           + QStringLiteral("\r") + QStringLiteral("        - Téléphone : ") + c.telephone + QStringLiteral("\r")
           + QStringLiteral("        - Fax : ") + c.fax + QStringLiteral("\r")
           + QStringLiteral("        - Taux de remboursement par défaut : ") + c.taux + QStringLiteral("%")
           + QStringLiteral("\r") + QStringLiteral("        - Commentaires : ") + c.commentaires;
}

} // namespace

CreationCaisse::CreationCaisse(Session &session) : s(session) { Query1.setDatabaseName(s.NomBase); }

bool CreationCaisse::CreerCaisse(const SaisieCaisse &saisie)
{
    const bool princ = s.QryCPMain.tag == 1 || s.QryCPMain.tag == 3;
    // The number as the texts quote it; an unreadable one quotes nothing.
    QString numeroTexte;
    try {
        numeroTexte = s.QryCPMain.field(0).asString();
    } catch (const db::DbError &) {
    }
    try {
        Query1.clearSql();
        Query1.addLine(QStringLiteral("INSERT INTO CPOrg (CPOrg_ID, Organisme, Adresse, CP, Ville, Telephone, Fax, Princ, TauxDef, Nom, BaseRemb, Comments)"));
        Query1.addLine(QStringLiteral("VALUES (:cporg_id, :organisme, :adresse, :cp, :ville, :telephone, :fax, :princ, :tauxdef, :nom, :baseremb, :comments)"));
        const qint64 numero = s.QryCPMain.field(0).asInteger();
        Query1.setInteger(QStringLiteral("cporg_id"), numero);
        Query1.setText(QStringLiteral("organisme"), saisie.code);
        Query1.setMemo(QStringLiteral("adresse"), saisie.adresse);
        Query1.setText(QStringLiteral("cp"), saisie.cp);
        Query1.setText(QStringLiteral("ville"), saisie.ville);
        Query1.setText(QStringLiteral("telephone"), saisie.telephone);
        Query1.setText(QStringLiteral("fax"), saisie.fax);
        Query1.setBoolean(QStringLiteral("princ"), princ);
        Query1.setFloat(QStringLiteral("tauxdef"), saisie.taux.toDouble());
        Query1.setText(QStringLiteral("nom"), saisie.nom);
        Query1.setText(QStringLiteral("baseremb"), QStringLiteral("Tarif SS"));
        Query1.setMemo(QStringLiteral("comments"), saisie.commentaires);
        Query1.execSQL();

        s.journal.ajouter({.origine = kOrigine,
                           .niveau = 1,
                           .action = QStringLiteral("Création d'un tiers payant : la comptabilité faisait référence à une caisse n°")
                                     + numeroTexte + QStringLiteral(" qui n'existait pas.") + QStringLiteral("\r")
                                     + QStringLiteral("Le programme a créé cette caisse avec les données suivantes :")
                                     + QStringLiteral("\r") + donnees(saisie)});
        LigneAjoutee copie(s.TableOrganismes);
        copie.valeur(QStringLiteral("CPORG_ID"), numero)
            .valeur(QStringLiteral("Nom"), saisie.code)
            .valeur(QStringLiteral("Ville"), saisie.ville)
            .valeur(QStringLiteral("Princ"), princ)
            .poster();
        return true;
    } catch (const db::DbError &e) {
        const QString texte =
            QStringLiteral("Création d'un tiers payant : la comptabilité référence une caisse n°") + numeroTexte
            + QStringLiteral(" qui n'existe pas.") + QStringLiteral("\r")
            + QStringLiteral("Le programme n'est pas parvenu à créer cette caisse avec les données suivantes :")
            + QStringLiteral("\r") + donnees(saisie) + QStringLiteral("\r\r") + QStringLiteral("Cette caisse devra être créée manuellement.")
            + QStringLiteral("\r") + QStringLiteral("Erreur : ") + e.message();
        try {
            s.journal.ajouter({.origine = kOrigine, .niveau = 1, .action = texte});
        } catch (const db::DbError &journal) {
            // Without its journal row the failure would go unnoticed.
            s.ui.message(Boite::Erreur, texte + QStringLiteral("\r") + QStringLiteral("Erreur : ") + journal.message());
        }
        return false;
    }
}
