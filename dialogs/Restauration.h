#pragma once
#include "app/Common.h"
#include "db/Restore.h"

#include <QDialog>
#include <QList>
#include <optional>

class QLabel;
class QPushButton;
class QTreeWidget;
class Session;

// "Sauvegardes des traitements": the backups every run made of what it was
// about to change, and the way back to the database as it was before one of
// them.
class TFRestauration : public QDialog {
    Q_OBJECT
public:
    explicit TFRestauration(Session &session, QWidget *parent = nullptr);

    // The caller rethrows it when set: nothing here ends the program, but the
    // session's failures are handled as everywhere else.
    std::optional<common::FinProgramme> fin;

    // The columns of the list.
    enum Colonne { ColDate, ColBase, ColModifies, ColEtat, ColResume };
    void actualiser();
    void BtRestaurerClick();
    void BtCompteRenduClick();

    // The rows left as they were are shown up to this many in the message.
    static constexpr int kLignesMontrees = 30;

private:
    const db::BackupInfo *selection() const;
    void selectionChangee();

    Session &s;
    QList<db::BackupInfo> m_sauvegardes;
    // Widgets; tests find them by these object names.
    QTreeWidget *ListeSauvegardes = nullptr;
    QLabel *LAucuneSauvegarde = nullptr;
    QPushButton *BtRestaurer = nullptr;
    QPushButton *BtCompteRendu = nullptr;
    QPushButton *BtFermer = nullptr;
};
