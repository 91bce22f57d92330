#include "dialogs/SelectPat.h"
#include "app/Progress.h"
#include "app/Session.h"

TFSelectPatient::TFSelectPatient(Session &session, Progression &progression, QWidget *parent)
    : QDialog(parent), s(session), prog(progression)
{
    setObjectName(QStringLiteral("TFSelectPatient"));
    setWindowTitle(QStringLiteral("Affectation d'un patient"));
}
