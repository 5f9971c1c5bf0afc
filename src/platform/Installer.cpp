#include "platform/Installer.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

namespace harbolink::platform {

bool startInstaller(const QString &filePath)
{
    // An absolute path: a bare file name would be looked up in the program's search path instead.
    const QString program = QFileInfo(filePath).absoluteFilePath();
#ifndef Q_OS_WIN
    // A downloaded file carries no execute permission.
    QFile file(program);
    if (!file.setPermissions(file.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner
                             | QFileDevice::ExeOwner)) {
        qWarning("Installer: cannot make %s executable", qUtf8Printable(program));
        return false;
    }
#endif
    return QProcess::startDetached(program, QStringList());
}

} // namespace harbolink::platform
