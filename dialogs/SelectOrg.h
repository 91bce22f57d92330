#pragma once
#include "app/Common.h"
#include "db/Query.h"

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class Session;

// "Affectation d'une caisse": creates an insurance body that the accounting
// lacks. The caller leaves the case in the session: QryCPMain positioned on
// the row of the unknown number, its tag telling the kind of reference
// (1 principal, 2 complementary body of CPMAIN; 3, 4 a tiers-payant statement
// whose body is, or is not, a principal body of CPMAIN). It ends with the
// result 1 when the body was created, 7 when its creation failed; it cannot
// be cancelled.
class TFSelectOrganisme : public QDialog {
    Q_OBJECT
public:
    explicit TFSelectOrganisme(Session &session, QWidget *parent = nullptr);

    // Nothing in this dialog ends the program; the caller handles both
    // dialogs alike and rethrows it when set.
    std::optional<common::FinProgramme> fin;

    void FormCreate();
    void FormShow();
    void BtValiderClick();
    void SBListeClick();
    void EdCPClick();
    void EDVilleClick();
    // True when the key was handled.
    bool EDCodeKeyPress(int key);
    bool EdNomKeyPress(int key);

    // The text of a telephone field as stored: the pairs with their blanks,
    // a blank for every digit not entered (14 blanks when untouched).
    static QString texteMasque(const QLineEdit *edit);

public slots:
    // Neither Escape nor the window frame closes the dialog: each case is
    // settled by "Valider".
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Widgets; tests find them by these object names.
    QLabel *Panel1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *EDCode = nullptr;
    QLineEdit *EdNom = nullptr;
    QLineEdit *EDTauxDef = nullptr;
    QPlainTextEdit *EDAdresse = nullptr;
    QLineEdit *EdCP = nullptr;
    QLineEdit *EDVille = nullptr;
    QLineEdit *EDTelephone = nullptr;
    QLineEdit *EDFax = nullptr;
    QPlainTextEdit *EDComments = nullptr;
    QPushButton *BtValider = nullptr;
    QToolButton *SBListe = nullptr;

    bool principal() const;
    // A telephone field holding some digits but not all of them.
    static bool saisieIncomplete(const QLineEdit *edit);
    bool refuserSaisie(QLineEdit *edit);   // true when refused (error shown, focus back)

    Session &s;
    db::Query Query2{QStringLiteral("Query2")};
    QString m_avantSaisie;   // text of a telephone field when it was entered, for Escape
    bool m_retourSaisie = false;   // a refused field is taking the focus back
};
