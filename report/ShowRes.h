#pragma once
#include <QDialog>

class Session;

// "Résultat du traitement": the results journal, one row at a time.
class TFShowRes : public QDialog {
    Q_OBJECT
public:
    explicit TFShowRes(Session &session, QWidget *parent = nullptr);

private:
    Session &s;
};
