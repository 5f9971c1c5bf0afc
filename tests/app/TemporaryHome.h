#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace harbolink::test {

// Gives this process a home folder of its own, removed at exit: HOME is set to a fresh temporary
// folder and XDG_CONFIG_HOME to its "config" subfolder, so settings and the autostart entry are
// real files that nothing else sees. Call it before anything has used QSettings, which keeps the
// settings folder it found first.
inline QString useTemporaryHome()
{
    static QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    return home.path();
}

inline QString configHome()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

} // namespace harbolink::test
