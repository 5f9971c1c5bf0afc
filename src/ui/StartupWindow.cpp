#include "ui/StartupWindow.h"

StartupWindow::StartupWindow(QWidget *parent)
    : QDialog(parent)
{
}

StartupWindow::~StartupWindow() = default;
