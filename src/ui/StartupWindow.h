#pragma once

#include <QDialog>

// The small borderless window shown while the client waits for the service's startup reply.
class StartupWindow : public QDialog
{
    Q_OBJECT

public:
    explicit StartupWindow(QWidget *parent = nullptr);
    ~StartupWindow() override;
};
