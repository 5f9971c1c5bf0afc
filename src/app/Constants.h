#pragma once
// The client's fixed values and the contacts it relies on: the service API, the installer host,
// the OpenVPN program and its management interface. Build-time settings come from BuildConfig.h.

#include "BuildConfig.h"

#include <QtGlobal>

namespace harbolink {

// The product and its own version.
inline constexpr char productName[] = "harbolink";
inline constexpr char ownVersion[] = "1.0.0";

// Service API: every request carries these headers.
inline constexpr char apiToken[] = "KD7QW2MPX9TLRV4HZN8CGJ5YBF3SAE6UQM2WKX7PTL9DRH4VZN";
inline constexpr char userAgent[] = "Mozilla Firefox";
inline constexpr char contentType[] = "application/json";

// Service API paths under the base address "https://" + API host.
inline constexpr char startupPath[] = "/v1/startup";
inline constexpr char loginPath[] = "/v1/login";
inline constexpr char serversPath[] = "/v1/servers";
inline constexpr char reportPath[] = "/v1/report";

// The update offer: the site name is the domain without the length of this prefix.
inline constexpr char domainPrefix[] = "https://www2.";
inline constexpr int domainPrefixLength = int(sizeof(domainPrefix)) - 1;
// "https://" + installer host + this path, both place-holders the site name.
inline constexpr char installerPathTemplate[] = "/%1/%2_installer.exe";
// The downloaded installer's file name in the working directory; %1 is the product name.
inline constexpr char installerFileTemplate[] = "%1_installer.exe";

// Fallback flag of a server whose own picture could not be downloaded.
inline constexpr char fallbackFlag[] = ":/resources/common/images/Flags/UN@2x.png";

// OpenVPN: the program beside the client, the directive appended to every configuration and the
// management interface that the served configuration opens.
#ifdef Q_OS_WIN
inline constexpr char openVpnProgram[] = "/openvpn/openvpn.exe";
#else
inline constexpr char openVpnProgram[] = "/openvpn/openvpn";
#endif
inline constexpr char openVpnLogDirective[] = "log-append openvpn.log";
inline constexpr char managementHost[] = "localhost";
inline constexpr quint16 managementPort = 60505;
inline constexpr char byteCountCommand[] = "bytecount 1\n";
inline constexpr char byteCountPrefix[] = ">BYTECOUNT:";
// State notifications from then on, and the state OpenVPN is in already; the session is live once
// OpenVPN reports the tunnel up.
inline constexpr char stateOnCommand[] = "state on\n";
inline constexpr char stateCommand[] = "state\n";
inline constexpr char statePrefix[] = ">STATE:";
inline constexpr char connectedState[] = "CONNECTED";
inline constexpr int managementAttempts = 5;
inline constexpr int managementAttemptTimeoutMs = 30000;
inline constexpr int managementRetryPauseMs = 1000;
inline constexpr int processStartTimeoutMs = 30000;
inline constexpr int managementDisconnectTimeoutMs = 30000;
inline constexpr int processTerminateTimeoutMs = 60;
// How long OpenVPN may take, once its management interface is open, to report the tunnel up.
inline constexpr int tunnelUpTimeoutMs = 60000;

// Latency probe: the text of a host that could not be measured.
inline constexpr char noPingResult[] = "999ms";

} // namespace harbolink
