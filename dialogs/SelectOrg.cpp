#include "dialogs/SelectOrg.h"
#include "app/Session.h"

TFSelectOrganisme::TFSelectOrganisme(Session &session, QWidget *parent) : QDialog(parent), s(session)
{
    setObjectName(QStringLiteral("TFSelectOrganisme"));
    setWindowTitle(QStringLiteral("Affectation d'une caisse"));
}
