#include "app/Session.h"
#include "checks/CheckRun.h"
#include "checks/Parcours.h"
#include "db/DbError.h"

namespace {
const QString kOrigine = QStringLiteral("Liste des patients (PATIENTS)");
}

QString CheckRun::numeroAttendu(const QString &nom, qint64 patientId)
{
    const QString numero = QString::number(patientId);
    QString attendu = nom.left(1);
    if (numero.size() < 6)
        attendu += QString(6 - numero.size(), QLatin1Char('0'));
    return attendu + numero;
}

void CheckRun::VerifierNumerotation()
{
    db::TableCursor &patients = s.TablePatients;
    const QString texte = QStringLiteral("Vérification de la numérotation des dossiers patients...");
    const int total = patients.recordCount();
    s.DemarrerProgression(texte, total, 1, 0, true);
    int corriges = 0;
    int position = 0;
    parcourirPuisResumer([&] {
        for (patients.first(); !patients.eof(); patients.next()) {
            ++position;
            s.UpdateProgression(texte, total, position);
            const qint64 id = patients.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger();
            const QString nom = patients.fieldByName(QStringLiteral("NOM")).asString();
            const QString actuel = patients.fieldByName(QStringLiteral("N_OMON")).asString();
            const QString attendu = numeroAttendu(nom, id);
            if (actuel == attendu)
                continue;
            try {
                s.Qry1.clearSql();
                s.Qry1.addLine(QStringLiteral("UPDATE PATIENTS SET N_OMON=:n_omon WHERE PATIENTS_ID=:patients_id"));
                s.Qry1.setText(QStringLiteral("n_omon"), attendu);
                s.Qry1.setInteger(QStringLiteral("patients_id"), id);
                s.Qry1.execSQL();
                ++corriges;
            } catch (const db::DbError &e) {
                s.AjouterResultat(id, QString(), 0, kOrigine, 1,
                                  QStringLiteral("Liste des patients : le champ N_OMON de la table PATIENTS, pour le dossier de ")
                                      + patients.fieldByName(QStringLiteral("PRENOM")).asString() + QLatin1Char(' ') + nom
                                      + QStringLiteral(" (n°") + QString::number(id) + QStringLiteral(") indique ") + actuel
                                      + QStringLiteral(" alors qu'il devrait être ") + attendu + QStringLiteral("\r")
                                      + QStringLiteral("Le programme n'est pas parvenu à corriger cette valeur pour la raison suivante : ")
                                      + e.message());
            }
        }
    }, [&] {
        patients.first();
        if (corriges >= 1)
            s.AjouterResultat(0, QString(), 0, kOrigine, 3,
                              QStringLiteral("Liste des patients : le champ N_OMON de la table PATIENTS a été corrigé pour ")
                                  + QString::number(corriges) + QStringLiteral(" dossiers."));
    });
    s.ArreterProgression(false);
}

void CheckRun::VerifierPrenoms()
{
    db::TableCursor &patients = s.TablePatients;
    const int total = patients.recordCount();
    s.DemarrerProgression(QStringLiteral("Vérification des prénoms des patients..."), total, 1, 0, true);
    int corriges = 0;
    int position = 0;
    parcourirPuisResumer([&] {
        for (patients.first(); !patients.eof(); patients.next()) {
            ++position;
            s.UpdateProgression(QStringLiteral("Vérification du prénom des dossiers patients..."), total, position);
            if (!patients.fieldByName(QStringLiteral("PRENOM")).asString().isEmpty())
                continue;
            const qint64 id = patients.fieldByName(QStringLiteral("PATIENTS_ID")).asInteger();
            try {
                s.Qry1.clearSql();
                s.Qry1.addLine(QStringLiteral("UPDATE PATIENTS SET PRENOM=:prenom WHERE PATIENTS_ID=:patients_id"));
                s.Qry1.setText(QStringLiteral("prenom"), QStringLiteral("Inconnu"));
                s.Qry1.setInteger(QStringLiteral("patients_id"), id);
                s.Qry1.execSQL();
                ++corriges;
            } catch (const db::DbError &e) {
                s.AjouterResultat(id, QString(), 0, kOrigine, 1,
                                  QStringLiteral("Liste des patients : le champ PRENOM de la table PATIENTS, pour le dossier de ")
                                      + patients.fieldByName(QStringLiteral("NOM")).asString() + QStringLiteral(" (n°")
                                      + QString::number(id) + QStringLiteral(") est vide.") + QStringLiteral("\r")
                                      + QStringLiteral("Ce dossier ne sera accessible dans Orbelis SQL qu'à partir de son numéro de dossier. Vous devrez renseigner son prénom pour le voir dans la liste des dossiers patients.")
                                      + QStringLiteral("\r") + QStringLiteral("\r")
                                      + QStringLiteral("Le programme n'est pas parvenu à renseigner cette valeur pour la raison suivante : ")
                                      + e.message());
            }
        }
    }, [&] {
        patients.first();
        if (corriges >= 1)
            s.AjouterResultat(0, QString(), 0, kOrigine, 3,
                              QStringLiteral("Liste des patients : le champ PRENOM de la table PATIENTS a été corrigé pour ")
                                  + QString::number(corriges)
                                  + QStringLiteral(" dossiers en y inscrivant la valeur 'Inconnu'."));
    });
    s.ArreterProgression(false);
}
