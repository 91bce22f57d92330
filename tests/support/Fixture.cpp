#include "Fixture.h"
#include "report/RapportPdf.h"
#include "app/Common.h"
#include "db/IniFile.h"
#include "db/DbError.h"
#include "db/Engine.h"
#include "db/Formats.h"
#include "db/Query.h"
#include "db/backends/SqliteBackend.h"
#include "db/paradox/ParadoxDriver.h"
#include "tools/demo/PracticeSchema.h"
#include "tools/demo/ServerPractice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

bool ScriptedInteraction::question(Boite kind, const QString &text)
{
    questions.append({kind, text});
    if (answers.isEmpty())
        return defaultAnswer;
    return answers.takeFirst();
}

void ScriptedInteraction::DemarrerProgression(const QString &text, int maximum, int, int position, bool)
{
    if (onDemarrer)
        onDemarrer(text);
    if (progressOpen) {
        UpdateProgression(text, maximum, position);
        return;
    }
    mainEnabled = false;
    progressOpen = true;
    progress << QStringLiteral("  ") + (text.isEmpty() ? QStringLiteral("Veuillez patienter") : text);
    if (interrompreSi && interrompreSi(progress.last(), position))
        interruption = true;
}

void ScriptedInteraction::UpdateProgression(const QString &text, int maximum, int position)
{
    if (!progressOpen) {
        DemarrerProgression(text, maximum, 1, position, true);
        return;
    }
    const QString t = QStringLiteral("  ") + (text.isEmpty() ? QStringLiteral("Veuillez patienter...") : text);
    if (progress.isEmpty() || progress.last() != t)
        progress << t;
    if (interrompreSi && interrompreSi(t, position))
        interruption = true;
}

void ScriptedInteraction::ArreterProgression(bool enable)
{
    progressOpen = false;
    mainEnabled = enable;
}

void ScriptedInteraction::afficherResultats()
{
    ++viewerShown;
    if (onViewer)
        onViewer();
}

bool ScriptedInteraction::enregistrerRapport(Session &session, const QString &chemin, QString *erreur)
{
    rapportsGardes << chemin;
    return enregistrerRapportPdf(session, chemin, erreur);
}

void ScriptedInteraction::imprimerRapport()
{
    ++printed;
    if (onPrint)
        onPrint();
}

QString fixtureDate(int y, int m, int d, int hh, int mm, int ss)
{
    return db::formats::storageText(QDateTime(QDate(y, m, d), QTime(hh, mm, ss)));
}

static int g_fixtures = 0;

PracticeFixture::PracticeFixture()
{
    if (qEnvironmentVariable("ALDURIX_MOTEUR") == QLatin1String("serveur") && !serveurDisponible()) {
        // CTest's code for a skipped test.
        fprintf(stderr, "Sauté : pas de serveur de test (ALDURIX_TEST_SERVER est vide ; tools/test.sh le démarre).\n");
        std::exit(77);
    }
    root = m_dir.path();
    base = root + QStringLiteral("/Base");
    prive = root + QStringLiteral("/Private");
    programme = root + QStringLiteral("/Programme");
    QDir().mkpath(base);
    QDir().mkpath(prive);
    QDir().mkpath(programme);
    dbFile = base + QStringLiteral("/PRACTICE.SQLITE");
    m_conn = QStringLiteral("fixture#%1").arg(++g_fixtures);
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_conn);
    d.setDatabaseName(dbFile);
    if (!d.open())
        qFatal("cannot create the scratch practice database");
    demo::createPracticeTables(d);
    writeVersion({QStringLiteral("[DBKERNEL]"), QStringLiteral("DBType=0"), QStringLiteral("Alias=") + alias,
                  QStringLiteral("[Application]"), QStringLiteral("ProgName=Praxelle")});
    writeIni({QStringLiteral("[DataBase]"), QStringLiteral("Server=") + base, QStringLiteral("Private=") + prive});
    db::Engine::instance().setConfigFile(programme + QStringLiteral("/AldurixEngine.cfg"));
    db::Engine::instance().addAlias(alias, QStringLiteral("SQLITE"), {QStringLiteral("PATH=") + dbFile});
    common::definirRepertoireProgramme(programme);
}

PracticeFixture::~PracticeFixture()
{
    db::formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    for (const QString &c : {m_conn + QStringLiteral("-serveur"), m_conn}) {
        {
            QSqlDatabase d = QSqlDatabase::database(c, false);
            d.close();
        }
        QSqlDatabase::removeDatabase(c);
    }
    if (!baseServeur.isEmpty())
        demo::dropServerDatabase(qEnvironmentVariable("ALDURIX_TEST_SERVER"), baseServeur);
}

QSqlDatabase PracticeFixture::db()
{
    return QSqlDatabase::database(baseServeur.isEmpty() ? m_conn : m_conn + QStringLiteral("-serveur"));
}

void PracticeFixture::exec(const QString &sql)
{
    QSqlQuery q(db());
    if (!q.exec(sql))
        QTest::qFail(qPrintable(QStringLiteral("%1: %2").arg(sql, q.lastError().text())), __FILE__, __LINE__);
}

QVariant PracticeFixture::scalar(const QString &sql)
{
    QSqlQuery q(db());
    if (!q.exec(sql) || !q.next())
        return QVariant();
    return q.value(0);
}

QList<QVariantList> PracticeFixture::rows(const QString &sql)
{
    QList<QVariantList> out;
    QSqlQuery q(db());
    if (!q.exec(sql)) {
        QTest::qFail(qPrintable(QStringLiteral("%1: %2").arg(sql, q.lastError().text())), __FILE__, __LINE__);
        return out;
    }
    while (q.next()) {
        QVariantList r;
        for (int i = 0; i < q.record().count(); ++i)
            r << q.value(i);
        out << r;
    }
    return out;
}

void PracticeFixture::insert(const QString &table, const QVariantMap &values)
{
    QStringList cols, holders;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        cols << it.key();
        holders << QStringLiteral("?");
    }
    QSqlQuery q(db());
    q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, cols.join(QLatin1Char(',')), holders.join(QLatin1Char(','))));
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        q.addBindValue(baseServeur.isEmpty() ? db::SqliteBackend::storageValue(it.value()) : it.value());
    if (!q.exec())
        QTest::qFail(qPrintable(QStringLiteral("insert into %1: %2").arg(table, q.lastError().text())), __FILE__, __LINE__);
}

static void writeLines(const QString &path, const QStringList &lines)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

void PracticeFixture::writeVersion(const QStringList &lines) { writeLines(base + QStringLiteral("/PRAXELLE.VER"), lines); }
void PracticeFixture::writeIni(const QStringList &lines) { writeLines(programme + QStringLiteral("/Praxelle.ini"), lines); }

void PracticeFixture::versParadox()
{
    baseParadox = root + QStringLiteral("/BaseParadox");
    QDir().mkpath(baseParadox);
    db::paradox::exportSqliteDatabase(db(), baseParadox, demo::practiceSecondaryIndexes());
    QFile::copy(base + QStringLiteral("/PRAXELLE.VER"), baseParadox + QStringLiteral("/PRAXELLE.VER"));
    db::IniFile ver(baseParadox + QStringLiteral("/PRAXELLE.VER"));
    ver.eraseSection(QStringLiteral("DBKERNEL"));
    ver.writeInteger(QStringLiteral("DBKERNEL"), QStringLiteral("DBType"), 1);
    writeIni({QStringLiteral("[DataBase]"), QStringLiteral("Server=") + baseParadox, QStringLiteral("Private=") + prive});
}

bool PracticeFixture::serveurDisponible() { return !qEnvironmentVariable("ALDURIX_TEST_SERVER").isEmpty(); }

static int g_serveurs = 0;

bool PracticeFixture::versServeur()
{
    const QString serveur = qEnvironmentVariable("ALDURIX_TEST_SERVER");
    if (serveur.isEmpty())
        return false;
    baseServeur = QStringLiteral("aldurix_%1_%2").arg(QCoreApplication::applicationPid()).arg(++g_serveurs);
    demo::createServerDatabase(serveur, baseServeur);
    // From now on the case is read and changed on the server.
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_conn + QStringLiteral("-serveur"));
    d.setDatabaseName(demo::withDatabase(serveur, baseServeur));
    if (!d.open())
        qFatal("cannot open the test server's database: %s", qPrintable(d.lastError().text()));
    demo::exportToServer(QSqlDatabase::database(m_conn), d);
    // The cases check their results with SQLite's group_concat; the server
    // gets one of its own, in the order rows are read.
    QSqlQuery q(d);
    for (const char *sql : {"CREATE FUNCTION dbo.concat_suivant(text, anyelement) RETURNS text LANGUAGE sql IMMUTABLE AS "
                            "$$ SELECT CASE WHEN $2 IS NULL THEN $1 WHEN $1 IS NULL THEN $2::text ELSE $1 || ',' || $2::text END $$",
                            "CREATE AGGREGATE dbo.group_concat(anyelement) (SFUNC = dbo.concat_suivant, STYPE = text)"})
        if (!q.exec(QString::fromLatin1(sql)))
            qFatal("%s: %s", sql, qPrintable(q.lastError().text()));
    const QString aliasServeur = alias + QStringLiteral("_Serveur");
    db::Engine::instance().addAlias(aliasServeur, QStringLiteral("ODBC"),
                                    demo::aliasLines(demo::withDatabase(serveur, baseServeur)));
    db::IniFile ver(base + QStringLiteral("/PRAXELLE.VER"));
    ver.writeString(QStringLiteral("DBKERNEL"), QStringLiteral("Alias"), aliasServeur);
    return true;
}

bool PracticeFixture::vers(Moteur m)
{
    m_moteurChoisi = true;
    switch (m) {
    case Moteur::SQLite: return true;
    case Moteur::Paradox: versParadox(); return true;
    case Moteur::Serveur: return versServeur();
    }
    return false;
}

void lignesParMoteur()
{
    QTest::addColumn<Moteur>("moteur");
    QTest::newRow("SQLite") << Moteur::SQLite;
    QTest::newRow("Paradox") << Moteur::Paradox;
    QTest::newRow("serveur") << Moteur::Serveur;
}

QList<QStringList> PracticeFixture::lignes(Session &s, const QString &sql)
{
    db::Query q;
    q.setDatabaseName(s.NomBase);
    q.addLine(sql);
    q.open();
    QList<QStringList> out;
    for (; !q.eof(); q.next()) {
        QStringList r;
        for (int i = 0; i < q.fieldCount(); ++i)
            r << q.field(i).asString();
        out << r;
    }
    return out;
}

std::unique_ptr<Session> PracticeFixture::start(Interaction &ui, int *exitCode)
{
    // The whole suite again on the test server: a case that did not choose
    // its engine runs there.
    if (!m_moteurChoisi && baseParadox.isEmpty() && baseServeur.isEmpty()
        && qEnvironmentVariable("ALDURIX_MOTEUR") == QLatin1String("serveur") && !versServeur())
        qFatal("ALDURIX_MOTEUR=serveur without a test server (ALDURIX_TEST_SERVER)");
    db::Engine::instance().setConfigFile(programme + QStringLiteral("/AldurixEngine.cfg"));
    common::definirRepertoireProgramme(programme);
    auto s = std::make_unique<Session>(ui);
    try {
        s->FormCreate();
    } catch (const common::FinProgramme &f) {
        if (exitCode)
            *exitCode = f.code;
        return nullptr;
    }
    if (exitCode)
        *exitCode = -1;
    return s;
}

QList<JournalRow> PracticeFixture::journal(Session &s)
{
    QList<JournalRow> out;
    for (const Journal::Lue &l : s.journal.lignes()) {
        JournalRow r;
        r.patientId = l.patientId.isNull() ? QVariant() : QVariant(l.patientId.asInteger());
        r.patientNom = l.patientNom.asString();
        if (!l.date.isNull())
            r.date = l.date.asDateTime();
        r.medecinId = l.medecinId.isNull() ? QVariant() : QVariant(l.medecinId.asInteger());
        r.origine = l.origine.asString();
        r.niveau = int(l.niveau.asInteger());
        r.action = l.action.asString();
        out << r;
    }
    return out;
}

QString textePdf(const QString &pdf)
{
    auto lancer = [](const QString &programme, const QStringList &arguments, QString *sortie) {
        QProcess p;
        p.start(programme, arguments);
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return false;
        *sortie = QString::fromUtf8(p.readAllStandardOutput());
        return true;
    };
    QString info;
    if (!lancer(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                            QString::number(INT_MAX), pdf},
                &info))
        return QString();
    // The report is laid out 2 cm inside the printer's page, and its number
    // printed in that bottom margin, a few points below the text. pdftotext
    // keeps a line when its baseline is inside the area read: the page less
    // its bottom 2 cm keeps every line of text and leaves the number out,
    // for a printer's own margin up to 5 mm (a PDF printer's is 10 points).
    const double deuxCm = 2 / 2.54 * 72;
    static const QRegularExpression taille(QStringLiteral("^Page +(\\d+) size: +([\\d.]+) x ([\\d.]+) pts"),
                                           QRegularExpression::MultilineOption);
    QStringList pages;
    for (auto it = taille.globalMatch(info); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString texte;
        if (!lancer(QStringLiteral("pdftotext"),
                    {QStringLiteral("-enc"), QStringLiteral("UTF-8"), QStringLiteral("-f"), m.captured(1),
                     QStringLiteral("-l"), m.captured(1), QStringLiteral("-r"), QStringLiteral("72"),
                     QStringLiteral("-x"), QStringLiteral("0"), QStringLiteral("-y"), QStringLiteral("0"),
                     QStringLiteral("-W"), QString::number(int(std::ceil(m.captured(2).toDouble()))),
                     QStringLiteral("-H"), QString::number(int(m.captured(3).toDouble() - deuxCm)), pdf,
                     QStringLiteral("-")},
                    &texte))
            return QString();
        // pdftotext ends the page with a form feed.
        if (texte.endsWith(QLatin1Char('\f')))
            texte.chop(1);
        pages << texte;
    }
    return pages.join(QLatin1Char('\n'));
}
