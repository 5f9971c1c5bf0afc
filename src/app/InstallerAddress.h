#pragma once

#include <QString>

namespace harbolink {

// Where the installer of a new version is downloaded: "https://", the installer host and
// "/<site>/<site>_installer.exe", the site being the domain announced by the service without its
// first 13 characters, the length of "https://www2." (what they are is not looked at).
QString installerAddress(const QString &domain);

} // namespace harbolink
