// SerialPort against a pseudo-terminal: opening, exclusivity, the read time-out rules, the idle
// hook, and a line that goes away.
#include <QtTest>

#include <string>
#include <thread>
#include <vector>

#include "PtyBox.h"

using namespace kestrow;
using namespace kestrow::test;
using namespace std::chrono_literals;

namespace {

SerialTimeouts TimeoutsNamed(const QString& name) {
    SerialTimeouts t = kOpenDefaultTimeouts;
    if (name == "no wait") {
        t = {kMaxDword, 0, 0, 0, 0};
    } else if (name == "any byte") {
        t = {kMaxDword, kMaxDword, 1500, 0, 0};
    } else if (name == "interval") {
        t = {100, 0, 4000, 0, 0};
    } else if (name == "long") {
        ApplyLongReadTimeouts(t);
    }
    return t;
}

}  // namespace

class TestSerialPort : public QObject {
    Q_OBJECT

  private slots:
    void openAndCloseFollowTheLine() {
        test::RecordingReporter reporter;
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort port;
        QVERIFY(!port.IsOpen());
        OpenDefault(port);
        QVERIFY(port.IsOpen());
        OpenDefault(port);  // a second Open takes the port again instead of failing on itself
        QVERIFY(port.IsOpen());
        port.Close();
        QVERIFY(!port.IsOpen());
        port.Close();
        QVERIFY(reporter.texts().empty());
    }

    void portsThatCannotOpen_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("reports");
        QTest::newRow("-1 is silent") << -1 << 0;
        QTest::newRow("256 is silent") << 256 << 0;
        QTest::newRow("254 has no device") << 254 << 1;
        QTest::newRow("64 is an absent ttyUSB63") << 64 << 1;
    }
    void portsThatCannotOpen() {
        QFETCH(int, number);
        QFETCH(int, reports);
        test::RecordingReporter reporter;
        test::PortsDir ports;
        SerialPort port;
        OpenDefault(port, number);
        QVERIFY(!port.IsOpen());
        QCOMPARE(static_cast<int>(reporter.reports().size()), reports);
        for (const SerialReport& r : reporter.reports()) {
            QCOMPARE(r.text, kOpenFailed);
            QCOMPARE(r.caption, std::string("Error"));
        }
    }

    void secondHolderIsRefused() {
        test::RecordingReporter reporter;
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort first;
        SerialPort second;
        OpenDefault(first);
        OpenDefault(second);
        QVERIFY(first.IsOpen());
        QVERIFY(!second.IsOpen());
        QCOMPARE(reporter.texts(), std::vector<std::string>{kOpenFailed});
        QCOMPARE(ProbePortAccess(kPort), PortAccess::Occupied);
        first.Close();
        QCOMPARE(ProbePortAccess(kPort), PortAccess::Available);
        OpenDefault(second);
        QVERIFY(second.IsOpen());
    }

    void staleInputIsDroppedAtOpen() {
        test::RecordingReporter reporter;
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        pty.Send("stale");
        std::this_thread::sleep_for(50ms);
        SerialPort port;
        OpenDefault(port);
        QVERIFY(port.NoWaitTimeouts());
        char buffer[8];
        QCOMPARE(port.Read(buffer, sizeof buffer), 0u);

        pty.Send("xyz");
        std::this_thread::sleep_for(50ms);
        port.DiscardInput();
        QCOMPARE(port.Read(buffer, sizeof buffer), 0u);
        QVERIFY(reporter.texts().empty());
    }

    void readTimeouts_data() {
        QTest::addColumn<QString>("config");
        QTest::addColumn<QByteArray>("waiting");  // sent before the read starts
        QTest::addColumn<QByteArray>("later");    // sent `laterMs` after the read starts
        QTest::addColumn<int>("laterMs");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        const QByteArray none;
        QTest::newRow("default: waiting bytes return at once")
            << "default" << QByteArray("ab") << none << 0 << 2 << 0 << 400;
        QTest::newRow("default: silence gives up after 1 s")
            << "default" << none << none << 0 << 0 << 900 << 2500;
        QTest::newRow("default: returns when all arrived")
            << "default" << none << QByteArray("abcde") << 200 << 5 << 150 << 900;
        QTest::newRow("default: a short answer waits out the second")
            << "default" << none << QByteArray("ab") << 200 << 2 << 900 << 2500;
        QTest::newRow("no wait: silence") << "no wait" << none << none << 0 << 0 << 0 << 300;
        QTest::newRow("no wait: takes what waits")
            << "no wait" << QByteArray("abc") << none << 0 << 3 << 0 << 300;
        QTest::newRow("any byte: first arrival ends the read")
            << "any byte" << none << QByteArray("ab") << 200 << 2 << 150 << 1200;
        QTest::newRow("any byte: silence waits the constant")
            << "any byte" << none << none << 0 << 0 << 1400 << 3000;
        QTest::newRow("interval: a gap after the first byte ends the read")
            << "interval" << none << QByteArray("ab") << 200 << 2 << 250 << 1500;
        QTest::newRow("long: returns when all arrived")
            << "long" << none << QByteArray("abcde") << 300 << 5 << 250 << 2000;
        QTest::newRow("long: a short answer waits 5000 + 5 x 300 ms")
            << "long" << none << QByteArray("abc") << 200 << 3 << 6300 << 9500;
    }
    void readTimeouts() {
        QFETCH(QString, config);
        QFETCH(QByteArray, waiting);
        QFETCH(QByteArray, later);
        QFETCH(int, laterMs);
        QFETCH(int, expected);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        test::RecordingReporter reporter;
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort port;
        OpenDefault(port);
        QVERIFY(port.SetTimeouts(TimeoutsNamed(config)));
        if (!waiting.isEmpty()) {
            pty.Send(waiting);
            std::this_thread::sleep_for(50ms);
        }
        if (!later.isEmpty()) {
            pty.SendLater(later, laterMs);
        }
        char buffer[5] = {};
        const auto start = Clock::now();
        const uint32_t got = port.Read(buffer, sizeof buffer);
        const int64_t elapsed = MsSince(start);
        pty.JoinSender();
        QCOMPARE(static_cast<int>(got), expected);
        QCOMPARE(QByteArray(buffer, expected), (waiting + later).left(expected));
        QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
        QVERIFY(reporter.texts().empty());
    }

    void idleHookRunsWhileWaiting() {
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort port;
        OpenDefault(port);
        std::vector<Clock::time_point> calls;
        SetIdleHook([&calls] { calls.push_back(Clock::now()); });
        char buffer[5];
        const auto start = Clock::now();
        QCOMPARE(port.Read(buffer, sizeof buffer), 0u);
        const auto end = Clock::now();
        SetIdleHook({});
        QVERIFY(calls.size() >= 25);  // about 50 in one second
        auto previous = start;
        for (const auto& call : calls) {
            QVERIFY(call - previous < 150ms);
            previous = call;
        }
        QVERIFY(end - previous < 150ms);
    }

    void writeThenReadRoundTrip() {
        test::RecordingReporter reporter;
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort port;
        OpenDefault(port);
        QCOMPARE(port.Write("hello", 5), 5u);
        QCOMPARE(pty.Receive(5, 2000), QByteArray("hello"));
        pty.Send("world");
        char buffer[5];
        QCOMPARE(port.Read(buffer, sizeof buffer), 5u);
        QCOMPARE(QByteArray(buffer, 5), QByteArray("world"));
        QVERIFY(reporter.texts().empty());
    }

    void vanishedLineEndsTheRead() {
        test::RecordingReporter reporter;
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort port;
        OpenDefault(port);
        SerialTimeouts t;
        QVERIFY(port.GetTimeouts(t));
        ApplyLongReadTimeouts(t);
        QVERIFY(port.SetTimeouts(t));
        pty.CloseMaster();
        char buffer[5];
        const auto start = Clock::now();
        QCOMPARE(port.Read(buffer, sizeof buffer), 0u);
        QVERIFY(MsSince(start) < 2000);
        const std::vector<SerialReport> reports = reporter.reports();
        QCOMPARE(reports.size(), size_t{1});
        QCOMPARE(reports[0].text, std::string("Failed in call to ReadFile\n"));
        QCOMPARE(reports[0].caption, std::string("Error"));
        port.Close();
        QVERIFY(!port.IsOpen());
    }

    void closeFailureNamesTheError() {
        test::RecordingReporter reporter;
        const int stale = ::open("/dev/null", O_RDONLY);
        QVERIFY(stale >= 0);
        ::close(stale);
        SerialPort port;
        port.Attach(stale);  // a descriptor that is no longer open
        port.Close();
        QVERIFY(!port.IsOpen());
        const std::vector<SerialReport> reports = reporter.reports();
        QCOMPARE(reports.size(), size_t{1});
        QCOMPARE(reports[0].text,
                 "Failed to close up the comms port, GetLastError:" + std::to_string(EBADF) + "\n");
        QCOMPARE(reports[0].caption, std::string("error"));
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "test_serialport.moc"
