// SerialPort against a pseudo-terminal: opening, exclusivity, stale input, the read time-out
// rules and the idle hook between wait slices, a line that goes away, a failed close, Open's
// arguments and the termios mapping, time-outs kept in the object, closed or overlapped ports, and
// event waits.
#include <QtTest>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PtyBox.h"
#include "SerialPosixDetail.h"

using namespace kestrow;
using namespace kestrow::test;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(kestrow::SerialTimeouts)

class TestSerialPort : public QObject {
    Q_OBJECT

  private slots:
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
        RecordingReporter reporter;
        PortsDir ports;
        SerialPort port;
        OpenDefault(port, number);
        QVERIFY(!port.IsOpen());
        QCOMPARE(static_cast<int>(reporter.reports().size()), reports);
        for (const SerialReport& r : reporter.reports()) {
            QCOMPARE(r.text, kOpenFailed);
            QCOMPARE(r.caption, std::string("Error"));
        }
        QCOMPARE(ProbePortAccess(number), PortAccess::Unavailable);
    }

    // A second holder is refused; reopening an open object lets go of its old descriptor and
    // lock (the port is free again after one Close) and restores the open default time-outs.
    void exclusiveOpen() {
        PtyLine line;
        QVERIFY(line.Open());
        SerialPort second;
        OpenDefault(second);
        QVERIFY(!second.IsOpen());
        QCOMPARE(line.reporter.texts(), std::vector<std::string>{kOpenFailed});
        QCOMPARE(ProbePortAccess(kPort), PortAccess::Occupied);
        SerialTimeouts t;
        QVERIFY(line.port.SetTimeouts({7, 8, 9, 10, 11}) && line.port.GetTimeouts(t));
        QCOMPARE(t, (SerialTimeouts{7, 8, 9, 10, 11}));
        OpenDefault(line.port);
        OpenDefault(line.port);
        QVERIFY(line.port.GetTimeouts(t));
        QCOMPARE(t, kOpenDefaultTimeouts);  // every Open starts from the open default
        line.port.Close();
        line.port.Close();  // closed already: nothing happens
        QCOMPARE(ProbePortAccess(kPort), PortAccess::Available);
        OpenDefault(second);
        QVERIFY(second.IsOpen());
        QCOMPARE(line.reporter.texts().size(), size_t{1});
    }

    void staleInputIsDropped() {
        PtyLine line;
        line.Send("stale");
        std::this_thread::sleep_for(50ms);
        QVERIFY(line.Open());
        QVERIFY(line.port.NoWaitTimeouts());
        char buffer[8];
        QCOMPARE(line.port.Read(buffer, sizeof buffer), 0u);
        line.Send("xyz");
        std::this_thread::sleep_for(50ms);
        line.port.DiscardInput();
        QCOMPARE(line.port.Read(buffer, sizeof buffer), 0u);
        QVERIFY(line.reporter.texts().empty());
    }

    void readTimeouts_data() {
        QTest::addColumn<SerialTimeouts>("timeouts");
        QTest::addColumn<QByteArray>("waiting");  // sent before the read starts
        QTest::addColumn<QByteArray>("later");    // sent 200 ms after the read starts
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        const SerialTimeouts open = kOpenDefaultTimeouts;
        SerialTimeouts longRead = open;
        ApplyLongReadTimeouts(longRead);
        const SerialTimeouts noWait{kMaxDword, 0, 0, 0, 0};
        const SerialTimeouts anyByte{kMaxDword, kMaxDword, 1500, 0, 0};
        const SerialTimeouts interval{100, 0, 4000, 0, 0};
        const QByteArray none;
        QTest::newRow("open: waiting bytes return at once")
            << open << QByteArray("ab") << QByteArray("cde") << 2 << 0 << 150;
        QTest::newRow("open: silence gives up after 1 s")
            << open << none << none << 0 << 900 << 2500;
        QTest::newRow("open: returns when all arrived")
            << open << none << QByteArray("abcde") << 5 << 150 << 900;
        QTest::newRow("open: a short answer waits out the second")
            << open << none << QByteArray("ab") << 2 << 900 << 2500;
        QTest::newRow("long: returns when all arrived")
            << longRead << none << QByteArray("abcde") << 5 << 150 << 2000;
        QTest::newRow("long: a short answer waits 5000 + 5 x 300 ms")
            << longRead << none << QByteArray("abc") << 3 << 6300 << 9500;
        QTest::newRow("no wait: takes what waits")
            << noWait << QByteArray("abc") << none << 3 << 0 << 300;
        QTest::newRow("any byte: first arrival ends the read")
            << anyByte << none << QByteArray("ab") << 2 << 150 << 1200;
        QTest::newRow("any byte: silence waits the constant")
            << anyByte << none << none << 0 << 1400 << 3000;
        QTest::newRow("interval: a gap after the first byte ends the read")
            << interval << none << QByteArray("ab") << 2 << 250 << 1500;
    }
    void readTimeouts() {
        QFETCH(SerialTimeouts, timeouts);
        QFETCH(QByteArray, waiting);
        QFETCH(QByteArray, later);
        QFETCH(int, expected);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        PtyLine line;
        QVERIFY(line.Open());
        QVERIFY(line.port.SetTimeouts(timeouts));
        if (!waiting.isEmpty()) {
            line.Send(waiting);
            std::this_thread::sleep_for(50ms);
        }
        if (!later.isEmpty()) {
            line.SendLater(later, 200);
        }
        std::vector<Clock::time_point> idle;  // the idle hook runs at least every 20 ms or so
        SetIdleHook([&idle] { idle.push_back(Clock::now()); });
        char buffer[5] = {};
        const auto start = Clock::now();
        const uint32_t got = line.port.Read(buffer, sizeof buffer);
        const int64_t elapsed = MsSince(start);
        SetIdleHook({});
        idle.push_back(Clock::now());
        line.JoinSender();
        QCOMPARE(static_cast<int>(got), expected);
        QCOMPARE(QByteArray(buffer, expected), (waiting + later).left(expected));
        QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
        QVERIFY(line.reporter.texts().empty());
        QVERIFY(static_cast<int64_t>(idle.size()) >= elapsed / 40);
        for (auto previous = start; const auto& call : idle) {
            QVERIFY(call - std::exchange(previous, call) < 150ms);
        }
    }

    void vanishedLineEndsTheRead() {
        PtyLine line;
        QVERIFY(line.Open());
        SerialTimeouts t;
        QVERIFY(line.port.GetTimeouts(t));
        ApplyLongReadTimeouts(t);
        QVERIFY(line.port.SetTimeouts(t));
        line.CloseMaster();
        char buffer[5];
        const auto start = Clock::now();
        QCOMPARE(line.port.Read(buffer, sizeof buffer), 0u);
        QVERIFY(MsSince(start) < 2000);
        QCOMPARE(line.reporter.texts(), std::vector<std::string>{"Failed in call to ReadFile\n"});
        QCOMPARE(line.port.Write("x", 1), 0u);
        QCOMPARE(line.reporter.texts().back(), std::string("Failed in call to WriteFile\n"));
    }

    void closeFailureNamesTheError() {
        RecordingReporter reporter;
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

    // Calls without a valid handle are reported, except those that need an open port: they
    // return false in silence. Plain Read and Write move nothing on a closed or overlapped port.
    void closedAndOverlappedPorts() {
        RecordingReporter reporter;
        SerialPort port;
        SerialTimeouts t;
        uint32_t value = 0;
        SerialQueueStatus queues;
        SerialProperties properties;
        char buffer[4] = {};
        QCOMPARE(port.Read(buffer, 4), 0u);
        QCOMPARE(port.Write(buffer, 4), 0u);
        QVERIFY(!port.Escape(SerialEscape::SetDtr) && !port.GetModemStatus(value));
        QVERIFY(!port.GetStatus(value, queues) && !port.GetProperties(properties));
        QVERIFY(!port.SetMask(kEventRxChar));
        QVERIFY(!port.GetTimeouts(t) && !port.SetTimeouts(t));
        port.DiscardInput();
        QVERIFY(!port.GetMask(value) && !port.WaitEvent(value));
        const std::vector<std::string> expected{
            "Failed in call to GetCommTimeouts\n", "Failed in call to SetCommTimeouts\n",
            "Failed in call to PurgeComm\n", "Failed in call to GetCommMask\n",
            "Failed in call to WaitCommEvent\n"};
        QCOMPARE(reporter.texts(), expected);

        PtyLine line;
        line.port.Open(kPort, 115200, SerialParity::None, 8, SerialStopBits::One,
                       SerialFlowControl::None, true);
        QVERIFY(line.port.IsOpen());
        line.Send("abcd");
        QCOMPARE(line.port.Read(buffer, 4), 0u);
        QCOMPARE(line.port.Write(buffer, 4), 0u);
        QVERIFY(line.reporter.texts().empty());
    }

    // A pseudo-terminal keeps baud, stop bits and flow control but forces 8 bits without
    // parity, so parity is checked on the termios mapping below.
    void openArgumentsReachTheLine_data() {
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("flow");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("badArguments");
        QTest::newRow("none") << 2 << 0 << 0 << 115200 << "115200 0" << 0;
        QTest::newRow("CTS/RTS") << 0 << 2 << 1 << 9600 << "9600 2 cts rts" << 0;
        QTest::newRow("CTS/DTR") << 0 << 0 << 2 << 9600 << "9600 0 cts dtr" << 0;
        QTest::newRow("DSR/RTS") << 0 << 0 << 3 << 9600 << "9600 0 dsr rts" << 0;
        QTest::newRow("DSR/DTR") << 3 << 1 << 4 << 19200 << "19200 1 dsr dtr" << 0;
        QTest::newRow("XON/XOFF") << 1 << 0 << 5 << 57600 << "57600 0 xon" << 0;
        QTest::newRow("parity 7, stop bits 3 and flow 6 keep the line's")
            << 7 << 3 << 6 << 115200 << "115200 0" << 3;
    }
    void openArgumentsReachTheLine() {
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, flow);
        QFETCH(int, baud);
        QFETCH(QString, state);
        QFETCH(int, badArguments);
        PtyLine line;
        line.port.Open(kPort, static_cast<uint32_t>(baud), static_cast<SerialParity>(parity), 8,
                       static_cast<SerialStopBits>(stopBits), static_cast<SerialFlowControl>(flow),
                       false);
        SerialState s;
        QVERIFY(line.port.GetState(s));
        QCOMPARE(s.byteSize, uint8_t{8});
        QString got = QString("%1 %2").arg(s.baudRate).arg(static_cast<int>(s.stopBits));
        for (const auto& [on, name] : {std::pair{s.outxCtsFlow, " cts"},
                                       {s.outxDsrFlow, " dsr"},
                                       {s.rtsControl == RtsControl::Handshake, " rts"},
                                       {s.dtrControl == DtrControl::Handshake, " dtr"},
                                       {s.outX && s.inX && s.xonLim == 100, " xon"}}) {
            got += on ? name : "";
        }
        QCOMPARE(got, state);
        QCOMPARE(line.reporter.texts(), std::vector<std::string>(size_t(badArguments), "Error"));
    }

    // Every parity survives the round trip through termios, and only "none" (2) sends none;
    // values termios cannot hold are refused.
    void termiosMapping() {
        for (int parity = 0; parity <= 5; ++parity) {
            SerialState in;
            in.parity = static_cast<SerialParity>(parity);
            in.byteSize = 7;
            in.baudRate = 921600;
            termios tio{};
            QCOMPARE(posix::StateToTermios(in, tio), parity <= 4);  // 5 is no parity at all
            QCOMPARE((tio.c_cflag & PARENB) == 0, parity == 2 || parity == 5);
            SerialState out;
            posix::TermiosToState(tio, out);
            QCOMPARE(out.parity, parity <= 4 ? in.parity : SerialParity::None);
            QCOMPARE(out.baudRate, parity <= 4 ? in.baudRate : 0u);
        }
        SerialState nine;
        nine.byteSize = 9;
        SerialState odd;
        odd.baudRate = 12345;
        termios tio{};
        QVERIFY(!posix::StateToTermios(nine, tio) && !posix::StateToTermios(odd, tio));
    }

    void waitEventSeesReceivedData() {
        PtyLine line;
        QVERIFY(line.Open());
        QVERIFY(line.port.SetMask(kEventRxChar));
        line.SendLater("x", 100);
        uint32_t events = 0;
        const auto start = Clock::now();
        QVERIFY(line.port.WaitEvent(events));
        QCOMPARE(events, kEventRxChar);
        QVERIFY(MsSince(start) < 2000);
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "test_serialport.moc"
