#pragma once
// What the client remembers between runs: the login (group "login") and the main window's switches
// (group "mainwindow") in the per-user native settings of the organisation and application, and
// whether it starts when the user logs on. Every operation opens the store anew and writes its
// changes out before it returns, so nothing is cached between operations.

#include <QString>
#include <QVariant>

namespace harbolink::settings {

// The "which" argument of loadLoginSetting.
enum LoginSetting : int { LoginUserName = 0, LoginPassword = 1, LoginRemember = 2 };
// The "which" argument of loadMainWindowSetting.
enum MainWindowSetting : int { MainAutorun = 0, MainTrayIcon = 1, MainSetDns = 2, MainLastServer = 3 };

// Writes user name, password (in stored form) and the remember flag to the group "login".
void saveLoginSettings(const QString &username, const QString &password, bool remember, const QString &organization,
                       const QString &application);
// One value of the group "login": text for the user name and the password (given back in clear),
// bool for remember. Missing values read as "", "" and false; an unknown `which` as an invalid QVariant.
QVariant loadLoginSetting(int which, const QString &organization, const QString &application);

// Writes "trayicon", "setdns" and "lastserver" to the group "mainwindow" and registers or
// unregisters the start at log-on.
void storeMainWindowSettings(bool autorun, bool trayIcon, bool setDns, const QString &lastServer,
                             const QString &organization, const QString &application);
// autorun (whether the start at log-on is registered), "trayicon" (default false), "setdns"
// (default true) or "lastserver" (default ""); an unknown `which` gives an invalid QVariant.
QVariant loadMainWindowSetting(int which, const QString &organization, const QString &application);

// The password scramble: each UTF-16 code unit combined with a fixed 8-letter key, its own inverse
// on ASCII text. Code units of 256 or more are taken as 0, so it is lossy beyond ASCII.
QString scramblePassword(const QString &text);

// The stored form of a password: the scramble for ASCII text; for any other text a marker that a
// scrambled ASCII text never holds, followed by its scrambled UTF-8 bytes in base 64.
QString storedPassword(const QString &password);
// The password back from its stored form.
QString passwordFromStored(const QString &stored);

// The organisation name as it names the settings folder (or registry key): "/", "\\" and NUL
// become "_", so do leading dots, and an empty name becomes "harbolink". Other names are kept.
QString settingsOrganization(const QString &organization);

// The file (or registry path) that holds the settings of this scope.
QString settingsLocation(const QString &organization, const QString &application);

} // namespace harbolink::settings
