#include "db/DbError.h"
#include "db/Engine.h"
#include "db/RunBackup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// What a backup says of the database it belongs to: enough to refuse a
// restore on another one, never the login's password.
class RunBackupTest : public QObject {
    Q_OBJECT

private slots:
    void theServerPasswordIsNeverKept()
    {
        QTemporaryDir dir;
        db::Engine::instance().setConfigFile(dir.filePath(QStringLiteral("AldurixEngine.cfg")));
        db::Engine::instance().addAlias(QStringLiteral("Cabinet"), QStringLiteral("MSSQL"),
                                        {QStringLiteral("SERVER NAME=srv-cabinet"), QStringLiteral("DATABASE NAME=Orbelis"),
                                         QStringLiteral("USER NAME=sa"), QStringLiteral("PASSWORD=Tr3sS3cret")});
        db::Connection c(QStringLiteral("DBOrbelis"));
        c.aliasName = QStringLiteral("Cabinet");
        c.params << QStringLiteral("PASSWORD=Tr3sS3cret");
        const db::DatabaseIdentity id = db::identityOf(c);
        QCOMPARE(id.engine, QStringLiteral("MSSQL"));
        QCOMPARE(id.location, QStringLiteral("srv-cabinet / Orbelis"));
        QCOMPARE(id.text(), QStringLiteral("SQL Server : srv-cabinet / Orbelis"));
        QString fichier;
        {
            db::RunBackup b(dir.filePath(QStringLiteral("Sauvegardes")), id, QDateTime(QDate(2026, 12, 8), QTime(22, 52, 33)));
            fichier = b.file();
            QCOMPARE(QFileInfo(fichier).fileName(), QStringLiteral("Aldurix_2026-12-08_22-52-33_Orbelis.sqlite"));
            b.keepJournal(QStringLiteral("1 ligne : 1 pour information."), {{3, QStringLiteral("Comptabilité"), QStringLiteral("x")}});
            b.finish(QStringLiteral("terminé"));
        }
        // The file and whatever the engine left beside it.
        for (const QString &f : QDir(QFileInfo(fichier).absolutePath()).entryList(QDir::Files)) {
            QFile in(QFileInfo(fichier).absoluteDir().filePath(f));
            QVERIFY(in.open(QIODevice::ReadOnly));
            const QByteArray bytes = in.readAll();
            QVERIFY2(!bytes.contains("Tr3sS3cret"), qPrintable(f));
            QVERIFY2(!bytes.contains(QString(QStringLiteral("Tr3sS3cret")).toUtf8().toHex()), qPrintable(f));
        }
    }

    // Two runs in the same second get two files.
    void namesNeverCollide()
    {
        QTemporaryDir dir;
        db::DatabaseIdentity id{QStringLiteral("SQLITE"), QStringLiteral("/tmp/x.sqlite"), QStringLiteral("x")};
        const QDateTime t(QDate(2026, 12, 8), QTime(10, 0, 0));
        db::RunBackup a(dir.path(), id, t);
        db::RunBackup b(dir.path(), id, t);
        QVERIFY(a.file() != b.file());
        QVERIFY(QFileInfo::exists(a.file()) && QFileInfo::exists(b.file()));
    }
};

QTEST_GUILESS_MAIN(RunBackupTest)
#include "runbackup_test.moc"
