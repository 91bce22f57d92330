#include "app/Session.h"
#include "db/Restore.h"
#include "app/Common.h"
#include "app/Garde.h"
#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Formats.h"
#include "db/paradox/PxRecovery.h"

#include <QDir>

using common::FinProgramme;
using db::DbError;

namespace {

#ifdef Q_OS_WIN
const char *kServeurDefaut = "C:\\Orbelis\\Base";
const char *kPriveDefaut = "C:\\Orbelis\\Private";
#else
const char *kServeurDefaut = "/opt/Orbelis/Base";
const char *kPriveDefaut = "/opt/Orbelis/Private";
#endif

const QStringList kVerrous = {QStringLiteral("Paradox.lck"), QStringLiteral("Pdoxusrs.lck"), QStringLiteral("Pdoxusrs.net")};

} // namespace

Session::Session(Interaction &interaction) : m_interaction(interaction, DBOrbelis), ui(m_interaction) {}

void InteractionEngagee::engager()
{
    if (!m_connection.connected())
        return;
    try {
        m_connection.backend().commitGroup();
    } catch (const db::DbError &e) {
        m_ui.message(Boite::Erreur, QStringLiteral("Les corrections en cours n'ont pas pu être enregistrées dans la base de données.")
                                        + QStringLiteral("\r") + QStringLiteral("Erreur : ") + e.message());
    }
}

Session::~Session() = default;

void Session::verifierInterruption()
{
    if (m_interruptible && m_sansInterruption == 0 && !m_interaction.dialogueOuvert() && ui.interruptionDemandee())
        throw common::Interruption{};
}

Session::TraitementInterruptible::TraitementInterruptible(Session &s) : m_s(s)
{
    m_s.ui.effacerInterruption();
    m_s.m_interruptible = true;
}

void Session::supprimerVerrous()
{
    const QChar sep = common::separateur();
    for (const QString &f : kVerrous)
        common::SupprimerFichier(CheminBase + f);
    for (const QString &f : kVerrous)
        common::SupprimerFichier(CheminPrive + sep + f);
}

void Session::supprimerFichiersTravail()
{
    // An earlier session of this process may have left these files attached
    // in the engine: once deleted and created again, the engine would go on
    // reading the old ones (an empty journal in the viewer, for instance).
    db::Engine::instance().releaseDirectory(CheminPrive);
    for (const char *pattern : {"Aldurix1.*", "Aldurix2.*", "Aldurix3.*", "Aldurix4.*", "Aldurix5.*", "_QSQ*.*"})
        common::SupprimerFichier(CheminPrive + common::separateur() + QString::fromLatin1(pattern));
}

void Requetes::lier(const QString &nomBase)
{
    for (db::Query *q : {&QryMedecin, &QrPatient, &QryMotConsu, &QryOrganismes, &QryCPMain, &QryCPGest, &QrIDValues,
                         &QrModifyTablePatients, &QryAction, &Qry1, &Qry2, &Qry3})
        q->setDatabaseName(nomBase);
    Table1.setDatabaseName(nomBase);
    TableX.setDatabaseName(nomBase);
}

QString Session::FichierConfiguration()
{
    const QString programme = common::repertoireProgramme();
    const QString ini = common::fichierExistant(programme + QStringLiteral("Praxelle.ini"));
    if (ini.isEmpty()) {
        ui.message(Boite::Erreur, QStringLiteral("Le fichier de configuration ") + programme
                                      + QStringLiteral("Praxelle.ini n'existe pas !") + QStringLiteral("\r")
                                      + common::kApplicationFermee);
        throw FinProgramme{1};
    }
    return ini;
}

void Session::LireRepertoires(const QString &ini)
{
    db::IniFile config(ini);
    CheminBase = common::cheminNatif(config.readString(QStringLiteral("DataBase"), QStringLiteral("Server"),
                                                       QString::fromLatin1(kServeurDefaut)));
    if (!CheminBase.endsWith(common::separateur()))
        CheminBase += common::separateur();
    CheminPrive = common::cheminNatif(config.readString(QStringLiteral("DataBase"), QStringLiteral("Private"),
                                                        QString::fromLatin1(kPriveDefaut)));
    RepertoireSauvegardes = sauvegardes::repertoire(*this);
}

void Session::FormCreate()
{
    const QString programme = common::repertoireProgramme();
    const QString ini = FichierConfiguration();
    try {
        LireRepertoires(ini);
        supprimerVerrous();
        supprimerFichiersTravail();

        db::Engine &engine = db::Engine::instance();
        engine.setPrivateDir(CheminPrive);
        QString sansSeparateur = programme;
        sansSeparateur.chop(1);
        engine.setNetDir(sansSeparateur);

        if (common::fichierExistant(CheminBase + QStringLiteral("PRAXELLE.VER")).isEmpty()) {
            ui.message(Boite::Erreur, QStringLiteral("La base de données n'est pas accessible à partir de ") + CheminBase
                                          + QStringLiteral(" !") + QStringLiteral("\r")
                                          + common::kApplicationFermee);
            throw FinProgramme{1};
        }
        if (!InitialiserBase())
            return;
        if (TypeBase == 1)
            reprendreEcrituresInterrompues();
        try {
            DBOrbelis.open();
        } catch (const DbError &e) {
            ui.bip(false);
            ui.message(Boite::Erreur, QStringLiteral("Connexion à la base de données ") + DBOrbelis.aliasName
                                          + QStringLiteral(" impossible !") + QStringLiteral("\r")
                                          + QStringLiteral("Erreur : ") + e.message() + QStringLiteral("\r")
                                          + common::kApplicationFermee);
            throw FinProgramme{1};
        }
        db::IniFile version(common::fichierExistant(CheminBase + QStringLiteral("PRAXELLE.VER")));
        lier(NomBase);
        ProgName = version.readString(QStringLiteral("Application"), QStringLiteral("ProgName"));
        if (ModeSQL) {
            FormatDateSauve = db::formats::shortDateFormat();
            db::formats::setShortDateFormat(QStringLiteral("MM/dd/yyyy"));
        } else {
            ui.message(Boite::Information, QStringLiteral("Veuillez fermer ") + ProgName + QStringLiteral(" sur tous les postes."));
        }
        DemarrerProgression(QString(), 0, 0, 0, false);
        CreerTablesTravail();
        RechercherTablesPatient();
        ArreterProgression(true);
        baseOuverte = true;
        if (TypeBase == 1)
            signalerTablesNonModifiables();
        signalerTraitementsInacheves();
    } catch (const FinProgramme &) {
        throw;
    } catch (const std::exception &e) {
        const QString message = garde::messageDe(e);
        ArreterProgression(true);
        ui.message(Boite::Erreur, QStringLiteral("Erreur à l'ouverture du programme. Veuillez vous assurer que ")
                                      + ProgName + QStringLiteral(" est bien fermé sur tous les postes. ")
                                      + QStringLiteral("\r") + QStringLiteral("Erreur : ") + message);
        BtFermerClick();
    }
}

QString Session::repertoireParadox() const
{
    QString chemin = DBOrbelis.param(QStringLiteral("PATH"));
    const QString alias = DBOrbelis.aliasName.isEmpty() ? DBOrbelis.databaseName : DBOrbelis.aliasName;
    if (chemin.isEmpty() && db::Engine::instance().aliasExists(alias))
        chemin = db::Engine::instance().alias(alias).param(QStringLiteral("PATH"));
    return QDir::fromNativeSeparators(chemin);
}

void Session::signalerTablesNonModifiables()
{
    // The tables the checks correct, and those a patient's records move to.
    QStringList tables{QStringLiteral("CPMAIN"), QStringLiteral("PATIENTS"), QStringLiteral("MOTCONSU"),
                       QStringLiteral("MEDECINS"), QStringLiteral("ID_VALUES"), QStringLiteral("CPREM"),
                       QStringLiteral("CPTRANS"), QStringLiteral("CPO"), QStringLiteral("CPORG"),
                       QStringLiteral("CPSVFACT"), QStringLiteral("CPORDPAY"), QStringLiteral("CPGEST")};
    for (const QString &t : std::as_const(ListeTablesPatient))
        if (!tables.contains(t, Qt::CaseInsensitive))
            tables << t;
    QStringList refus;
    for (const QString &t : std::as_const(tables)) {
        const QString pourquoi = DBOrbelis.backend().writeRefusal(t);
        if (!pourquoi.isEmpty())
            refus << pourquoi;
    }
    if (refus.isEmpty())
        return;
    // Said once, here, rather than as a failed repair for each record.
    ui.message(Boite::Information,
               QStringLiteral("Certaines tables ne pourront pas être modifiées ; les corrections qui les concernent "
                              "seront signalées comme impossibles dans la liste des résultats :")
                   + QStringLiteral("\r") + refus.join(QStringLiteral("\r")));
}

void Session::signalerTraitementsInacheves()
{
    QStringList inacheves;
    for (const db::BackupInfo &b : db::listBackups(RepertoireSauvegardes)) {
        if (b.ended.isValid() || b.noticed)
            continue;
        inacheves << QDir::toNativeSeparators(b.file);
        try {
            db::markNoticed(b.file);
        } catch (const std::exception &) {
            // Told again at the next start-up: better than never.
        }
    }
    if (inacheves.isEmpty())
        return;
    ui.message(Boite::Information,
               (inacheves.size() == 1 ? QStringLiteral("Un traitement précédent ne s'est pas terminé normalement (arrêt du "
                                                       "programme ou de l'ordinateur). Les corrections qu'il a enregistrées "
                                                       "peuvent être annulées à partir de sa sauvegarde :")
                                      : QStringLiteral("Des traitements précédents ne se sont pas terminés normalement (arrêt du "
                                                       "programme ou de l'ordinateur). Les corrections qu'ils ont enregistrées "
                                                       "peuvent être annulées à partir de leurs sauvegardes :"))
                   + QStringLiteral("\r") + inacheves.join(QStringLiteral("\r")) + QStringLiteral("\r")
                   + QStringLiteral("Utilisez pour cela le bouton « Sauvegardes... » de la fenêtre principale."));
}

void Session::reprendreEcrituresInterrompues()
{
    const QString chemin = repertoireParadox();
    if (chemin.isEmpty() || !QDir(chemin).exists())
        return;
    // A table left half-written must be whole before anything reads it; one
    // that cannot be put back is left as it is, with its journal, for the
    // administrator: running the checks on it would build on a broken table.
    QStringList conserves;
    for (const db::paradox::TableRecovery &r : db::paradox::recoverDirectory(chemin))
        if (r.outcome == db::paradox::TableRecovery::Kept)
            conserves << r.message;
    if (conserves.isEmpty())
        return;
    ui.message(Boite::Avertissement,
               QStringLiteral("Une modification interrompue n'a pas pu être annulée :") + QStringLiteral("\r")
                   + conserves.join(QStringLiteral("\r")) + QStringLiteral("\r")
                   + QStringLiteral("Faites vérifier ces tables avant de relancer le programme ; les journaux (fichiers "
                                    ".aldjrn) sont conservés à côté d'elles.")
                   + QStringLiteral("\r") + common::kApplicationFermee);
    throw FinProgramme{1};
}

void Session::BtFermerClick()
{
    // Every way here means to end the program: an error on the way is shown
    // in the error box and the program ends all the same, the next start-up
    // removing what is left of the run.
    try {
        nettoyer();
    } catch (const std::exception &e) {
        garde::rapporter(ui, e);
        throw FinProgramme{1};
    }
    if (ModeSQL && !FormatDateSauve.isEmpty())
        db::formats::setShortDateFormat(FormatDateSauve);
    throw FinProgramme{0};
}

void Session::nettoyer()
{
    const QChar sep = common::separateur();
    struct Travail {
        db::TableCursor *cursor;
        const char *file;
    };
    const Travail tables[] = {{&TablePatients, "Aldurix1.db"}, {&TableMedecins, "Aldurix2.db"},
                              {&TableResultats, "Aldurix3.db"}, {&TableConsultations, "Aldurix4.db"},
                              {&TableOrganismes, "Aldurix5.db"}};
    for (const Travail &t : tables) {
        if (!common::fichierExistant(CheminPrive + sep + QString::fromLatin1(t.file)).isEmpty()
            && !t.cursor->tableName().isEmpty()) {
            t.cursor->close();
            t.cursor->deleteTable();
        }
    }
    for (const QString &name : common::fichiersCorrespondants(CheminPrive, QStringLiteral("_QSQ*.*")))
        common::SupprimerFichier(CheminPrive + sep + name);
    QrPatient.close();
    QryMedecin.close();
    QryMotConsu.close();
    QryOrganismes.close();
    supprimerVerrous();
}
