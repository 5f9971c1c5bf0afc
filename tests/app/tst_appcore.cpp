#include "AppCoreInspector.h"
#include "AppCoreTestMain.h"
#include "ReservedPort.h"
#include "api/ServiceRequest.h"
#include "ui/StartupWindow.h"

#include <QAction>
#include <QMenu>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {
// The service address of this test: a loopback port that only counts the connections it gets.
std::unique_ptr<harbolink::test::ReservedPort> servicePort;
} // namespace

// The application object right after construction, before the event loop has run.
class TestAppCore : public QObject
{
    Q_OBJECT

public:
    static void prepare()
    {
        servicePort = std::make_unique<harbolink::test::ReservedPort>();
        const QString host = QStringLiteral("127.0.0.1:%1").arg(servicePort->port());
        harbolink::setServiceHostsForTesting(host, host);
    }

private slots:
    void startupWindowShownTrayHidden();
    void everyConnectionOfTheWiringIsMade();
    void exactlyOneStartupRequestIsSent();
};

void TestAppCore::startupWindowShownTrayHidden()
{
    QVERIFY(AppCoreInspector::startupWindow()->isVisible());
    QVERIFY(!AppCoreInspector::systemTray()->isVisible());
    QVERIFY(AppCoreInspector::trayMenu()->actions().isEmpty());
    QCOMPARE(AppCoreInspector::actionShow()->text(), QStringLiteral("Show"));
    QCOMPARE(AppCoreInspector::actionStart()->text(), QStringLiteral("Start"));
    QCOMPARE(AppCoreInspector::actionStop()->text(), QStringLiteral("Stop"));
    QCOMPARE(AppCoreInspector::actionExit()->text(), QStringLiteral("Exit"));
}

void TestAppCore::everyConnectionOfTheWiringIsMade()
{
    const auto &wiring = AppCoreInspector::wiring();
    QCOMPARE(int(wiring.size()), 28);
    for (std::size_t row = 0; row < wiring.size(); ++row) {
        QVERIFY2(bool(wiring[row]), qPrintable(QStringLiteral("connection %1 was not made").arg(row + 1)));
    }
}

void TestAppCore::exactlyOneStartupRequestIsSent()
{
    QTcpServer server;
    QVERIFY(server.setSocketDescriptor(servicePort->take()));
    int connections = 0;
    QByteArray received;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++connections;
            connect(socket, &QTcpSocket::readyRead, this, [&received, socket] { received += socket->readAll(); });
        }
    });
    QTRY_COMPARE(connections, 1);
    // A TLS handshake starts on it (record type 22, handshake): the request goes out over HTTPS.
    QTRY_VERIFY(!received.isEmpty());
    QCOMPARE(received.at(0), char(0x16));
    QTest::qWait(300);
    QCOMPARE(connections, 1);
}

HARBOLINK_APPCORE_TEST_MAIN(TestAppCore)
#include "tst_appcore.moc"
