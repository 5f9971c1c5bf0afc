#include "ui/LoginDialogWindow.h"

LoginDialogWindow::LoginDialogWindow(QWidget *parent)
    : QDialog(parent)
{
}

LoginDialogWindow::~LoginDialogWindow() = default;

void LoginDialogWindow::initWindow(const StartupInfo &startupInfo, const QString &username,
                                   const QString &password, bool remember)
{
    Q_UNUSED(startupInfo)
    Q_UNUSED(username)
    Q_UNUSED(password)
    Q_UNUSED(remember)
}

QMap<QString, QString> LoginDialogWindow::loginData() const
{
    return {};
}

bool LoginDialogWindow::isRememberMe() const
{
    return false;
}
