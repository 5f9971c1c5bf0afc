#include "ui/NewUpdateDialogWindow.h"

#include "api/ServiceRequest.h"
#include "app/Constants.h"
#include "platform/Installer.h"
#include "ui/MessageBoxes.h"

#include "ui_NewUpdateDialogWindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

namespace {

const int offerPage = 0;
const int downloadPage = 1;

} // namespace

NewUpdateDialogWindow::NewUpdateDialogWindow(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::NewUpdateDialogWindow>())
    , networkManager(std::make_unique<QNetworkAccessManager>())
{
    ui->setupUi(this);
}

NewUpdateDialogWindow::~NewUpdateDialogWindow() = default;

void NewUpdateDialogWindow::showNewVersion(const QString &version)
{
    const QString product = QString::fromLatin1(harbolink::productName);
    ui->stackedWidgetUpdateWindow->setCurrentIndex(offerPage);
    setWindowTitle(tr("Version %1 aviable!").arg(version));
    ui->labelUpdateMessage->setText(tr("%1 %2 is now aviable. Press OK to download it.").arg(product, version));
    ui->labelDownloadingMessage->setText(tr("Downloading %1 %2 installer...").arg(product, version));
}

void NewUpdateDialogWindow::setDownloadUrl(const QString &url)
{
    downloadUrl = url;
}

void NewUpdateDialogWindow::closeEvent(QCloseEvent *event)
{
    emit cancelDownload();
    QDialog::closeEvent(event);
}

void NewUpdateDialogWindow::keyPressEvent(QKeyEvent *event)
{
    // Escape would otherwise reject the dialog without abandoning a running download, which could
    // then start the installer and quit behind the user's back. It closes the dialog instead.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void NewUpdateDialogWindow::on_pushButtonCancel_clicked()
{
    emit cancelDownload();
    close();
}

void NewUpdateDialogWindow::on_pushButtonOk_clicked()
{
    ui->pushButtonOk->hide();
    ui->stackedWidgetUpdateWindow->setCurrentIndex(downloadPage);

    QNetworkReply *reply = networkManager->get(harbolink::serviceRequest(QUrl(downloadUrl, QUrl::TolerantMode)));
    connect(reply, &QNetworkReply::downloadProgress, this, &NewUpdateDialogWindow::downloadProgress);
    // The reply is the context: the abort cannot outlive the download it belongs to.
    abortConnection =
        connect(this, &NewUpdateDialogWindow::cancelDownload, reply, &QNetworkReply::abort, Qt::DirectConnection);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { processReply(reply); });
}

void NewUpdateDialogWindow::processReply(QNetworkReply *reply)
{
    const QString title = tr("Download error");
    const QString text = tr("Download unsuccessful");

    // The download is over: closing the dialog from now on must not reach the released reply.
    disconnect(abortConnection);
    reply->deleteLater();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299) {
        qWarning("Update: installer download failed: %s (HTTP status %d)", qUtf8Printable(reply->errorString()),
                 status);
        harbolink::showMessageBox(title, text);
        return;
    }

    const QByteArray installer = reply->readAll();
    if (installer.isEmpty()) {
        qWarning("Update: the installer download is empty");
        harbolink::showMessageBox(title, text);
        return;
    }

    if (!saveAndStartInstaller(installer)) {
        harbolink::showMessageBox(title, text);
        return;
    }
    emit quitAction();
}

void NewUpdateDialogWindow::downloadProgress(qlonglong ist, qlonglong max)
{
    // A total of -1 (no size announced) leaves the bar without a range: it shows that it is busy.
    ui->progressBarDownload->setRange(0, static_cast<int>(max));
    ui->progressBarDownload->setValue(static_cast<int>(ist));
}

// Saves the installer in the working directory, replacing an older one, and starts it. A file that
// cannot be written completely is removed and nothing is started: quitting then would leave the
// user with neither the client nor an installer.
bool NewUpdateDialogWindow::saveAndStartInstaller(const QByteArray &installer)
{
    const QString fileName =
        QString::fromLatin1(harbolink::installerFileTemplate).arg(QLatin1String(harbolink::productName));
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning("Update: cannot create %s: %s", qUtf8Printable(fileName), qUtf8Printable(file.errorString()));
        return false;
    }
    if (file.write(installer) != installer.size() || !file.flush()) {
        qWarning("Update: cannot write %s: %s", qUtf8Printable(fileName), qUtf8Printable(file.errorString()));
        file.close();
        file.remove();
        return false;
    }
    file.close();

    if (!harbolink::platform::startInstaller(fileName)) {
        qWarning("Update: cannot start %s", qUtf8Printable(fileName));
        return false;
    }
    return true;
}
