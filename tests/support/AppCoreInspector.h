#pragma once

#include "app/AppCore.h"

#include <QCoreApplication>

// Read access to the controller's members for the tests that drive the real application object.
class AppCoreInspector
{
public:
    static AppCore &app() { return *qobject_cast<AppCore *>(QCoreApplication::instance()); }

    static const std::vector<QMetaObject::Connection> &wiring() { return app().wiring; }
    static NetworkManager *networkManager() { return app().networkManager; }
    static Ping *ping() { return app().ping; }
    static Protocol *protocol() { return app().protocol; }
    static LoginDialogWindow *loginWindow() { return app().loginWindow; }
    static MainDialogWindow *mainWindow() { return app().mainWindow; }
    static NewUpdateDialogWindow *updateWindow() { return app().updateWindow; }
    static StartupWindow *startupWindow() { return app().startupWindow; }
    static QSystemTrayIcon *systemTray() { return app().systemTray; }
    static QMenu *trayMenu() { return app().trayMenu; }
    static QAction *actionShow() { return app().actionShow; }
    static QAction *actionStart() { return app().actionStart; }
    static QAction *actionStop() { return app().actionStop; }
    static QAction *actionExit() { return app().actionExit; }
};
