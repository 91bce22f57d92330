#pragma once
#include "app/Common.h"
#include "checks/Journal.h"

#include <QDialog>
#include <optional>
#include <vector>

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

    // Set when a handler ended the program; the caller of exec() rethrows it.
    std::optional<common::FinProgramme> fin;

public slots:
    void BtPrecedentClick();
    void BtSuivantClick();
    void BtFermerClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Widgets; tests find them by these object names.
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

    void FormShow();
    // Refreshes every value shown from the current row.
    void DataSource1DataChange();

    Session &s;
    // The journal as read when the window was shown, and the row shown (from 1; 0 when empty).
    std::vector<Journal::Lue> m_lignes;
    int m_rang = 0;
};
