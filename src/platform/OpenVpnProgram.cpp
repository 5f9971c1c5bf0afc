#include "platform/OpenVpnProgram.h"

#include "app/Constants.h"

#include <QCoreApplication>

namespace harbolink::platform {

QString openVpnProgramPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1String(openVpnProgram);
}

} // namespace harbolink::platform
