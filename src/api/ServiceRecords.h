#pragma once
// The records in which service data travels between the components. Each is a Qt value
// container keyed by the names the service uses on the wire; copies are cheap and independent.

#include <QMap>
#include <QPixmap>
#include <QString>
#include <QVector>

// One VPN server: "name", "hostname", "country_code", "country", "latitude", "longitude",
// "ovpn", "crt", "image".
using ServerRecord = QMap<QString, QString>;
// The servers in the order of the service's reply.
using ServerList = QVector<ServerRecord>;
// Branding, version and links: "app_title", "corp_title", "version", "domain", "account",
// "signup", "support", "forgot_password", "download".
using StartupInfo = QMap<QString, QString>;
// The service's "message" of the login reply.
using LoginInfo = QMap<QString, QString>;
// The access verdict of the login reply: "login" and "connection".
using LoginFlags = QMap<QString, bool>;
// Flag pictures by server host name.
using FlagTable = QMap<QString, QPixmap>;
// Round-trip texts ("23ms", or "999ms" when none was measured) by server host name.
using PingTable = QMap<QString, QString>;
