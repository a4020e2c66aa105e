// SerialPort against a pseudo-terminal: ports that cannot open, exclusivity, stale input, the
// read time-out rules with the idle hook between wait slices, a line that goes away, closed,
// overlapped and stale ports, Open's arguments and the termios mapping, and event waits.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QtTest>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/DeviceLink.h"
#include "serial/TtyBackendPosix.h"
#include "tests/common/TestBox.h"

using namespace kestrow;
using namespace kestrow::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

Q_DECLARE_METATYPE(kestrow::SerialTimeouts)

namespace {

constexpr int kPort = 201;
const std::string kOpenFailed = "Failed to open up the comms port\n";

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A recorder, a private ports folder with a pseudo-terminal linked as COM<kPort> (the test
// writes its master end), and a port object.
class PtyLine {
  public:
    PtyLine() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0 &&
            ::tcgetattr(master_, &tio) == 0) {
            ::cfmakeraw(&tio);  // the slave's settings: raw, so nothing echoes back
            ::tcsetattr(master_, TCSANOW, &tio);
            const std::string link = ports.path() + "/COM" + std::to_string(kPort);
            linked_ = ::symlink(::ptsname(master_), link.c_str()) == 0;
        }
    }
    ~PtyLine() {
        sender_ = {};  // joins a sender still running
        CloseMaster();
    }
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Opens the port as the panel does; false when the line or the port is not there.
    [[nodiscard]] bool Open() { return OpenBoxPort(port, Port()) && linked_; }
    [[nodiscard]] ComPort Port() const { return ports.Port(kPort); }
    void CloseMaster() {
        if (master_ >= 0) {
            ::close(std::exchange(master_, -1));
        }
    }
    // Writes `bytes` to the line and lets them arrive.
    void Send(const QByteArray& bytes) {
        QCOMPARE(::write(master_, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        std::this_thread::sleep_for(50ms);
    }
    void SendLater(QByteArray bytes, int delayMs) {
        sender_ = std::jthread([this, bytes, delayMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            (void)::write(master_, bytes.constData(), size_t(bytes.size()));
        });
    }

    RecordingReporter reporter;
    PortsDir ports;
    SerialPort port;

  private:
    int master_ = -1;
    bool linked_ = false;
    std::jthread sender_;
};

}  // namespace

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
        const ComPort resolved = ResolvePort(number, ports.path());
        QVERIFY(!OpenBoxPort(port, resolved));
        QCOMPARE(reporter.texts(), std::vector<std::string>(size_t(reports), kOpenFailed));
        QVERIFY(reports == 0 || reporter.reports().front().caption == "Error");
        QCOMPARE(ProbePortAccess(resolved), PortAccess::Unavailable);
    }

    // A second holder is refused; reopening an open object lets go of its old descriptor and
    // lock (the port is free again after one Close) and restores the open default time-outs.
    void exclusiveOpen() {
        PtyLine line;
        QVERIFY(line.Open());
        SerialPort second;
        QVERIFY(!OpenBoxPort(second, line.Port()));
        QCOMPARE(line.reporter.texts(), std::vector<std::string>{kOpenFailed});
        QCOMPARE(ProbePortAccess(line.Port()), PortAccess::Occupied);
        SerialTimeouts t;
        QVERIFY(line.port.SetTimeouts({7, 8, 9, 10, 11}) && line.port.GetTimeouts(t));
        QCOMPARE(t, (SerialTimeouts{7, 8, 9, 10, 11}));
        QVERIFY(line.Open() && line.Open() && line.port.GetTimeouts(t));
        QCOMPARE(t, kOpenDefaultTimeouts);  // every Open starts from the open default
        line.port.Close();
        line.port.Close();  // closed already: nothing happens
        QCOMPARE(ProbePortAccess(line.Port()), PortAccess::Available);
        QVERIFY(OpenBoxPort(second, line.Port()));
        QCOMPARE(line.reporter.texts().size(), size_t{1});
    }

    // Input waiting before Open, and input dropped with DiscardInput, is never read.
    void staleInputIsDropped() {
        PtyLine line;
        line.Send("stale");
        QVERIFY(line.Open());
        QVERIFY(line.port.NoWaitTimeouts());
        char buffer[8];
        QCOMPARE(line.port.Read(buffer, sizeof buffer), 0u);
        line.Send("xyz");
        line.port.DiscardInput();
        QCOMPARE(line.port.Read(buffer, sizeof buffer), 0u);
        QVERIFY(line.reporter.texts().empty());
    }

    // A read of 5 bytes: what it returns and how long it takes.
    void readTimeouts_data() {
        QTest::addColumn<SerialTimeouts>("timeouts");
        QTest::addColumn<QString>("bytes");  // sent before the read starts | 200 ms after
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        const SerialTimeouts open = kOpenDefaultTimeouts;
        SerialTimeouts longRead = open;
        ApplyLongReadTimeouts(longRead);
        const SerialTimeouts noWait{kMaxDword, 0, 0, 0, 0};
        const SerialTimeouts anyByte{kMaxDword, kMaxDword, 1500, 0, 0};
        QTest::newRow("open: waiting bytes at once") << open << "ab|cde" << 0 << 150;
        QTest::newRow("open: silence, 1 s") << open << "|" << 900 << 2500;
        QTest::newRow("open: all arrived") << open << "|abcde" << 150 << 900;
        QTest::newRow("open: short, 1 s") << open << "|ab" << 900 << 2500;
        QTest::newRow("long: all arrived") << longRead << "|abcde" << 150 << 2000;
        QTest::newRow("long: short, 5000 + 5 x 300 ms") << longRead << "|abc" << 6300 << 9500;
        QTest::newRow("no wait") << noWait << "abc|" << 0 << 300;
        QTest::newRow("any byte: first arrival") << anyByte << "|ab" << 150 << 1200;
        QTest::newRow("any byte: silence") << anyByte << "|" << 1400 << 3000;
        QTest::newRow("interval: gap after the first byte")
            << SerialTimeouts{100, 0, 4000, 0, 0} << "|ab" << 250 << 1500;
    }
    void readTimeouts() {
        QFETCH(SerialTimeouts, timeouts);
        QFETCH(QString, bytes);
        const QByteArray waiting = bytes.section('|', 0, 0).toLatin1();
        const QByteArray later = bytes.section('|', 1).toLatin1();
        PtyLine line;
        QVERIFY(line.Open() && line.port.SetTimeouts(timeouts));
        if (!waiting.isEmpty()) {
            line.Send(waiting);
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
        QCOMPARE(QByteArray(buffer, int(got)), waiting.isEmpty() ? later : waiting);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
        QVERIFY(line.reporter.texts().empty() && !line.port.Vanished());  // silence is no loss
        QVERIFY(int64_t(idle.size()) >= elapsed / 40);
        for (auto previous = start; const auto& call : idle) {
            QVERIFY(call - std::exchange(previous, call) < 150ms);
        }
    }

    // A line that goes away ends the read at once. The call that found it names itself and says
    // the device went away; the calls after it on the dead descriptor add no reports. The port
    // remembers it after Close, until the next Open.
    void vanishedLineEndsTheRead() {
        PtyLine line;
        QVERIFY(OpenForLongReads(line.port, line.Port()));
        line.CloseMaster();
        char buffer[5];
        const auto start = Clock::now();
        QCOMPARE(line.port.Read(buffer, sizeof buffer), 0u);
        QVERIFY(MsSince(start) < 2000);
        QCOMPARE(line.port.Write("x", 1), 0u);
        SerialState state;
        line.port.DiscardInput();
        QVERIFY(!line.port.GetState(state));
        line.port.Close();
        QVERIFY(line.port.Vanished());
        QCOMPARE(line.reporter.texts(), std::vector<std::string>{"Failed in call to read\n"});
        const SerialReport report = line.reporter.reports().front();
        QVERIFY(report.vanished && report.error == EIO && report.path == line.Port().path);
        QVERIFY(!line.Open() && !line.port.Vanished());  // the line is gone: no device
        QCOMPARE(line.port.OpenError(), ENOENT);
    }

    // Calls without a valid handle are reported, except those that need an open port: they
    // return false in silence. Plain Read and Write move nothing on a closed or overlapped port.
    // A failed close names the error.
    void closedOverlappedAndStalePorts() {
        RecordingReporter reporter;
        SerialPort port;
        SerialTimeouts t;
        uint32_t value = 0;
        SerialQueueStatus queues;
        SerialProperties properties;
        char buffer[4] = {};
        QCOMPARE(port.Read(buffer, 4) + port.Write(buffer, 4), 0u);
        QVERIFY(!port.Escape(SerialEscape::SetDtr) && !port.GetModemStatus(value) &&
                !port.GetStatus(value, queues) && !port.GetProperties(properties) &&
                !port.SetMask(kEventRxChar) && !port.GetTimeouts(t) && !port.SetTimeouts(t));
        port.DiscardInput();
        QVERIFY(!port.GetMask(value) && !port.WaitEvent(value));
        const int stale = ::open("/dev/null", O_RDONLY);
        ::close(stale);
        port.Attach(stale);  // a descriptor that is no longer open
        port.Close();
        QVERIFY(!port.IsOpen());
        const std::vector<std::string> expected{
            "Failed in call to GetCommTimeouts\n",
            "Failed in call to SetCommTimeouts\n",
            "Failed in call to tcflush\n",
            "Failed in call to GetCommMask\n",
            "Failed in call to WaitCommEvent\n",
            "Failed to close up the comms port, GetLastError:" + std::to_string(EBADF) + "\n"};
        QCOMPARE(reporter.texts(), expected);
        QCOMPARE(reporter.reports().back().caption, std::string("error"));

        PtyLine line;
        line.port.Open(line.Port(), 115200, SerialParity::None, 8, SerialStopBits::One,
                       SerialFlowControl::None, true);
        QVERIFY(line.port.IsOpen());
        line.Send("abcd");
        QCOMPARE(line.port.Read(buffer, 4) + line.port.Write(buffer, 4), 0u);
        QVERIFY(line.reporter.texts().empty());
    }

    // A pseudo-terminal keeps baud, stop bits and flow control but forces 8 bits without
    // parity, so parity is checked on the termios mapping below.
    void openArgumentsReachTheLine_data() {
        QTest::addColumn<QList<int>>("arguments");  // parity, stop bits, flow, baud
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("badArguments");
        QTest::newRow("none") << QList<int>{2, 0, 0, 115200} << "115200 0" << 0;
        QTest::newRow("CTS/RTS") << QList<int>{0, 2, 1, 9600} << "9600 2 cts rts" << 0;
        QTest::newRow("CTS/DTR") << QList<int>{0, 0, 2, 9600} << "9600 0 cts dtr" << 0;
        QTest::newRow("DSR/RTS") << QList<int>{0, 0, 3, 9600} << "9600 0 dsr rts" << 0;
        QTest::newRow("DSR/DTR") << QList<int>{3, 1, 4, 19200} << "19200 1 dsr dtr" << 0;
        QTest::newRow("XON/XOFF") << QList<int>{1, 0, 5, 57600} << "57600 0 xon" << 0;
        QTest::newRow("parity 7, stop bits 3 and flow 6 keep the line's")
            << QList<int>{7, 3, 6, 115200} << "115200 0" << 3;
    }
    void openArgumentsReachTheLine() {
        QFETCH(QList<int>, arguments);
        QFETCH(int, badArguments);
        PtyLine line;
        line.port.Open(line.Port(), uint32_t(arguments[3]), SerialParity(arguments[0]), 8,
                       SerialStopBits(arguments[1]), SerialFlowControl(arguments[2]), false);
        SerialState s;
        QVERIFY(line.port.GetState(s));
        QCOMPARE(s.byteSize, uint8_t{8});
        QString got = QString("%1 %2").arg(s.baudRate).arg(int(s.stopBits));
        for (const auto& [on, name] : {std::pair{s.outxCtsFlow, " cts"},
                                       {s.outxDsrFlow, " dsr"},
                                       {s.rtsControl == RtsControl::Handshake, " rts"},
                                       {s.dtrControl == DtrControl::Handshake, " dtr"},
                                       {s.outX && s.inX && s.xonLim == 100, " xon"}}) {
            got += on ? name : "";
        }
        QTEST(got, "state");
        QCOMPARE(line.reporter.texts(), std::vector<std::string>(size_t(badArguments), "Error"));
    }

    // Every parity survives the round trip through termios, and only "none" (2) sends none;
    // values termios cannot hold are refused.
    void termiosMapping() {
        for (int parity = 0; parity <= 5; ++parity) {
            SerialState in;
            in.parity = SerialParity(parity);
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
        SerialState nine, odd;
        nine.byteSize = 9;
        odd.baudRate = 12345;
        termios tio{};
        QVERIFY(!posix::StateToTermios(nine, tio) && !posix::StateToTermios(odd, tio));
    }

    void waitEventSeesReceivedData() {
        PtyLine line;
        QVERIFY(line.Open() && line.port.SetMask(kEventRxChar));
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
