#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class StartupWindow;
}

// The small borderless window shown while the client waits for the service's startup reply.
class StartupWindow : public QDialog
{
    Q_OBJECT

public:
    explicit StartupWindow(QWidget *parent = nullptr);
    ~StartupWindow() override;

private:
    std::unique_ptr<Ui::StartupWindow> ui;
};
