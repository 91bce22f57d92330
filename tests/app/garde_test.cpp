#include "support/Fixture.h"
#include "app/Garde.h"
#include "db/DbError.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// What the boundary needs of a modal window.
struct Fenetre {
    std::optional<common::FinProgramme> fin;
    std::optional<int> resultat;
    void done(int r) { resultat = r; }
};

} // namespace

// The boundary of a modal window's handlers.
class GardeTest : public QObject {
    Q_OBJECT

private slots:
    void theEndOfTheProgramClosesTheWindow()
    {
        ScriptedInteraction ui;
        Fenetre f;
        garde::protegerFenetre(f, ui, [] { throw common::FinProgramme{3}; });
        QVERIFY(f.fin);
        QCOMPARE(f.fin->code, 3);
        QCOMPARE(f.resultat, std::optional<int>(ResultatNon));
        QVERIFY(ui.messages.isEmpty());
    }

    void aFailureIsReportedAndTheWindowStays()
    {
        ScriptedInteraction ui;
        Fenetre f;
        garde::protegerFenetre(f, ui, [] { throw db::DbError(u"no such table: CPORG"_s); });
        QVERIFY(!f.fin);
        QVERIFY(!f.resultat);
        QCOMPARE(ui.messages.size(), 1);
        QCOMPARE(ui.messages[0].kind, Boite::Erreur);
        QCOMPARE(ui.messages[0].text, u"no such table: CPORG"_s);

        bool fait = false;
        garde::protegerFenetre(f, ui, [&] { fait = true; });
        QVERIFY(fait);
        QVERIFY(!f.resultat);
        QCOMPARE(ui.messages.size(), 1);
    }
};

QTEST_MAIN(GardeTest)
#include "garde_test.moc"
