#pragma once
#include "app/Interaction.h"
#include "app/Session.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>

// Answers the program's questions from a script and records everything it
// shows, so a whole run can be driven without windows.
class ScriptedInteraction : public Interaction {
public:
    struct Shown {
        Boite kind;
        QString text;
    };
    QList<Shown> messages;    // OK boxes, in order
    QList<Shown> questions;   // Yes/No boxes, in order
    QList<bool> answers;      // consumed in order; when empty, defaultAnswer
    bool defaultAnswer = false;
    QStringList progress;     // every progress text, as shown (with its leading blanks)
    QStringList rapportsGardes;   // every kept report written, by its path
    bool progressOpen = false;
    bool mainEnabled = true;
    int beeps = 0;
    int viewerShown = 0;
    int printed = 0;
    std::function<int()> onSelectPatient;
    std::function<int()> onSelectOrganisme;
    std::function<void()> onViewer;
    std::function<void()> onPrint;
    // The user's "Interrompre": the request is made when a progress text
    // shown (with its leading blanks) and the bar's position satisfy it, as
    // a click during that update would. The run clears the request as it
    // starts, not the condition.
    std::function<bool(const QString &texte, int position)> interrompreSi;
    // Called with the text of every progress display opened.
    std::function<void(const QString &texte)> onDemarrer;
    bool interruption = false;

    void message(Boite kind, const QString &text) override { messages.append({kind, text}); }
    bool question(Boite kind, const QString &text) override;
    void bip(bool) override { ++beeps; }
    void DemarrerProgression(const QString &text, int maximum, int step, int position, bool barVisible) override;
    void UpdateProgression(const QString &text, int maximum, int position) override;
    void ArreterProgression(bool enable) override;
    bool interruptionDemandee() override { return interruption; }
    void effacerInterruption() override { interruption = false; }
    int afficherSelectPatient() override { return onSelectPatient ? onSelectPatient() : 0; }
    int afficherSelectOrganisme() override { return onSelectOrganisme ? onSelectOrganisme() : 0; }
    void afficherResultats() override;
    void imprimerRapport() override;
    // The real kept report, as the program writes it.
    bool enregistrerRapport(Session &session, const QString &chemin, QString *erreur) override;
};

// The engine a case runs on: the SQLite file as prepared, the same practice
// as a directory of Paradox tables, or as a database of the test server
// reached through ODBC (started by tools/test.sh).
enum class Moteur { SQLite, Paradox, Serveur };
Q_DECLARE_METATYPE(Moteur)

// A "moteur" column with one row per engine, for data-driven cases.
void lignesParMoteur();

struct JournalRow {
    QVariant patientId;   // null when empty
    QString patientNom;
    QDateTime date;       // invalid when empty
    QVariant medecinId;
    QString origine;
    int niveau = 0;
    QString action;
};

// A scratch practice: a SQLite practice database with every table, its
// PRAXELLE.VER, a private directory and a program directory with Praxelle.ini
// and the engine configuration.
class PracticeFixture {
public:
    PracticeFixture();
    ~PracticeFixture();

    QString root, base, prive, programme, dbFile;
    QString alias = QStringLiteral("TestPractice");

    // Direct access to the practice database, for preparing a case and
    // checking it: the SQLite file, or its copy on the test server once made.
    QSqlDatabase db();
    void exec(const QString &sql);
    QVariant scalar(const QString &sql);
    QList<QVariantList> rows(const QString &sql);
    // Values: QDateTime and QDate are stored in the practice's date format.
    void insert(const QString &table, const QVariantMap &values);
    void writeVersion(const QStringList &lines);   // replaces PRAXELLE.VER
    void writeIni(const QStringList &lines);       // replaces Praxelle.ini

    // Turns the case prepared in the SQLite file into a directory of Paradox
    // tables (with the marker tables) and points Praxelle.ini at it; the
    // start-up then opens it through the Paradox driver.
    void versParadox();
    QString baseParadox;

    // The same on a fresh database of the test server, opened through a
    // generic ODBC alias; false when no test server runs
    // (ALDURIX_TEST_SERVER is empty).
    bool versServeur();
    QString baseServeur;
    static bool serveurDisponible();
    // SQLite: nothing; Paradox, Serveur: as above.
    bool vers(Moteur m);

    // Starts a session on the practice (runs the start-up); null when it ended the program.
    std::unique_ptr<Session> start(Interaction &ui, int *exitCode = nullptr);
    static QList<JournalRow> journal(Session &s);
    // Rows of a statement run through the session's own connection, as text.
    static QList<QStringList> lignes(Session &s, const QString &sql);

private:
    QTemporaryDir m_dir;
    QString m_conn;
    bool m_moteurChoisi = false;
};

// Skips the case, saying why, when its engine is the absent test server.
#define MOTEUR_OU_PASSER(fixture, moteur)                                                                        \
    do {                                                                                                         \
        if (!(fixture).vers(moteur))                                                                             \
            QSKIP("pas de serveur de test : ALDURIX_TEST_SERVER est vide (tools/test.sh le démarre)");            \
    } while (false)

// The text of a printed PDF as pdftotext reads it, page after page, without
// the number printed at the foot of each page: a description that straddles a
// page break then reads whole, wherever the breaks fall. Empty when pdftotext
// or pdfinfo (poppler-utils) is missing or fails.
QString textePdf(const QString &pdf);

QString fixtureDate(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0);

// The child of a window by the object name the program gives it, as a user's
// script would find it; the test stops when there is none.
template <class W> W *enfant(const QObject *fenetre, const char *nom)
{
    W *w = fenetre->findChild<W *>(QString::fromLatin1(nom));
    if (!w)
        qFatal("%s: no %s named %s", qPrintable(fenetre->objectName()), W::staticMetaObject.className(), nom);
    return w;
}
