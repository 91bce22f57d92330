#pragma once
#include <QWidget>

class Session;

// The printed report of the results journal; built, printed and freed, never shown.
class TFPrint : public QWidget {
    Q_OBJECT
public:
    explicit TFPrint(Session &session, QWidget *parent = nullptr);
    void BitBtn1Click();

private:
    Session &s;
};
