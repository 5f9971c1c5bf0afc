#pragma once

#include "api/ServiceRecords.h"

#include <QDateTime>
#include <QDialog>
#include <QMap>
#include <QString>

class QListWidgetItem;

// The client's main window: the side menu, the server views with the connection view and the
// traffic chart, the settings and about pages, and the blocker and loading pages.
class MainDialogWindow : public QDialog
{
    Q_OBJECT

public:
    explicit MainDialogWindow(QWidget *parent = nullptr);
    ~MainDialogWindow() override;

    void initialize(const StartupInfo &startupInfo, const LoginInfo &loginInfo, const LoginFlags &loginFlags,
                    bool autorun, bool trayIcon, bool setDns, const QString &lastServer);
    void setServerList(const ServerList &serverList);
    void setPingTable(const PingTable &pingTable);
    void setFlagTable(const FlagTable &flagTable);
    void setBlockerMessage(const QString &text);

    QString lastServerHostname() const;
    QString currentServerTitle() const;
    QString currentServerOvpn() const;
    QMap<QString, bool> settingsFlags() const;

signals:
    void tryToConnect();
    void tryToDisconect();
    void currentServerChoosed();
    void serverListRequest();
    void quitAction(bool _needExit);
    void saveSettingsAction();
    void reportRequest(QString errorServerHostname, QString errorServerMessage);

public slots:
    void disconnected();
    void connected();
    void serverErrorOcured(QString message);
    void processServerList();
    void serverListErrorOcured();
    // Running totals of the session; 64-bit, a live session passes 4 GiB easily.
    void newStats(QDateTime timestamp, quint64 bytesSent, quint64 bytesReceived);
};
