#include "report/ShowRes.h"
#include "app/Session.h"

TFShowRes::TFShowRes(Session &session, QWidget *parent) : QDialog(parent), s(session)
{
    setObjectName(QStringLiteral("TFShowRes"));
    setWindowTitle(QStringLiteral("Résultat du traitement"));
}
