#pragma once
// One unknown-patient case with the patient dialog, for the tests of the
// dialog and of the phase that shows it.
#include "support/CasCompta.h"
#include "app/Progress.h"
#include "dialogs/SelectPat.h"

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>

// The case, and the dialog shown on it as the phase shows it.
struct Cas : CasCompta {
    Progression prog;
    std::unique_ptr<TFSelectPatient> d;

    bool demarrer()
    {
        if (!CasCompta::demarrer())
            return false;
        d = std::make_unique<TFSelectPatient>(*s, prog, nullptr);
        return true;
    }
    void positionner(qint64 inconnu)
    {
        CasCompta::positionner(inconnu);
        d->FormShow();
    }
    template <class W = QWidget> W *w(const char *nom) const { return enfant<W>(d.get(), nom); }
    QString texte(const char *label) const { return w<QLabel>(label)->text(); }
    QComboBox *liste() const { return w<QComboBox>("CBPatients_existant"); }
    QStringList items() const
    {
        QStringList out;
        for (int i = 0; i < liste()->count(); ++i)
            out << liste()->itemText(i);
        return out;
    }
    void choisir(qint64 patient) { liste()->setCurrentIndex(liste()->findData(patient)); }
};

inline void montrer(TFSelectPatient &d)
{
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));
}
