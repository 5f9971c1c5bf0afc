#include "app/InstanceGuard.h"
#include "TestPaths.h"

#include <QProcess>
#include <QtTest>

// The single-instance guard across real processes, and the key derivation.
class TestInstanceGuard : public QObject
{
    Q_OBJECT

private slots:
    void keysAreSha1OfKeyAndSalt();
    void secondGuardIsRefusedWhileFirstHoldsIt();
    void releaseTwiceIsHarmless();
    void secondClientExitsAtOnceAndNewOneRunsAfterFirstExits();

private:
    static QString uniqueKey() { return QStringLiteral("harbolink-test-%1").arg(QCoreApplication::applicationPid()); }
    static QString probePath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/guard_probe"); }
    static QString clientPath() { return harbolink::test::binaryDir() + QStringLiteral("/bin/harbolink"); }
};

void TestInstanceGuard::keysAreSha1OfKeyAndSalt()
{
    // printf 'harbolink_memLockKey' | sha1sum, and the same for "_sharedmemKey".
    InstanceGuard guard(QStringLiteral("harbolink"));
    QCOMPARE(guard.lockKeyName(), QStringLiteral("89ef4c23923047ea1b8507fcb77997571e08789b"));
    QCOMPARE(guard.memoryKeyName(), QStringLiteral("e6647d25c132a67664e6e6e15a87be0b735e043a"));
    QCOMPARE(InstanceGuard::hashedKey(QStringLiteral("é"), QString()),
             QString::fromLatin1(QCryptographicHash::hash("\xc3\xa9", QCryptographicHash::Sha1).toHex()));
}

void TestInstanceGuard::secondGuardIsRefusedWhileFirstHoldsIt()
{
    QProcess holder;
    holder.start(probePath(), {uniqueKey()});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("claimed"));

    InstanceGuard second(uniqueKey());
    QVERIFY(second.isOtherInstanceRunning());
    QVERIFY(!second.claim());

    InstanceGuard unrelated(uniqueKey() + QStringLiteral("-other"));
    QVERIFY(unrelated.claim());

    holder.write("quit\n");
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);

    QVERIFY(!second.isOtherInstanceRunning());
    QVERIFY(second.claim());
}

void TestInstanceGuard::releaseTwiceIsHarmless()
{
    InstanceGuard refused(uniqueKey());
    {
        InstanceGuard owner(uniqueKey());
        QVERIFY(owner.claim());
        QVERIFY(!refused.claim());
        refused.release();
        refused.release();
        QVERIFY(refused.isOtherInstanceRunning());
        owner.release();
        owner.release();
    }
    QVERIFY(refused.claim());
    refused.release();
    refused.release();
    QVERIFY(!refused.isOtherInstanceRunning());
}

void TestInstanceGuard::secondClientExitsAtOnceAndNewOneRunsAfterFirstExits()
{
    QVERIFY2(QFileInfo::exists(clientPath()), qPrintable(clientPath()));

    // A first process holds the client's own key.
    QProcess first;
    first.start(probePath(), {QStringLiteral("harbolink")});
    QVERIFY(first.waitForReadyRead(10000));
    QCOMPARE(first.readLine().trimmed(), QByteArray("claimed"));

    // The client started now ends at once with status 0 and opens no window.
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    second.start(clientPath(), QStringList());
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(timer.elapsed() < 5000, "the refused client should end at once");
    QVERIFY(second.readAllStandardOutput().isEmpty());

    // After the first has exited normally, a new one runs.
    first.write("quit\n");
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(first.exitCode(), 0);

    QProcess third;
    third.setProcessEnvironment(environment);
    third.start(clientPath(), QStringList());
    QVERIFY(third.waitForStarted(10000));
    QVERIFY2(!third.waitForFinished(1500), "the client should keep running when no other instance runs");
    // While it runs, it holds the key itself.
    QProcess probe;
    probe.start(probePath(), {QStringLiteral("harbolink")});
    QVERIFY(probe.waitForFinished(10000));
    QCOMPARE(probe.readAllStandardOutput().trimmed(), QByteArray("refused"));
    third.terminate();
    if (!third.waitForFinished(10000)) {
        third.kill();
        third.waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestInstanceGuard)
#include "tst_instanceguard.moc"
