#include "ui/MainDialogWindow.h"

MainDialogWindow::MainDialogWindow(QWidget *parent)
    : QDialog(parent)
{
}

MainDialogWindow::~MainDialogWindow() = default;

void MainDialogWindow::initialize(const StartupInfo &startupInfo, const LoginInfo &loginInfo,
                                  const LoginFlags &loginFlags, bool autorun, bool trayIcon, bool setDns,
                                  const QString &lastServer)
{
    Q_UNUSED(startupInfo)
    Q_UNUSED(loginInfo)
    Q_UNUSED(loginFlags)
    Q_UNUSED(autorun)
    Q_UNUSED(trayIcon)
    Q_UNUSED(setDns)
    Q_UNUSED(lastServer)
}

void MainDialogWindow::setServerList(const ServerList &serverList)
{
    Q_UNUSED(serverList)
}

void MainDialogWindow::setPingTable(const PingTable &pingTable)
{
    Q_UNUSED(pingTable)
}

void MainDialogWindow::setFlagTable(const FlagTable &flagTable)
{
    Q_UNUSED(flagTable)
}

void MainDialogWindow::setBlockerMessage(const QString &text)
{
    Q_UNUSED(text)
}

QString MainDialogWindow::lastServerHostname() const
{
    return {};
}

QString MainDialogWindow::currentServerTitle() const
{
    return {};
}

QString MainDialogWindow::currentServerOvpn() const
{
    return {};
}

QMap<QString, bool> MainDialogWindow::settingsFlags() const
{
    return {};
}

void MainDialogWindow::disconnected()
{
}

void MainDialogWindow::connected()
{
}

void MainDialogWindow::serverErrorOcured(QString message)
{
    Q_UNUSED(message)
}

void MainDialogWindow::processServerList()
{
}

void MainDialogWindow::serverListErrorOcured()
{
}

void MainDialogWindow::newStats(QDateTime timestamp, quint64 bytesSent, quint64 bytesReceived)
{
    Q_UNUSED(timestamp)
    Q_UNUSED(bytesSent)
    Q_UNUSED(bytesReceived)
}
