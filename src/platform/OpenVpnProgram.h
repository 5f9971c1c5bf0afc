#pragma once

#include <QString>

namespace harbolink::platform {

// Full path of the OpenVPN program installed in the folder "openvpn" beside the client.
QString openVpnProgramPath();

} // namespace harbolink::platform
