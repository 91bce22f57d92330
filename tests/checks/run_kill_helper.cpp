// A whole run in a process of its own, killed outright (SIGKILL, as a power
// cut or the task manager would) at a chosen row of a chosen phase: what a
// run leaves behind when it never ends. Usage:
//   run_kill_helper <program dir> <progress text> <row>
// The run starts on the practice of the program directory's Praxelle.ini;
// the dialogs are declined (the run goes on without them). Exits 3 when the
// row was never reached.
#include "support/Fixture.h"
#include "app/Common.h"
#include "app/Session.h"
#include "checks/CheckRun.h"
#include "db/Engine.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

class Tueur : public ScriptedInteraction {
public:
    QString texte;
    int rang = 0;
    void UpdateProgression(const QString &text, int maximum, int position) override
    {
        ScriptedInteraction::UpdateProgression(text, maximum, position);
        // What the parent shows when the row is never reached.
        std::printf("%s\n", text.toUtf8().constData());
        if (text.contains(texte) && position == rang) {
            std::fflush(nullptr);
            ::kill(::getpid(), SIGKILL);
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: run_kill_helper <program dir> <progress text> <row>\n");
        return 2;
    }
    const QString programme = QString::fromLocal8Bit(argv[1]);
    db::Engine::instance().setConfigFile(programme + QStringLiteral("/AldurixEngine.cfg"));
    common::definirRepertoireProgramme(programme);
    Tueur ui;
    ui.texte = QString::fromUtf8(argv[2]);
    ui.rang = QString::fromLocal8Bit(argv[3]).toInt();
    try {
        Session s(ui);
        s.FormCreate();
        CheckRun run(s);
        run.BtValiderClick();
    } catch (const common::FinProgramme &) {
    }
    return 3;
}
