#pragma once
#include "db/Query.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class Session;

// "Résultat du traitement": the results journal, one row at a time, by level,
// then origin, then order of writing. Shown modally at the end of a run.
class TFShowRes : public QDialog {
    Q_OBJECT
public:
    explicit TFShowRes(Session &session, QWidget *parent = nullptr);

    // The window's own reading of the journal, on the private directory.
    db::Query Query1{QStringLiteral("Query1")};

    QLabel *LCompteur;
    QLabel *LPatient;
    QLabel *LDateConsultation;
    QLabel *LMedecin;
    QLabel *LTable;
    QLabel *LNiveau;
    QPlainTextEdit *MemoAction;
    QPushButton *BtPrecedent;
    QPushButton *BtSuivant;
    QPushButton *BtFermer;

public slots:
    void BtPrecedentClick();
    void BtSuivantClick();
    void BtFermerClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    // Refreshes every value shown from the current row.
    void DataSource1DataChange();

    Session &s;
};
