#include "platform/Autostart.h"

#include "app/Constants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace harbolink::platform {

#ifdef Q_OS_WIN

namespace {
const QString runKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
} // namespace

bool isAutostartEnabled()
{
    return QSettings(runKey, QSettings::NativeFormat).contains(QCoreApplication::applicationName());
}

void setAutostartEnabled(bool enabled)
{
    QSettings run(runKey, QSettings::NativeFormat);
    if (enabled) {
        run.setValue(QCoreApplication::applicationName(),
                     QCoreApplication::applicationFilePath().replace(QLatin1Char('/'), QLatin1Char('\\')));
    } else {
        run.remove(QCoreApplication::applicationName());
    }
}

#else

QString autostartEntryPath()
{
    const QDir configHome(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    return configHome.filePath(QStringLiteral("autostart/%1.desktop").arg(QLatin1String(productName)));
}

QString desktopExecValue(const QString &program)
{
    // One quoted argument: inside the quotes '"', '`', '$' and '\' take a backslash.
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    // '%' starts a field code and is written twice.
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // The value is a string of the entry: backslashes and control characters are escaped again.
    QString value;
    for (const QChar c : quoted) {
        switch (c.unicode()) {
        case '\\':
            value += QStringLiteral("\\\\");
            break;
        case '\n':
            value += QStringLiteral("\\n");
            break;
        case '\t':
            value += QStringLiteral("\\t");
            break;
        case '\r':
            value += QStringLiteral("\\r");
            break;
        default:
            value += c;
        }
    }
    return value;
}

bool isAutostartEnabled()
{
    return QFileInfo::exists(autostartEntryPath());
}

void setAutostartEnabled(bool enabled)
{
    const QString path = autostartEntryPath();
    if (!enabled) {
        QFile::remove(path);
        return;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile entry(path);
    if (!entry.open(QIODevice::WriteOnly)) {
        qWarning("Autostart: the entry %s could not be written", qUtf8Printable(path));
        return;
    }
    const QString text =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=%1\n"
                       "Exec=%2\n"
                       "Terminal=false\n"
                       "X-GNOME-Autostart-enabled=true\n")
            .arg(QLatin1String(productName), desktopExecValue(QCoreApplication::applicationFilePath()));
    entry.write(text.toUtf8());
    if (!entry.commit()) {
        qWarning("Autostart: the entry %s could not be written", qUtf8Printable(path));
    }
}

#endif

} // namespace harbolink::platform
