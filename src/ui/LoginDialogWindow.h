#pragma once

#include "api/ServiceRecords.h"

#include <QDialog>
#include <QMap>
#include <QString>

// The sign-in window: e-mail address and password of the service account, "Remeber me" and the
// service's web links.
class LoginDialogWindow : public QDialog
{
    Q_OBJECT

public:
    explicit LoginDialogWindow(QWidget *parent = nullptr);
    ~LoginDialogWindow() override;

    void initWindow(const StartupInfo &startupInfo, const QString &username, const QString &password,
                    bool remember);
    QMap<QString, QString> loginData() const;
    bool isRememberMe() const;

signals:
    void makeLoginRequest();
    void quitAction(bool _needExit);
};
