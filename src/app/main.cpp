#include "app/AppCore.h"
#include "app/Constants.h"
#include "app/InstanceGuard.h"

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
        result = app.exec();
    }
    return result;
}
