#pragma once
#include "app/Common.h"

#include <QDialog>
#include <optional>

class Session;

// "Affectation d'une caisse": creates an insurance body that the accounting lacks.
class TFSelectOrganisme : public QDialog {
    Q_OBJECT
public:
    explicit TFSelectOrganisme(Session &session, QWidget *parent = nullptr);

    std::optional<common::FinProgramme> fin;

private:
    Session &s;
};
