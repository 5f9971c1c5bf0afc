#pragma once

#include <QDialog>
#include <QMetaObject>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace Ui {
class NewUpdateDialogWindow;
}

// Offers a new version of the client, downloads its installer, starts it and asks to quit.
class NewUpdateDialogWindow : public QDialog
{
    Q_OBJECT

public:
    explicit NewUpdateDialogWindow(QWidget *parent = nullptr);
    ~NewUpdateDialogWindow() override;

    void showNewVersion(const QString &version);
    void setDownloadUrl(const QString &url);

signals:
    void quitAction();
    void cancelDownload();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_pushButtonCancel_clicked();
    void on_pushButtonOk_clicked();
    void processReply(QNetworkReply *reply);
    void downloadProgress(qlonglong ist, qlonglong max);

private:
    bool saveAndStartInstaller(const QByteArray &installer);

    std::unique_ptr<Ui::NewUpdateDialogWindow> ui;
    std::unique_ptr<QNetworkAccessManager> networkManager;
    QString downloadUrl;
    // Aborts the running download when the user abandons the dialog; ends with that download.
    QMetaObject::Connection abortConnection;
};
