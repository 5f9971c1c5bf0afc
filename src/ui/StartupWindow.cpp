#include "ui/StartupWindow.h"

#include "ui/AppFont.h"

#include "ui_StartupWindow.h"

#include <QIcon>

StartupWindow::StartupWindow(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::StartupWindow>())
{
    ui->setupUi(this);

    // A top-level window without frame or title bar; the dialog flags of the form are replaced.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowIcon(QIcon(QStringLiteral(":/resources/common/images/logo_update@2x.png")));
    setWindowTitle(tr("RODIDARUD"));

    ui->labelPleaseWait->setFont(harbolink::ui::quicksandFont());
}

StartupWindow::~StartupWindow() = default;
