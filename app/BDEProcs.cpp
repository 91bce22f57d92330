#include "app/Common.h"
#include "app/Session.h"
#include "db/DbError.h"

#include <QDir>

using db::DbError;

namespace {

// The key that scrambles the SQL Server password in PRAXELLE.VER; the
// password encoder of tools/ uses the same one.
const unsigned char kCle[32] = {0x5A, 0x3C, 0x91, 0x0E, 0x77, 0xB4, 0x28, 0xD3, 0x6F, 0x12, 0xE9, 0x45, 0xA0, 0x8B, 0x33, 0xC6,
                                0x1D, 0xF2, 0x64, 0x9A, 0x07, 0x5E, 0xBD, 0x81, 0x4C, 0xE3, 0x2A, 0x96, 0x70, 0x15, 0xCF, 0x38};

// Key byte number n (1 to 32); number 0 is a zero byte, so bytes 32, 64... pass
// unchanged and the last key byte is never used.
unsigned char octetCle(int j)
{
    const int n = j % 32;
    return n == 0 ? 0 : kCle[n - 1];
}

const QString kParadox = QStringLiteral("OrbelisDB_Paradox");
const QString kMsSql = QStringLiteral("OrbelisDB_MSSQL");

} // namespace

int HexVersEntier(const QString &text)
{
    static const QString chiffres = QStringLiteral("0123456789ABCDEF");
    int resultat = 0;
    int poids = 1;
    for (int i = text.size() - 1; i >= 0; --i) {
        const int p = chiffres.indexOf(text[i].toUpper());
        if (p > 0)
            resultat += p * poids;
        poids *= 16;
    }
    return resultat;
}

QString DecoderMotDePasse(const QString &text)
{
    if (text.size() % 2 != 0)
        return QStringLiteral("_");
    QString resultat;
    for (int i = 0; i < text.size(); i += 2) {
        for (int k = 0; k < 2; ++k) {
            const ushort c = text[i + k].unicode();
            if (c < 48 || c > 70)
                return QStringLiteral("_");
        }
        const int j = i / 2 + 1;
        const unsigned char octet = static_cast<unsigned char>(HexVersEntier(text.mid(i, 2)));
        resultat += QChar(static_cast<ushort>(octet ^ octetCle(j)));
    }
    return resultat;
}

QString EncoderMotDePasse(const QString &password)
{
    QString resultat;
    for (int i = 0; i < password.size(); ++i) {
        const ushort c = password[i].unicode();
        if (c > 255)
            throw DbError(QStringLiteral("Le caractère « %1 » ne peut pas figurer dans le mot de passe.").arg(password[i]));
        const unsigned char octet = static_cast<unsigned char>(c) ^ octetCle(i + 1);
        resultat += QStringLiteral("%1").arg(octet, 2, 16, QLatin1Char('0')).toUpper();
    }
    return resultat;
}

bool Session::EstBaseParadox(const QString &directory) const
{
    for (const char *marqueur : {"metatable.db", "metafield.db", "tablelink.db", "patients.db", "medecins.db"})
        if (common::fichierExistant(directory + QString::fromLatin1(marqueur)).isEmpty())
            return false;
    return true;
}

bool Session::InitialiserBase()
{
    bool ok = false;
    try {
        ModeSQL = !EstBaseParadox(CheminBase);
        db::IniFile version(common::fichierExistant(CheminBase + QStringLiteral("PRAXELLE.VER")));
        ok = ParametrerBase(version, DBOrbelis);
        if (ok)
            NomBase = DBOrbelis.databaseName;
    } catch (const std::exception &) {
        ok = false;
    }
    if (!ok)
        ui.message(Boite::Avertissement, QStringLiteral("Impossible d'initialiser la base de données !"));
    return ok;
}

bool Session::ParametrerBase(db::IniFile &version, db::Connection &connection)
{
    const QString k = QStringLiteral("DBKERNEL");
    const int dbType = version.readInteger(k, QStringLiteral("DBType"), -1);
    if (dbType == -1)
        TypeBase = EstBaseParadox(CheminBase) ? 1 : 0;
    else if (dbType == 0 || dbType == 1)
        TypeBase = dbType;
    connection.params.clear();
    db::Engine &engine = db::Engine::instance();
    const QString alias = version.readString(k, QStringLiteral("Alias"));
    const QString programme = common::repertoireProgramme();
    const QChar sep = common::separateur();

    if (TypeBase == 1) {
        common::SupprimerFichier(CheminBase + QStringLiteral("PDOXUSRS.LCK"));
        common::SupprimerFichier(CheminBase + QStringLiteral("PARADOX.LCK"));
        common::SupprimerFichier(programme + QStringLiteral("PDOXUSRS.LCK"));
        common::SupprimerFichier(programme + QStringLiteral("PARADOX.LCK"));
        AjusterReglagesBDE();
        const QString reseau = CheminBase + QStringLiteral("NetWork");
        if (common::repertoireExiste(reseau)) {
            common::SupprimerFichier(reseau + sep + QStringLiteral("PDOXUSRS.NET"));
            try {
                engine.setNetDir(common::fichierExistant(reseau));
            } catch (const DbError &e) {
                ui.bip(true);
                ui.message(Boite::Simple, QStringLiteral("erreur : ") + e.message());
            }
        } else if (QDir().mkdir(QDir::fromNativeSeparators(reseau))) {
            engine.setNetDir(reseau);
        } else {
            engine.setNetDir(CheminBase);
        }
        try {
            if (common::AjouterAntiSlash(engine.privateDir()).toUpper() != programme.toUpper())
                engine.setPrivateDir(programme);
        } catch (const std::exception &) {
        }
        const QString appServer = version.readString(k, QStringLiteral("AppServerPath"));
        if (!appServer.isEmpty())
            QDir().mkpath(QDir::fromNativeSeparators(common::cheminNatif(CheminBase + appServer)));
        if (!alias.isEmpty()) {
            connection.aliasName = alias;
            connection.databaseName = alias;
        } else {
            connection.databaseName = kParadox;
            if (!engine.aliasExists(kParadox))
                engine.addStandardAlias(kParadox, QString(), QStringLiteral("Paradox"));
            connection.params << QStringLiteral("PATH=") + CheminBase;
        }
        return true;
    }

    const QString base = version.readString(k, QStringLiteral("DatabaseName"));
    const QString serveur = version.readString(k, QStringLiteral("ServerName"));
    if (base.isEmpty() || serveur.isEmpty()) {
        if (!alias.isEmpty()) {
            connection.aliasName = alias;
            connection.databaseName = alias;
            return true;
        }
        return false;
    }
    const QString utilisateur = version.readString(k, QStringLiteral("UserName"));
    const QString ligneUtilisateur = QStringLiteral("USER NAME=") + (utilisateur.isEmpty() ? QStringLiteral("sa") : utilisateur);
    const int blobSize = version.readInteger(k, QStringLiteral("BlobSize"), 300);
    const int blobsToCache = version.readInteger(k, QStringLiteral("BlobsToCache"), 10000);
    connection.databaseName = kMsSql;
    if (!engine.aliasExists(kMsSql))
        engine.addAlias(kMsSql, QStringLiteral("MSSQL"),
                        {ligneUtilisateur, QStringLiteral("BLOB SIZE=%1").arg(blobSize),
                         QStringLiteral("BLOBS TO CACHE=%1").arg(blobsToCache), QStringLiteral("LANGDRIVER=BLLT1FR0")});
    connection.loginPrompt = false;
    const QString sapw = version.readString(k, QStringLiteral("SAPW"));
    connection.params << ligneUtilisateur
                      << QStringLiteral("PASSWORD=") + (sapw.isEmpty() ? QStringLiteral("qvtzkr") : DecoderMotDePasse(sapw))
                      << QStringLiteral("BLOB SIZE=%1").arg(blobSize)
                      << QStringLiteral("BLOBS TO CACHE=%1").arg(blobsToCache)
                      << QStringLiteral("DATABASE NAME=") + base << QStringLiteral("SERVER NAME=") + serveur
                      << QStringLiteral("LANGDRIVER=BLLT1FR0");
    return true;
}
