#include "app/Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace messages {

QString texteAffiche(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

bool afficher(QWidget *parent, Boite kind, const QString &text)
{
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("BoiteMessage"));
    box.setText(texteAffiche(text));
    box.setTextFormat(Qt::PlainText);
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (kind) {
    case Boite::Erreur:
        box.setIcon(QMessageBox::Critical);
        box.setWindowTitle(QStringLiteral("Erreur"));
        break;
    case Boite::Information:
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(QStringLiteral("Information"));
        break;
    case Boite::Avertissement:
        box.setIcon(QMessageBox::Warning);
        box.setWindowTitle(QStringLiteral("Avertissement"));
        break;
    case Boite::Simple:
        box.setIcon(QMessageBox::NoIcon);
        box.setWindowTitle(QStringLiteral("Orbelis Comptabilité Checker"));
        break;
    case Boite::Confirmation:
        box.setIcon(QMessageBox::Question);
        box.setWindowTitle(QStringLiteral("Confirmation"));
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    case Boite::QuestionInfo:
        box.setIcon(QMessageBox::Information);
        box.setWindowTitle(QStringLiteral("Information"));
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    case Boite::QuestionAvert:
        box.setIcon(QMessageBox::Warning);
        box.setWindowTitle(QStringLiteral("Avertissement"));
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    }
    box.setStandardButtons(buttons);
    box.setDefaultButton(buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    const int r = box.exec();
    if (buttons & QMessageBox::Yes)
        return r == QMessageBox::Yes;
    return true;
}

} // namespace messages
