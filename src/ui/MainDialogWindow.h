#pragma once

#include "api/ServiceRecords.h"
#include "ui/ServerEntry.h"

#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QMap>
#include <QPointF>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class QCloseEvent;
class QEvent;
class QListWidgetItem;
class QTimer;

namespace QtCharts {
class QChart;
class QDateTimeAxis;
class QSplineSeries;
class QValueAxis;
} // namespace QtCharts

namespace Ui {
class MainDialogWindow;
}

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

private slots:
    // Bound to the form's widgets by object name.
    void on_listWidgetMenuItems_currentRowChanged(int currentRow);
    void on_pushButtonLogOut_clicked();
    void on_pushButtonConnect_clicked();
    void on_pushButtonDisconect_clicked();
    void on_labelAboutDomain_linkActivated(QString link);
    void on_tableWidgetAllServers_cellDoubleClicked(int row, int column);
    void on_listWidgetLogOut_itemClicked(QListWidgetItem *item);
    void on_listWidgetMenuItems_itemClicked(QListWidgetItem *item);
    void on_pushButtonEnableAutorun_clicked();
    void on_pushButtonDisableAutorun_clicked();
    void on_pushButtonEnableTrayIcon_clicked();
    void on_pushButtonDisableTrayIcon_clicked();
    void on_pushButtonDisableSetDNS_clicked();
    void on_pushButtonEnableSetDNS_clicked();

public slots:
    void disconnected();
    void connected();
    void serverErrorOcured(QString message);
    void processServerList();
    void serverListErrorOcured();
    // Running totals of the session; 64-bit, a live session passes 4 GiB easily.
    void newStats(QDateTime timestamp, quint64 bytesSent, quint64 bytesReceived);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the chart's series hold, kept beside them so that a sample costs the same at any
    // session length. The sum and maximum cover every point but the last one; the last point
    // is merged with samples of the same second and is added in when it is read.
    struct SeriesTotals {
        double sumBeforeLast = 0.0;
        double maxBeforeLast = 0.0;
        double lastY = 0.0;
        double sum() const { return sumBeforeLast + lastY; }
        double maximum() const { return qMax(maxBeforeLast, lastY); }
        void append(double y);
    };

    void setupView();
    void setupChart();
    void createMenuItems();
    void resetMenuIcons();
    void showSwitches();
    void applyFonts();
    void fillAboutPage();
    void showCurrentServer();
    void updateSessionTime();
    bool chartOnScreen() const;
    void updateChartWhenDue();
    void flushChart();
    void applyChartAxes();
    qint64 chartClockNs() const;

    std::unique_ptr<Ui::MainDialogWindow> ui;
    StartupInfo startupInfo;
    LoginInfo loginInfo;
    LoginFlags loginFlags;
    // Created without a list; a list owns its items once they are inserted.
    QListWidgetItem *menuItemServers;
    QListWidgetItem *menuItemProfile;
    QListWidgetItem *menuItemSettings;
    QListWidgetItem *menuItemAbout;
    QListWidgetItem *menuItemHelp;
    QListWidgetItem *menuItemLogOut;
    QVector<ServerEntry> servers;
    ServerEntry currentServer;
    // The chart lives in the scene of graphicsViewChart, which deletes it with the view; the
    // series and axes belong to the chart.
    QtCharts::QChart *chart;
    QtCharts::QSplineSeries *sentSeries;
    QtCharts::QSplineSeries *receivedSeries;
    QtCharts::QDateTimeAxis *timeAxis = nullptr;
    QtCharts::QValueAxis *rateAxis = nullptr;
    SeriesTotals sentTotals;
    SeriesTotals receivedTotals;
    // Every point of the session, as newStats makes them. The series are brought up to date from
    // these in one step, only while the chart is on screen and at most as often as the GUI can
    // afford: Qt Charts lays out a whole curve again on every change of a series or an axis.
    QVector<QPointF> sentPoints;
    QVector<QPointF> receivedPoints;
    qint64 timeAxisMinMs = 0;
    qint64 timeAxisMaxMs = 0;
    double rateAxisMax = 0.0;
    bool chartStale = false;
    // Brings the chart up to date once the pause after an expensive update is over.
    QTimer *chartUpdateTimer;
    QElapsedTimer chartClock;
    // Replaces chartClock (nanoseconds, monotonic) when set; for tests.
    std::function<qint64()> chartClockOverride;
    qint64 lastChartUpdateEndNs = 0;
    qint64 lastChartUpdateCostNs = 0;
    QTimer *sessionTimer;
    QDateTime connectionStart;
    bool autorun;
    bool trayIcon;
    bool setDns;
    QString lastServer;
    bool needExit;
    bool sessionTimerActive;

    friend class MainDialogWindowInspector;
};
