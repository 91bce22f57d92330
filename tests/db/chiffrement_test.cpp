#include "db/DbError.h"
#include "db/Engine.h"
#include "db/backends/OdbcBackend.h"

#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace db;

namespace {

// What a SQL Server that offers no encryption at all sees of a login
// through FreeTDS: the first packet (pre-login) says what the client asks
// for; the second, if any, is the login with the user's password.
struct ServeurSansChiffrement {
    int ecoute = -1;
    quint16 port = 0;
    std::thread fil;
    std::atomic<int> demande{-1};        // the client's encryption byte: 0 if offered, 1 required, 2 never
    std::atomic<int> paquetSuivant{-1};  // type of the packet after pre-login; 0 when the client hung up

    ServeurSansChiffrement()
    {
        ecoute = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (::bind(ecoute, reinterpret_cast<sockaddr *>(&a), n) != 0 || ::listen(ecoute, 1) != 0
            || ::getsockname(ecoute, reinterpret_cast<sockaddr *>(&a), &n) != 0)
            qFatal("no listening socket");
        port = ntohs(a.sin_port);
        fil = std::thread([this] { servir(); });
    }
    ~ServeurSansChiffrement()
    {
        attendre();
        ::close(ecoute);
    }
    void attendre()
    {
        if (fil.joinable())
            fil.join();
    }

    static bool lire(int s, char *buf, int n)
    {
        for (int lu = 0; lu < n;) {
            pollfd p{s, POLLIN, 0};
            if (::poll(&p, 1, 15000) <= 0)
                return false;
            const ssize_t r = ::recv(s, buf + lu, size_t(n - lu), 0);
            if (r <= 0)
                return false;
            lu += int(r);
        }
        return true;
    }

    void servir()
    {
        pollfd p{ecoute, POLLIN, 0};
        if (::poll(&p, 1, 15000) <= 0)
            return;
        const int s = ::accept(ecoute, nullptr, nullptr);
        char entete[8];
        char corps[4096];
        if (lire(s, entete, 8)) {
            const int longueur = (uchar(entete[2]) << 8 | uchar(entete[3])) - 8;
            if (longueur > 0 && longueur <= int(sizeof corps) && lire(s, corps, longueur)) {
                // Options: token, offset, length; 0xFF ends them. Token 1 is encryption.
                for (int i = 0; i + 5 <= longueur && uchar(corps[i]) != 0xFF; i += 5) {
                    const int offset = uchar(corps[i + 1]) << 8 | uchar(corps[i + 2]);
                    if (corps[i] == 1 && offset < longueur)
                        demande = uchar(corps[offset]);
                }
                // The answer: version 11.0, encryption not supported (2).
                const uchar reponse[] = {4, 1, 0, 26, 0, 0, 1, 0, 0, 0, 11, 0, 6, 1, 0, 17, 0, 1, 0xFF, 11, 0, 0x0C, 0x38, 0, 0, 2};
                ::send(s, reponse, sizeof reponse, 0);
                paquetSuivant = lire(s, entete, 1) ? uchar(entete[0]) : 0;
            }
        }
        ::close(s);
    }
};

} // namespace

// The SQL Server login through FreeTDS: encrypted whenever the server can,
// refused without encryption when the alias requires it.
class ChiffrementTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;

    // Opens the alias against the server, which always refuses (it knows
    // no login): what is looked at is what the driver sent it. False when
    // the FreeTDS driver is not installed.
    static bool ouvrir(const QString &alias, const QStringList &lignes, quint16 port, QString *erreur)
    {
        const QStringList params = {QStringLiteral("SERVER NAME=127.0.0.1,%1").arg(port), QStringLiteral("DATABASE NAME=Orbelis"),
                                    QStringLiteral("USER NAME=sa"), QStringLiteral("PASSWORD=secret")};
        Engine::instance().addAlias(alias, QStringLiteral("MSSQL"), params + lignes);
        Connection c;
        c.databaseName = alias;
        try {
            c.open();
            *erreur = QStringLiteral("connecté");
        } catch (const DbError &e) {
            *erreur = e.message();
        }
        return !erreur->contains(QStringLiteral("Can't open lib")) && !erreur->contains(QStringLiteral("not found"));
    }

private slots:
    void initTestCase() { Engine::instance().setConfigFile(tmp.path() + QStringLiteral("/engine.cfg")); }

    void connectionStrings()
    {
        QCOMPARE(odbcConnectionString(QStringLiteral("srv"), QStringLiteral("Base"), QStringLiteral("sa"), QStringLiteral("pw")),
                 QStringLiteral("DRIVER={FreeTDS};SERVER={srv};PORT=1433;DATABASE={Base};UID={sa};PWD={pw};"
                                "TDS_Version=7.3;ClientCharset=UTF-8;Encryption=request"));
        const auto chiffrement = [](const QString &reglage) {
            const QString s = odbcConnectionString(QStringLiteral("srv"), {}, {}, {}, reglage);
            return s.mid(s.lastIndexOf(QLatin1Char(';')) + 1);
        };
        QCOMPARE(chiffrement(QString()), QStringLiteral("Encryption=request"));
        QCOMPARE(chiffrement(QStringLiteral("  ")), QStringLiteral("Encryption=request"));
        QCOMPARE(chiffrement(QStringLiteral(" Require ")), QStringLiteral("Encryption=require"));
        QCOMPARE(chiffrement(QStringLiteral("REQUEST")), QStringLiteral("Encryption=request"));
        QCOMPARE(chiffrement(QStringLiteral("off")), QStringLiteral("Encryption=off"));
        // Anything else is refused, not passed on: a misspelt "require"
        // must not connect without encryption, nor add a key of its own.
        for (const QString &faux : {QStringLiteral("requis"), QStringLiteral("yes"), QStringLiteral("require;Encryption=off")}) {
            try {
                chiffrement(faux);
                QFAIL(qPrintable(faux + QStringLiteral(" accepted")));
            } catch (const DbError &e) {
                QVERIFY2(e.message().contains(QStringLiteral("ENCRYPTION")) && e.message().contains(QStringLiteral("« ") + faux + QStringLiteral(" »")),
                         qPrintable(e.message()));
            }
        }
    }

    void serverOfferingNoEncryption_data()
    {
        QTest::addColumn<QStringList>("lignes");
        QTest::addColumn<int>("demande");
        QTest::addColumn<int>("paquet");
        // Pre-login byte 0: the client can encrypt, and does, the login at
        // least, whenever the server can. A server that cannot still gets
        // the login (packet 0x10), scrambled only, as before.
        QTest::newRow("par défaut") << QStringList() << 0 << 0x10;
        QTest::newRow("request") << QStringList{QStringLiteral("ENCRYPTION=request")} << 0 << 0x10;
        // Byte 1: encryption required; no login leaves without it.
        QTest::newRow("require") << QStringList{QStringLiteral("ENCRYPTION=REQUIRE")} << 1 << 0;
        // Byte 2: never encrypted, for a server whose TLS the driver cannot speak.
        QTest::newRow("off") << QStringList{QStringLiteral("ENCRYPTION=off")} << 2 << 0x10;
    }

    // Through the alias, as the program opens it: the setting reaches the
    // driver, which behaves as asked towards a server that offers none.
    void serverOfferingNoEncryption()
    {
        QFETCH(QStringList, lignes);
        QFETCH(int, demande);
        QFETCH(int, paquet);
        ServeurSansChiffrement srv;
        QString erreur;
        const bool pilote = ouvrir(QStringLiteral("Sql_") + QString::fromUtf8(QTest::currentDataTag()), lignes, srv.port, &erreur);
        srv.attendre();
        if (!pilote)
            QSKIP(qPrintable(QStringLiteral("pilote FreeTDS absent : ") + erreur));
        QVERIFY2(erreur != QStringLiteral("connecté"), "connected to a server that knows no login");
        QCOMPARE(srv.demande.load(), demande);
        QCOMPARE(srv.paquetSuivant.load(), paquet);
    }

    // A wrong setting stops the opening before anything is sent.
    void unknownSettingRefusedBeforeConnecting()
    {
        QString erreur;
        QVERIFY(ouvrir(QStringLiteral("SqlFaux"), {QStringLiteral("ENCRYPTION=obligatoire")}, 1, &erreur));
        QVERIFY2(erreur.startsWith(QStringLiteral("Réglage ENCRYPTION de l'alias inconnu : « obligatoire ».")), qPrintable(erreur));
    }
};

QTEST_MAIN(ChiffrementTest)
#include "chiffrement_test.moc"
