#pragma once
#include "app/Progress.h"
#include "support/Fixture.h"

#include <memory>

class Session;
class TFSelectPatient;
class TFSelectOrganisme;

// The answers of the demo practice's whole run, as the tests that compare
// engines or undo a run give them: of the two unknown patients, number 4 is
// reattached to patient 10 and the other created as "Lefèvre Inès"; every
// unknown insurance body is created as the dialog proposes it; the small
// balances are cancelled by the billed amounts; nothing is printed. The
// dialogs live as long as this object.
class ReponsesDemo {
public:
    // naissance: the created patient's birth date as typed, none when empty.
    ReponsesDemo(ScriptedInteraction &ui, Session &s, const QString &naissance = QString());
    ~ReponsesDemo();
    ReponsesDemo(const ReponsesDemo &) = delete;
    ReponsesDemo &operator=(const ReponsesDemo &) = delete;

private:
    Progression m_prog;
    std::unique_ptr<TFSelectPatient> m_patients;
    std::unique_ptr<TFSelectOrganisme> m_caisses;
};

// Every row of every table of the practice, in key order, as text: what a
// restore must give back.
QMap<QString, QList<QStringList>> tablesPratique(Session &s);
