#include "db/IniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace db;

// The practice software's own profile files, written back byte for byte
// except the line the program writes: that program reads them in the
// Windows code page and knows nothing of UTF-8.
class IniFileTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    int n = 0;

    QString fichier(const QByteArray &bytes)
    {
        const QString path = tmp.path() + QStringLiteral("/f%1.ini").arg(++n);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    static QByteArray contenu(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<illisible>");
    }

    // As a practice's PRAXELLE.VER: Windows-1252 accents, CR LF.
    static QByteArray version()
    {
        return QByteArray("; R\xE9glages du cabinet\r\n"
                          "[application]\r\n"
                          "ProgName=Praxelle M\xE9" "decin\r\n"
                          "Titre=Dr L\xE9" "a\r\n"
                          "\r\n"
                          "[Troubles]\r\n"
                          "initbdesettings = 1\r\n");
    }

private slots:
    void windows1252ValuesReadBack()
    {
        IniFile ini(fichier(version() + "[Caisse]\r\nMonnaie=\x80\r\n"));
        QCOMPARE(ini.readString(QStringLiteral("APPLICATION"), QStringLiteral("progname")), QStringLiteral("Praxelle Médecin"));
        QCOMPARE(ini.readString(QStringLiteral("Application"), QStringLiteral("Titre")), QStringLiteral("Dr Léa"));
        // Windows-1252, not Latin-1: 0x80 is the euro sign there.
        QCOMPARE(ini.readString(QStringLiteral("Caisse"), QStringLiteral("Monnaie")), QStringLiteral("€"));
        QCOMPARE(ini.readInteger(QStringLiteral("Troubles"), QStringLiteral("InitBDESettings"), -1), 1);
    }

    // Each write changes its own line only; every other byte, accents and
    // CR LF included, is what the file held.
    void windows1252FileChangedOnlyOnTheLineWritten()
    {
        const QString path = fichier(version());
        IniFile ini(path);

        ini.writeInteger(QStringLiteral("Troubles"), QStringLiteral("InitBDESettings"), 0);
        QByteArray attendu = version();
        attendu.replace("initbdesettings = 1", "initbdesettings=0");   // the key keeps its spelling
        QCOMPARE(contenu(path), attendu);

        ini.writeString(QStringLiteral("application"), QStringLiteral("ProgName"), QStringLiteral("Praxelle Médecin Clément"));
        attendu.replace("ProgName=Praxelle M\xE9" "decin\r\n", "ProgName=Praxelle M\xE9" "decin Cl\xE9ment\r\n");
        QCOMPARE(contenu(path), attendu);

        // A key added to a section: after its last line, before the blank one.
        ini.writeString(QStringLiteral("Application"), QStringLiteral("Ville"), QStringLiteral("Orléans €"));
        attendu.replace("Titre=Dr L\xE9" "a\r\n", "Titre=Dr L\xE9" "a\r\nVille=Orl\xE9" "ans \x80\r\n");
        QCOMPARE(contenu(path), attendu);

        // A section added at the end, after a blank line.
        ini.writeString(QStringLiteral("Réseau"), QStringLiteral("Poste"), QStringLiteral("Accueil"));
        attendu += "\r\n[R\xE9seau]\r\nPoste=Accueil\r\n";
        QCOMPARE(contenu(path), attendu);

        // What was written reads back, in this object and in a new one.
        IniFile relu(path);
        for (const IniFile *i : {&ini, &relu}) {
            QCOMPARE(i->readString(QStringLiteral("application"), QStringLiteral("progname")), QStringLiteral("Praxelle Médecin Clément"));
            QCOMPARE(i->readString(QStringLiteral("APPLICATION"), QStringLiteral("Ville")), QStringLiteral("Orléans €"));
            QCOMPARE(i->readString(QStringLiteral("réseau"), QStringLiteral("poste")), QStringLiteral("Accueil"));
            QCOMPARE(i->readInteger(QStringLiteral("troubles"), QStringLiteral("InitBDESettings"), -1), 0);
        }

        ini.eraseSection(QStringLiteral("RÉSEAU"));   // the case of a non-ASCII letter too
        attendu.chop(QByteArrayLiteral("[R\xE9seau]\r\nPoste=Accueil\r\n").size());
        QCOMPARE(contenu(path), attendu);
    }

    // Line endings as the file has them: mixed, a lone CR, a last line
    // without end-of-line.
    void lineEndingsKept()
    {
        const QString path = fichier("[A]\nx=1\n[B]\r\ny=2\rz=3\r\n[C]\r\nw=Caf\xE9");
        IniFile ini(path);
        QCOMPARE(ini.readString(QStringLiteral("B"), QStringLiteral("z")), QStringLiteral("3"));
        QCOMPARE(ini.readString(QStringLiteral("C"), QStringLiteral("w")), QStringLiteral("Café"));

        ini.writeString(QStringLiteral("B"), QStringLiteral("y"), QStringLiteral("22"));
        QCOMPARE(contenu(path), QByteArray("[A]\nx=1\n[B]\r\ny=22\rz=3\r\n[C]\r\nw=Caf\xE9"));
        // A new line ends as the line above it.
        ini.writeString(QStringLiteral("A"), QStringLiteral("v"), QStringLiteral("0"));
        QCOMPARE(contenu(path), QByteArray("[A]\nx=1\nv=0\n[B]\r\ny=22\rz=3\r\n[C]\r\nw=Caf\xE9"));
        // The last line has none: it gets one, and the file still ends without.
        ini.writeString(QStringLiteral("C"), QStringLiteral("u"), QStringLiteral("é"));
        QCOMPARE(contenu(path), QByteArray("[A]\nx=1\nv=0\n[B]\r\ny=22\rz=3\r\n[C]\r\nw=Caf\xE9\r\nu=\xE9"));
        ini.writeString(QStringLiteral("C"), QStringLiteral("w"), QStringLiteral("Thé"));
        QCOMPARE(contenu(path), QByteArray("[A]\nx=1\nv=0\n[B]\r\ny=22\rz=3\r\n[C]\r\nw=Th\xE9\r\nu=\xE9"));

        // All LF: a new section in LF too.
        const QString lf = fichier("[A]\nx=1\n");
        IniFile seulementLf(lf);
        seulementLf.writeInteger(QStringLiteral("B"), QStringLiteral("y"), 2);
        QCOMPARE(contenu(lf), QByteArray("[A]\nx=1\n\n[B]\ny=2\n"));
    }

    // A UTF-8 file stays UTF-8, its byte-order mark kept.
    void utf8FileStaysUtf8()
    {
        const QByteArray avant("\xEF\xBB\xBF[application]\r\nProgName=Praxelle M\xC3\xA9" "decin\r\n[Troubles]\r\nInitBDESettings=1\r\n");
        const QString path = fichier(avant);
        IniFile ini(path);
        QCOMPARE(ini.readString(QStringLiteral("application"), QStringLiteral("ProgName")), QStringLiteral("Praxelle Médecin"));
        QVERIFY(ini.hasSection(QStringLiteral("APPLICATION")));   // the mark is not part of the first name
        ini.writeInteger(QStringLiteral("Troubles"), QStringLiteral("InitBDESettings"), 0);
        ini.writeString(QStringLiteral("application"), QStringLiteral("Titre"), QStringLiteral("Dr Léa"));
        QCOMPARE(contenu(path), QByteArray("\xEF\xBB\xBF[application]\r\nProgName=Praxelle M\xC3\xA9" "decin\r\nTitre=Dr L\xC3\xA9" "a\r\n"
                                           "[Troubles]\r\nInitBDESettings=0\r\n"));
        QCOMPARE(IniFile(path).readString(QStringLiteral("Application"), QStringLiteral("Titre")), QStringLiteral("Dr Léa"));
    }

    // A new or all-ASCII file is written as the Windows profile API writes:
    // the Windows code page, CR LF.
    void newAndAsciiFilesInTheWindowsCodePage()
    {
        const QString nouveau = tmp.path() + QStringLiteral("/nouveau.ini");
        {
            IniFile ini(nouveau);
            QVERIFY(!ini.exists());
            ini.writeString(QStringLiteral("application"), QStringLiteral("ProgName"), QStringLiteral("Médecin"));
            QVERIFY(ini.exists());
            ini.writeInteger(QStringLiteral("application"), QStringLiteral("Version"), 3);
        }
        QCOMPARE(contenu(nouveau), QByteArray("[application]\r\nProgName=M\xE9" "decin\r\nVersion=3\r\n"));
        QCOMPARE(IniFile(nouveau).readString(QStringLiteral("application"), QStringLiteral("ProgName")), QStringLiteral("Médecin"));

        const QString ascii = fichier("[Troubles]\r\nInitBDESettings=1\r\n");
        IniFile(ascii).writeString(QStringLiteral("Troubles"), QStringLiteral("Note"), QStringLiteral("réglé"));
        QCOMPARE(contenu(ascii), QByteArray("[Troubles]\r\nInitBDESettings=1\r\nNote=r\xE9gl\xE9\r\n"));
    }

    // A character the code page cannot hold: "?" in a Windows-1252 file, as
    // the profile API writes it; an all-ASCII file takes the line in UTF-8,
    // which stays readable whole.
    void charactersOutsideTheCodePage()
    {
        const QString ansi = fichier(version());
        IniFile(ansi).writeString(QStringLiteral("application"), QStringLiteral("Titre"), QStringLiteral("Dr Łukasz 😀"));
        QByteArray attendu = version();
        attendu.replace("Titre=Dr L\xE9" "a", "Titre=Dr ?ukasz ?");
        QCOMPARE(contenu(ansi), attendu);

        const QString ascii = fichier("[A]\r\nx=1\r\n");
        IniFile(ascii).writeString(QStringLiteral("A"), QStringLiteral("nom"), QStringLiteral("Łukasz"));
        QCOMPARE(contenu(ascii), QByteArray("[A]\r\nx=1\r\nnom=\xC5\x81ukasz\r\n"));
        QCOMPARE(IniFile(ascii).readString(QStringLiteral("A"), QStringLiteral("nom")), QStringLiteral("Łukasz"));
    }
};

QTEST_MAIN(IniFileTest)
#include "inifile_test.moc"
