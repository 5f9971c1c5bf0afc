#include "ui/LoginDialogWindow.h"

#include "ui/AppFont.h"

#include "ui_LoginDialogWindow.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QIcon>
#include <QKeyEvent>
#include <QUrl>

namespace {

const QPoint formZoneOrigin(0, 132);
const QMargins fieldTextMargins(8, 0, 8, 0);

// What the user typed, without the spaces and line feeds that pasting tends to bring along.
QString withoutSpacesAndLineFeeds(QString text)
{
    text.remove(QLatin1Char(' '));
    text.remove(QLatin1Char('\n'));
    return text;
}

void openLink(const QString &address)
{
    QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

} // namespace

LoginDialogWindow::LoginDialogWindow(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::LoginDialogWindow>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window);

    // The fields have no frame: keep the typed text off their edges.
    ui->lineEditUsername->setTextMargins(fieldTextMargins);
    ui->lineEditPassword->setTextMargins(fieldTextMargins);
}

LoginDialogWindow::~LoginDialogWindow() = default;

void LoginDialogWindow::initWindow(const StartupInfo &startupInfo, const QString &username, const QString &password,
                                   bool remember)
{
    appTitle = startupInfo.value(QStringLiteral("app_title"));
    signupUrl = startupInfo.value(QStringLiteral("signup"));
    forgotPasswordUrl = startupInfo.value(QStringLiteral("forgot_password"));
    // The service has one download page for both mobile apps.
    appStoreUrl = startupInfo.value(QStringLiteral("download"));
    googlePlayUrl = startupInfo.value(QStringLiteral("download"));

    userName = username;
    userPassword = password;
    rememberMe = remember;
    needExit = true;

    const QFont font = harbolink::ui::quicksandFont();
    for (QWidget *widget : std::initializer_list<QWidget *>{
             ui->labelAppLogo, ui->labelOrSingIn, ui->labelSingingIn, ui->labelTryMobileApp, ui->labelForgotPassword,
             ui->pushButtonSingIn, ui->pushButtonCreateAccount, ui->lineEditPassword, ui->lineEditUsername,
             ui->checkBoxRemeberMe}) {
        widget->setFont(font);
    }

    ui->frameLoginAnimation->hide();
    ui->frameLoginAnimation->move(formZoneOrigin);
    showFormState();

    setWindowTitle(appTitle);
    setWindowIcon(QIcon(QStringLiteral(":/resources/common/images/logo_update.png")));

    ui->labelAppName->setText(appTitle);
    ui->lineEditUsername->setText(userName);
    ui->lineEditPassword->setText(userPassword);
    ui->checkBoxRemeberMe->setChecked(rememberMe);
}

QMap<QString, QString> LoginDialogWindow::loginData() const
{
    return capturedLogin;
}

bool LoginDialogWindow::isRememberMe() const
{
    return rememberMe;
}

void LoginDialogWindow::closeEvent(QCloseEvent *event)
{
    // The controller decides what a close means; the window only hides and forgets the login.
    event->ignore();
    hide();
    capturedLogin.clear();
    emit quitAction(needExit);
}

void LoginDialogWindow::keyPressEvent(QKeyEvent *event)
{
    // Escape would otherwise reject the dialog: it would vanish without telling the controller,
    // leaving the program running with no window. It closes the window like its close button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void LoginDialogWindow::on_pushButtonSingIn_clicked()
{
    showSigningInState();

    userName = withoutSpacesAndLineFeeds(ui->lineEditUsername->text());
    userPassword = withoutSpacesAndLineFeeds(ui->lineEditPassword->text());
    rememberMe = ui->checkBoxRemeberMe->isChecked();

    capturedLogin.insert(QStringLiteral("username"), userName);
    capturedLogin.insert(QStringLiteral("password"), userPassword);

    needExit = false;
    emit makeLoginRequest();
}

void LoginDialogWindow::on_pushButtonIos_clicked()
{
    openLink(appStoreUrl);
}

void LoginDialogWindow::on_labelForgotPassword_linkActivated(QString link)
{
    // The label's own target is only a marker; the address comes from the service.
    Q_UNUSED(link)
    openLink(forgotPasswordUrl);
}

void LoginDialogWindow::on_pushButtonAndroid_clicked()
{
    openLink(googlePlayUrl);
}

void LoginDialogWindow::on_pushButtonCreateAccount_clicked()
{
    openLink(signupUrl);
}

void LoginDialogWindow::showFormState()
{
    ui->frameLoginAnimation->hide();
    ui->frameRegisterAndLoginZone->show();
}

void LoginDialogWindow::showSigningInState()
{
    ui->frameRegisterAndLoginZone->hide();
    ui->frameLoginAnimation->show();
}
