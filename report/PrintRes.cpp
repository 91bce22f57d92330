#include "report/PrintRes.h"
#include "app/Session.h"

TFPrint::TFPrint(Session &session, QWidget *parent) : QWidget(parent), s(session)
{
    setObjectName(QStringLiteral("TFPrint"));
}

void TFPrint::BitBtn1Click() {}
