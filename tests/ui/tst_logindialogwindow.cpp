#include "ui/LoginDialogWindow.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

// Records the addresses that the window asks the browser to open.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

// The sign-in window as the controller drives it: filled by initWindow, read back after the
// sign-in press, closed before or after signing in.
class TestLoginDialogWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void returnEqualsSignInClick_data();
    void returnEqualsSignInClick();
    void spacesAndLineFeedsAreStripped_data();
    void spacesAndLineFeedsAreStripped();
    void emptyFieldsStillRequestLogin();
    void closingTellsWhetherToQuit_data();
    void closingTellsWhetherToQuit();
    void linksOpenTheirAddresses_data();
    void linksOpenTheirAddresses();

private:
    static StartupInfo startupInfo();
    template <typename T> T *child(const char *name) const { return window->findChild<T *>(QLatin1String(name)); }
    void showAndActivate();

    std::unique_ptr<LoginDialogWindow> window;
    UrlRecorder recorder;
};

StartupInfo TestLoginDialogWindow::startupInfo()
{
    StartupInfo info;
    info.insert(QStringLiteral("app_title"), QStringLiteral("Harbo VPN"));
    info.insert(QStringLiteral("signup"), QStringLiteral("https://www.example.test/signup"));
    info.insert(QStringLiteral("forgot_password"), QStringLiteral("https://www.example.test/forgot password"));
    info.insert(QStringLiteral("download"), QStringLiteral("https://www.example.test/download"));
    info.insert(QStringLiteral("account"), QStringLiteral("https://www.example.test/account"));
    return info;
}

void TestLoginDialogWindow::init()
{
    window = std::make_unique<LoginDialogWindow>();
    window->initWindow(startupInfo(), QStringLiteral("user@example.test"), QStringLiteral("secret"), true);
    recorder.urls.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
}

void TestLoginDialogWindow::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    window.reset();
}

void TestLoginDialogWindow::showAndActivate()
{
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TestLoginDialogWindow::returnEqualsSignInClick_data()
{
    QTest::addColumn<bool>("byReturnKey");

    QTest::newRow("sign-in button clicked") << false;
    QTest::newRow("Return pressed in the password field") << true;
}

void TestLoginDialogWindow::returnEqualsSignInClick()
{
    QFETCH(bool, byReturnKey);
    showAndActivate();

    auto *form = child<QFrame>("frameRegisterAndLoginZone");
    auto *busy = child<QFrame>("frameLoginAnimation");
    QVERIFY(form->isVisible());
    QVERIFY(!busy->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Harbo VPN"));
    QCOMPARE(child<QLabel>("labelAppName")->text(), QStringLiteral("Harbo VPN"));
    QVERIFY(child<QCheckBox>("checkBoxRemeberMe")->isChecked());

    child<QCheckBox>("checkBoxRemeberMe")->setChecked(false);
    QSignalSpy requests(window.get(), &LoginDialogWindow::makeLoginRequest);
    if (byReturnKey) {
        child<QLineEdit>("lineEditPassword")->setFocus();
        QTest::keyClick(child<QLineEdit>("lineEditPassword"), Qt::Key_Return);
    } else {
        QTest::mouseClick(child<QPushButton>("pushButtonSingIn"), Qt::LeftButton);
    }
    QTRY_COMPARE(requests.count(), 1);

    QVERIFY(!form->isVisible());
    QVERIFY(busy->isVisible());
    QCOMPARE(busy->pos(), QPoint(0, 132));
    QCOMPARE(child<QLabel>("labelSingingIn")->text(), QStringLiteral("Singing in..."));
    QCOMPARE(window->loginData().value(QStringLiteral("username")), QStringLiteral("user@example.test"));
    QCOMPARE(window->loginData().value(QStringLiteral("password")), QStringLiteral("secret"));
    QVERIFY(!window->isRememberMe());

    // A refused login brings the form back through initWindow.
    window->initWindow(startupInfo(), QStringLiteral("user@example.test"), QString(), false);
    QVERIFY(form->isVisible());
    QVERIFY(!busy->isVisible());
    QVERIFY(child<QLineEdit>("lineEditPassword")->text().isEmpty());
}

void TestLoginDialogWindow::spacesAndLineFeedsAreStripped_data()
{
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<QString>("typedPassword");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");

    QTest::newRow("spaces around and inside")
        << QStringLiteral("  user @example.test ") << QStringLiteral(" pass word ")
        << QStringLiteral("user@example.test") << QStringLiteral("password");
    QTest::newRow("pasted with a line break at the end")
        << QStringLiteral("user@example.test\n") << QStringLiteral("secret\n") << QStringLiteral("user@example.test")
        << QStringLiteral("secret");
    QTest::newRow("line breaks and spaces mixed")
        << QStringLiteral("\n user@\nexample.test \n") << QStringLiteral("s e\nc\n r e t")
        << QStringLiteral("user@example.test") << QStringLiteral("secret");
    QTest::newRow("other characters kept") << QStringLiteral("user+vpn@example.test") << QStringLiteral("p\"a\\s$s\t!")
                                           << QStringLiteral("user+vpn@example.test") << QStringLiteral("p\"a\\s$s\t!");
}

void TestLoginDialogWindow::spacesAndLineFeedsAreStripped()
{
    QFETCH(QString, typedName);
    QFETCH(QString, typedPassword);
    QFETCH(QString, name);
    QFETCH(QString, password);

    child<QLineEdit>("lineEditUsername")->setText(typedName);
    child<QLineEdit>("lineEditPassword")->setText(typedPassword);
    QSignalSpy requests(window.get(), &LoginDialogWindow::makeLoginRequest);
    child<QPushButton>("pushButtonSingIn")->click();

    QCOMPARE(requests.count(), 1);
    QCOMPARE(window->loginData().value(QStringLiteral("username")), name);
    QCOMPARE(window->loginData().value(QStringLiteral("password")), password);
}

void TestLoginDialogWindow::emptyFieldsStillRequestLogin()
{
    child<QLineEdit>("lineEditUsername")->clear();
    child<QLineEdit>("lineEditPassword")->clear();
    QSignalSpy requests(window.get(), &LoginDialogWindow::makeLoginRequest);
    child<QPushButton>("pushButtonSingIn")->click();

    QCOMPARE(requests.count(), 1);
    const QMap<QString, QString> data = window->loginData();
    QVERIFY(data.contains(QStringLiteral("username")));
    QVERIFY(data.contains(QStringLiteral("password")));
    QVERIFY(data.value(QStringLiteral("username")).isEmpty());
    QVERIFY(data.value(QStringLiteral("password")).isEmpty());
}

void TestLoginDialogWindow::closingTellsWhetherToQuit_data()
{
    QTest::addColumn<bool>("signInFirst");
    QTest::addColumn<bool>("byEscapeKey");
    QTest::addColumn<bool>("needExit");

    QTest::newRow("closed before signing in") << false << false << true;
    QTest::newRow("closed after the sign-in press") << true << false << false;
    QTest::newRow("Escape before signing in") << false << true << true;
    QTest::newRow("Escape after the sign-in press") << true << true << false;
}

void TestLoginDialogWindow::closingTellsWhetherToQuit()
{
    QFETCH(bool, signInFirst);
    QFETCH(bool, byEscapeKey);
    QFETCH(bool, needExit);
    showAndActivate();

    if (signInFirst) {
        child<QPushButton>("pushButtonSingIn")->click();
        QCOMPARE(window->loginData().value(QStringLiteral("username")), QStringLiteral("user@example.test"));
    }
    QSignalSpy quits(window.get(), &LoginDialogWindow::quitAction);
    if (byEscapeKey) {
        QTest::keyClick(window.get(), Qt::Key_Escape);
    } else {
        window->close();
    }

    QCOMPARE(quits.count(), 1);
    QCOMPARE(quits.first().first().toBool(), needExit);
    QVERIFY(window->isHidden());
    QVERIFY(window->loginData().isEmpty());
}

void TestLoginDialogWindow::linksOpenTheirAddresses_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("address");

    QTest::newRow("Create account") << QStringLiteral("pushButtonCreateAccount")
                                    << QStringLiteral("https://www.example.test/signup");
    QTest::newRow("Forgot password") << QStringLiteral("labelForgotPassword")
                                     << QStringLiteral("https://www.example.test/forgot%20password");
    QTest::newRow("App Store") << QStringLiteral("pushButtonIos")
                               << QStringLiteral("https://www.example.test/download");
    QTest::newRow("Google Play") << QStringLiteral("pushButtonAndroid")
                                 << QStringLiteral("https://www.example.test/download");
}

void TestLoginDialogWindow::linksOpenTheirAddresses()
{
    QFETCH(QString, widget);
    QFETCH(QString, address);

    if (auto *label = window->findChild<QLabel *>(widget)) {
        // The label's own link target is ignored; the service's address is opened.
        QVERIFY(label->text().contains(QStringLiteral("Forgot Your<br/> Password?")));
        emit label->linkActivated(QStringLiteral("#forgot_your_password"));
    } else {
        auto *button = window->findChild<QPushButton *>(widget);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QCOMPARE(recorder.urls.size(), 1);
    QCOMPARE(recorder.urls.first().toString(QUrl::FullyEncoded), address);
}

QTEST_MAIN(TestLoginDialogWindow)
#include "tst_logindialogwindow.moc"
