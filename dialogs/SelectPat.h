#pragma once
#include "app/Common.h"

#include <QDialog>
#include <optional>

class Session;
class Progression;

// "Affectation d'un patient": settles the accounting of an unknown patient number.
class TFSelectPatient : public QDialog {
    Q_OBJECT
public:
    TFSelectPatient(Session &session, Progression &progression, QWidget *parent = nullptr);

    // Set when an action ended the program; the caller of exec() rethrows it.
    std::optional<common::FinProgramme> fin;

private:
    Session &s;
    Progression &prog;
};
