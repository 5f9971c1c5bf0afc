#include "TemporaryHome.h"
#include "app/SettingsStore.h"
#include "platform/Autostart.h"

#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

using namespace harbolink::settings;

// The settings store against real files in a home folder of the test's own.
class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void firstStartGivesDefaults();
    void eightCharacterPasswordKeepsItsLastCharacter();
    void passwordsRoundTrip_data();
    void passwordsRoundTrip();
    void loginIsForgottenWithEmptyValues();
    void mainWindowSettingsRoundTrip();
    void autorunWritesAndRemovesTheAutostartEntry();
    void organizationNames_data();
    void organizationNames();
    void hostileOrganizationStaysInsideTheConfigFolder();
    void settingsFileIsReadableByItsOwnerOnly();
    void widerFileModeIsNarrowedOnNextUse();

private:
    static int mode(const QString &path)
    {
        struct stat info {
        };
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
    }
    static QString rawStoredPassword(const QString &organization)
    {
        QSettings raw(settingsLocation(organization, QStringLiteral("harbolink")), QSettings::IniFormat);
        return raw.value(QStringLiteral("login/password")).toString();
    }
};

void TestSettingsStore::firstStartGivesDefaults()
{
    const QString org = QStringLiteral("First Start Corp");
    QVERIFY(!QFileInfo::exists(settingsLocation(org, QStringLiteral("harbolink"))));
    QCOMPARE(loadLoginSetting(LoginUserName, org, QStringLiteral("harbolink")), QVariant(QString()));
    QCOMPARE(loadLoginSetting(LoginPassword, org, QStringLiteral("harbolink")), QVariant(QString()));
    QCOMPARE(loadLoginSetting(LoginRemember, org, QStringLiteral("harbolink")), QVariant(false));
    QCOMPARE(loadMainWindowSetting(MainAutorun, org, QStringLiteral("harbolink")), QVariant(false));
    QCOMPARE(loadMainWindowSetting(MainTrayIcon, org, QStringLiteral("harbolink")), QVariant(false));
    QCOMPARE(loadMainWindowSetting(MainSetDns, org, QStringLiteral("harbolink")), QVariant(true));
    QCOMPARE(loadMainWindowSetting(MainLastServer, org, QStringLiteral("harbolink")), QVariant(QString()));
    QVERIFY(!loadLoginSetting(7, org, QStringLiteral("harbolink")).isValid());
    QVERIFY(!loadMainWindowSetting(-1, org, QStringLiteral("harbolink")).isValid());
    // Reading creates nothing.
    QVERIFY(!QFileInfo::exists(settingsLocation(org, QStringLiteral("harbolink"))));
}

void TestSettingsStore::eightCharacterPasswordKeepsItsLastCharacter()
{
    const QString org = QStringLiteral("Scramble Corp");
    const QString password = QStringLiteral("s3cr3t!X");
    saveLoginSettings(QStringLiteral("user@example.org"), password, true, org, QStringLiteral("harbolink"));

    const QString stored = rawStoredPassword(org);
    QCOMPARE(stored, scramblePassword(password));
    QCOMPARE(stored.size(), 8);
    QCOMPARE(stored.at(7), password.at(7));
    for (int i = 0; i < 7; ++i) {
        QVERIFY2(stored.at(i) != password.at(i), qPrintable(QStringLiteral("position %1 unchanged").arg(i)));
        QVERIFY(stored.at(i).unicode() < 128);
    }
    QCOMPARE(scramblePassword(stored), password);
    QCOMPARE(loadLoginSetting(LoginPassword, org, QStringLiteral("harbolink")).toString(), password);

    // Every eighth position stays as it is, the key letters in between are used in turn.
    const QString sixteen = QStringLiteral("abcdefghabcdefgh");
    const QString scrambled = scramblePassword(sixteen);
    QCOMPARE(scrambled.at(15), sixteen.at(15));
    QCOMPARE(scrambled.mid(0, 7), scrambled.mid(8, 7));
}

void TestSettingsStore::passwordsRoundTrip_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("scrambledForm");

    QTest::newRow("empty") << QString() << true;
    QTest::newRow("ascii with symbols") << QStringLiteral("P@ss w0rd~!#$%^&*()_+{}|:\"<>?`-=[]\\;',./") << true;
    QTest::newRow("ascii control characters") << QStringLiteral("a\tb\x01z") << true;
    QTest::newRow("latin-1") << QStringLiteral("pässwörd") << false;
    QTest::newRow("cyrillic") << QStringLiteral("пароль123") << false;
    QTest::newRow("outside the basic plane") << QStringLiteral("key\U0001F511lock") << false;
}

void TestSettingsStore::passwordsRoundTrip()
{
    QFETCH(QString, password);
    QFETCH(bool, scrambledForm);
    const QString org = QStringLiteral("Round Trip Corp");
    saveLoginSettings(QStringLiteral("user"), password, true, org, QStringLiteral("harbolink"));

    const QString stored = rawStoredPassword(org);
    if (scrambledForm) {
        QCOMPARE(stored, scramblePassword(password));
    } else {
        // Not the scramble, which loses these characters, and not the password in clear.
        QVERIFY(stored != scramblePassword(password));
        QVERIFY(!stored.contains(password));
        QVERIFY(stored.at(0).unicode() >= 128);
    }
    QCOMPARE(loadLoginSetting(LoginPassword, org, QStringLiteral("harbolink")).toString(), password);
}

void TestSettingsStore::loginIsForgottenWithEmptyValues()
{
    const QString org = QStringLiteral("Forget Corp");
    saveLoginSettings(QStringLiteral("someone@example.org"), QStringLiteral("hunter22"), true, org,
                      QStringLiteral("harbolink"));
    QCOMPARE(loadLoginSetting(LoginUserName, org, QStringLiteral("harbolink")).toString(),
             QStringLiteral("someone@example.org"));
    QCOMPARE(loadLoginSetting(LoginRemember, org, QStringLiteral("harbolink")), QVariant(true));

    saveLoginSettings(QString(), QString(), false, org, QStringLiteral("harbolink"));
    QCOMPARE(loadLoginSetting(LoginUserName, org, QStringLiteral("harbolink")), QVariant(QString()));
    QCOMPARE(loadLoginSetting(LoginPassword, org, QStringLiteral("harbolink")), QVariant(QString()));
    QCOMPARE(loadLoginSetting(LoginRemember, org, QStringLiteral("harbolink")), QVariant(false));
    QCOMPARE(rawStoredPassword(org), QString());
}

void TestSettingsStore::mainWindowSettingsRoundTrip()
{
    const QString org = QStringLiteral("Switches Corp");
    storeMainWindowSettings(false, true, false, QStringLiteral("de1.example.net"), org, QStringLiteral("harbolink"));
    QCOMPARE(loadMainWindowSetting(MainTrayIcon, org, QStringLiteral("harbolink")), QVariant(true));
    QCOMPARE(loadMainWindowSetting(MainSetDns, org, QStringLiteral("harbolink")), QVariant(false));
    QCOMPARE(loadMainWindowSetting(MainLastServer, org, QStringLiteral("harbolink")),
             QVariant(QStringLiteral("de1.example.net")));

    storeMainWindowSettings(false, false, true, QString(), org, QStringLiteral("harbolink"));
    QCOMPARE(loadMainWindowSetting(MainTrayIcon, org, QStringLiteral("harbolink")), QVariant(false));
    QCOMPARE(loadMainWindowSetting(MainSetDns, org, QStringLiteral("harbolink")), QVariant(true));
    QCOMPARE(loadMainWindowSetting(MainLastServer, org, QStringLiteral("harbolink")), QVariant(QString()));

    // The groups are the ones other tools see in the file.
    QSettings raw(settingsLocation(org, QStringLiteral("harbolink")), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("mainwindow/setdns")).toBool(), true);
    QVERIFY(raw.contains(QStringLiteral("mainwindow/trayicon")));
}

void TestSettingsStore::autorunWritesAndRemovesTheAutostartEntry()
{
    const QString org = QStringLiteral("Autorun Corp");
    const QString entry = harbolink::test::configHome() + QStringLiteral("/autostart/harbolink.desktop");
    QCOMPARE(harbolink::platform::autostartEntryPath(), entry);
    QVERIFY(!QFileInfo::exists(entry));

    storeMainWindowSettings(true, false, true, QString(), org, QStringLiteral("harbolink"));
    QVERIFY(QFileInfo::exists(entry));
    QCOMPARE(loadMainWindowSetting(MainAutorun, org, QStringLiteral("harbolink")), QVariant(true));
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.startsWith("[Desktop Entry]\n"));
    QVERIFY(text.contains("\nType=Application\n"));
    QVERIFY(text.contains(
        "\nExec=" + harbolink::platform::desktopExecValue(QCoreApplication::applicationFilePath()).toUtf8() + "\n"));

    storeMainWindowSettings(false, false, true, QString(), org, QStringLiteral("harbolink"));
    QVERIFY(!QFileInfo::exists(entry));
    QCOMPARE(loadMainWindowSetting(MainAutorun, org, QStringLiteral("harbolink")), QVariant(false));
}

void TestSettingsStore::organizationNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");

    QTest::newRow("plain") << QStringLiteral("Harbo Networks Ltd.") << QStringLiteral("Harbo Networks Ltd.");
    QTest::newRow("dot inside") << QStringLiteral("harbo.link") << QStringLiteral("harbo.link");
    QTest::newRow("empty") << QString() << QStringLiteral("harbolink");
    QTest::newRow("slash") << QStringLiteral("A/B") << QStringLiteral("A_B");
    QTest::newRow("backslash") << QStringLiteral("A\\B") << QStringLiteral("A_B");
    QTest::newRow("leading dot") << QStringLiteral(".config") << QStringLiteral("_config");
    QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("__");
    QTest::newRow("climbing path") << QStringLiteral("../../etc") << QStringLiteral("___.._etc");
    QTest::newRow("absolute path") << QStringLiteral("/tmp/x") << QStringLiteral("_tmp_x");
    QTest::newRow("nul") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << QStringLiteral("a_b");
}

void TestSettingsStore::organizationNames()
{
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QCOMPARE(settingsOrganization(name), folder);
    QCOMPARE(settingsLocation(name, QStringLiteral("harbolink")),
             harbolink::test::configHome() + QLatin1Char('/') + folder + QStringLiteral("/harbolink.conf"));
}

void TestSettingsStore::hostileOrganizationStaysInsideTheConfigFolder()
{
    const QString org = QStringLiteral("../../outside");
    saveLoginSettings(QStringLiteral("user"), QStringLiteral("pw"), true, org, QStringLiteral("harbolink"));
    const QString expected = harbolink::test::configHome() + QStringLiteral("/___.._outside/harbolink.conf");
    QVERIFY(QFileInfo::exists(expected));
    QVERIFY(!QFileInfo::exists(harbolink::test::configHome() + QStringLiteral("/../../outside")));
    QCOMPARE(loadLoginSetting(LoginUserName, org, QStringLiteral("harbolink")).toString(), QStringLiteral("user"));
}

void TestSettingsStore::settingsFileIsReadableByItsOwnerOnly()
{
    const QString org = QStringLiteral("Private Corp");
    const QString file = settingsLocation(org, QStringLiteral("harbolink"));
    saveLoginSettings(QStringLiteral("user"), QStringLiteral("secret12"), true, org, QStringLiteral("harbolink"));
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(mode(file), 0600);
    QCOMPARE(mode(QFileInfo(file).absolutePath()), 0700);

    // Rewriting keeps the mode.
    storeMainWindowSettings(false, true, true, QStringLiteral("host"), org, QStringLiteral("harbolink"));
    saveLoginSettings(QStringLiteral("user2"), QStringLiteral("secret34"), true, org, QStringLiteral("harbolink"));
    QCOMPARE(mode(file), 0600);
    QCOMPARE(loadLoginSetting(LoginPassword, org, QStringLiteral("harbolink")).toString(), QStringLiteral("secret34"));
}

void TestSettingsStore::widerFileModeIsNarrowedOnNextUse()
{
    const QString org = QStringLiteral("Older Corp");
    const QString file = settingsLocation(org, QStringLiteral("harbolink"));
    saveLoginSettings(QStringLiteral("user"), QStringLiteral("pw"), true, org, QStringLiteral("harbolink"));
    QVERIFY(::chmod(QFile::encodeName(file).constData(), 0644) == 0);

    QCOMPARE(loadLoginSetting(LoginUserName, org, QStringLiteral("harbolink")).toString(), QStringLiteral("user"));
    QCOMPARE(mode(file), 0600);
}

int main(int argc, char *argv[])
{
    harbolink::test::useTemporaryHome();
    QCoreApplication app(argc, argv);
    TestSettingsStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsstore.moc"
