// SerialPort against a pseudo-terminal: ports that cannot open, exclusivity, stale input, the
// read time-out rules with the idle hook between wait slices, a line that goes away, a closed
// port, and the line Open sets.
#include <termios.h>
#include <unistd.h>

#include <QtTest>

#include <array>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/DeviceLink.h"
#include "serial/TtyBackendPosix.h"
#include "sim/PtyLine.h"
#include "tests/common/TestBox.h"
#include "tests/firmware/FirmwareTestSupport.h"

using namespace kestrow;
using namespace kestrow::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

Q_DECLARE_METATYPE(kestrow::ReadTimeouts)

namespace {

constexpr int kPort = 201;
const std::string kOpenFailed = "Failed to open up the comms port\n";

// What a read returned: its bytes, or "failed: <kind>".
QByteArray Got(const Result<uint32_t>& got, std::span<const uint8_t> buffer) {
    if (!got) {
        return "failed: " + QByteArray::number(int(got.error().kind));
    }
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), int(*got));
}

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A recorder, a private ports folder with a pseudo-terminal linked as COM<kPort> (the test
// writes its master end), and a port object.
class PtyLine {
  public:
    PtyLine() : pty_(sim::PtyLine::Open()) {
        linked_ = pty_ && ::symlink(pty_->slavePath.c_str(), Port().path.c_str()) == 0;
    }

    // Opens the port as the panel does; false when the line or the port is not there.
    [[nodiscard]] bool Open() { return OpenBoxPort(port, Port()) && linked_; }
    [[nodiscard]] ComPort Port() const { return ports.Port(kPort); }
    // The line's settings as the port set them (a pseudo-terminal's two ends share them).
    [[nodiscard]] termios Line() const {
        termios tio{};
        ::tcgetattr(pty_->master.get(), &tio);
        return tio;
    }
    void SetLine(const termios& tio) { ::tcsetattr(pty_->master.get(), TCSANOW, &tio); }
    void CloseMaster() {
        pty_->master.reset();
        pty_->slave.reset();
    }
    // Writes `bytes` to the line and lets them arrive.
    void Send(const QByteArray& bytes) {
        pty_->WriteAll(test::Bytes(bytes));
        std::this_thread::sleep_for(50ms);
    }
    void SendLater(QByteArray bytes, int delayMs) {
        sender_ = std::jthread([this, bytes, delayMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            pty_->WriteAll(test::Bytes(bytes));
        });
    }

    RecordingReporter reporter;
    PortsDir ports;
    SerialPort port;

  private:
    std::optional<sim::PtyLine> pty_;
    bool linked_ = false;
    std::jthread sender_;  // last: a sender still running is joined first
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
        const Result<void> refused = OpenBoxPort(second, line.Port());
        QVERIFY(!refused);
        QCOMPARE(refused.error().kind, ErrorKind::Busy);
        QCOMPARE(refused.error().code, EBUSY);
        QCOMPARE(line.reporter.texts(), std::vector<std::string>{kOpenFailed});
        QCOMPARE(ProbePortAccess(line.Port()), PortAccess::Occupied);
        line.port.SetReadTimeouts(ReadTimeouts::LongRead);
        QVERIFY(line.Open() && line.Open());
        QCOMPARE(line.port.GetReadTimeouts(), ReadTimeouts::OpenDefault);
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
        line.Send("ab");
        std::array<uint8_t, 8> buffer{};
        QCOMPARE(Got(line.port.Read(buffer), buffer), "ab");
        line.Send("xyz");
        QVERIFY(line.port.DiscardInput());
        line.Send("cd");
        QCOMPARE(Got(line.port.Read(buffer), buffer), "cd");
        QVERIFY(line.reporter.texts().empty());
    }

    // A read of 5 bytes: what it returns and how long it takes.
    void readTimeouts_data() {
        QTest::addColumn<ReadTimeouts>("timeouts");
        QTest::addColumn<QString>("bytes");  // sent before the read starts | 200 ms after
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        const ReadTimeouts open = ReadTimeouts::OpenDefault;
        const ReadTimeouts longRead = ReadTimeouts::LongRead;
        QTest::newRow("open: waiting bytes at once") << open << "ab|cde" << 0 << 150;
        QTest::newRow("open: silence, 1 s") << open << "|" << 900 << 2500;
        QTest::newRow("open: all arrived") << open << "|abcde" << 150 << 900;
        QTest::newRow("open: short, 1 s") << open << "|ab" << 900 << 2500;
        QTest::newRow("long: all arrived") << longRead << "|abcde" << 150 << 2000;
        QTest::newRow("long: waiting bytes wait for the rest")
            << longRead << "ab|cde" << 150 << 2000;
        QTest::newRow("long: short, 5000 + 5 x 300 ms") << longRead << "|abc" << 6300 << 9500;
    }
    void readTimeouts() {
        QFETCH(ReadTimeouts, timeouts);
        QFETCH(QString, bytes);
        const QByteArray waiting = bytes.section('|', 0, 0).toLatin1();
        const QByteArray later = bytes.section('|', 1).toLatin1();
        PtyLine line;
        QVERIFY(line.Open());
        line.port.SetReadTimeouts(timeouts);
        line.Send(waiting);
        line.SendLater(later, 200);
        std::vector<Clock::time_point> idle;  // the idle hook runs at least every 20 ms or so
        SetIdleHook([&idle] { idle.push_back(Clock::now()); });
        std::array<uint8_t, 5> buffer{};
        const auto start = Clock::now();
        const Result<uint32_t> got = line.port.Read(buffer);
        const int64_t elapsed = MsSince(start);
        SetIdleHook({});
        idle.push_back(Clock::now());
        const bool returnsWaiting = timeouts == ReadTimeouts::OpenDefault && !waiting.isEmpty();
        // Silence is no failure: a short read is a count.
        QCOMPARE(Got(got, buffer), returnsWaiting ? waiting : waiting + later);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
        QVERIFY(line.reporter.texts().empty());
        // Gaps are held loosely: a loaded machine (a sanitized build beside) stretches them.
        QVERIFY(int64_t(idle.size()) >= elapsed / 40);
        for (auto previous = start; const auto& call : idle) {
            QVERIFY(call - std::exchange(previous, call) < 400ms);
        }
    }

    // A line that goes away ends the read at once. The call that found it names itself and says
    // the device went away; the calls after it on the dead descriptor fail the same way without
    // a report of their own, until the next Open.
    void vanishedLineEndsTheRead() {
        PtyLine line;
        QVERIFY(OpenForLongReads(line.port, line.Port()));
        line.CloseMaster();
        std::array<uint8_t, 5> buffer{};
        const auto start = Clock::now();
        const Result<uint32_t> read = line.port.Read(buffer);
        QVERIFY(MsSince(start) < 2000);
        const std::array<uint8_t, 1> x{'x'};
        const Result<uint32_t> written = line.port.Write(x);
        const Result<void> dropped = line.port.DiscardInput();
        line.port.Close();
        QVERIFY(!read && !written && !dropped);
        for (const Error* e : {&read.error(), &written.error(), &dropped.error()}) {
            QCOMPARE(e->kind, ErrorKind::Gone);
        }
        QCOMPARE(line.reporter.texts(), std::vector<std::string>{"Failed in call to read\n"});
        const Error reported = line.reporter.reports().front().error;
        QVERIFY(reported.code == EIO && reported.domain == ErrorDomain::Errno);
        QCOMPARE(reported.path, line.Port().path);
        const Result<void> again = OpenBoxPort(line.port, line.Port());  // the line is gone
        QVERIFY(!again);
        QCOMPARE(again.error().kind, ErrorKind::NoDevice);
        QCOMPARE(again.error().code, ENOENT);
        QCOMPARE(line.reporter.texts().back(), kOpenFailed);  // a new Open reports again
    }

    // A closed port moves nothing and says nothing.
    void closedPort() {
        RecordingReporter reporter;
        SerialPort port;
        std::array<uint8_t, 4> buffer{};
        const Result<uint32_t> read = port.Read(buffer);
        const Result<uint32_t> written = port.Write(buffer);
        QVERIFY(read && written && *read + *written == 0 && port.DiscardInput());
        port.Close();
        QVERIFY(!port.IsOpen() && reporter.texts().empty());
    }

    // Open puts the box's line, 115200 8-N-1 raw without flow control, on the device over what
    // it held. A pseudo-terminal forces 8 bits without parity: those are checked on the termios
    // the port would set.
    void openSetsTheLine() {
        PtyLine line;
        termios held = line.Line();  // other settings first, which Open must replace
        ::cfsetospeed(&held, B4800);
        held.c_cflag = (held.c_cflag | CRTSCTS | CSTOPB) & ~tcflag_t(CLOCAL);
        held.c_iflag |= IXON | IXOFF;
        held.c_lflag |= ICANON | ECHO;
        line.SetLine(held);
        QVERIFY(line.Open());
        const termios tio = line.Line();
        QCOMPARE(::cfgetospeed(&tio), speed_t(B115200));
        QCOMPARE(tio.c_cflag & (CSTOPB | CRTSCTS | CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        QCOMPARE(tio.c_iflag & (IXON | IXOFF), tcflag_t{0});
        QCOMPARE(tio.c_lflag & (ICANON | ECHO), tcflag_t{0});
        QVERIFY(line.reporter.texts().empty());
        termios mapped{};
        mapped.c_cflag = PARENB | PARODD;
        QVERIFY(posix::LineToTermios(LineSettings{}, mapped));
        QCOMPARE(mapped.c_cflag & (CSIZE | PARENB | PARODD), tcflag_t(CS8));
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "test_serialport.moc"
