#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

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

private:
    std::unique_ptr<QNetworkAccessManager> networkManager;
    QString downloadUrl;
};
