#pragma once

#include <QString>

namespace harbolink::platform {

// Starts a downloaded installer as a detached process without arguments. On Linux the file is
// first made executable by its owner. Returns false when the installer could not be started.
bool startInstaller(const QString &filePath);

} // namespace harbolink::platform
