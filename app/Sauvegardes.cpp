#include "app/Sauvegardes.h"
#include "app/Common.h"
#include "app/Session.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/IniFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

SauvegardeTraitement::SauvegardeTraitement(Session &session) : s(session)
{
    m_backup = std::make_unique<db::RunBackup>(sauvegardes::repertoire(s), db::identityOf(s.DBOrbelis),
                                               QDateTime::currentDateTime());
    s.DBOrbelis.backend().setRunBackup(m_backup.get());
    m_attache = true;
}

SauvegardeTraitement::~SauvegardeTraitement()
{
    if (m_attache && s.DBOrbelis.connected() && s.DBOrbelis.backend().runBackup() == m_backup.get()) {
        // What the run did is committed before the backup lets go of it.
        try {
            s.DBOrbelis.backend().commitGroup();
        } catch (const std::exception &) {
        }
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
    } catch (const std::exception &e) {
        erreur = QString::fromUtf8(e.what());
    }
    QString rapport;
    if (!lignes.empty() && erreur.isEmpty()) {
        const QString chemin = m_backup->companion(QStringLiteral(".pdf"));
        if (s.ui.enregistrerRapport(s, chemin, &erreur))
            rapport = QFileInfo(chemin).fileName();
    }
    try {
        m_backup->keepJournal(sauvegardes::resumeJournal(niveaux[0], niveaux[1], niveaux[2], niveaux[3]), lignes, rapport);
    } catch (const db::BackupError &e) {
        erreur = erreur.isEmpty() ? e.message() : erreur + QStringLiteral("\r") + e.message();
    }
    if (!erreur.isEmpty())
        s.ui.message(Boite::Erreur, QStringLiteral("Le compte rendu de ce traitement n'a pas pu être conservé avec sa sauvegarde.")
                                        + QStringLiteral("\r") + QStringLiteral("Erreur : ") + erreur);
}

void SauvegardeTraitement::terminer(const QString &etat)
{
    if (m_attache && s.DBOrbelis.connected()) {
        s.DBOrbelis.backend().commitGroup();
        s.DBOrbelis.backend().setRunBackup(nullptr);
        m_attache = false;
    }
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

} // namespace sauvegardes
