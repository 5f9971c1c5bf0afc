#include "platform/PingCommand.h"

#include <QtTest>

using namespace harbolink::platform;

// The ping command of each platform, the parsing of its output and the check of host names,
// all without running anything.
class TestPingCommand : public QObject
{
    Q_OBJECT

private slots:
    void windowsCommandLine();
    void linuxCommandLine();
    void windowsOutput_data();
    void windowsOutput();
    void linuxOutput_data();
    void linuxOutput();
    void hostValidation_data();
    void hostValidation();
};

void TestPingCommand::windowsCommandLine()
{
    const PingCommand command = windowsPingCommand(QStringLiteral("vpn1.example.com"));
    QCOMPARE(command.program, QStringLiteral("cmd.exe"));
    QCOMPARE(command.arguments,
             QStringList({"/c", "chcp 861", "&&", "ping", "-n", "2", "-w", "500", "vpn1.example.com"}));
}

void TestPingCommand::linuxCommandLine()
{
    const PingCommand command = linuxPingCommand(QStringLiteral("vpn1.example.com"));
    QCOMPARE(command.program, QStringLiteral("ping"));
    QCOMPARE(command.arguments, QStringList({"-n", "-c", "2", "-W", "0.5", "-i", "0.2", "--", "vpn1.example.com"}));
}

void TestPingCommand::windowsOutput_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("result");

    const QByteArray head = "Active code page: 861\r\n\r\n"
                            "Pinging 192.0.2.10 with 32 bytes of data:\r\n";
    QTest::newRow("two replies, Average = 23ms") << head
                                                        + "Reply from 192.0.2.10: bytes=32 time=23ms TTL=57\r\n"
                                                          "Reply from 192.0.2.10: bytes=32 time=24ms TTL=57\r\n\r\n"
                                                          "Ping statistics for 192.0.2.10:\r\n"
                                                          "    Packets: Sent = 2, Received = 2, Lost = 0 (0% loss),\r\n"
                                                          "Approximate round trip times in milli-seconds:\r\n"
                                                          "    Minimum = 23ms, Maximum = 24ms, Average = 23ms\r\n"
                                                 << "23ms";
    QTest::newRow("loopback, Average = 0ms")
        << QByteArray("Active code page: 861\r\n\r\nPinging 127.0.0.1 with 32 bytes of data:\r\n"
                      "Reply from 127.0.0.1: bytes=32 time<1ms TTL=128\r\n"
                      "Reply from 127.0.0.1: bytes=32 time<1ms TTL=128\r\n\r\n"
                      "Ping statistics for 127.0.0.1:\r\n"
                      "    Packets: Sent = 2, Received = 2, Lost = 0 (0% loss),\r\n"
                      "Approximate round trip times in milli-seconds:\r\n"
                      "    Minimum = 0ms, Maximum = 0ms, Average = 0ms\r\n")
        << "0ms";
    QTest::newRow("Average = without a later ms: the rest of the output")
        << head + "    Minimum = 23ms, Maximum = 24ms, Average = 23\r\n"
        << "23\r\nms";
    QTest::newRow("all requests timed out, no summary")
        << head
               + "Request timed out.\r\nRequest timed out.\r\n\r\n"
                 "Ping statistics for 192.0.2.10:\r\n"
                 "    Packets: Sent = 2, Received = 0, Lost = 2 (100% loss),\r\n"
        << "999ms";
    QTest::newRow("unknown host") << QByteArray(
        "Active code page: 861\r\nPing request could not find host nosuch.example. "
        "Please check the name and try again.\r\n")
                                  << "999ms";
    QTest::newRow("empty") << QByteArray() << "999ms";
    QTest::newRow("summary after a zero byte is not read") << QByteArray("Pinging\0 Average = 5ms", 22) << "999ms";
    QTest::newRow("case-sensitive marker") << QByteArray("average = 5ms") << "999ms";
}

void TestPingCommand::windowsOutput()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, result);
    QCOMPARE(parseWindowsPingOutput(output), result);
}

void TestPingCommand::linuxOutput_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("result");

    const QByteArray head = "PING 192.0.2.10 (192.0.2.10) 56(84) bytes of data.\n"
                            "64 bytes from 192.0.2.10: icmp_seq=1 ttl=57 time=23.4 ms\n"
                            "64 bytes from 192.0.2.10: icmp_seq=2 ttl=57 time=23.6 ms\n\n"
                            "--- 192.0.2.10 ping statistics ---\n"
                            "2 packets transmitted, 2 received, 0% packet loss, time 201ms\n";
    QTest::newRow("loopback, below half a millisecond")
        << QByteArray("PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
                      "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.046 ms\n"
                      "64 bytes from 127.0.0.1: icmp_seq=2 ttl=64 time=0.043 ms\n\n"
                      "--- 127.0.0.1 ping statistics ---\n"
                      "2 packets transmitted, 2 received, 0% packet loss, time 201ms\n"
                      "rtt min/avg/max/mdev = 0.043/0.044/0.046/0.001 ms\n")
        << "0ms";
    QTest::newRow("fraction rounds down") << head + "rtt min/avg/max/mdev = 23.102/23.499/23.896/0.397 ms\n"
                                          << "23ms";
    QTest::newRow("fraction rounds up") << head + "rtt min/avg/max/mdev = 23.402/23.500/23.598/0.098 ms\n"
                                        << "24ms";
    QTest::newRow("one of two lost") << QByteArray("PING 192.0.2.10 (192.0.2.10) 56(84) bytes of data.\n"
                                                   "64 bytes from 192.0.2.10: icmp_seq=2 ttl=57 time=141.7 ms\n\n"
                                                   "--- 192.0.2.10 ping statistics ---\n"
                                                   "2 packets transmitted, 1 received, 50% packet loss, time 201ms\n"
                                                   "rtt min/avg/max/mdev = 141.731/141.731/141.731/0.000 ms\n")
                                     << "142ms";
    QTest::newRow("both lost, no summary")
        << QByteArray("PING 192.0.2.10 (192.0.2.10) 56(84) bytes of data.\n\n"
                      "--- 192.0.2.10 ping statistics ---\n"
                      "2 packets transmitted, 0 received, 100% packet loss, time 203ms\n\n")
        << "999ms";
    QTest::newRow("unknown host") << QByteArray("ping: nosuch.example: Name or service not known\n") << "999ms";
    QTest::newRow("empty") << QByteArray() << "999ms";
    QTest::newRow("several pipes in flight") << head + "rtt min/avg/max/mdev = 0.031/1.740/3.449/1.709 ms, pipe 2\n"
                                             << "2ms";
    QTest::newRow("BusyBox summary") << QByteArray("round-trip min/avg/max = 0.058/7.5/14.9 ms\n") << "8ms";
}

void TestPingCommand::linuxOutput()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, result);
    QCOMPARE(parseLinuxPingOutput(output), result);
}

// Three labels of 63 characters and a last one of the given length: 253 characters for 61.
static QString longName(int lastLabel)
{
    return QString(63, 'a') + "." + QString(63, 'b') + "." + QString(63, 'c') + "." + QString(lastLabel, 'd');
}

void TestPingCommand::hostValidation_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("valid");

    QTest::newRow("host name") << "vpn-01.nl.example.com" << true;
    QTest::newRow("single label") << "localhost" << true;
    QTest::newRow("final dot") << "example.com." << true;
    QTest::newRow("upper case") << "VPN1.Example.COM" << true;
    QTest::newRow("IPv4") << "127.0.0.1" << true;
    QTest::newRow("IPv6 loopback") << "::1" << true;
    QTest::newRow("IPv6") << "2001:db8:0:1::ab" << true;
    QTest::newRow("IPv4-mapped IPv6") << "::ffff:192.0.2.1" << true;
    QTest::newRow("63-character label") << QString(63, 'a') + ".example" << true;
    QTest::newRow("253 characters") << longName(61) << true;

    QTest::newRow("command separator &") << "a&calc" << false;
    QTest::newRow("pipe") << "x|y" << false;
    QTest::newRow("option") << "-f" << false;
    QTest::newRow("command substitution") << "$(id)" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("300 characters") << QString(300, 'a') << false;
    QTest::newRow("254 characters") << longName(62) << false;
    QTest::newRow("64-character label") << QString(64, 'a') + ".example" << false;
    QTest::newRow("cmd escape") << "a^b" << false;
    QTest::newRow("environment variable") << "%COMSPEC%" << false;
    QTest::newRow("space and a second command") << "127.0.0.1 && calc" << false;
    QTest::newRow("quote") << "a\"b" << false;
    QTest::newRow("line break") << "a\nb" << false;
    QTest::newRow("empty label") << "a..b" << false;
    QTest::newRow("label ends with -") << "vpn-.example.com" << false;
    QTest::newRow("label starts with -") << "vpn.-x.com" << false;
    QTest::newRow("underscore") << "vpn_1.example.com" << false;
    QTest::newRow("non-ASCII letter") << QStringLiteral("m\u00fcnchen.example") << false;
    QTest::newRow("malformed IPv6") << "1::2::3" << false;
    QTest::newRow("IPv6 with scope") << "fe80::1%eth0" << false;
    QTest::newRow("IPv4 out of range") << "256.1.1.1" << false;
    QTest::newRow("reserved domain .invalid") << "unreachable.invalid" << false;
    QTest::newRow("reserved domain .INVALID.") << "x.INVALID." << false;
}

void TestPingCommand::hostValidation()
{
    QFETCH(QString, host);
    QFETCH(bool, valid);
    QCOMPARE(isValidPingHost(host), valid);
}

QTEST_GUILESS_MAIN(TestPingCommand)
#include "tst_pingcommand.moc"
