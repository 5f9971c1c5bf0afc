#pragma once

#include "api/ServiceRecords.h"

#include <QDialog>
#include <QMap>
#include <QString>

#include <memory>

namespace Ui {
class LoginDialogWindow;
}

// The sign-in window: e-mail address and password of the service account, "Remeber me" and the
// service's web links.
class LoginDialogWindow : public QDialog
{
    Q_OBJECT

public:
    explicit LoginDialogWindow(QWidget *parent = nullptr);
    ~LoginDialogWindow() override;

    void initWindow(const StartupInfo &startupInfo, const QString &username, const QString &password, bool remember);
    QMap<QString, QString> loginData() const;
    bool isRememberMe() const;

signals:
    void makeLoginRequest();
    void quitAction(bool _needExit);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_pushButtonSingIn_clicked();
    void on_pushButtonIos_clicked();
    void on_labelForgotPassword_linkActivated(QString link);
    void on_pushButtonAndroid_clicked();
    void on_pushButtonCreateAccount_clicked();

private:
    void showFormState();
    void showSigningInState();

    std::unique_ptr<Ui::LoginDialogWindow> ui;
    // Credentials captured at the last sign-in press under "username" and "password".
    QMap<QString, QString> capturedLogin;
    bool rememberMe = false;
    QString appTitle;
    QString signupUrl;
    QString forgotPasswordUrl;
    QString appStoreUrl;
    QString googlePlayUrl;
    QString userName;
    QString userPassword;
    // The argument of the next quitAction: closing before signing in asks to quit.
    bool needExit = false;
};
