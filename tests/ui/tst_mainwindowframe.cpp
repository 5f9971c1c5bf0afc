#include "MainWindowTestSupport.h"

#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>
#include <QtTest>

using namespace harbolink::test;

namespace {

// Stands in for the browser: remembers every address handed to the system.
class LinkRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

void showAndWait(MainDialogWindow &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

void clickItem(QListWidget *list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(row)).center());
}

} // namespace

// The frame of the main window: closing and logging out, the blocker page, the menu, the
// settings switches and the web links.
class TestMainWindowFrame : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void closeHandling_data();
    void closeHandling();
    void escapeHidesWithoutSignals();
    void secondInitializeKeepsTheMenu();
    void blocker_data();
    void blocker();
    void switches_data();
    void switches();
    void dnsSwitchStaysHidden_data();
    void dnsSwitchStaysHidden();
    void links_data();
    void links();

private:
    LinkRecorder *links_ = nullptr;
};

void TestMainWindowFrame::init()
{
    links_ = new LinkRecorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), links_, "open");
}

void TestMainWindowFrame::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    delete links_;
    links_ = nullptr;
}

enum class CloseBy { TitleBar, LoginAgain, LogOut };
Q_DECLARE_METATYPE(CloseBy)

void TestMainWindowFrame::closeHandling_data()
{
    QTest::addColumn<CloseBy>("closeBy");
    QTest::addColumn<QStringList>("signalsSent");

    QTest::newRow("title-bar close quits or goes to the tray")
        << CloseBy::TitleBar << QStringList{"saveSettingsAction", "quitAction(true)"};
    QTest::newRow("Login again returns to the login window")
        << CloseBy::LoginAgain << QStringList{"saveSettingsAction", "quitAction(false)"};
    QTest::newRow("Log out stops the tunnel and returns to the login window")
        << CloseBy::LogOut << QStringList{"tryToDisconect", "saveSettingsAction", "quitAction(false)"};
}

void TestMainWindowFrame::closeHandling()
{
    QFETCH(CloseBy, closeBy);
    QFETCH(QStringList, signalsSent);

    MainDialogWindow window;
    if (closeBy == CloseBy::LoginAgain) {
        window.initialize(sampleStartupInfo(), {{QStringLiteral("message"), QStringLiteral("Expired")}}, {}, false,
                          false, false, QString());
    } else {
        deliverServers(window, {"a.example.test", "b.example.test"}, {"80ms", "20ms"});
    }
    showAndWait(window);
    SignalLog log(window);

    switch (closeBy) {
    case CloseBy::TitleBar:
        QVERIFY(!window.close()); // the event is ignored: the window is hidden, not closed
        break;
    case CloseBy::LoginAgain:
        QTest::mouseClick(child<QPushButton>(window, "pushButtonLogOut"), Qt::LeftButton);
        break;
    case CloseBy::LogOut:
        clickItem(child<QListWidget>(window, "listWidgetLogOut"), 0);
        break;
    }

    QCOMPARE(log.entries, signalsSent);
    QVERIFY(window.isHidden());
    QCOMPARE(window.lastServerHostname(),
             closeBy == CloseBy::LoginAgain ? QString() : QStringLiteral("b.example.test"));
}

void TestMainWindowFrame::escapeHidesWithoutSignals()
{
    MainDialogWindow window;
    // A remembered server that is gone: closing would store the empty current server instead.
    deliverServers(window, {"a.example.test"}, {"80ms"}, QStringLiteral("gone.example.test"));
    showAndWait(window);
    SignalLog log(window);

    QTest::keyClick(&window, Qt::Key_Escape);

    QVERIFY(window.isHidden());
    QVERIFY(log.entries.isEmpty());
    QCOMPARE(window.lastServerHostname(), QStringLiteral("gone.example.test"));
}

void TestMainWindowFrame::secondInitializeKeepsTheMenu()
{
    MainDialogWindow window;
    deliverServers(window, {"a.example.test"}, {"80ms"});
    deliverServers(window, {"a.example.test"}, {"80ms"});

    const auto texts = [](const QListWidget *list) {
        QStringList result;
        for (int row = 0; row < list->count(); ++row) {
            result.append(list->item(row)->text());
        }
        return result;
    };
    QCOMPARE(texts(child<QListWidget>(window, "listWidgetMenuItems")),
             QStringList({"Servers", "Settings", "About", "My profile", "Help"}));
    QCOMPARE(texts(child<QListWidget>(window, "listWidgetLogOut")), QStringList({"Log out"}));
}

void TestMainWindowFrame::blocker_data()
{
    QTest::addColumn<LoginFlags>("flags");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("requests");

    QTest::newRow("may log in but not connect: blocked")
        << LoginFlags{{"login", true}, {"connection", false}} << 0 << 0;
    QTest::newRow("no login key: blocked") << LoginFlags{{"connection", true}} << 0 << 0;
    QTest::newRow("no flags at all: blocked") << LoginFlags{} << 0 << 0;
    QTest::newRow("both granted: loading, list requested") << accessGranted() << 1 << 1;
}

void TestMainWindowFrame::blocker()
{
    QFETCH(LoginFlags, flags);
    QFETCH(int, page);
    QFETCH(int, requests);

    MainDialogWindow window;
    SignalLog log(window);
    const QString message = QStringLiteral("Your plan does not include VPN access.");
    window.initialize(sampleStartupInfo(), {{QStringLiteral("message"), message}}, flags, false, false, false,
                      QString());

    QCOMPARE(child<QStackedWidget>(window, "stackedWidgetMainWindow")->currentIndex(), page);
    QCOMPARE(log.entries.count(QStringLiteral("serverListRequest")), requests);
    if (page == 0) {
        QCOMPARE(child<QLabel>(window, "labelBlockerMessage")->text(), message);
    }
}

void TestMainWindowFrame::switches_data()
{
    QTest::addColumn<bool>("autorun");
    QTest::addColumn<bool>("trayIcon");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("stack");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("value");

    QTest::newRow("Run on startup: on to off") << true << false << "pushButtonDisableAutorun"
                                               << "stackedWidgetAutorun"
                                               << "autorun" << false;
    QTest::newRow("Run on startup: off to on") << false << true << "pushButtonEnableAutorun"
                                               << "stackedWidgetAutorun"
                                               << "autorun" << true;
    QTest::newRow("Show tray icon: on to off") << false << true << "pushButtonDisableTrayIcon"
                                               << "stackedWidgetTrayIcon"
                                               << "trayicon" << false;
    QTest::newRow("Show tray icon: off to on") << true << false << "pushButtonEnableTrayIcon"
                                               << "stackedWidgetTrayIcon"
                                               << "trayicon" << true;
}

void TestMainWindowFrame::switches()
{
    QFETCH(bool, autorun);
    QFETCH(bool, trayIcon);
    QFETCH(QString, button);
    QFETCH(QString, stack);
    QFETCH(QString, key);
    QFETCH(bool, value);

    MainDialogWindow window;
    window.initialize(sampleStartupInfo(), {}, accessGranted(), autorun, trayIcon, false, QString());
    window.processServerList();
    showAndWait(window);
    clickItem(child<QListWidget>(window, "listWidgetMenuItems"), 1);
    QCOMPARE(child<QStackedWidget>(window, "stackedWidgetMainFrame")->currentIndex(), 1);
    const QMap<QString, bool> before = window.settingsFlags();
    QCOMPARE(child<QStackedWidget>(window, qPrintable(stack))->currentIndex(), value ? 1 : 0);

    SignalLog log(window);
    QTest::mouseClick(child<QPushButton>(window, qPrintable(button)), Qt::LeftButton);

    QCOMPARE(log.entries, QStringList({"saveSettingsAction"}));
    QCOMPARE(child<QStackedWidget>(window, qPrintable(stack))->currentIndex(), value ? 0 : 1);
    QMap<QString, bool> expected = before;
    expected[key] = value;
    QCOMPARE(window.settingsFlags(), expected);
}

void TestMainWindowFrame::dnsSwitchStaysHidden_data()
{
    QTest::addColumn<bool>("setDns");
    QTest::newRow("stored on") << true;
    QTest::newRow("stored off") << false;
}

void TestMainWindowFrame::dnsSwitchStaysHidden()
{
    QFETCH(bool, setDns);

    MainDialogWindow window;
    window.initialize(sampleStartupInfo(), {}, accessGranted(), true, true, setDns, QString());
    window.processServerList();
    showAndWait(window);
    clickItem(child<QListWidget>(window, "listWidgetMenuItems"), 1);

    QCOMPARE(child<QStackedWidget>(window, "stackedWidgetSetDNS")->currentIndex(), 1);
    for (const char *name : {"labelSetDNS", "pushButtonEnableSetDNS", "pushButtonDisableSetDNS"}) {
        QVERIFY2(!child<QWidget>(window, name)->isVisible(), name);
    }
    QVERIFY(child<QWidget>(window, "labelAutorun")->isVisible());
    QCOMPARE(window.settingsFlags().value(QStringLiteral("dns")), setDns);
    QVERIFY(window.settingsFlags().contains(QStringLiteral("dns")));
}

enum class LinkSource { MenuRow, AboutDomain };
Q_DECLARE_METATYPE(LinkSource)

void TestMainWindowFrame::links_data()
{
    QTest::addColumn<LinkSource>("source");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("page");

    const StartupInfo info = sampleStartupInfo();
    QTest::newRow("Help opens support, page stays") << LinkSource::MenuRow << 4 << info.value("support") << 0;
    QTest::newRow("My profile opens account, page stays") << LinkSource::MenuRow << 3 << info.value("account") << 0;
    QTest::newRow("Servers opens nothing") << LinkSource::MenuRow << 0 << QString() << 0;
    QTest::newRow("Settings opens nothing") << LinkSource::MenuRow << 1 << QString() << 1;
    QTest::newRow("about page link opens the domain") << LinkSource::AboutDomain << 2 << info.value("domain") << 2;
}

void TestMainWindowFrame::links()
{
    QFETCH(LinkSource, source);
    QFETCH(int, row);
    QFETCH(QString, address);
    QFETCH(int, page);

    MainDialogWindow window;
    deliverServers(window, {"a.example.test"}, {"80ms"});
    showAndWait(window);
    auto *menu = child<QListWidget>(window, "listWidgetMenuItems");
    clickItem(menu, row);

    if (source == LinkSource::AboutDomain) {
        QVERIFY(links_->opened.isEmpty());
        auto *domain = child<QLabel>(window, "labelAboutDomain");
        QVERIFY(domain->text().contains(QStringLiteral(">https://www2.example.test<")));
        // The link text starts after the label's indent.
        QTest::mouseClick(domain, Qt::LeftButton, Qt::NoModifier, QPoint(domain->indent() + 12, domain->height() / 2));
    }

    const QList<QUrl> expected = address.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(address)};
    QTRY_COMPARE(links_->opened, expected);
    QCOMPARE(menu->currentRow(), row);
    QCOMPARE(child<QStackedWidget>(window, "stackedWidgetMainFrame")->currentIndex(), page);
}

QTEST_MAIN(TestMainWindowFrame)
#include "tst_mainwindowframe.moc"
