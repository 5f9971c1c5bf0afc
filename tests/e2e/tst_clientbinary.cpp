// The real harbolink program on an X display: what a user sees first, the single instance, and a
// clean end. Needs Xvfb and xdotool; skips without them.
#include "DemoService.h"
#include "TestPaths.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestClientBinary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void showsStartupThenLoginAndEndsCleanly();

private:
    QProcessEnvironment clientEnvironment() const;
    // Whether a visible window of that title exists on the test display.
    bool windowVisible(const QString &title) const;

    std::unique_ptr<QProcess> display;
    QString displayName;
    QTemporaryDir home;
    harbolink::demo::DemoService service;
};

static QString clientPath()
{
    return harbolink::test::binaryDir() + QStringLiteral("/bin/harbolink");
}

void TestClientBinary::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        QSKIP("Xvfb and xdotool are needed to run the client on a display of its own");
    }
    QVERIFY(home.isValid());

    // A display of our own; Xvfb prints the number it took.
    display = std::make_unique<QProcess>();
    display->start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                    QStringLiteral("1280x1024x24")});
    QVERIFY(display->waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(display->canReadLine() || display->state() == QProcess::NotRunning, 10000);
    displayName = QStringLiteral(":") + QString::fromLatin1(display->readLine().trimmed());
    QVERIFY2(displayName.size() > 1, "Xvfb did not report its display");

    // The service the test build is made to reach: localhost:47443 with the test CA's certificate.
    harbolink::demo::DemoOptions options;
    options.certificateFile = harbolink::test::pkiDir() + QStringLiteral("/server.pem");
    options.keyFile = harbolink::test::pkiDir() + QStringLiteral("/server.key");
    options.port = 47443;
    options.startupDelayMs = 1500;
    QVERIFY2(service.start(options), qPrintable(service.errorString()));
}

void TestClientBinary::cleanupTestCase()
{
    service.stop();
    if (display) {
        display->terminate();
        display->waitForFinished(5000);
    }
}

QProcessEnvironment TestClientBinary::clientEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    environment.remove(QStringLiteral("XAUTHORITY"));
    return environment;
}

bool TestClientBinary::windowVisible(const QString &title) const
{
    QProcess search;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    search.setProcessEnvironment(environment);
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)});
    search.waitForFinished(5000);
    return search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty();
}

void TestClientBinary::showsStartupThenLoginAndEndsCleanly()
{
    QProcess client;
    client.setProcessEnvironment(clientEnvironment());
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(clientPath(), QStringList());
    QVERIFY(client.waitForStarted(10000));

    // The start-up window while the service takes its time, then the login window titled with the
    // service's application title.
    QTRY_VERIFY_WITH_TIMEOUT(windowVisible(QStringLiteral("RODIDARUD")), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(windowVisible(QStringLiteral("harbolink")), 15000);
    QVERIFY(!windowVisible(QStringLiteral("RODIDARUD")));

    // A second start ends at once with status 0.
    QProcess second;
    second.setProcessEnvironment(clientEnvironment());
    QElapsedTimer timer;
    timer.start();
    second.start(clientPath(), QStringList());
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(timer.elapsed() < 5000);
    QCOMPARE(client.state(), QProcess::Running);

    // Asked to end, the client quits like the tray's Exit and leaves no process behind.
    client.terminate();
    QVERIFY(client.waitForFinished(15000));
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestClientBinary)
#include "tst_clientbinary.moc"
