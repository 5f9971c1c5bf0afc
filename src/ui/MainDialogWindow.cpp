#include "ui/MainDialogWindow.h"

#include "app/Constants.h"

#include "ui_MainDialogWindow.h"

#include <QBrush>
#include <QCloseEvent>
#include <QColor>
#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QListWidgetItem>
#include <QPixmap>
#include <QTableWidgetItem>
#include <QTimer>
#include <QUrl>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QSplineSeries>
#include <QtCharts/QValueAxis>

#include <iterator>

using namespace QtCharts;

namespace {

// Bits to megabits: a counter in bytes times 8, divided by 2^20.
constexpr double bitsPerMegabit = 1048576.0;
constexpr quint64 bytesPerMegabyte = 1048576;
// The time axis shows at least this much of a session, so the first minutes do not stretch.
constexpr qint64 minimumChartSpanMs = 600 * 1000;
constexpr int sessionTimerPeriodMs = 500;
// After a chart update that took t, the next one waits until 4 t have passed, so that on a long
// session the chart takes at most a fifth of the GUI thread.
constexpr qint64 chartPauseFactor = 4;
const QSize menuItemSize(150, 48);
const QSize menuIconSize(32, 32);
const QSize flagSize(48, 36);
constexpr int serverRowHeight = 48;

const char styleSheetPath[] = ":/resources/common/stylesheet.css";
const char windowIconPath[] = ":/resources/common/images/logo_update.png";
const char menuFontPath[] = ":/resources/common/fonts/Quicksand-Regular.ttf";
const char menuFontFamily[] = "Quicksand Medium";

const char serversIcon[] = ":/resources/common/images/ic_menu_main@2x.png";
const char settingsIcon[] = ":/resources/common/images/ic_menu_settings@2x.png";
const char aboutIcon[] = ":/resources/common/images/ic_menu_about@2x.png";
const char profileIcon[] = ":/resources/common/images/ic_menu_profile@2x.png";
const char helpIcon[] = ":/resources/common/images/ic_menu_help@2x.png";
const char logOutIcon[] = ":/resources/common/images/ic_menu_logout@2x.png";
const char serversActiveIcon[] = ":/resources/common/images/ic_menu_main_active@2x.png";
const char settingsActiveIcon[] = ":/resources/common/images/ic_menu_settings_active@2x.png";
const char aboutActiveIcon[] = ":/resources/common/images/ic_menu_about_active@2x.png";
const char profileActiveIcon[] = ":/resources/common/images/ic_menu_profile_active@2x.png";
const char helpActiveIcon[] = ":/resources/common/images/ic_menu copy 11@2x.png";
const char logOutActiveIcon[] = ":/resources/common/images/ic_menu_logout_active@2x.png";

// The untranslated texts of the two menu rows that open web pages.
const char helpText[] = QT_TRANSLATE_NOOP("MainDialogWindow", "Help");
const char profileText[] = QT_TRANSLATE_NOOP("MainDialogWindow", "My profile");

const char domainLinkTemplate[] =
    "<html><head/><body><p align=\"left\"><a href=\"#domain_link\"><span style=\" text-decoration: underline; "
    "color:#0000ff;\">%1</span></a></p></body></html>";

const char serverTableStyle[] = "QTableWidget::item{border-bottom: 1px dotted black;}QTableWidget::item:selected{"
                                "background-color: #eaf3f6;color: black;border-bottom: 1px dotted black;}";

enum class PingClass { Green, Orange, Red };

PingClass pingClass(int milliseconds)
{
    if (milliseconds >= 250) {
        return PingClass::Red;
    }
    if (milliseconds >= 100) {
        return PingClass::Orange;
    }
    return PingClass::Green;
}

QColor pingColor(PingClass cls)
{
    switch (cls) {
    case PingClass::Red:
        return QColor(176, 31, 31);
    case PingClass::Orange:
        return QColor(227, 124, 41);
    case PingClass::Green:
        break;
    }
    return QColor(11, 161, 35);
}

// The ping label of the current-server panel: its colour, and nothing of the panel's picture.
QString pingLabelStyle(PingClass cls)
{
    const QString padding(50, QLatin1Char(' '));
    return QLatin1String("QLabel {color: ") + pingColor(cls).name() + QLatin1Char(';') + padding
           + QLatin1String("background: none;") + padding + QLatin1String("border-image: none;}");
}

QPixmap flagPicture(const QPixmap &flag)
{
    return flag.isNull() ? QPixmap() : flag.scaled(flagSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QFont labelFont(int pointSize)
{
    return QFont(QLatin1String(menuFontFamily), pointSize, 1, false);
}

// Long server names and host names would be cut off by the fixed size of a word-wrapped label:
// the label's font is made smaller until the whole text fits.
void fitTextToLabel(QLabel *label, const QFont &font)
{
    constexpr int smallestPointSize = 7;
    const QRect area(QPoint(), label->maximumSize());
    QFont fitted = font;
    while (fitted.pointSize() > smallestPointSize) {
        const QRect needed =
            QFontMetrics(fitted).boundingRect(area, int(label->alignment()) | Qt::TextWordWrap, label->text());
        if (needed.width() <= area.width() && needed.height() <= area.height()) {
            break;
        }
        fitted.setPointSize(fitted.pointSize() - 1);
    }
    label->setFont(fitted);
}

void openLink(const QString &address)
{
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

} // namespace

void MainDialogWindow::SeriesTotals::append(double y)
{
    sumBeforeLast += lastY;
    maxBeforeLast = qMax(maxBeforeLast, lastY);
    lastY = y;
}

MainDialogWindow::MainDialogWindow(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::MainDialogWindow>())
{
    ui->setupUi(this);

    menuItemServers = new QListWidgetItem;
    menuItemProfile = new QListWidgetItem;
    menuItemSettings = new QListWidgetItem;
    menuItemAbout = new QListWidgetItem;
    menuItemHelp = new QListWidgetItem;
    menuItemLogOut = new QListWidgetItem;
    sessionTimer = new QTimer(this);
    chartUpdateTimer = new QTimer(this);
    chartUpdateTimer->setSingleShot(true);
    chartClock.start();
    chart = new QChart;
    sentSeries = new QSplineSeries(this);
    receivedSeries = new QSplineSeries(this);
    autorun = false;
    trayIcon = false;
    setDns = false;
    sessionTimerActive = false;
    needExit = true;

    setupChart();
    connect(sessionTimer, &QTimer::timeout, this, &MainDialogWindow::updateSessionTime);
    connect(chartUpdateTimer, &QTimer::timeout, this, &MainDialogWindow::updateChartWhenDue);
    // The chart comes on screen with the window, its page or the end of a minimised state.
    ui->graphicsViewChart->installEventFilter(this);
}

MainDialogWindow::~MainDialogWindow()
{
    ui->graphicsViewChart->removeEventFilter(this);
    // Until initialize() has put them into their lists, the menu items belong to nobody else.
    for (QListWidgetItem *item :
         {menuItemServers, menuItemProfile, menuItemSettings, menuItemAbout, menuItemHelp, menuItemLogOut}) {
        if (!item->listWidget()) {
            delete item;
        }
    }
}

void MainDialogWindow::initialize(const StartupInfo &startupInfo, const LoginInfo &loginInfo,
                                  const LoginFlags &loginFlags, bool autorun, bool trayIcon, bool setDns,
                                  const QString &lastServer)
{
    this->startupInfo = startupInfo;
    this->loginInfo = loginInfo;
    this->loginFlags = loginFlags;
    this->autorun = autorun;
    this->trayIcon = trayIcon;
    this->setDns = setDns;
    this->lastServer = lastServer;

    setupView();
    fillAboutPage();

    ui->labelCurrentServerName->setText(tr("Please chose\nserver first"));
    fitTextToLabel(ui->labelCurrentServerName, labelFont(12));
    ui->labelCurrentServerPing->clear();
    ui->labelCurrentServerFlag->setPixmap(QPixmap());

    if (loginFlags.value(QStringLiteral("login"), false) && loginFlags.value(QStringLiteral("connection"), false)) {
        needExit = true;
        emit serverListRequest();
    } else {
        ui->stackedWidgetMainWindow->setCurrentIndex(0);
        ui->labelBlockerMessage->setText(loginInfo.value(QStringLiteral("message")));
    }
}

void MainDialogWindow::setupView()
{
    setWindowTitle(startupInfo.value(QStringLiteral("app_title")));
    setWindowFlags(Qt::Window);
    setWindowIcon(QIcon(QLatin1String(windowIconPath)));

    QFile styleSheetFile(QString::fromLatin1(styleSheetPath));
    if (styleSheetFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
        setStyleSheet(QString::fromUtf8(styleSheetFile.readAll()));
    }

    ui->listWidgetMenuItems->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->listWidgetMenuItems->setIconSize(menuIconSize);

    QTableWidget *table = ui->tableWidgetAllServers;
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setColumnCount(3);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(serverRowHeight);
    table->setStyleSheet(QLatin1String(serverTableStyle));
    // Server names are shown whole on one line; the ping column takes the rest of the width.
    table->setWordWrap(false);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);

    ui->tabWidgetServers->setCurrentIndex(0);
    ui->listWidgetLogOut->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->listWidgetLogOut->setIconSize(menuIconSize);
    ui->labelHostNameCountry->setAttribute(Qt::WA_TranslucentBackground);

    createMenuItems();
    // The Servers row is the one highlighted when the window opens; Log out is not selected.
    if (ui->listWidgetMenuItems->currentRow() == 0) {
        ui->listWidgetMenuItems->setCurrentRow(0);
        on_listWidgetMenuItems_currentRowChanged(0);
    } else {
        ui->listWidgetMenuItems->setCurrentRow(0);
    }
    ui->listWidgetLogOut->setCurrentItem(nullptr);
    ui->listWidgetLogOut->clearSelection();

    ui->stackedWidgetMainWindow->setCurrentIndex(1);

    ui->pushButtonConnect->setEnabled(false);
    ui->stackedWidgetConnectProccess->setCurrentIndex(0);
    ui->stackedWidgetConnectedState->setCurrentIndex(0);
    ui->graphicsViewChart->setChart(chart);
    ui->graphicsViewChart->setRenderHint(QPainter::Antialiasing);

    showSwitches();
    applyFonts();
}

void MainDialogWindow::setupChart()
{
    sentSeries->setColor(QColor(241, 75, 0));
    receivedSeries->setColor(QColor(80, 144, 5));
    chart->legend()->hide();
    chart->setTitle(tr("Connection Details"));
    chart->addSeries(sentSeries);
    chart->addSeries(receivedSeries);

    timeAxis = new QDateTimeAxis(chart);
    timeAxis->setFormat(QStringLiteral("hh:mm"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    sentSeries->attachAxis(timeAxis);
    receivedSeries->attachAxis(timeAxis);

    rateAxis = new QValueAxis(chart);
    rateAxis->setLabelFormat(QStringLiteral("%.1f"));
    rateAxis->setTitleText(QStringLiteral("Mbps"));
    chart->addAxis(rateAxis, Qt::AlignLeft);
    sentSeries->attachAxis(rateAxis);
    receivedSeries->attachAxis(rateAxis);

    ui->graphicsViewChart->setChart(chart);
    ui->graphicsViewChart->setRenderHint(QPainter::Antialiasing);
}

void MainDialogWindow::createMenuItems()
{
    struct MenuRow {
        QListWidgetItem *item;
        QListWidget *list;
        const char *text;
        const char *icon;
    };
    const MenuRow rows[] = {
        {menuItemServers, ui->listWidgetMenuItems, QT_TR_NOOP("Servers"), serversIcon},
        {menuItemSettings, ui->listWidgetMenuItems, QT_TR_NOOP("Settings"), settingsIcon},
        {menuItemAbout, ui->listWidgetMenuItems, QT_TR_NOOP("About"), aboutIcon},
        {menuItemProfile, ui->listWidgetMenuItems, profileText, profileIcon},
        {menuItemHelp, ui->listWidgetMenuItems, helpText, helpIcon},
        {menuItemLogOut, ui->listWidgetLogOut, QT_TR_NOOP("Log out"), logOutIcon},
    };
    for (const MenuRow &row : rows) {
        row.item->setSizeHint(menuItemSize);
        row.item->setText(tr(row.text));
        row.item->setIcon(QIcon(QLatin1String(row.icon)));
        if (!row.item->listWidget()) {
            row.list->addItem(row.item);
        }
    }
}

void MainDialogWindow::resetMenuIcons()
{
    const char *const menuIcons[] = {serversIcon, settingsIcon, aboutIcon, profileIcon, helpIcon};
    for (int row = 0; row < int(std::size(menuIcons)); ++row) {
        if (QListWidgetItem *item = ui->listWidgetMenuItems->item(row)) {
            item->setIcon(QIcon(QLatin1String(menuIcons[row])));
        }
    }
    if (QListWidgetItem *item = ui->listWidgetLogOut->item(0)) {
        item->setIcon(QIcon(QLatin1String(logOutIcon)));
    }
}

void MainDialogWindow::showSwitches()
{
    ui->stackedWidgetAutorun->setCurrentIndex(autorun ? 0 : 1);
    // The DNS switch is kept and reported, but the user cannot change it.
    ui->stackedWidgetSetDNS->setCurrentIndex(1);
    ui->pushButtonEnableSetDNS->hide();
    ui->labelSetDNS->hide();
    ui->pushButtonDisableSetDNS->hide();
    ui->stackedWidgetTrayIcon->setCurrentIndex(trayIcon ? 0 : 1);
}

void MainDialogWindow::applyFonts()
{
    static const int fontId = QFontDatabase::addApplicationFont(QLatin1String(menuFontPath));
    Q_UNUSED(fontId)

    const QFont font = labelFont(12);
    const QList<QWidget *> widgets = {
        ui->labelSent,
        ui->labelReceived,
        ui->labelAboutDomain,
        ui->labelSessionTime,
        ui->labelAboutAppName,
        ui->labelLoadMetadata,
        ui->labelCurrentServerName,
        ui->labelCurrentServerPing,
        ui->labelAboutCorpTitle,
        ui->labelBlockerMessage,
        ui->labelAboutAppVersion,
        ui->labelHostNameCountry,
        ui->labelStatusDisconected,
        ui->labelSetDNS,
        ui->pushButtonLogOut,
        ui->labelAutorun,
        ui->labelTrayIcon,
        ui->tabWidgetAbout,
        ui->tabWidgetServers,
        ui->tabWidgetSettings,
        ui->tableWidgetAllServers,
        ui->listWidgetLogOut,
        ui->listWidgetMenuItems,
    };
    for (QWidget *widget : widgets) {
        widget->setFont(font);
    }
    ui->graphicsViewChart->setFont(labelFont(8));
}

void MainDialogWindow::fillAboutPage()
{
    const QString appTitle = startupInfo.value(QStringLiteral("app_title"));
    ui->labelAppLogoName->setText(appTitle);
    // The domain comes from the service: it is shown as text, never read as markup.
    ui->labelAboutDomain->setText(
        QString::fromLatin1(domainLinkTemplate).arg(startupInfo.value(QStringLiteral("domain")).toHtmlEscaped()));
    ui->labelAboutAppName->setText(appTitle);
    ui->labelAboutCorpTitle->setText(startupInfo.value(QStringLiteral("corp_title")));
    ui->labelAboutAppVersion->setText(tr("Application version: %1").arg(QLatin1String(harbolink::ownVersion)));
}

void MainDialogWindow::setServerList(const ServerList &serverList)
{
    servers.resize(serverList.size());
    for (int i = 0; i < serverList.size(); ++i) {
        const ServerRecord &record = serverList.at(i);
        ServerEntry &entry = servers[i];
        entry.name = record.value(QStringLiteral("name"));
        entry.hostname = record.value(QStringLiteral("hostname"));
        entry.country_code = record.value(QStringLiteral("country_code"));
        entry.country = record.value(QStringLiteral("country"));
        entry.latitude = record.value(QStringLiteral("latitude"));
        entry.longitude = record.value(QStringLiteral("longitude"));
        entry.ovpn = record.value(QStringLiteral("ovpn"));
        entry.crt = record.value(QStringLiteral("crt"));
        entry.image = record.value(QStringLiteral("image"));
    }
    ui->tableWidgetAllServers->setRowCount(servers.size());
}

void MainDialogWindow::setPingTable(const PingTable &pingTable)
{
    for (ServerEntry &entry : servers) {
        entry.ping = pingTable.value(entry.hostname);
    }
}

void MainDialogWindow::setFlagTable(const FlagTable &flagTable)
{
    for (ServerEntry &entry : servers) {
        entry.flag = flagTable.value(entry.hostname);
    }
}

void MainDialogWindow::setBlockerMessage(const QString &text)
{
    ui->labelBlockerMessage->setText(text);
}

QString MainDialogWindow::lastServerHostname() const
{
    return lastServer;
}

QString MainDialogWindow::currentServerTitle() const
{
    return currentServer.name + QLatin1Char('/') + currentServer.hostname;
}

QString MainDialogWindow::currentServerOvpn() const
{
    return currentServer.ovpn;
}

QMap<QString, bool> MainDialogWindow::settingsFlags() const
{
    return {
        {QStringLiteral("autorun"), autorun},
        {QStringLiteral("trayicon"), trayIcon},
        {QStringLiteral("dns"), setDns},
    };
}

void MainDialogWindow::processServerList()
{
    QTableWidget *table = ui->tableWidgetAllServers;
    ServerEntry best;
    int bestValue = 999;
    for (int i = 0; i < servers.size(); ++i) {
        const ServerEntry &entry = servers.at(i);
        const int value = pingValue(entry.ping);

        auto *flagItem = new QTableWidgetItem;
        const QPixmap flag = flagPicture(entry.flag);
        if (!flag.isNull()) {
            flagItem->setData(Qt::DecorationRole, flag);
        }
        auto *nameItem = new QTableWidgetItem(entry.name);
        nameItem->setForeground(QBrush(Qt::black));
        nameItem->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        auto *pingItem = new QTableWidgetItem(entry.ping);
        pingItem->setForeground(QBrush(pingColor(pingClass(value))));
        pingItem->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);

        // The table owns its items from here on.
        table->setItem(i, 1, nameItem);
        table->setItem(i, 2, pingItem);
        table->setItem(i, 0, flagItem);

        if (value < bestValue) {
            best = entry;
            bestValue = value;
        }
    }

    if (lastServer.isEmpty()) {
        lastServer = best.hostname;
        currentServer = best;
        showCurrentServer();
    } else {
        for (const ServerEntry &entry : qAsConst(servers)) {
            if (entry.hostname == lastServer) {
                currentServer = entry;
                showCurrentServer();
            }
        }
    }

    ui->stackedWidgetMainWindow->setCurrentIndex(2);
}

void MainDialogWindow::serverListErrorOcured()
{
    ui->stackedWidgetMainWindow->setCurrentIndex(0);
}

void MainDialogWindow::showCurrentServer()
{
    ui->labelCurrentServerFlag->setPixmap(flagPicture(currentServer.flag));
    ui->labelCurrentServerName->setText(currentServer.name + QLatin1Char('\n') + currentServer.hostname);
    fitTextToLabel(ui->labelCurrentServerName, labelFont(12));
    ui->labelCurrentServerPing->setText(currentServer.ping);
    ui->labelCurrentServerPing->setStyleSheet(pingLabelStyle(pingClass(pingValue(currentServer.ping))));
    ui->tabWidgetServers->setCurrentIndex(0);
    ui->pushButtonConnect->setEnabled(true);
    emit currentServerChoosed();
}

void MainDialogWindow::on_tableWidgetAllServers_cellDoubleClicked(int row, int column)
{
    Q_UNUSED(column)
    if (row < 0 || row >= servers.size()) {
        return;
    }
    currentServer = servers.at(row);
    showCurrentServer();
    emit tryToDisconect();
}

void MainDialogWindow::on_listWidgetMenuItems_currentRowChanged(int currentRow)
{
    struct PageRow {
        const char *activeIcon;
        int page; // -1: the row opens a web page and the shown page stays
    };
    static const PageRow rows[] = {{serversActiveIcon, 0},
                                   {settingsActiveIcon, 1},
                                   {aboutActiveIcon, 2},
                                   {profileActiveIcon, -1},
                                   {helpActiveIcon, -1}};
    if (currentRow < 0 || currentRow >= int(std::size(rows))) {
        return;
    }
    resetMenuIcons();
    if (QListWidgetItem *item = ui->listWidgetMenuItems->item(currentRow)) {
        item->setIcon(QIcon(QLatin1String(rows[currentRow].activeIcon)));
    }
    if (rows[currentRow].page >= 0) {
        ui->stackedWidgetMainFrame->setCurrentIndex(rows[currentRow].page);
    }
}

void MainDialogWindow::on_listWidgetMenuItems_itemClicked(QListWidgetItem *item)
{
    const QString text = item->text();
    if (text == QLatin1String(helpText)) {
        openLink(startupInfo.value(QStringLiteral("support")));
    } else if (text == QLatin1String(profileText)) {
        openLink(startupInfo.value(QStringLiteral("account")));
    }
}

void MainDialogWindow::on_labelAboutDomain_linkActivated(QString link)
{
    Q_UNUSED(link)
    openLink(startupInfo.value(QStringLiteral("domain")));
}

void MainDialogWindow::on_pushButtonLogOut_clicked()
{
    needExit = false;
    close();
}

void MainDialogWindow::on_listWidgetLogOut_itemClicked(QListWidgetItem *item)
{
    Q_UNUSED(item)
    resetMenuIcons();
    if (QListWidgetItem *logOut = ui->listWidgetLogOut->item(0)) {
        logOut->setIcon(QIcon(QLatin1String(logOutActiveIcon)));
    }
    needExit = false;
    emit tryToDisconect();
    close();
}

void MainDialogWindow::closeEvent(QCloseEvent *event)
{
    // Closing only hides the window; the controller decides what happens next.
    event->ignore();
    lastServer = currentServer.hostname;
    emit saveSettingsAction();
    hide();
    emit quitAction(needExit);
}

bool MainDialogWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->graphicsViewChart && event->type() == QEvent::Show) {
        // Whatever came in while the chart was out of sight is drawn before the first paint.
        flushChart();
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialogWindow::on_pushButtonEnableAutorun_clicked()
{
    autorun = true;
    ui->stackedWidgetAutorun->setCurrentIndex(0);
    emit saveSettingsAction();
}

void MainDialogWindow::on_pushButtonDisableAutorun_clicked()
{
    autorun = false;
    ui->stackedWidgetAutorun->setCurrentIndex(1);
    emit saveSettingsAction();
}

void MainDialogWindow::on_pushButtonEnableTrayIcon_clicked()
{
    trayIcon = true;
    ui->stackedWidgetTrayIcon->setCurrentIndex(0);
    emit saveSettingsAction();
}

void MainDialogWindow::on_pushButtonDisableTrayIcon_clicked()
{
    trayIcon = false;
    ui->stackedWidgetTrayIcon->setCurrentIndex(1);
    emit saveSettingsAction();
}

void MainDialogWindow::on_pushButtonDisableSetDNS_clicked()
{
    setDns = false;
    ui->stackedWidgetSetDNS->setCurrentIndex(1);
    emit saveSettingsAction();
}

void MainDialogWindow::on_pushButtonEnableSetDNS_clicked()
{
    setDns = true;
    ui->stackedWidgetSetDNS->setCurrentIndex(0);
    emit saveSettingsAction();
}

void MainDialogWindow::on_pushButtonConnect_clicked()
{
    ui->labelHostNameCountry->setText(currentServer.name + QLatin1Char('/') + currentServer.hostname);
    ui->stackedWidgetConnectProccess->setCurrentIndex(1);
    emit tryToConnect();
}

void MainDialogWindow::on_pushButtonDisconect_clicked()
{
    ui->stackedWidgetConnectProccess->setCurrentIndex(1);
    emit tryToDisconect();
}

void MainDialogWindow::connected()
{
    sessionTimerActive = true;
    connectionStart = QDateTime::currentDateTime();
    sessionTimer->start(sessionTimerPeriodMs);
    // Shown at once, so the time of an earlier session does not linger until the first tick.
    updateSessionTime();
    ui->labelHostNameCountry->setText(currentServer.name + QLatin1Char('/') + currentServer.hostname);
    ui->stackedWidgetConnectProccess->setCurrentIndex(2);
    ui->stackedWidgetConnectedState->setCurrentIndex(1);
}

void MainDialogWindow::disconnected()
{
    chartUpdateTimer->stop();
    sentPoints.clear();
    receivedPoints.clear();
    sentSeries->clear();
    receivedSeries->clear();
    // The axes keep the ranges of the session's last sample; with the series empty that is cheap.
    if (chartStale) {
        applyChartAxes();
        chartStale = false;
    }
    sentTotals = SeriesTotals();
    receivedTotals = SeriesTotals();
    ui->stackedWidgetConnectProccess->setCurrentIndex(0);
    ui->stackedWidgetConnectedState->setCurrentIndex(0);
    if (sessionTimerActive) {
        sessionTimer->stop();
    }
    sessionTimerActive = false;
}

void MainDialogWindow::serverErrorOcured(QString message)
{
    emit reportRequest(currentServer.hostname, message);
}

void MainDialogWindow::updateSessionTime()
{
    const qint64 seconds = connectionStart.secsTo(QDateTime::currentDateTime());
    const qint64 hours = seconds / 3600;
    const qint64 minutes = (seconds - 3600 * hours) / 60;
    const qint64 rest = seconds - 3600 * hours - 60 * minutes;
    const QChar zero(QLatin1Char('0'));
    ui->labelSessionTime->setText(
        tr("Session time: %1:%2:%3").arg(hours, 2, 10, zero).arg(minutes, 2, 10, zero).arg(rest, 2, 10, zero));
}

void MainDialogWindow::newStats(QDateTime timestamp, quint64 bytesSent, quint64 bytesReceived)
{
    const int count = sentPoints.size();
    if (count == 0) {
        sentTotals = SeriesTotals();
        receivedTotals = SeriesTotals();
    }
    // The totals and maxima of the points that exist before this sample, without walking them.
    const double sumSent = sentTotals.sum();
    const double sumReceived = receivedTotals.sum();
    const double maxSent = sentTotals.maximum();
    const double maxReceived = receivedTotals.maximum();

    // Points sit on whole seconds; the counters are converted in double, so nothing wraps.
    const double x = double(timestamp.toMSecsSinceEpoch() / 1000 * 1000);
    const double deltaSent = double(bytesSent) * 8.0 / bitsPerMegabit - sumSent;
    const double deltaReceived = double(bytesReceived) * 8.0 / bitsPerMegabit - sumReceived;

    if (count > 0 && qFuzzyCompare(x, sentPoints.last().x())) {
        // Another sample of the same second adds to that second's point.
        sentTotals.lastY = sentTotals.lastY + deltaSent;
        receivedTotals.lastY = receivedTotals.lastY + deltaReceived;
        sentPoints.last() = QPointF(x, sentTotals.lastY);
        receivedPoints.last() = QPointF(x, receivedTotals.lastY);
    } else {
        if (count == 0) {
            sentTotals.lastY = deltaSent;
            receivedTotals.lastY = deltaReceived;
        } else {
            sentTotals.append(deltaSent);
            receivedTotals.append(deltaReceived);
        }
        sentPoints.append(QPointF(x, deltaSent));
        receivedPoints.append(QPointF(x, deltaReceived));
    }

    const qint64 firstMs = qint64(sentPoints.first().x());
    const qint64 lastMs = qint64(sentPoints.last().x());
    timeAxisMinMs = firstMs;
    timeAxisMaxMs = qMax(firstMs + minimumChartSpanMs, lastMs);
    rateAxisMax = qMax(10.0, qMax(maxSent, maxReceived));
    chartStale = true;
    updateChartWhenDue();

    ui->labelReceived->setText(tr("Received: %1 MB").arg(bytesReceived / bytesPerMegabyte));
    ui->labelSent->setText(tr("Sent: %1 MB").arg(bytesSent / bytesPerMegabyte));
}

bool MainDialogWindow::chartOnScreen() const
{
    return ui->graphicsViewChart->isVisible() && !isMinimized();
}

qint64 MainDialogWindow::chartClockNs() const
{
    return chartClockOverride ? chartClockOverride() : chartClock.nsecsElapsed();
}

void MainDialogWindow::updateChartWhenDue()
{
    if (!chartStale || !chartOnScreen()) {
        // Out of sight the points wait; the chart's Show event brings them in.
        return;
    }
    const qint64 now = chartClockNs();
    const qint64 due = lastChartUpdateEndNs + chartPauseFactor * lastChartUpdateCostNs;
    if (now >= due) {
        flushChart();
    } else if (!chartUpdateTimer->isActive()) {
        // Rounded up, so the timer does not fire just before the pause is over.
        chartUpdateTimer->start(int((due - now + 999999) / 1000000));
    }
}

void MainDialogWindow::applyChartAxes()
{
    // The axis keeps milliseconds and shows them in local time; UTC spares two time-zone look-ups.
    timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(timeAxisMinMs, Qt::UTC),
                       QDateTime::fromMSecsSinceEpoch(timeAxisMaxMs, Qt::UTC));
    rateAxis->setRange(0.0, rateAxisMax);
}

void MainDialogWindow::flushChart()
{
    chartUpdateTimer->stop();
    if (!chartStale) {
        return;
    }
    const qint64 start = chartClockNs();
    const bool axesMove = timeAxis->min().toMSecsSinceEpoch() != timeAxisMinMs
                          || timeAxis->max().toMSecsSinceEpoch() != timeAxisMaxMs || rateAxis->min() != 0.0
                          || rateAxis->max() != rateAxisMax;
    if (axesMove) {
        // A new axis range lays out both curves again, each with its old points. Emptied first,
        // the series are laid out only once, with their new points, by replace().
        sentSeries->clear();
        receivedSeries->clear();
        applyChartAxes();
    }
    sentSeries->replace(sentPoints);
    receivedSeries->replace(receivedPoints);
    chartStale = false;
    lastChartUpdateEndNs = chartClockNs();
    lastChartUpdateCostNs = lastChartUpdateEndNs - start;
}
