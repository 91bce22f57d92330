// The merge of an unknown number's accounting row into the chosen patient's
// row of the same physician and date: which columns it fills, sums or joins.
#include "checks/Reaffectation.h"
#include "db/Decimal.h"

#include <optional>
#include <vector>

namespace {

enum class Regle {
    Joindre,          // T's text, the separator, R's text; R's alone when T's is empty
    Tarif1,           // T + R when T > 0, else R
    Somme,            // T + R
    RemplirTexte,     // R's text when T has none
    RemplirBooleen,   // true when R is and T is not
    RemplirEntier,    // R's value when T has none (a stored 0 is a value)
    RemplirFlottant,
};

struct RegleFusion {
    const char *ligne;   // the assignment line, exactly as it goes into the statement
    Regle regle;
    const char *separateur = "";
};

// In the order of the table's columns, which is the statement's order.
const RegleFusion kRegles[] = {
    {"CodeActe1=:codeacte1, ", Regle::Joindre, " + "},
    {"CodeActe2=:codeacte2, ", Regle::Joindre, " + "},
    {"CodeActe3=:codeActe3, ", Regle::Joindre, " + "},
    {"CodeActe4=:codeActe4, ", Regle::Joindre, " + "},
    {"Tarif1=:tarif1, ", Regle::Tarif1},
    {"Tarif2=:tarif2, ", Regle::Somme},
    {"Tarif3=:tarif3, ", Regle::Somme},
    {"Tarif4=:tarif4, ", Regle::Somme},
    {"Montant1=:Montant1, ", Regle::Somme},
    {"Montant2=:Montant2, ", Regle::Somme},
    {"Montant3=:Montant3, ", Regle::Somme},
    {"Montant4=:Montant4, ", Regle::Somme},
    {"Km=:Km, ", Regle::Somme},
    {"MontantKm=:MontantKm, ", Regle::Somme},
    {"IndemniteDimanche=:IndemniteDimanche, ", Regle::Somme},
    {"IndemniteNuit=:IndemniteNuit, ", Regle::Somme},
    {"Payeur=:payeur, ", Regle::Joindre, " + "},
    {"Paiement1=:Paiement1, ", Regle::Somme},
    {"Paiement2=:Paiement2, ", Regle::Somme},
    {"Mode1=:mode1, ", Regle::RemplirTexte},
    {"Mode2=:mode2, ", Regle::RemplirTexte},
    {"IDP1=:IDP1, ", Regle::Joindre, " / "},
    {"IDP2=:IDP2, ", Regle::Joindre, " / "},
    {"TiersPayant=:tierspayant, ", Regle::RemplirBooleen},
    {"CPOrg_1_ID=:CPOrg_1_ID, ", Regle::RemplirEntier},
    {"CPOrg_2_ID=:CPOrg_2_ID, ", Regle::RemplirEntier},
    {"MontantTiersPayant1=:MontantTiersPayant1, ", Regle::Somme},
    {"MontantTiersPayant2=:MontantTiersPayant2, ", Regle::Somme},
    {"RegleTiersPayant1=:RegleTiersPayant1, ", Regle::Somme},
    {"RegleTiersPayant2=:RegleTiersPayant2, ", Regle::Somme},
    {"CPTrans_ID=:CPTrans_ID, ", Regle::RemplirEntier},
    {"CPBanks_ID=:CPBanks_ID, ", Regle::RemplirEntier},
    {"CPRem_ID=:CPRem_ID, ", Regle::RemplirEntier},
    {"IndemniteVille=:IndemniteVille, ", Regle::Somme},
    {"Taux1=:Taux1, ", Regle::RemplirFlottant},
    {"Taux2=:Taux2, ", Regle::RemplirFlottant},
    {"TarifSS1=:TarifSS1, ", Regle::Somme},
    {"TarifSS2=:TarifSS2, ", Regle::Somme},
    {"TarifSS3=:TarifSS3, ", Regle::Somme},
    {"TarifSS4=:TarifSS4, ", Regle::Somme},
    {"MontantSS1=:MontantSS1, ", Regle::Somme},
    {"MontantSS2=:MontantSS2, ", Regle::Somme},
    {"MontantSS3=:MontantSS3, ", Regle::Somme},
    {"MontantSS4=:MontantSS4, ", Regle::Somme},
    {"CPSVFact_ID=:CPSVFact_ID, ", Regle::RemplirEntier},
    {"ID_TP1=:ID_TP1, ", Regle::Joindre, " + "},
    {"ID_TP2=:ID_TP2, ", Regle::Joindre, " + "},
    {"SVCodeActes=:SVCodeActes, ", Regle::Joindre, "@"},
    {"LabelActe1=:LabelActe1, ", Regle::Joindre, " + "},
    {"LabelActe2=:LabelActe2, ", Regle::Joindre, " + "},
    {"LabelActe3=:LabelActe3, ", Regle::Joindre, " + "},
    {"LabelActe4=:LabelActe4, ", Regle::Joindre, " + "},
    {"SVMontant=:SVMontant, ", Regle::RemplirFlottant},
    {"MONNAIE1=:MONNAIE1, ", Regle::RemplirTexte},
    {"MONNAIE2=:MONNAIE2, ", Regle::RemplirTexte},
};
static_assert(std::size(kRegles) == 55);

} // namespace

void Reaffectation::preparerFusion(db::Query &fusion, const db::Query &source, const db::Query &cible)
{
    struct Valeur {
        QString nom;
        db::ParamType type;
        QVariant valeur;
    };
    QStringList lignes{QStringLiteral("UPDATE CPMAIN SET ")};
    std::vector<Valeur> valeurs;
    for (const RegleFusion &r : kRegles) {
        const QString ligne = QString::fromLatin1(r.ligne);
        const QString colonne = ligne.left(ligne.indexOf(QLatin1Char('=')));
        const int deuxPoints = ligne.indexOf(QLatin1Char(':'));
        const QString parametre = ligne.mid(deuxPoints + 1, ligne.indexOf(QLatin1Char(','), deuxPoints) - deuxPoints - 1);
        const db::Field R = source.fieldByName(colonne);
        const db::Field T = cible.fieldByName(colonne);
        std::optional<Valeur> v;
        switch (r.regle) {
        case Regle::Joindre:
            if (!R.asString().isEmpty()) {
                const QString t = T.asString();
                v = Valeur{parametre, db::ParamType::Text,
                           t.isEmpty() ? R.asString() : t + QString::fromLatin1(r.separateur) + R.asString()};
            }
            break;
        case Regle::Tarif1:
            if (db::montantPositif(R.asFloat()))
                v = Valeur{parametre, db::ParamType::Float,
                           db::montantPositif(T.asFloat()) ? (T.asDecimal() + R.asDecimal()).toDouble() : R.asFloat()};
            break;
        case Regle::Somme:
            if (db::montantPositif(R.asFloat()))
                v = Valeur{parametre, db::ParamType::Float, (T.asDecimal() + R.asDecimal()).toDouble()};
            break;
        case Regle::RemplirTexte:
            if (!R.asString().isEmpty() && T.asString().isEmpty())
                v = Valeur{parametre, db::ParamType::Text, R.asString()};
            break;
        case Regle::RemplirBooleen:
            if (R.asBoolean() && !T.asBoolean())
                v = Valeur{parametre, db::ParamType::Boolean, true};
            break;
        case Regle::RemplirEntier:
            if (!R.isNull() && T.isNull())
                v = Valeur{parametre, db::ParamType::Integer, R.asInteger()};
            break;
        case Regle::RemplirFlottant:
            if (!R.isNull() && T.isNull())
                v = Valeur{parametre, db::ParamType::Float, R.asFloat()};
            break;
        }
        if (v) {
            lignes << ligne;
            valeurs.push_back(*v);
        }
    }
    QString derniere = lignes.last().trimmed();
    if (derniere.endsWith(QLatin1Char(',')))
        derniere.chop(1);
    lignes.last() = derniere;
    lignes << QStringLiteral("WHERE CPMAIN_ID=:cpmain_id");

    fusion.clearSql();
    for (const QString &l : lignes)
        fusion.addLine(l);
    for (const Valeur &v : valeurs)
        fusion.setParam(v.nom, v.type, v.valeur);
    fusion.setInteger(QStringLiteral("cpmain_id"), cible.fieldByName(QStringLiteral("CPMAIN_ID")).asInteger());
}

