#include "app/Progress.h"

#include <QApplication>
#include <QTest>

// The shared progress window: opened once, reused while open, and the window
// that started the work disabled meanwhile.
class ProgressTest : public QObject {
    Q_OBJECT

private slots:
    void updateWithoutWindowOpensOneWithABar()
    {
        QWidget main;
        Progression p;
        p.mettreAJour(&main, QStringLiteral("  "), QStringLiteral("Étape"), 10, 3);
        QVERIFY(p.ProgressionVisible);
        QVERIFY(p.fenetre());
        QVERIFY(!p.fenetre()->Barre->isHidden());
        QCOMPARE(p.fenetre()->pas, 1);
        QCOMPARE(p.fenetre()->Barre->maximum(), 10);
        QCOMPARE(p.fenetre()->Barre->value(), 3);
        QCOMPARE(p.fenetre()->Panel1->text(), QStringLiteral("  Étape"));
        QVERIFY(!main.isEnabled());
        p.arreter(&main, true);
        QVERIFY(!p.ProgressionVisible);
        QVERIFY(main.isEnabled());
    }

    void startWhileOpenOnlyUpdates()
    {
        QWidget main;
        Progression p;
        p.demarrer(&main, QStringLiteral("  "), QString(), 0, 0, 0, false);
        QCOMPARE(p.fenetre()->Panel1->text(), QStringLiteral("  Veuillez patienter"));
        QVERIFY(p.fenetre()->Barre->isHidden());
        TFProgress *first = p.fenetre();
        p.demarrer(&main, QStringLiteral("  "), QString(), 20, 5, 2, true);
        QCOMPARE(p.fenetre(), first);
        QVERIFY(p.fenetre()->Barre->isHidden());   // visibility and step unchanged
        QCOMPARE(p.fenetre()->pas, 0);
        QCOMPARE(p.fenetre()->Barre->maximum(), 20);
        QCOMPARE(p.fenetre()->Panel1->text(), QStringLiteral("  Veuillez patienter..."));
        QCOMPARE(first->windowTitle(), QStringLiteral("Orbelis Comptabilité Checker"));
        QCOMPARE(first->size(), QSize(506, 65));
        p.arreter(&main, false);
        QVERIFY(!main.isEnabled());   // left disabled between phases
    }

    void stopWithoutWindowOnlySetsTheState()
    {
        QWidget main;
        main.setEnabled(false);
        Progression p;
        p.arreter(&main, true);
        QVERIFY(main.isEnabled());
        QVERIFY(!p.fenetre());
    }

    void dialogPrefix()
    {
        QWidget dialog;
        Progression p;
        p.demarrer(&dialog, QString(28, QLatin1Char(' ')), QString(), 0, 0, 0, false);
        QCOMPARE(p.fenetre()->Panel1->text(), QString(28, QLatin1Char(' ')) + QStringLiteral("Veuillez patienter"));
        p.arreter(&dialog, true);
    }

    // A walk over many rows: the window repaints now and then, not at every
    // row, yet shows the walk's last state; the texts kept stay few.
    void longWalkRepaintsSeldomAndShowsItsEnd()
    {
        struct Peintures : QObject {
            int n = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                n += e->type() == QEvent::Paint;
                return false;
            }
        } peintures;
        QWidget main;
        Progression p;
        p.demarrer(&main, QStringLiteral("  "), QStringLiteral("Parcours"), 0, 0, 0, false);
        p.fenetre()->Panel1->installEventFilter(&peintures);
        const int total = 5000;
        for (int i = 1; i < total; ++i)
            p.mettreAJour(&main, QStringLiteral("  "), QStringLiteral("Parcours (%1/%2)").arg(i).arg(total), total, i);
        const int avantLaFin = peintures.n;
        p.mettreAJour(&main, QStringLiteral("  "), QStringLiteral("Parcours (5000/5000)"), total, total);
        QVERIFY(peintures.n > avantLaFin);
        QVERIFY2(peintures.n >= 1 && peintures.n < total / 10, qPrintable(QString::number(peintures.n)));
        QCOMPARE(p.fenetre()->Panel1->text(), QStringLiteral("  Parcours (5000/5000)"));
        QCOMPARE(p.fenetre()->Barre->value(), total);
        QVERIFY(p.historique.size() <= Progression::kHistorique);
        QCOMPARE(p.historique.last(), QStringLiteral("  Parcours (5000/5000)"));
        p.arreter(&main, true);
    }
};

QTEST_MAIN(ProgressTest)
#include "progress_test.moc"
