#include "app/Session.h"

#include <QProcess>
#include <QTest>

// The encoder given to administrators writes what the start-up decodes.
class PasswordToolTest : public QObject {
    Q_OBJECT

private slots:
    void encodedThenDecodedGivesThePasswordBack()
    {
        for (const QString &password : {QStringLiteral("qvtzkr"), QStringLiteral("Mot de passe très long, avec des accents et 40 caractères !!")}) {
            QProcess p;
            p.start(QStringLiteral(ALDURIX_BINARY_DIR "/AldurixPassword"), {password});
            QVERIFY(p.waitForFinished(10000));
            QCOMPARE(p.exitCode(), 0);
            const QString line = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
            QVERIFY(line.startsWith(QStringLiteral("SAPW=")));
            QCOMPARE(DecoderMotDePasse(line.mid(5)), password);
        }
    }

    void refusesWhatTheFileCannotHold()
    {
        QProcess p;
        p.start(QStringLiteral(ALDURIX_BINARY_DIR "/AldurixPassword"), {QStringLiteral("€uro")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        QProcess usage;
        usage.start(QStringLiteral(ALDURIX_BINARY_DIR "/AldurixPassword"), {});
        QVERIFY(usage.waitForFinished(10000));
        QCOMPARE(usage.exitCode(), 2);
    }
};

QTEST_GUILESS_MAIN(PasswordToolTest)
#include "password_test.moc"
