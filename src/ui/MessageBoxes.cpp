#include "ui/MessageBoxes.h"

#include <QMessageBox>

namespace harbolink {

namespace {

MessageBoxHandler &handler()
{
    static MessageBoxHandler instance;
    return instance;
}

} // namespace

void showMessageBox(const QString &title, const QString &text)
{
    if (handler()) {
        handler()(title, text);
        return;
    }
    QMessageBox box;
    box.setWindowTitle(title);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

void setMessageBoxHandler(MessageBoxHandler newHandler)
{
    handler() = std::move(newHandler);
}

} // namespace harbolink
