// The two "&Valider" actions of the patient dialog and the steps that finish
// a reassignment: the consultations of the accounting dates and the move of
// the patient's data in every patient-based table.
#include "app/Progress.h"
#include "app/Session.h"
#include "checks/CheckRun.h"
#include "db/DbError.h"
#include "db/Formats.h"
#include "dialogs/SelectPat.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace fmt = db::formats;
using db::DbError;

namespace {

const QString kNomVide = QStringLiteral("Nom du nouveau patient");
const QString kPrenomVide = QStringLiteral("Prénom du nouveau patient");
const QString kFermeture = QStringLiteral("L'application va être fermée.");
const QString kMotif = QStringLiteral("Ajustement de la comptabilité.");
const QString kRefusDate = QStringLiteral("Valeur d'entrée incorrecte. Utiliser Echap pour abandonner les modifications");

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

QVariant valeurOuNull(const db::Field &f, QVariant v) { return f.isNull() ? QVariant() : v; }

} // namespace

// --- The merge statement ------------------------------------------------------------

void TFSelectPatient::preparerFusion(db::Query &fusion, const db::Query &source, const db::Query &cible)
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

// --- Shared steps -------------------------------------------------------------------------

template <typename F> void TFSelectPatient::executerAction(F &&action)
{
    m_fermeture = false;
    try {
        action();
    } catch (const common::FinProgramme &f) {
        fin = f;
        done(ResultatNon);
    } catch (const std::exception &e) {
        // What the actions do not guard goes to the default error report; the
        // dialog stays open unless the shut-down had already begun.
        ArreterProgression();
        rapporterErreur(e);
        if (m_fermeture)
            done(ResultatNon);
    }
}

void TFSelectPatient::fermerApplication(const QString &texte)
{
    s.ui.message(Boite::Avertissement, texte);
    setResult(7);
    m_fermeture = true;
    ArreterProgression();
    s.BtFermerClick();
}

void TFSelectPatient::journaliser(const QVariant &patientId, const QVariant &nom, const QVariant &date,
                                  const QVariant &medecin, const QString &origine, int niveau, const QString &action)
{
    s.journal.ajouter({patientId, nom, date, medecin, origine, niveau, action});
}

QString TFSelectPatient::nomPourJournal()
{
    const db::Field id = s.QryCPMain.fieldByName(QStringLiteral("PATIENTS_ID"));
    db::TableCursor &p = s.TablePatients;
    if (p.findKey({id.asInteger()}))
        return QStringLiteral("n°") + p.fieldByName(QStringLiteral("PATIENTS_ID")).asString() + QLatin1Char(' ')
               + fmt::upperAscii(p.fieldByName(QStringLiteral("NOM")).asString()) + QLatin1Char(' ')
               + fmt::upperAscii(p.fieldByName(QStringLiteral("PRENOM")).asString());
    return QStringLiteral("n°") + id.asString() + QStringLiteral(" inconnu dans la base de données.");
}

void TFSelectPatient::creerConsultation(qint64 patientId, const QDateTime &date, qint64 medecinId)
{
    const QString suite = QStringLiteral(" La consultation ne peut pas être créée.\r\r") + kFermeture
                          + QStringLiteral("\rErreur : ");
    qint64 numero = 0;
    bool compteurExiste = false;
    try {
        Query4.clearSql();
        Query4.addLine(QStringLiteral("SELECT LAST_VALUE FROM ID_VALUES WHERE KEY_NAME = :chaine"));
        Query4.setText(QStringLiteral("chaine"), QStringLiteral("MOTCONSU"));
        Query4.open();
        compteurExiste = !Query4.eof();
        numero = (compteurExiste ? Query4.fieldByName(QStringLiteral("LAST_VALUE")).asInteger() : 0) + 1;
    } catch (const DbError &e) {
        fermerApplication(QStringLiteral("Récupération du numéro de la dernière consultation impossible.") + suite
                          + e.message());
    }
    try {
        Query4.clearSql();
        // Without its row the counter would hand out 1 again to the next
        // consultation, a number already taken: the row is created instead.
        if (compteurExiste)
            Query4.addLine(QStringLiteral("UPDATE ID_VALUES SET LAST_VALUE = :numero WHERE KEY_NAME = :chaine"));
        else
            Query4.addLine(QStringLiteral("INSERT INTO ID_VALUES (KEY_NAME, LAST_VALUE) VALUES (:chaine, :numero)"));
        Query4.setInteger(QStringLiteral("numero"), numero);
        Query4.setText(QStringLiteral("chaine"), QStringLiteral("MOTCONSU"));
        Query4.execSQL();
    } catch (const DbError &e) {
        fermerApplication(QStringLiteral("Mise à jour de la table ID_VALUES impossible.") + suite + e.message());
    }
    try {
        Query4.clearSql();
        Query4.addLine(QStringLiteral("INSERT INTO MOTCONSU (MOTCONSU_ID, PATIENTS_ID, DATE_CONSULTATION, "
                                      "MOTIF_DE_CONSULTATION, MEDECINS_ID) VALUES (:numero_consult, "
                                      ":numero_patient, :date_consult, :motif, :medecins_id)"));
        Query4.setInteger(QStringLiteral("numero_consult"), numero);
        Query4.setInteger(QStringLiteral("numero_patient"), patientId);
        Query4.setDateTime(QStringLiteral("date_consult"), date);
        Query4.setText(QStringLiteral("motif"), kMotif);
        Query4.setInteger(QStringLiteral("medecins_id"), medecinId);
        Query4.execSQL();
        db::TableCursor &c = s.TableConsultations;
        try {
            c.append();
            c.setFieldValue(QStringLiteral("MOTCONSU_ID"), numero);
            c.setFieldValue(QStringLiteral("PATIENTS_ID"), patientId);
            c.setFieldValue(QStringLiteral("DATE_CONSULTATION"), date);
            c.post();
        } catch (...) {
            c.cancel();
            throw;
        }
    } catch (const DbError &e) {
        fermerApplication(QStringLiteral("Création de la consultation impossible.\r\r") + kFermeture
                          + QStringLiteral("\rErreur : ") + e.message());
    }
}

// --- Reassignment to an existing patient ---------------------------------------------------

std::optional<qint64> TFSelectPatient::patientChoisi()
{
    const QString texte = CBPatients_existant->currentText();
    // A patient picked in the list is known by the number kept with its item:
    // the digits of its file number are not always its own (seven-digit
    // numbers, file numbers not yet corrected).
    int index = CBPatients_existant->currentIndex();
    if (index < 0 || CBPatients_existant->itemText(index) != texte)
        index = CBPatients_existant->findText(texte, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        return CBPatients_existant->itemData(index).toLongLong();
    // Typed by hand: the six characters before the closing one.
    const qsizetype debut = qMax<qsizetype>(0, texte.size() - 7);
    const QString chiffres = texte.mid(debut, qMax<qsizetype>(0, texte.size() - 1 - debut));
    bool ok = false;
    const qint64 numero = chiffres.toLongLong(&ok);
    if (!ok) {
        s.ui.message(Boite::Erreur, QLatin1Char('\'') + chiffres + QStringLiteral("' n'est pas une valeur entière correcte"));
        return std::nullopt;
    }
    return numero;
}

void TFSelectPatient::BtPatient_existantClick()
{
    executerAction([this] {
        const std::optional<qint64> p = patientChoisi();
        if (!p)
            return;
        affecterPatientExistant(*p);
    });
}

void TFSelectPatient::affecterPatientExistant(qint64 P)
{
    const qint64 U = LPatients_ID->text().toLongLong();
    // Merging into a number that names no patient would only move the
    // accounting from one unknown file to another; merging a number into
    // itself would delete its rows.
    Query2.clearSql();
    Query2.addLine(QStringLiteral("SELECT count(*) as countrec FROM PATIENTS WHERE PATIENTS_ID = :numero"));
    Query2.setInteger(QStringLiteral("numero"), P);
    Query2.open();
    if (P == U || Query2.fieldByName(QStringLiteral("countrec")).asInteger() < 1) {
        s.ui.message(Boite::Erreur, QStringLiteral("Le dossier patient n°") + QString::number(P)
                                        + QStringLiteral(" n'existe pas. Veuillez sélectionner un dossier patient dans la liste."));
        return;
    }

    const QVariant medecinAffiche = [this] {
        const db::Field f = s.QryCPMain.fieldByName(QStringLiteral("MEDECINS_ID"));
        return valeurOuNull(f, f.asInteger());
    }();
    Query2.clearSql();
    Query2.addLine(QStringLiteral("SELECT * from CPMAIN where PATIENTS_ID=:ancien_patient"));
    Query2.setInteger(QStringLiteral("ancien_patient"), U);
    Query2.open();
    for (Query2.first(); !Query2.eof(); Query2.next()) {
        const db::Field date = Query2.fieldByName(QStringLiteral("DATE_CONSULTATION"));
        const qint64 cpmainR = Query2.fieldByName(QStringLiteral("CPMAIN_ID")).asInteger();
        Query3.clearSql();
        Query3.addLine(QStringLiteral("SELECT * from CPMAIN where PATIENTS_ID=:nouveau_patient AND "
                                      "MEDECINS_ID=:medecin_comptable AND DATE_CONSULTATION=:dateconsultation"));
        Query3.setInteger(QStringLiteral("nouveau_patient"), P);
        Query3.setInteger(QStringLiteral("medecin_comptable"), Query2.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger());
        Query3.setDateTime(QStringLiteral("dateconsultation"), date.asDateTime());
        Query3.open();
        if (Query3.eof()) {
            try {
                Query4.clearSql();
                Query4.addLine(QStringLiteral("UPDATE CPMAIN SET PATIENTS_ID = :nouveau_patient WHERE CPMAIN_ID=:cpmain_id"));
                Query4.setInteger(QStringLiteral("nouveau_patient"), P);
                Query4.setInteger(QStringLiteral("cpmain_id"), cpmainR);
                Query4.execSQL();
            } catch (const DbError &e) {
                fermerApplication(QStringLiteral("Une erreur s'est produite pendant l'enregistrement des modifications\r\rErreur : ")
                                  + e.message() + QStringLiteral("\r\r") + kFermeture);
            }
        } else {
            try {
                preparerFusion(Query4, Query2, Query3);
                if (Query4.sqlLines().size() > 2)
                    Query4.execSQL();
                Query3.clearSql();
                Query3.addLine(QStringLiteral("DELETE FROM CPMAIN where CPMAIN_ID=:cpmain_id"));
                Query3.setInteger(QStringLiteral("cpmain_id"), cpmainR);
                Query3.execSQL();
            } catch (const DbError &e) {
                fermerApplication(QStringLiteral("Une erreur s'est produite pendant l'enregistrement des modifications\r")
                                  + kFermeture + QStringLiteral("\r\rErreur : ") + e.message());
            }
        }
        journaliser(U, nomPourJournal(), valeurOuNull(date, date.asDateTime()), medecinAffiche,
                    QStringLiteral("Comptabilité"), 2,
                    QStringLiteral("Transfert de comptabilité : la comptabilité du patient n°") + LPatients_ID->text()
                        + QStringLiteral(" pour la consultation du ") + date.asString()
                        + QStringLiteral(" a été transférée sur le dossier ") + CBPatients_existant->currentText());
    }
    Verifier_les_consultations(P);
    Transferer_donnees(U, P);
    done(ResultatOk);
}

// --- Creation of a new patient -------------------------------------------------------------

void TFSelectPatient::BtNouveau_patientClick()
{
    executerAction([this] {
        // The refusal of an unfinished date comes before the click, as when the
        // field is left with the keyboard.
        if (EDNe_le->saisieRefusee()) {
            m_refusDateEnAttente = false;
            s.ui.message(Boite::Erreur, kRefusDate);
            EDNe_le->setFocus();
            return;
        }
        m_refusDateEnAttente = false;
        creerNouveauPatient();
    });
}

void TFSelectPatient::creerNouveauPatient()
{
    const QString nomSaisi = EDNom->text();
    const QString prenom = EDPrenom->text();
    const QString dateSaisie = EDNe_le->texte();
    if (nomSaisi.isEmpty() || nomSaisi == kNomVide) {
        s.ui.message(Boite::Erreur, QStringLiteral("Veuillez saisir le nom du patient !"));
        EDNom->setFocus();
        return;
    }
    if (prenom.isEmpty() || prenom == kPrenomVide) {
        s.ui.message(Boite::Erreur, QStringLiteral("Veuillez saisir le prénom du patient !"));
        EDPrenom->setFocus();
        return;
    }
    std::optional<QDate> neLe;
    if (dateSaisie != ChampDate::texteVide()) {
        neLe = fmt::textToDate(dateSaisie);
        if (!neLe) {
            s.ui.message(Boite::Erreur, QStringLiteral("Veuillez saisir une date de naissance correcte !"));
            EDNe_le->setFocus();
            return;
        }
    }

    const QString texteU = LPatients_ID->text();
    const qint64 U = texteU.toLongLong();
    const QString nom = fmt::upperAscii(nomSaisi);
    const QString homonyme = CheckRun::numeroAttendu(nom, U);
    const db::Query &cp = s.QryCPMain;
    // The physician of the accounting row: the snapshot may lack it (created
    // during the run), and its current row would then be another one's.
    const qint64 medecin = cp.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger();
    const QDateTime dateConsultation = cp.fieldByName(QStringLiteral("DATE_CONSULTATION")).asDateTime();

    try {
        Query2.clearSql();
        if (neLe)
            Query2.addLine(QStringLiteral("INSERT INTO PATIENTS (PATIENTS_ID, N_OMON, PRENOM, NOM, NE_LE, MEDECINS_ID) "
                                          "VALUES (:numero_patient, :homonyme, :prenom, :nom, :ne_le, :numero_medecin)"));
        else
            Query2.addLine(QStringLiteral("INSERT INTO PATIENTS (PATIENTS_ID, N_OMON, PRENOM, NOM, MEDECINS_ID) "
                                          "VALUES (:numero_patient, :homonyme, :prenom, :nom, :numero_medecin)"));
        Query2.setInteger(QStringLiteral("numero_patient"), U);
        Query2.setText(QStringLiteral("homonyme"), homonyme);
        Query2.setText(QStringLiteral("prenom"), prenom);
        Query2.setText(QStringLiteral("nom"), nom);
        if (neLe)
            Query2.setDate(QStringLiteral("ne_le"), *neLe);
        Query2.setInteger(QStringLiteral("numero_medecin"), medecin);
        Query2.execSQL();
        ajouterALaListe(libellePatient(nom, prenom, dateSaisie, homonyme), U);
        db::TableCursor &p = s.TablePatients;
        try {
            p.append();
            p.setFieldValue(QStringLiteral("PATIENTS_ID"), U);
            p.setFieldValue(QStringLiteral("N_OMON"), homonyme);
            p.setFieldValue(QStringLiteral("PRENOM"), prenom);
            p.setFieldValue(QStringLiteral("NOM"), nom);
            p.post();
        } catch (...) {
            p.cancel();
            throw;
        }
    } catch (const DbError &e) {
        fermerApplication(QStringLiteral("Création du nouveau patient impossible.\r\r") + kFermeture
                          + QStringLiteral("\rErreur : ") + e.message());
    }

    Query3.clearSql();
    Query3.addLine(QStringLiteral("SELECT count(*) as countrec FROM MOTCONSU WHERE PATIENTS_ID = :numero_patient "
                                  "AND DATE_CONSULTATION = :date_cons"));
    Query3.setInteger(QStringLiteral("numero_patient"), U);
    Query3.setDateTime(QStringLiteral("date_cons"), dateConsultation);
    Query3.open();
    if (Query3.fieldByName(QStringLiteral("countrec")).asInteger() < 1)
        creerConsultation(U, dateConsultation, medecin);

    // A row without consultation date keeps an empty date rather than failing
    // after the patient was created.
    const std::optional<QDateTime> dateJournal = fmt::textToDateTime(LDate_Consultation->text());
    const db::Field medecinLigne = cp.fieldByName(QStringLiteral("MEDECINS_ID"));
    journaliser(U, nomPourJournal(), dateJournal ? QVariant(*dateJournal) : QVariant(),
                valeurOuNull(medecinLigne, medecinLigne.asInteger()), QStringLiteral("Patients"), 2,
                QStringLiteral("Création du patient n°") + texteU + QLatin1Char(' ') + nom + QLatin1Char(' ') + prenom);
    Verifier_les_consultations(U);
    done(ResultatOk);
}

// --- Consultations and data transfer ------------------------------------------------------

void TFSelectPatient::Verifier_les_consultations(qint64 PatientId)
{
    const QString texte = QStringLiteral("Vérification des consultations...");
    DemarrerProgression(texte, 0, 0, 0, false);
    Query2.clearSql();
    Query2.addLine(QStringLiteral("SELECT MEDECINS_ID, PATIENTS_ID, DATE_CONSULTATION FROM CPMAIN WHERE PATIENTS_ID = :numero_patient"));
    Query2.setInteger(QStringLiteral("numero_patient"), PatientId);
    Query2.open();
    const int total = Query2.recordCount();
    ArreterProgression();
    DemarrerProgression(texte, total, 1, 0, true);
    for (Query2.first(); !Query2.eof(); Query2.next()) {
        UpdateProgression(QStringLiteral("Vérification des consultations (") + QString::number(Query2.recNo())
                              + QLatin1Char('/') + QString::number(total) + QLatin1Char(')'),
                          total, Query2.recNo());
        const QDateTime date = Query2.fieldByName(QStringLiteral("DATE_CONSULTATION")).asDateTime();
        Query3.clearSql();
        Query3.addLine(QStringLiteral("SELECT * from motconsu where PATIENTS_ID=:numero_patient AND DATE_CONSULTATION=:date_consultation"));
        Query3.setInteger(QStringLiteral("numero_patient"), PatientId);
        Query3.setDateTime(QStringLiteral("date_consultation"), date);
        Query3.open();
        if (!Query3.eof())
            continue;
        creerConsultation(PatientId, date, Query2.fieldByName(QStringLiteral("MEDECINS_ID")).asInteger());
    }
    ArreterProgression();
}

void TFSelectPatient::Transferer_donnees(qint64 OldPatientId, qint64 NewPatientId)
{
    const QStringList &tables = s.ListeTablesPatient;
    const int total = int(tables.size());
    DemarrerProgression(QStringLiteral("Report de toutes les données du patient en cours..."), total, 1, 0, true);
    const QString ancien = QString::number(OldPatientId);
    const QString nouveau = QString::number(NewPatientId);
    for (int i = 0; i < total; ++i) {
        const QString &table = tables[i];
        UpdateProgression(QStringLiteral("Mise à jour de la table ") + table, total, i + 1);
        try {
            Query3.clearSql();
            Query3.addLine(QStringLiteral("UPDATE ") + table
                           + QStringLiteral(" SET PATIENTS_ID =:Nouveau_Patient where PATIENTS_ID=:Ancien_Patient"));
            Query3.setInteger(QStringLiteral("Nouveau_Patient"), NewPatientId);
            Query3.setInteger(QStringLiteral("Ancien_Patient"), OldPatientId);
            Query3.execSQL();
        } catch (const DbError &e) {
            const QString echec = QStringLiteral(" des données du dossier n°") + ancien + QStringLiteral(" sur le dossier n°")
                                  + nouveau + QStringLiteral(" a échoué pour la table ") + table;
            s.ui.message(Boite::Simple, QStringLiteral("Le transfert") + echec + QStringLiteral("\r\r")
                                            + QStringLiteral("Le programme passe à la table suivante.")
                                            + QStringLiteral("\r") + QStringLiteral("Erreur : ") + e.message());
            journaliser(OldPatientId, QVariant(), QVariant(), QVariant(), table, 2,
                        QStringLiteral("Transfert de données : le transfert") + echec);
        }
    }
    ArreterProgression();
}
