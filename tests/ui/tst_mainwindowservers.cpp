#include "MainWindowTestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

using namespace harbolink::test;

// The server views: ping colours, the automatic choice of the current server and the choice by
// double click.
class TestMainWindowServers : public QObject
{
    Q_OBJECT

private slots:
    void pingColourClass_data();
    void pingColourClass();
    void pingValueOfOddTexts_data();
    void pingValueOfOddTexts();
    void automaticChoice_data();
    void automaticChoice();
    void doubleClickChoosesTheRow();
};

void TestMainWindowServers::pingColourClass_data()
{
    QTest::addColumn<QString>("ping");
    QTest::addColumn<QColor>("tableColour");
    QTest::addColumn<QString>("panelColour");

    const QColor green(11, 161, 35);
    const QColor orange(227, 124, 41);
    const QColor red(176, 31, 31);
    QTest::newRow("0 is green") << "0ms" << green << "#0ba123";
    QTest::newRow("99 is green") << "99ms" << green << "#0ba123";
    QTest::newRow("100 is orange") << "100ms" << orange << "#e37c29";
    QTest::newRow("249 is orange") << "249ms" << orange << "#e37c29";
    QTest::newRow("250 is red") << "250ms" << red << "#b01f1f";
    QTest::newRow("999 (no answer) is red") << "999ms" << red << "#b01f1f";
    QTest::newRow("empty text counts as 0: green") << "" << green << "#0ba123";
}

void TestMainWindowServers::pingColourClass()
{
    QFETCH(QString, ping);
    QFETCH(QColor, tableColour);
    QFETCH(QString, panelColour);

    MainDialogWindow window;
    // Remembered, so that it is current whatever its round trip.
    deliverServers(window, {QStringLiteral("a.example.test")}, {ping}, QStringLiteral("a.example.test"));

    const QTableWidgetItem *pingItem = child<QTableWidget>(window, "tableWidgetAllServers")->item(0, 2);
    QVERIFY(pingItem);
    QCOMPARE(pingItem->text(), ping);
    QCOMPARE(pingItem->foreground().color(), tableColour);
    QCOMPARE(pingItem->foreground().style(), Qt::SolidPattern);

    const QString padding(50, QLatin1Char(' '));
    const QString panelStyle = QStringLiteral("QLabel {color: ") + panelColour + QLatin1Char(';') + padding
                               + QStringLiteral("background: none;") + padding + QStringLiteral("border-image: none;}");
    QCOMPARE(panelStyle.size(), 160);
    const QLabel *panelPing = child<QLabel>(window, "labelCurrentServerPing");
    QCOMPARE(panelPing->text(), ping);
    QCOMPARE(panelPing->styleSheet(), panelStyle);
}

void TestMainWindowServers::pingValueOfOddTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("number with unit") << "23ms" << 23;
    QTest::newRow("no answer") << "999ms" << 999;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("number without unit") << "42" << 42;
    QTest::newRow("unit only") << "ms" << 0;
    QTest::newRow("unit before the number") << "ms12" << 0;
    QTest::newRow("only the first part counts") << "12ms34ms" << 12;
    QTest::newRow("fraction is not a whole number") << "12.5ms" << 0;
    QTest::newRow("words") << "timeout" << 0;
    QTest::newRow("unit in capitals is not the unit") << "80MS" << 0;
    QTest::newRow("negative") << "-5ms" << -5;
}

void TestMainWindowServers::pingValueOfOddTexts()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(pingValue(text), value);
}

void TestMainWindowServers::automaticChoice_data()
{
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("pings");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<int>("choices");
    QTest::addColumn<QString>("nameLabel");
    QTest::addColumn<QString>("lastServer");
    QTest::addColumn<bool>("connectEnabled");

    const QStringList four = {"a.example.test", "b.example.test", "c.example.test", "d.example.test"};
    const QStringList fourNames = {"Alpha", "Bravo", "Charlie", "Delta"};
    QTest::newRow("nothing remembered: first of the fastest")
        << four << fourNames << QStringList{"120ms", "45ms", "45ms", "999ms"} << QString() << 1
        << "Bravo\nb.example.test"
        << "b.example.test" << true;
    QTest::newRow("nothing remembered, nothing answered: default entry")
        << four << fourNames << QStringList{"999ms", "999ms", "999ms", "999ms"} << QString() << 1 << "\n"
        << QString() << true;
    QTest::newRow("remembered host listed twice: both shown, the later stays")
        << QStringList{"a.example.test", "b.example.test", "a.example.test"}
        << QStringList{"Alpha one", "Bravo", "Alpha two"} << QStringList{"30ms", "10ms", "50ms"} << "a.example.test"
        << 2 << "Alpha two\na.example.test"
        << "a.example.test" << true;
    QTest::newRow("remembered host gone: placeholder stays")
        << four << fourNames << QStringList{"120ms", "45ms", "45ms", "999ms"} << "gone.example.test" << 0
        << "Please chose\nserver first"
        << "gone.example.test" << false;
}

void TestMainWindowServers::automaticChoice()
{
    QFETCH(QStringList, hosts);
    QFETCH(QStringList, names);
    QFETCH(QStringList, pings);
    QFETCH(QString, remembered);
    QFETCH(int, choices);
    QFETCH(QString, nameLabel);
    QFETCH(QString, lastServer);
    QFETCH(bool, connectEnabled);

    MainDialogWindow window;
    SignalLog log(window);
    deliverServers(window, hosts, pings, remembered, names);

    QCOMPARE(log.entries.count(QStringLiteral("currentServerChoosed")), choices);
    QCOMPARE(child<QLabel>(window, "labelCurrentServerName")->text(), nameLabel);
    QCOMPARE(window.lastServerHostname(), lastServer);
    QCOMPARE(child<QPushButton>(window, "pushButtonConnect")->isEnabled(), connectEnabled);
    QCOMPARE(child<QStackedWidget>(window, "stackedWidgetMainWindow")->currentIndex(), 2);
    QCOMPARE(child<QTableWidget>(window, "tableWidgetAllServers")->rowCount(), hosts.size());
    if (choices == 0) {
        QCOMPARE(window.currentServerTitle(), QStringLiteral("/"));
        QVERIFY(child<QLabel>(window, "labelCurrentServerPing")->text().isEmpty());
    }
}

void TestMainWindowServers::doubleClickChoosesTheRow()
{
    const QStringList hosts = {"a.example.test", "b.example.test", "c.example.test", "d.example.test",
                               "e.example.test"};
    MainDialogWindow window;
    deliverServers(window, hosts, {"20ms", "30ms", "40ms", "150ms", "300ms"});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *tabs = child<QTabWidget>(window, "tabWidgetServers");
    tabs->setCurrentIndex(1);
    auto *table = child<QTableWidget>(window, "tableWidgetAllServers");
    QTRY_VERIFY(table->isVisible() && table->viewport()->height() > 5 * 48);
    SignalLog log(window);
    const QRect cell = table->visualItemRect(table->item(3, 1));
    // As the system delivers a double click: a first click, then the second press as a double click.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());

    QCOMPARE(log.entries, QStringList({"currentServerChoosed", "tryToDisconect"}));
    QCOMPARE(window.currentServerTitle(), QStringLiteral("Server d.example.test/d.example.test"));
    QCOMPARE(window.currentServerOvpn(), QStringLiteral("https://127.0.0.1/ovpn/d.example.test"));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(child<QLabel>(window, "labelCurrentServerPing")->text(), QStringLiteral("150ms"));
    // The remembered server follows the choice only when the window closes.
    QCOMPARE(window.lastServerHostname(), QStringLiteral("a.example.test"));
}

QTEST_MAIN(TestMainWindowServers)
#include "tst_mainwindowservers.moc"
