// The boot loader exchange against the simulated box. The box checks every packet's length and
// checksum, so the list of requests it understood, its flash and its Download fields pin down
// the bytes on the wire.
#include <QtTest>

#include "BootLoader.h"
#include "DeviceLink.h"
#include "FirmwareTestSupport.h"
#include "FirmwareUpdateWorker.h"
#include "TestBox.h"

using namespace kestrow;
using test::Bytes;
using test::Program;

Q_DECLARE_METATYPE(kestrow::sim::BoxConfig)

namespace {

constexpr int kPort = 7;
enum Request : int {  // as Requests() lists them
    Skipped = -1,     // bytes the running firmware skipped (or a bad packet)
    Ping = 0x20,
    Download = 0x21,
    GetStatus = 0x23,
    SendData = 0x24,
    Reset = 0x25,
    BootRequest = 0x88,
    HostAck = 0xCC,
};

// The requests the box received, in order; the length byte of every Send Data in `lengths`.
QList<int> Requests(const sim::BoxSim& box, QList<int>& lengths) {
    QList<int> out;
    for (const auto& f : box.frames()) {
        using K = sim::FrameKind;
        const bool packet = f.kind == K::BootPacket;
        out << (packet                     ? int{f.bytes[2]}
                : f.kind == K::HostAck     ? int{HostAck}
                : f.kind == K::BootRequest ? int{BootRequest}
                                           : int{Skipped});
        if (packet && f.bytes[2] == SendData) {
            lengths << f.bytes[0];
        }
    }
    return out;
}

// The requests of an exchange with `blocks` Send Data packets; `finished`: Get Status and
// Reset follow them.
QList<int> Wire(int blocks, bool finished = true, bool viaBootRequest = false) {
    QList<int> w = viaBootRequest ? QList<int>{Skipped, BootRequest, Ping} : QList<int>{Ping};
    w << Download << GetStatus << HostAck << QList<int>(blocks, SendData);
    return finished ? w << GetStatus << HostAck << Reset : w;
}

sim::BoxConfig Box(int nakBlock = -1, int status = 0x40, std::optional<std::uint8_t> last = {},
                   int statusAfterBlock = -1) {
    sim::BoxConfig c;
    c.startInBootLoader = true;
    c.nakBlock = nakBlock;
    c.status = static_cast<std::uint8_t>(status);
    c.statusLastByte = last;
    c.statusAfterBlock = statusAfterBlock;
    return c;
}

// The progress of a write, and the status lines of a worker's run.
struct RecordingView : FirmwareUpdateView {
    QPair<int, int> range{-1, -1};
    QList<int> positions;
    QStringList statuses;
    void SetRange(std::uint16_t minimum, std::uint16_t maximum) override {
        range = {minimum, maximum};
    }
    void SetPosition(std::uint16_t position) override { positions << position; }
    void SetStatus(std::string_view text) override { statuses << QString::fromUtf8(text); }
    void SetFileSize(std::string_view /*text*/) override {}
    void ShowMessage(std::string_view text) override { statuses << QString::fromUtf8(text); }
    void ShowWaitCursor(bool /*wait*/) override {}
};

}  // namespace

class TestBootLoader : public QObject {
    Q_OBJECT

  private slots:
    void downloadPacket() {
        const std::array<std::uint8_t, 11> expected{0x0B, 0x4A, 0x21, 0x00, 0x00, 0x28,
                                                    0x00, 0x00, 0x01, 0x00, 0x00};
        QVERIFY(DownloadPacket(0x2800, 65536) == expected);
    }

    // ConnectBootLoader, then WriteFlash unless `write` is -1 (0: it fails, 1: it succeeds).
    void exchange_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<char>("digit");
        QTest::addColumn<sim::BoxConfig>("box");
        QTest::addColumn<bool>("connects");
        QTest::addColumn<int>("write");
        QTest::addColumn<QList<int>>("requests");
        QTest::addColumn<QList<int>>("lengths");
        QTest::addColumn<QList<int>>("positions");
        const QList<int> l256{79, 79, 79, 31};
        const QList<int> p256{0, 1, 2, 3, 3};
        const QList<int> none;
        QTest::newRow("256 bytes") << 256 << '4' << Box() << true << 1 << Wire(4) << l256 << p256;
        QTest::newRow("4 x 76 bytes, target 3") << 304 << '3' << Box() << true << 1 << Wire(4)
                                                << QList<int>(4, 79) << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("1000 bytes")
            << 1000 << '4' << Box() << true << 1 << Wire(14) << QList<int>(13, 79) + QList<int>{15}
            << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 13};
        sim::BoxConfig firmware = Box();
        firmware.startInBootLoader = false;
        QTest::newRow("boot request first")
            << 256 << '4' << firmware << true << 1 << Wire(4, true, true) << l256 << p256;
        // The first failed step ends the exchange: no Get Status, no Reset after it.
        QTest::newRow("nak at block 2") << 1000 << '4' << Box(2) << true << 0 << Wire(3, false)
                                        << QList<int>(3, 79) << QList<int>{0, 1, 2};
        QTest::newRow("nak at block 0") << 1000 << '4' << Box(0) << true << 0 << Wire(1, false)
                                        << QList<int>{79} << QList<int>{0};
        QTest::newRow("status 43: other target")
            << 1000 << '4' << Box(-1, 0x43) << false << -1 << Wire(0, false) << none << none;
        // The final Get Status must say 40; neither CC nor Reset follows another status.
        QTest::newRow("status 41 after the last block")
            << 1000 << '4' << Box(-1, 0x41, {}, 13) << true << 0
            << Wire(14, false) + QList<int>{GetStatus} << QList<int>(13, 79) + QList<int>{15}
            << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 13};
        // Byte 4 of the status reply is examined by the connect check only.
        QTest::newRow("status 00 CC 03 40 41")
            << 256 << '4' << Box(-1, 0x40, 0x41) << false << 1 << Wire(4) << l256 << p256;
        // A program that cannot be written is refused before anything goes out.
        QTest::newRow("255 bytes") << 255 << '4' << Box() << false << 0 << none << none << none;
        QTest::newRow("4,980,736 bytes")
            << 4980736 << '4' << Box() << false << 0 << none << none << none;
        QTest::newRow("target digit 5")
            << 256 << '5' << Box() << false << -1 << none << none << none;
    }
    void exchange() {
        QFETCH(int, size);
        QFETCH(char, digit);
        QFETCH(sim::BoxConfig, box);
        QFETCH(bool, connects);
        QFETCH(int, write);
        QFETCH(QList<int>, requests);
        QFETCH(QList<int>, lengths);
        QFETCH(QList<int>, positions);
        test::RecordingReporter reporter;
        test::PortsDir ports;
        const auto sim = test::StartLinkedBox(ports, kPort, box);
        SerialPort port;
        QVERIFY(sim && OpenForLongReads(port, kPort));
        const auto program = Bytes(Program(size));
        RecordingView sink;

        QCOMPARE(ConnectBootLoader(port, size, digit), connects);
        if (write >= 0) {
            QCOMPARE(WriteFlash(port, program, sink), write == 1);
        }
        QTest::qWait(100);  // anything sent after a failure would have arrived by now
        QList<int> sent;
        QCOMPARE(Requests(*sim, sent), requests);
        QCOMPARE(sent, lengths);
        QCOMPARE(sink.positions, positions);
        QCOMPARE(sim->resetCount(), write == 1 ? 1 : 0);
        if (!box.startInBootLoader) {  // the Ping the running firmware skipped
            QCOMPARE(test::Q(sim->received()).left(3), QByteArray("\x03\x20\x20"));
        }
        if (write == 1) {
            QCOMPARE(sink.range, (QPair<int, int>{0, positions.last()}));
            QVERIFY(sim->flash() == program);
            QCOMPARE(sim->downloadAddress(), digit == '3' ? 0x1000u : 0x2800u);
            QCOMPARE(sim->downloadSize(), static_cast<std::uint32_t>(size));
        }
        QVERIFY(reporter.texts().empty());
    }

    // A run whose final status is not 40 ends with the system's text for a failed write.
    void runWithBadFinalStatus() {
        test::PortsDir ports;
        const auto sim = test::StartLinkedBox(ports, kPort, Box(-1, 0x41, {}, 13));
        QTemporaryDir dir;
        QFile file(dir.filePath("fw.bin"));
        QVERIFY(sim && file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(test::Image('4', Program(1000))) == 1013 && file.flush());
        FirmwareImage image;
        image.path = file.fileName().toStdString();
        SerialPort serial;
        RecordingView view;
        FirmwareRun run{kPort, image, serial, view};
        FirmwareUpdateWorker(run);
        QCOMPARE(view.statuses, (QStringList{"COM port Connected!", "Writing flash ... !",
                                             "Fail to write flash!"}));
        QVERIFY(!serial.IsOpen());
    }
};

QTEST_GUILESS_MAIN(TestBootLoader)
#include "test_bootloader.moc"
