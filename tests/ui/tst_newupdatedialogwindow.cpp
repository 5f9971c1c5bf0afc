#include "TestService.h"

#include "api/ServiceRequest.h"
#include "ui/MessageBoxes.h"
#include "ui/NewUpdateDialogWindow.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString installerName = QStringLiteral("harbolink_installer.exe");
const QString markerName = QStringLiteral("installer-ran");
const QByteArray installerPath = "/site/site_installer.exe";

// A harmless installer: it writes the number of its arguments into a marker file beside itself
// and ends. The rest of the file is random padding that the shell never reads.
QByteArray standInInstaller(int size)
{
    QByteArray installer = "#!/bin/sh\necho \"$#\" > \"$(dirname \"$0\")/installer-ran\"\nexit 0\n";
    QRandomGenerator generator(20191);
    while (installer.size() < size) {
        const quint32 word = generator.generate();
        installer.append(reinterpret_cast<const char *>(&word), sizeof(word));
    }
    installer.resize(size);
    return installer;
}

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct ShownBox {
    QString title;
    QString text;
    bool dialogVisible;
};

} // namespace

// The update dialog against a local HTTPS service: the offer, the download of the installer into
// the working directory, its start, and every way the download can fail.
class TestNewUpdateDialogWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cancelOnTheOfferStartsNothing();
    void installerIsSavedAndStarted_data();
    void installerIsSavedAndStarted();
    void failedDownloadShowsErrorAndClosesSafely_data();
    void failedDownloadShowsErrorAndClosesSafely();
    void installerNotSavedOrStartedIsNoSuccess_data();
    void installerNotSavedOrStartedIsNoSuccess();

private:
    template <typename T> T *child(const char *name) const { return dialog->findChild<T *>(QLatin1String(name)); }
    void assertOfferShown() const;

    QString originalDirectory;
    std::unique_ptr<QTemporaryDir> workDirectory;
    std::unique_ptr<harbolink::test::TestService> service;
    std::unique_ptr<NewUpdateDialogWindow> dialog;
    QList<ShownBox> boxes;
};

void TestNewUpdateDialogWindow::init()
{
    originalDirectory = QDir::currentPath();
    workDirectory = std::make_unique<QTemporaryDir>();
    QVERIFY(workDirectory->isValid());
    QVERIFY(QDir::setCurrent(workDirectory->path()));

    service = std::make_unique<harbolink::test::TestService>();
    harbolink::setServiceHostsForTesting(service->host(), service->host());

    dialog = std::make_unique<NewUpdateDialogWindow>();
    boxes.clear();
    harbolink::setMessageBoxHandler([this](const QString &title, const QString &text) {
        boxes.append({title, text, dialog && dialog->isVisible()});
    });

    dialog->showNewVersion(QStringLiteral("2.0.0"));
    dialog->setDownloadUrl(service->url(QString::fromLatin1(installerPath)));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
}

void TestNewUpdateDialogWindow::cleanup()
{
    dialog.reset();
    harbolink::setMessageBoxHandler({});
    service.reset();
    QDir::setCurrent(originalDirectory);
    workDirectory.reset();
}

void TestNewUpdateDialogWindow::assertOfferShown() const
{
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Version 2.0.0 aviable!"));
    QCOMPARE(child<QStackedWidget>("stackedWidgetUpdateWindow")->currentIndex(), 0);
    QCOMPARE(child<QLabel>("labelUpdateMessage")->text(),
             QStringLiteral("harbolink 2.0.0 is now aviable. Press OK to download it."));
    QCOMPARE(child<QLabel>("labelDownloadingMessage")->text(),
             QStringLiteral("Downloading harbolink 2.0.0 installer..."));
    QVERIFY(child<QPushButton>("pushButtonOk")->isVisible());
    QVERIFY(child<QPushButton>("pushButtonCancel")->isVisible());
}

void TestNewUpdateDialogWindow::cancelOnTheOfferStartsNothing()
{
    assertOfferShown();
    QSignalSpy cancels(dialog.get(), &NewUpdateDialogWindow::cancelDownload);
    QSignalSpy quits(dialog.get(), &NewUpdateDialogWindow::quitAction);

    QTest::mouseClick(child<QPushButton>("pushButtonCancel"), Qt::LeftButton);

    QVERIFY(dialog->isHidden());
    // Once from the button, once from the close event.
    QCOMPARE(cancels.count(), 2);
    QTest::qWait(200);
    QVERIFY(service->requests().isEmpty());
    QCOMPARE(quits.count(), 0);
    QVERIFY(boxes.isEmpty());
    QVERIFY(!QFile::exists(installerName));
}

void TestNewUpdateDialogWindow::installerIsSavedAndStarted_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("noContentLength");

    QTest::newRow("server announces the size") << 3 * 1024 * 1024 + 17 << false;
    QTest::newRow("server without a total size") << 2 * 1024 * 1024 + 5 << true;
}

void TestNewUpdateDialogWindow::installerIsSavedAndStarted()
{
    QFETCH(int, size);
    QFETCH(bool, noContentLength);

    const QByteArray installer = standInInstaller(size);
    harbolink::test::CannedReply reply;
    reply.body = installer;
    reply.contentType = "application/octet-stream";
    reply.noContentLength = noContentLength;
    service->setReply("GET", installerPath, reply);

    // An older, larger installer of the same name is replaced, not overwritten in part.
    {
        QFile older(installerName);
        QVERIFY(older.open(QIODevice::WriteOnly));
        QVERIFY(older.write(QByteArray(size + 4096, 'x')) > 0);
    }

    auto *bar = child<QProgressBar>("progressBarDownload");
    if (noContentLength) {
        // Progress without a total (-1) leaves the bar without a range: it shows that it is busy.
        // Over loopback the transfer is too quick for the network stack to report it in between.
        QVERIFY(
            QMetaObject::invokeMethod(dialog.get(), "downloadProgress", Q_ARG(qlonglong, 65536), Q_ARG(qlonglong, -1)));
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 0);
    }
    QSignalSpy quits(dialog.get(), &NewUpdateDialogWindow::quitAction);

    QTest::mouseClick(child<QPushButton>("pushButtonOk"), Qt::LeftButton);
    QVERIFY(child<QPushButton>("pushButtonOk")->isHidden());
    QCOMPARE(child<QStackedWidget>("stackedWidgetUpdateWindow")->currentIndex(), 1);

    QTRY_COMPARE_WITH_TIMEOUT(quits.count(), 1, 20000);
    QVERIFY(boxes.isEmpty());
    QCOMPARE(fileContents(installerName), installer);
    QVERIFY(QFile::permissions(installerName).testFlag(QFileDevice::ExeOwner));
    // Started without arguments, in the working directory.
    QTRY_COMPARE(fileContents(markerName), QByteArray("0\n"));

    const QList<harbolink::test::RecordedRequest> requests = service->requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().method, QByteArray("GET"));
    QCOMPARE(requests.first().path, installerPath);
    QCOMPARE(requests.first().header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(requests.first().header("User-Agent"), QByteArray("Mozilla Firefox"));
    QCOMPARE(requests.first().header("Auth-Token"), QByteArray("KD7QW2MPX9TLRV4HZN8CGJ5YBF3SAE6UQM2WKX7PTL9DRH4VZN"));

    QCOMPARE(bar->value(), size);
    QCOMPARE(bar->maximum(), size);
}

void TestNewUpdateDialogWindow::failedDownloadShowsErrorAndClosesSafely_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("abandonBy");

    QTest::newRow("Cancel during the download") << 200 << standInInstaller(64 * 1024) << QStringLiteral("Cancel");
    QTest::newRow("Escape during the download") << 200 << standInInstaller(64 * 1024) << QStringLiteral("Escape");
    QTest::newRow("HTTP error") << 404 << QByteArray("no such installer") << QString();
    QTest::newRow("redirect is not an installer") << 302 << QByteArray("moved") << QString();
    QTest::newRow("empty installer") << 200 << QByteArray() << QString();
}

void TestNewUpdateDialogWindow::failedDownloadShowsErrorAndClosesSafely()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, abandonBy);
    const bool cancelWhileDownloading = !abandonBy.isEmpty();

    harbolink::test::CannedReply reply;
    reply.status = status;
    reply.body = body;
    reply.contentType = "application/octet-stream";
    reply.stall = cancelWhileDownloading;
    service->setReply("GET", installerPath, reply);
    QSignalSpy quits(dialog.get(), &NewUpdateDialogWindow::quitAction);

    QTest::mouseClick(child<QPushButton>("pushButtonOk"), Qt::LeftButton);
    if (cancelWhileDownloading) {
        QTRY_COMPARE(service->requests().size(), 1);
        if (abandonBy == QLatin1String("Escape")) {
            QTest::keyClick(dialog.get(), Qt::Key_Escape);
        } else {
            QTest::mouseClick(child<QPushButton>("pushButtonCancel"), Qt::LeftButton);
        }
        QVERIFY(dialog->isHidden());
    } else {
        QTRY_COMPARE(boxes.size(), 1);
        // The dialog stays on the download page; only Cancel is left.
        QVERIFY(dialog->isVisible());
        QCOMPARE(child<QStackedWidget>("stackedWidgetUpdateWindow")->currentIndex(), 1);
        QVERIFY(child<QPushButton>("pushButtonOk")->isHidden());
    }

    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().title, QStringLiteral("Download error"));
    QCOMPARE(boxes.first().text, QStringLiteral("Download unsuccessful"));
    // The box comes while the dialog is still there, also when the user cancelled.
    QVERIFY(boxes.first().dialogVisible);

    // Closing again, before and after the reply is released, reaches no reply.
    dialog->show();
    QTest::mouseClick(child<QPushButton>("pushButtonCancel"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    dialog->show();
    dialog->close();
    QTest::qWait(100);

    QCOMPARE(boxes.size(), 1);
    QCOMPARE(quits.count(), 0);
    QVERIFY(!QFile::exists(installerName));
}

void TestNewUpdateDialogWindow::installerNotSavedOrStartedIsNoSuccess_data()
{
    // Neither a script nor a program this system can run.
    static const char notAProgram[] = "MZ\x90\x00\x03 not a program here";

    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QByteArray>("installer");

    const QByteArray script = standInInstaller(1024 * 1024);
    QTest::newRow("read-only working directory") << QStringLiteral("read-only") << script;
    QTest::newRow("working directory removed") << QStringLiteral("removed") << script;
    QTest::newRow("disk full while writing") << QStringLiteral("disk full") << script;
    QTest::newRow("installer cannot be started")
        << QStringLiteral("not a program") << QByteArray(notAProgram, sizeof(notAProgram) - 1);
}

void TestNewUpdateDialogWindow::installerNotSavedOrStartedIsNoSuccess()
{
    QFETCH(QString, obstacle);
    QFETCH(QByteArray, installer);

    harbolink::test::CannedReply reply;
    reply.body = installer;
    reply.contentType = "application/octet-stream";
    service->setReply("GET", installerPath, reply);

    if (obstacle == QLatin1String("read-only")) {
        QVERIFY(QFile::setPermissions(workDirectory->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QFile probe(QStringLiteral("probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(workDirectory->path(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("this user writes into read-only directories");
        }
    } else if (obstacle == QLatin1String("removed")) {
        QVERIFY(QDir().mkdir(QStringLiteral("gone")));
        QVERIFY(QDir::setCurrent(QStringLiteral("gone")));
        QVERIFY(QDir(workDirectory->path()).rmdir(QStringLiteral("gone")));
    } else if (obstacle == QLatin1String("disk full")) {
        if (!QFile::exists(QStringLiteral("/dev/full"))) {
            QSKIP("no /dev/full on this system");
        }
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), installerName));
    }
    QSignalSpy quits(dialog.get(), &NewUpdateDialogWindow::quitAction);

    QTest::mouseClick(child<QPushButton>("pushButtonOk"), Qt::LeftButton);

    QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, 20000);
    QCOMPARE(boxes.first().title, QStringLiteral("Download error"));
    QCOMPARE(boxes.first().text, QStringLiteral("Download unsuccessful"));
    QCOMPARE(quits.count(), 0);
    QVERIFY(dialog->isVisible());
    if (obstacle != QLatin1String("not a program")) {
        // Nothing half-written is left behind to be started later.
        QVERIFY(!QFileInfo(installerName).isSymLink());
        QVERIFY(!QFile::exists(installerName));
    }
    QTest::qWait(200);
    QVERIFY(!QFile::exists(QDir(workDirectory->path()).filePath(markerName)));

    QFile::setPermissions(workDirectory->path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QTEST_MAIN(TestNewUpdateDialogWindow)
#include "tst_newupdatedialogwindow.moc"
