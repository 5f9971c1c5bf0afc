#include "TemporaryHome.h"
#include "platform/Autostart.h"

#include <QtTest>

using harbolink::platform::autostartEntryPath;
using harbolink::platform::desktopExecValue;
using harbolink::platform::isAutostartEnabled;
using harbolink::platform::setAutostartEnabled;

// The start at log-on on Linux: an XDG autostart entry in the user's configuration folder.
class TestAutostart : public QObject
{
    Q_OBJECT

private slots:
    void entryIsWrittenReadAndRemoved();
    void defaultFolderIsUnderHome();
    void execQuotesTheProgramPath_data();
    void execQuotesTheProgramPath();
};

void TestAutostart::entryIsWrittenReadAndRemoved()
{
    const QString entry = harbolink::test::configHome() + QStringLiteral("/autostart/harbolink.desktop");
    QCOMPARE(autostartEntryPath(), entry);
    QVERIFY(!isAutostartEnabled());

    setAutostartEnabled(true);
    QVERIFY(isAutostartEnabled());
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.value(0), QByteArray("[Desktop Entry]"));
    QVERIFY(lines.contains("Type=Application"));
    QVERIFY(lines.contains("Name=harbolink"));
    const QByteArray exec = "Exec=\"" + QFile::encodeName(QCoreApplication::applicationFilePath()) + "\"";
    QVERIFY2(lines.contains(exec), exec.constData());
    file.close();

    // Turning it on again rewrites the same entry.
    setAutostartEnabled(true);
    QVERIFY(isAutostartEnabled());

    setAutostartEnabled(false);
    QVERIFY(!isAutostartEnabled());
    QVERIFY(!QFileInfo::exists(entry));
    // Turning it off when it is off is harmless.
    setAutostartEnabled(false);
    QVERIFY(!isAutostartEnabled());
}

void TestAutostart::defaultFolderIsUnderHome()
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    const QString entry = QDir::homePath() + QStringLiteral("/.config/autostart/harbolink.desktop");
    QCOMPARE(autostartEntryPath(), entry);
    setAutostartEnabled(true);
    const bool written = QFileInfo::exists(entry);
    setAutostartEnabled(false);
    const bool removed = !QFileInfo::exists(entry);
    qputenv("XDG_CONFIG_HOME", saved);
    QVERIFY(written);
    QVERIFY(removed);
}

void TestAutostart::execQuotesTheProgramPath_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");

    QTest::newRow("plain") << QStringLiteral("/opt/harbolink/bin/harbolink")
                           << QStringLiteral("\"/opt/harbolink/bin/harbolink\"");
    QTest::newRow("blank") << QStringLiteral("/home/a b/harbolink") << QStringLiteral("\"/home/a b/harbolink\"");
    QTest::newRow("double quote") << QStringLiteral("/x/a\"b") << QStringLiteral("\"/x/a\\\\\"b\"");
    QTest::newRow("backtick") << QStringLiteral("/x/a`b") << QStringLiteral("\"/x/a\\\\`b\"");
    QTest::newRow("dollar") << QStringLiteral("/x/$HOME") << QStringLiteral("\"/x/\\\\$HOME\"");
    QTest::newRow("backslash") << QStringLiteral("/x/a\\b") << QStringLiteral("\"/x/a\\\\\\\\b\"");
    QTest::newRow("percent") << QStringLiteral("/x/100%u") << QStringLiteral("\"/x/100%%u\"");
    QTest::newRow("single quote and semicolon") << QStringLiteral("/x/it's;rm") << QStringLiteral("\"/x/it's;rm\"");
    QTest::newRow("line feed and tab") << QStringLiteral("/x/a\nb\tc") << QStringLiteral("\"/x/a\\nb\\tc\"");
    QTest::newRow("non-ascii") << QStringLiteral("/home/jörg/harbolink") << QStringLiteral("\"/home/jörg/harbolink\"");
}

void TestAutostart::execQuotesTheProgramPath()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QCOMPARE(desktopExecValue(program), exec);
}

int main(int argc, char *argv[])
{
    harbolink::test::useTemporaryHome();
    QCoreApplication app(argc, argv);
    TestAutostart test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_autostart.moc"
