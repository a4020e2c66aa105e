// The boot loader exchange against the simulated box on a pseudo-terminal, bytes on the wire
// checked exactly.
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "BootLoader.h"
#include "TestBox.h"

using namespace kestrow;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int kPort = 7;

struct RecordingSink : ProgressSink {
    int minimum = -1;
    int maximum = -1;
    QList<int> positions;
    void SetRange(std::uint16_t lo, std::uint16_t hi) override {
        minimum = lo;
        maximum = hi;
    }
    void SetPosition(std::uint16_t position) override { positions << position; }
};

Bytes MakeProgram(int size) {
    Bytes p(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < p.size(); ++i) {
        p[i] = static_cast<std::uint8_t>(i * 13 + i / 256);
    }
    return p;
}

void Append(Bytes& to, std::initializer_list<int> bytes) {
    for (int b : bytes) {
        to.push_back(static_cast<std::uint8_t>(b));
    }
}

// What a good run puts on the wire when the first Ping is answered, built from the packet
// layout independently of the code under test.
Bytes GoodRunBytes(const Bytes& program, std::uint32_t address) {
    Bytes w;
    Append(w, {0x03, 0x20, 0x20});
    const auto size = static_cast<std::uint32_t>(program.size());
    Bytes download{0x0B, 0, 0x21};
    for (std::uint32_t v : {address, size}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            download.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    }
    int sum = 0;
    for (std::size_t i = 2; i < download.size(); ++i) {
        sum += download[i];
    }
    download[1] = static_cast<std::uint8_t>(sum);
    w.insert(w.end(), download.begin(), download.end());
    Append(w, {0x03, 0x23, 0x23, 0xCC});
    for (std::size_t at = 0; at < program.size(); at += 76) {
        const std::size_t n = std::min<std::size_t>(76, program.size() - at);
        int check = 0x24;
        for (std::size_t i = 0; i < n; ++i) {
            check += program[at + i];
        }
        Append(w, {static_cast<int>(n + 3), check & 0xFF, 0x24});
        w.insert(w.end(), program.begin() + static_cast<std::ptrdiff_t>(at),
                 program.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    Append(w, {0x03, 0x23, 0x23, 0xCC, 0x03, 0x25, 0x25});
    return w;
}

// The lengths of the Send Data packets in a good run's bytes.
QList<int> SendDataLengths(const Bytes& wire) {
    QList<int> lengths;
    for (std::size_t at = 18; at + 7 < wire.size(); at += wire[at]) {
        lengths << wire[at];
    }
    return lengths;
}

// A stand-in box for replies the simulated box does not give: acknowledges every boot loader
// packet and answers Get Status with a fixed five-byte reply.
class ScriptedBox {
  public:
    ScriptedBox(const std::string& portsDir, int number, Bytes statusReply)
        : statusReply_(std::move(statusReply)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        std::error_code ec;
        std::filesystem::create_symlink(ptsname(master_),
                                        portsDir + "/COM" + std::to_string(number), ec);
        ok_ = !ec;
        thread_ = std::thread([this] { Run(); });
    }
    ~ScriptedBox() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (master_ >= 0) {
            close(master_);
        }
    }
    ScriptedBox(const ScriptedBox&) = delete;
    ScriptedBox& operator=(const ScriptedBox&) = delete;
    [[nodiscard]] bool ok() const { return ok_; }
    [[nodiscard]] Bytes received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

  private:
    void Run() {
        Bytes pending;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));  // no slave yet
                continue;
            }
            std::uint8_t buffer[256];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) {
                continue;
            }
            {
                std::lock_guard lock(mutex_);
                received_.insert(received_.end(), buffer, buffer + n);
            }
            pending.insert(pending.end(), buffer, buffer + n);
            while (!pending.empty()) {
                const std::size_t length = pending[0] == 0xCC ? 1 : pending[0];
                if (length == 0 || pending.size() < length) {
                    break;
                }
                if (length > 1) {
                    const Bytes ack{0x00, 0xCC};
                    const Bytes& reply = pending[2] == 0x23 ? statusReply_ : ack;
                    (void)!write(master_, reply.data(), reply.size());
                }
                pending.erase(pending.begin(),
                              pending.begin() + static_cast<std::ptrdiff_t>(length));
            }
        }
    }

    Bytes statusReply_;
    int master_ = -1;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    Bytes received_;
};

bool OpenForFlash(SerialPort& port) {
    port.Open(kPort, 115200, SerialParity::None, 8, SerialStopBits::One, SerialFlowControl::None,
              false);
    SerialTimeouts t;
    if (!port.IsOpen() || !port.GetTimeouts(t)) {
        return false;
    }
    ApplyLongReadTimeouts(t);
    return port.SetTimeouts(t);
}

sim::BoxConfig BootConfig() {
    sim::BoxConfig c;
    c.startInBootLoader = true;
    return c;
}

}  // namespace

class TestBootLoader : public QObject {
    Q_OBJECT

    test::RecordingReporter reporter_;

  private slots:
    void packets() {
        QCOMPARE(StartAddressFor('3'), std::optional<std::uint32_t>(0x1000));
        QCOMPARE(StartAddressFor('4'), std::optional<std::uint32_t>(0x2800));
        QCOMPARE(StartAddressFor('5'), std::nullopt);
        const std::array<std::uint8_t, 11> download{0x0B, 0x4A, 0x21, 0x00, 0x00, 0x28,
                                                    0x00, 0x00, 0x01, 0x00, 0x00};
        QVERIFY(DownloadPacket(0x2800, 65536) == download);
        const std::array<std::uint8_t, 3> data{0xFF, 0x01, 0x10};
        const auto packet = MakeSendDataPacket(data);
        const Bytes expected{0x06, 0x34, 0x24, 0xFF, 0x01, 0x10};
        QVERIFY(Bytes(packet.view().begin(), packet.view().end()) == expected);
        QCOMPARE(MakeSendDataPacket(MakeProgram(200)).size, std::size_t{79});
    }

    void goodRun_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<char>("digit");
        QTest::addColumn<QList<int>>("lengths");
        QTest::addColumn<QList<int>>("positions");
        QTest::newRow("256 bytes")
            << 256 << '4' << QList<int>{79, 79, 79, 31} << QList<int>{0, 1, 2, 3, 3};
        QTest::newRow("4 x 76 bytes, target 3")
            << 304 << '3' << QList<int>{79, 79, 79, 79} << QList<int>{0, 1, 2, 3, 4};
        QList<int> lengths(13, 79);
        QList<int> positions{0};
        for (int i = 1; i <= 13; ++i) {
            positions << i;
        }
        QTest::newRow("1000 bytes") << 1000 << '4' << (lengths << 15) << (positions << 13);
    }
    void goodRun() {
        QFETCH(int, size);
        QFETCH(char, digit);
        QFETCH(QList<int>, lengths);
        QFETCH(QList<int>, positions);
        reporter_.clear();
        test::PortsDir ports;
        auto box = test::StartLinkedBox(ports, kPort, BootConfig());
        QVERIFY(box);
        SerialPort port;
        QVERIFY(OpenForFlash(port));
        const Bytes program = MakeProgram(size);
        RecordingSink sink;
        QVERIFY(ConnectBootLoader(port, size, digit));
        QVERIFY(WriteFlash(port, program, sink));
        port.Close();

        const Bytes wire = box->received();
        QVERIFY(wire == GoodRunBytes(program, *StartAddressFor(digit)));  // no boot request
        QCOMPARE(SendDataLengths(wire), lengths);
        QCOMPARE(sink.minimum, 0);
        QCOMPARE(sink.maximum, positions.last());
        QCOMPARE(sink.positions, positions);
        QVERIFY(box->flash() == program);
        QCOMPARE(box->downloadAddress(), *StartAddressFor(digit));
        QCOMPARE(box->resetCount(), 1);
        QVERIFY(reporter_.texts().empty());
    }

    // A box still in its firmware ignores the Ping; the boot request starts its boot loader.
    void bootRequest() {
        test::PortsDir ports;
        auto box = test::StartLinkedBox(ports, kPort);
        QVERIFY(box);
        SerialPort port;
        QVERIFY(OpenForFlash(port));
        QVERIFY(ConnectBootLoader(port, 300, '4'));
        const Bytes wire = box->received();
        const Bytes start{0x03, 0x20, 0x20, 0x88, 0x99, 0x06, 0xFE, 0x03, 0x20, 0x20, 0x0B};
        QVERIFY(wire.size() > start.size());
        QVERIFY(Bytes(wire.begin(), wire.begin() + 11) == start);
        QVERIFY(box->inBootLoader());
    }

    void failures_data() {
        QTest::addColumn<int>("nakBlock");
        QTest::addColumn<int>("vanishBlock");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("lastPosition");
        QTest::addColumn<int>("wireBytes");  // bytes sent in all
        // 18 bytes of connect, then 79 per full block.
        QTest::newRow("nak at block 2") << 2 << -1 << 0x40 << true << 2 << 18 + 3 * 79;
        QTest::newRow("nak at block 0") << 0 << -1 << 0x40 << true << 0 << 18 + 79;
        QTest::newRow("status 43: other target") << -1 << -1 << 0x43 << false << -1 << 18;
        QTest::newRow("box vanishes at block 3") << -1 << 3 << 0x40 << true << 3 << 18 + 4 * 79;
    }
    void failures() {
        QFETCH(int, nakBlock);
        QFETCH(int, vanishBlock);
        QFETCH(int, status);
        QFETCH(bool, connected);
        QFETCH(int, lastPosition);
        QFETCH(int, wireBytes);
        test::PortsDir ports;
        sim::BoxConfig config = BootConfig();
        config.nakBlock = nakBlock;
        config.vanishAtBlock = vanishBlock;
        config.status = static_cast<std::uint8_t>(status);
        auto box = test::StartLinkedBox(ports, kPort, config);
        QVERIFY(box);
        SerialPort port;
        QVERIFY(OpenForFlash(port));
        QCOMPARE(ConnectBootLoader(port, 1000, '4'), connected);
        if (connected) {
            RecordingSink sink;
            QElapsedTimer timer;
            timer.start();
            QVERIFY(!WriteFlash(port, MakeProgram(1000), sink));
            QVERIFY(timer.elapsed() < 15000);  // at most one read time-out
            QCOMPARE(sink.positions.last(), lastPosition);
        }
        port.Close();
        QVERIFY(!port.IsOpen());
        // Nothing follows the failed step: no Get Status, no Reset.
        QVERIFY(box->WaitForReceived(static_cast<std::size_t>(wireBytes), 1000));
        QTest::qWait(100);
        QCOMPARE(box->received().size(), static_cast<std::size_t>(wireBytes));
        QCOMPARE(box->resetCount(), 0);
    }

    // Get Status byte 4 is examined by the connect check only.
    void statusByteFour() {
        test::PortsDir ports;
        ScriptedBox box(ports.path(), kPort, {0x00, 0xCC, 0x03, 0x40, 0x41});
        QVERIFY(box.ok());
        SerialPort port;
        QVERIFY(OpenForFlash(port));
        QVERIFY(!ConnectBootLoader(port, 256, '4'));
        QTRY_COMPARE_WITH_TIMEOUT(box.received().size(), std::size_t{18}, 2000);
        QCOMPARE(box.received().back(), std::uint8_t{0xCC});  // the status reply is acknowledged
        RecordingSink sink;
        QVERIFY(WriteFlash(port, MakeProgram(256), sink));
    }

    // Sizes that cannot be written are refused before anything goes out.
    void refusedBeforeSending_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<char>("digit");
        QTest::newRow("255 bytes") << 255 << '4';
        QTest::newRow("4,980,736 bytes") << 4980736 << '4';
        QTest::newRow("target digit 5") << 256 << '5';
    }
    void refusedBeforeSending() {
        QFETCH(int, size);
        QFETCH(char, digit);
        test::PortsDir ports;
        auto box = test::StartLinkedBox(ports, kPort, BootConfig());
        QVERIFY(box);
        SerialPort port;
        QVERIFY(OpenForFlash(port));
        QVERIFY(!ConnectBootLoader(port, size, digit));
        if (digit == '4') {
            RecordingSink sink;
            QVERIFY(!WriteFlash(port, MakeProgram(size), sink));
            QVERIFY(sink.positions.isEmpty());
        }
        QTest::qWait(100);
        QVERIFY(box->received().empty());
    }

    void closedPort() {
        SerialPort port;
        QVERIFY(!ConnectBootLoader(port, 256, '4'));
    }
};

QTEST_GUILESS_MAIN(TestBootLoader)
#include "test_bootloader.moc"
