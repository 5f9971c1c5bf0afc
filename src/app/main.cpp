#include "app/AppCore.h"
#include "app/Constants.h"
#include "app/InstanceGuard.h"
#include "platform/TerminationRequests.h"

#include <QGuiApplication>

int main(int argc, char *argv[])
{
    InstanceGuard guard(QString::fromLatin1(harbolink::productName));
    if (!guard.claim()) {
        return 0;
    }

    QCoreApplication::setSetuidAllowed(true);
    int result = 0;
    {
        AppCore app(argc, argv);
        QGuiApplication::setQuitOnLastWindowClosed(false);
        // Ending the session or a kill ends the program the way the tray's Exit does: the tunnel
        // is stopped first.
        harbolink::platform::watchTerminationRequests(
            &app, [&app] { QMetaObject::invokeMethod(&app, "tryToCloseApplication", Qt::QueuedConnection); });
        result = app.exec();
    }
    return result;
}
