#include "app/SettingsStore.h"

#include "app/Constants.h"
#include "platform/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <memory>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace harbolink::settings {

namespace {

// The scramble key; its first letter is never used (see scramblePassword).
constexpr char scrambleKey[] = "qmzvkhtw";
static_assert(sizeof(scrambleKey) == 9, "the scramble key has eight letters");

// Starts the stored form of a password beyond ASCII. The scramble of ASCII text holds only code
// units below 128, so no stored ASCII password can begin with it.
constexpr char16_t wideMarker = 0x00A7;

const QString loginGroup = QStringLiteral("login");
const QString mainWindowGroup = QStringLiteral("mainwindow");

#ifndef Q_OS_WIN
// The file keeps a password: only its owner may read it. Makes an empty file of that mode when
// there is none yet (Qt then keeps the mode when it rewrites the file) and narrows a wider one.
void restrictToOwner(const QString &fileName, bool create)
{
    const QByteArray path = QFile::encodeName(fileName);
    if (create) {
        const QString folder = QFileInfo(fileName).absolutePath();
        if (!QFileInfo::exists(folder)) {
            QDir().mkpath(folder);
            ::chmod(QFile::encodeName(folder).constData(), S_IRWXU);
        }
        const int fd =
            ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
        if (fd >= 0) {
            ::close(fd);
            return;
        }
    }
    struct stat info {
    };
    if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::chmod(path.constData(), info.st_mode & S_IRWXU);
    }
}
#endif

// One open settings scope; the values are written out and the file's mode checked when it ends.
class Scope
{
public:
    enum Access { Read, Write };

    Scope(const QString &organization, const QString &application, Access access)
        : store(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            settingsOrganization(organization), application))
        , writing(access == Write)
    {
#ifndef Q_OS_WIN
        restrictToOwner(store->fileName(), writing);
#endif
    }

    ~Scope()
    {
        if (writing) {
            store->sync();
#ifndef Q_OS_WIN
            restrictToOwner(store->fileName(), false);
#endif
        }
    }

    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;

    QSettings &operator*()
    {
        return *store;
    }
    QSettings *operator->()
    {
        return store.get();
    }

private:
    std::unique_ptr<QSettings> store;
    bool writing;
};

QByteArray scrambleBytes(QByteArray bytes)
{
    for (int i = 0; i < bytes.size(); ++i) {
        const int k = (i % 8) + 1;
        if (k < 8) {
            bytes[i] = char(bytes.at(i) ^ scrambleKey[k]);
        }
    }
    return bytes;
}

bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 128) {
            return false;
        }
    }
    return true;
}

} // namespace

QString scramblePassword(const QString &text)
{
    QString result = text;
    for (int i = 0; i < text.size(); ++i) {
        ushort unit = text.at(i).unicode();
        if (unit >= 256) {
            unit = 0;
        }
        const int k = (i % 8) + 1;
        if (k < 8) {
            unit = ushort(unit ^ ushort(scrambleKey[k]));
        }
        // The low eight bits read as a signed byte and widened with their sign.
        unit &= 0xFF;
        if (unit >= 128) {
            unit |= 0xFF00;
        }
        result[i] = QChar(unit);
    }
    return result;
}

QString storedPassword(const QString &password)
{
    if (isAscii(password)) {
        return scramblePassword(password);
    }
    return QChar(wideMarker) + QString::fromLatin1(scrambleBytes(password.toUtf8()).toBase64());
}

QString passwordFromStored(const QString &stored)
{
    if (stored.startsWith(QChar(wideMarker))) {
        return QString::fromUtf8(scrambleBytes(QByteArray::fromBase64(stored.mid(1).toLatin1())));
    }
    return scramblePassword(stored);
}

QString settingsOrganization(const QString &organization)
{
    if (organization.isEmpty()) {
        return QString::fromLatin1(productName);
    }
    QString safe = organization;
    for (QChar &c : safe) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.isNull()) {
            c = QLatin1Char('_');
        }
    }
    for (int i = 0; i < safe.size() && safe.at(i) == QLatin1Char('.'); ++i) {
        safe[i] = QLatin1Char('_');
    }
    return safe;
}

QString settingsLocation(const QString &organization, const QString &application)
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, settingsOrganization(organization), application)
        .fileName();
}

void saveLoginSettings(const QString &username, const QString &password, bool remember, const QString &organization,
                       const QString &application)
{
    const QString stored = storedPassword(password);
    Scope scope(organization, application, Scope::Write);
    scope->beginGroup(loginGroup);
    scope->setValue(QStringLiteral("username"), username);
    scope->setValue(QStringLiteral("password"), stored);
    scope->setValue(QStringLiteral("remember"), remember);
    scope->endGroup();
}

QVariant loadLoginSetting(int which, const QString &organization, const QString &application)
{
    Scope scope(organization, application, Scope::Read);
    scope->beginGroup(loginGroup);
    QVariant result;
    switch (which) {
    case LoginUserName:
        result = scope->value(QStringLiteral("username"), QString()).toString();
        break;
    case LoginPassword:
        result = passwordFromStored(scope->value(QStringLiteral("password"), QString()).toString());
        break;
    case LoginRemember:
        result = scope->value(QStringLiteral("remember"), false).toBool();
        break;
    default:
        break;
    }
    scope->endGroup();
    return result;
}

void storeMainWindowSettings(bool autorun, bool trayIcon, bool setDns, const QString &lastServer,
                             const QString &organization, const QString &application)
{
    {
        Scope scope(organization, application, Scope::Write);
        scope->beginGroup(mainWindowGroup);
        scope->setValue(QStringLiteral("trayicon"), trayIcon);
        scope->setValue(QStringLiteral("setdns"), setDns);
        scope->setValue(QStringLiteral("lastserver"), lastServer);
        scope->endGroup();
    }
    platform::setAutostartEnabled(autorun);
}

QVariant loadMainWindowSetting(int which, const QString &organization, const QString &application)
{
    Scope scope(organization, application, Scope::Read);
    scope->beginGroup(mainWindowGroup);
    QVariant result;
    switch (which) {
    case MainAutorun:
        result = platform::isAutostartEnabled();
        break;
    case MainTrayIcon:
        result = scope->value(QStringLiteral("trayicon"), false).toBool();
        break;
    case MainSetDns:
        result = scope->value(QStringLiteral("setdns"), true).toBool();
        break;
    case MainLastServer:
        result = scope->value(QStringLiteral("lastserver"), QString()).toString();
        break;
    default:
        break;
    }
    scope->endGroup();
    return result;
}

} // namespace harbolink::settings
