#include "app/Sauvegardes.h"
#include "app/Common.h"
#include "app/Session.h"
#include "app/Garde.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/IniFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

SauvegardeTraitement::SauvegardeTraitement(Session &session) : s(session)
{
    m_backup = std::make_unique<db::RunBackup>(sauvegardes::repertoire(s), db::identityOf(s.DBOrbelis),
                                               QDateTime::currentDateTime());
    s.DBOrbelis.backend().setRunBackup(m_backup.get());
    m_attache = true;
}

SauvegardeTraitement::~SauvegardeTraitement()
{
    try {
        lacher();
    } catch (const std::exception &) {
        // On the way out all the same: the backup must not outlive its use.
        if (m_attache && s.DBOrbelis.connected())
            s.DBOrbelis.backend().setRunBackup(nullptr);
    }
    if (!m_backup->finished()) {
        try {
            m_backup->finish(QStringLiteral("arrêté"));
        } catch (const std::exception &) {
            // Start-up will then tell of a run that never ended, which is
            // the safe side.
        }
    }
}

void SauvegardeTraitement::conserverJournal()
{
    int niveaux[4] = {0, 0, 0, 0};
    std::vector<db::RunBackup::JournalRow> lignes;
    QString erreur;
    try {
        s.journal.parcourir([&](const Journal::Lue &l) {
            const int n = int(l.niveau.asInteger());
            ++niveaux[n >= 1 && n <= 3 ? n - 1 : 3];
            lignes.push_back({n, l.origine.asString(), l.action.asString()});
        });
        m_backup->keepJournal(sauvegardes::resumeJournal(niveaux[0], niveaux[1], niveaux[2], niveaux[3]), lignes);
    } catch (const std::exception &e) {
        erreur = garde::messageDe(e);
    }
    m_journalConserve = true;
    m_lignes = int(lignes.size());
    if (!erreur.isEmpty())
        s.ui.message(Boite::Erreur, QStringLiteral("Le journal de ce traitement n'a pas pu être conservé avec sa sauvegarde.")
                                        + QStringLiteral("\r") + QStringLiteral("Erreur : ") + erreur);
}

void SauvegardeTraitement::conserverRapport()
{
    if (m_lignes == 0)
        return;
    m_lignes = 0;
    QString erreur;
    const QString chemin = m_backup->companion(QStringLiteral(".pdf"));
    if (s.ui.enregistrerRapport(s, chemin, &erreur)) {
        try {
            m_backup->keepReport(QFileInfo(chemin).fileName());
        } catch (const std::exception &e) {
            erreur = garde::messageDe(e);
        }
    }
    if (!erreur.isEmpty())
        s.ui.message(Boite::Erreur, QStringLiteral("Le compte rendu de ce traitement n'a pas pu être conservé avec sa sauvegarde.")
                                        + QStringLiteral("\r") + QStringLiteral("Erreur : ") + erreur);
}

void SauvegardeTraitement::lacher()
{
    if (m_attache && s.DBOrbelis.connected() && s.DBOrbelis.backend().runBackup() == m_backup.get()) {
        // What the run did is committed before the backup lets go of it.
        s.DBOrbelis.backend().commitGroup();
        s.DBOrbelis.backend().setRunBackup(nullptr);
    }
    m_attache = false;
}

void SauvegardeTraitement::terminer(const QString &etat)
{
    lacher();
    m_backup->finish(etat);
}

namespace sauvegardes {

QString repertoire(const Session &session)
{
    const QString defaut = session.CheminPrive + common::separateur() + QStringLiteral("Sauvegardes");
    const QString ini = common::fichierExistant(common::repertoireProgramme() + QStringLiteral("Praxelle.ini"));
    if (ini.isEmpty())
        return defaut;
    try {
        const QString choisi = db::IniFile(ini).readString(QStringLiteral("Aldurix"), QStringLiteral("Sauvegardes"), QString()).trimmed();
        return choisi.isEmpty() ? defaut : common::cheminNatif(choisi);
    } catch (const std::exception &) {
        return defaut;
    }
}

QString resumeJournal(int importants, int aPrendreEnCompte, int pourInformation, int autres)
{
    const int total = importants + aPrendreEnCompte + pourInformation + autres;
    if (total == 0)
        return QStringLiteral("Aucune anomalie trouvée.");
    QString texte = QString::number(total) + (total > 1 ? QStringLiteral(" lignes : ") : QStringLiteral(" ligne : "));
    QStringList parts;
    if (importants > 0)
        parts << QString::number(importants) + (importants > 1 ? QStringLiteral(" importantes") : QStringLiteral(" importante"));
    if (aPrendreEnCompte > 0)
        parts << QString::number(aPrendreEnCompte) + QStringLiteral(" à prendre en compte");
    if (pourInformation > 0)
        parts << QString::number(pourInformation) + QStringLiteral(" pour information");
    if (autres > 0)
        parts << QString::number(autres) + QStringLiteral(" d'un autre niveau");
    return texte + parts.join(QStringLiteral(", ")) + QLatin1Char('.');
}

QString dateTraitement(const QDateTime &debut)
{
    return debut.toString(QStringLiteral("dd/MM/yyyy")) + QStringLiteral(" à ") + debut.toString(QStringLiteral("HH:mm:ss"));
}

QString enregistrements(qint64 n, const QString &singulier, const QString &pluriel)
{
    return QString::number(n) + QLatin1Char(' ') + (n > 1 ? pluriel : singulier);
}

QString etat(const db::BackupInfo &b)
{
    QString texte = b.ended.isValid() ? b.state : QStringLiteral("inachevé");
    if (b.restored.isValid())
        texte += QStringLiteral(", restauré le ") + b.restored.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
    return texte;
}

QString confirmationRestauration(const db::BackupInfo &b)
{
    return QStringLiteral("Annuler les corrections du traitement du ") + dateTraitement(b.started) + QStringLiteral(" (")
           + enregistrements(b.changedRows, QStringLiteral("enregistrement modifié"), QStringLiteral("enregistrements modifiés"))
           + QStringLiteral(") ? Les enregistrements modifiés depuis ce traitement seront laissés tels quels.");
}

QString fichierRestes(const QString &backup)
{
    const QFileInfo f(backup);
    return f.absoluteDir().absoluteFilePath(f.completeBaseName() + QStringLiteral("_restauration.txt"));
}

namespace {

// The whole list, whatever the message shows of it: a long one is read at
// leisure, and kept when the message is gone.
QString ecrireRestes(const QString &chemin, const db::BackupInfo &b, const QStringList &lignes)
{
    QSaveFile f(chemin);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return f.errorString();
    QString texte = QStringLiteral("Restauration du ") + dateTraitement(QDateTime::currentDateTime())
                    + QStringLiteral(" de la sauvegarde du traitement du ") + dateTraitement(b.started)
                    + QStringLiteral(" : enregistrements modifiés depuis le traitement et laissés tels quels\n");
    for (const QString &l : lignes)
        texte += l + QLatin1Char('\n');
    f.write(texte.toUtf8());
    if (!f.commit())
        return f.errorString();
    return QString();
}

} // namespace

Restauration restaurer(Session &s, const QString &backup)
{
    const db::BackupInfo info = db::readBackup(backup);
    const QString texte = QStringLiteral("Restauration de la sauvegarde du traitement du ") + dateTraitement(info.started)
                          + QStringLiteral("...");
    Restauration r;
    s.DemarrerProgression(texte, 0, 1, 0, true);
    try {
        r.resultat = db::restoreBackup(s.DBOrbelis, backup,
                                       [&](int fait, int total) { s.UpdateProgression(texte, total, fait); });
    } catch (...) {
        s.ArreterProgression(true);
        throw;
    }
    s.ArreterProgression(true);
    if (!r.resultat.leftAlone.isEmpty()) {
        r.fichierRestes = fichierRestes(backup);
        r.erreurFichier = ecrireRestes(r.fichierRestes, info, r.resultat.leftAlone);
    }
    return r;
}

QString compteRenduRestauration(const Restauration &r, int maxLignes)
{
    QString texte = QStringLiteral("Restauration terminée : ")
                    + enregistrements(r.resultat.undone, QStringLiteral("enregistrement rétabli"),
                                      QStringLiteral("enregistrements rétablis"))
                    + QLatin1Char('.');
    const QStringList &restes = r.resultat.leftAlone;
    if (restes.isEmpty())
        return texte;
    texte += QStringLiteral("\r") + QStringLiteral("Les enregistrements suivants ont été modifiés depuis le traitement et laissés tels quels :");
    const qsizetype montres = maxLignes < 0 ? restes.size() : std::min<qsizetype>(restes.size(), maxLignes);
    for (qsizetype i = 0; i < montres; ++i)
        texte += QStringLiteral("\r") + restes[i];
    if (montres < restes.size())
        texte += QStringLiteral("\r... et ") + enregistrements(restes.size() - montres, QStringLiteral("autre"), QStringLiteral("autres"))
                 + QLatin1Char('.');
    const QString fichier = QDir::toNativeSeparators(r.fichierRestes);
    if (r.erreurFichier.isEmpty())
        texte += QStringLiteral("\r") + (restes.size() > 1 ? QStringLiteral("Ils sont tous inscrits dans le fichier ")
                                                            : QStringLiteral("Il est inscrit dans le fichier "))
                 + fichier + QLatin1Char('.');
    else
        texte += QStringLiteral("\r") + QStringLiteral("Leur liste n'a pas pu être enregistrée dans le fichier ") + fichier
                 + QStringLiteral(" : ") + r.erreurFichier;
    return texte;
}

} // namespace sauvegardes
