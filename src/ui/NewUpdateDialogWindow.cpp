#include "ui/NewUpdateDialogWindow.h"

#include <QNetworkAccessManager>

NewUpdateDialogWindow::NewUpdateDialogWindow(QWidget *parent)
    : QDialog(parent)
    , networkManager(std::make_unique<QNetworkAccessManager>())
{
}

NewUpdateDialogWindow::~NewUpdateDialogWindow() = default;

void NewUpdateDialogWindow::showNewVersion(const QString &version)
{
    Q_UNUSED(version)
}

void NewUpdateDialogWindow::setDownloadUrl(const QString &url)
{
    downloadUrl = url;
}
