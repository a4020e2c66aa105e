// The boot loader exchange against the simulated box. The box checks every packet's length and
// checksum, so the list of requests it understood, its flash and its Download fields (address
// and size, most significant byte first) pin down the bytes on the wire.
#include <QtTest>

#include "device/DeviceLink.h"
#include "firmware/BootLoader.h"
#include "firmware/FirmwareTexts.h"
#include "sim/FaultOptions.h"
#include "tests/common/TestBox.h"
#include "tests/firmware/FirmwareTestSupport.h"

using namespace kestrow;

Q_DECLARE_METATYPE(kestrow::sim::BoxConfig)

namespace {

constexpr int kPort = 7;

// The requests the box received, in order: Ping P, Download D, Get Status S, Reset R, the
// host's acknowledge A, the boot request B, each Send Data as its length byte, and - for bytes
// the running firmware skipped.
QString Requests(const sim::BoxSim& box) {
    QStringList out;
    for (const auto& f : box.frames()) {
        using K = sim::FrameKind;
        const int command = f.kind == K::BootPacket ? f.bytes[2] - 0x20 : -1;
        out << (command == 4                   ? QString::number(f.bytes[0])
                : command >= 0 && command <= 5 ? QString(QChar("PD?S?R"[command]))
                : f.kind == K::HostAck         ? QString("A")
                : f.kind == K::BootRequest     ? QString("B")
                                               : QString("-"));
    }
    return out.join(' ');
}

sim::BoxConfig Box(int nakBlock = -1, int status = 0x40, std::optional<std::uint8_t> last = {},
                   int statusAfterBlock = -1, bool inBootLoader = true, bool silent = false,
                   const char* closeAt = nullptr) {
    sim::BoxConfig c;
    if (closeAt != nullptr &&  // the line closes for good at that request
        (!sim::ParseFaultOption("--fault", closeAt, c.faults) ||
         !sim::ParseFaultOption("--back-after", "-1", c.faults))) {
        qFatal("bad fault %s", closeAt);
    }
    c.silent = silent;
    c.startInBootLoader = inBootLoader;
    c.nakBlock = nakBlock;
    c.status = static_cast<std::uint8_t>(status);
    c.statusLastByte = last;
    c.statusAfterBlock = statusAfterBlock;
    return c;
}

// How a step ended: "done", or the kind of its failure.
QString Ended(const Result<void>& step) {
    if (step) {
        return "done";
    }
    switch (step.error().kind) {
        case ErrorKind::Gone:
            return step.error().call == firmware_text::kBootLoaderWaits ? "gone, in the boot loader"
                                                                        : "gone";
        case ErrorKind::NoAnswer:
            return "no answer";
        case ErrorKind::BadReply:
            return "bad reply";
        case ErrorKind::Invalid:
            return "invalid";
        default:
            return "failed " + QString::number(int(step.error().kind));
    }
}

// The progress of a write, as "minimum..maximum: positions".
struct Progress : ProgressSink {
    QString seen;
    void SetRange(std::uint16_t minimum, std::uint16_t maximum) override {
        seen += QStringLiteral("%1..%2:").arg(minimum).arg(maximum);
    }
    void SetPosition(std::uint16_t position) override { seen += ' ' + QString::number(position); }
};

}  // namespace

class TestBootLoader : public QObject {
    Q_OBJECT

  private slots:
    // ConnectBootLoader, then WriteFlash unless `write` is empty: how each ended.
    void exchange_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<char>("digit");
        QTest::addColumn<sim::BoxConfig>("box");
        QTest::addColumn<QString>("connects");
        QTest::addColumn<QString>("write");
        QTest::addColumn<QString>("requests");
        QTest::addColumn<QString>("progress");
        const auto row = [](const char* tag, int size, char digit, const sim::BoxConfig& box,
                            const char* connects, const char* write, const char* requests,
                            const char* progress) {
            QTest::newRow(tag) << size << digit << box << QString(connects) << QString(write)
                               << QString(requests) << QString(progress);
        };
        const char* const full = "P D S A 79 79 79 31 S A R";  // 256 bytes: 3 x 76 + 28
        const char* const p256 = "0..3: 0 1 2 3 3";
        const char* const done = "done";
        row("256 bytes", 256, '4', Box(), done, done, full, p256);
        row("4 x 76 bytes, target 3", 304, '3', Box(), done, done, "P D S A 79 79 79 79 S A R",
            "0..4: 0 1 2 3 4");
        row("boot request first", 256, '4', Box(-1, 0x40, {}, -1, false), done, done,
            "- B P D S A 79 79 79 31 S A R", p256);
        // Nothing acknowledges the Ping, before or after the boot request: no Download.
        row("silent box", 256, '4', Box(-1, 0x40, {}, -1, false, true), "no answer", "", "- B P",
            "");
        // The line goes at the boot request: the box waits in its boot loader, and says so;
        // gone at a first Ping that nothing acknowledged, it still runs its firmware.
        row("gone after the boot request", 256, '4', Box(-1, 0x40, {}, -1, false, false, "close@0"),
            "gone, in the boot loader", "", "- B", "");
        row("gone at Download", 256, '4', Box(-1, 0x40, {}, -1, true, false, "close@1"),
            "gone, in the boot loader", "", "P D", "");
        row("gone at the first Ping", 256, '4', Box(-1, 0x40, {}, -1, true, false, "close@0"),
            "gone", "", "P", "");
        // The first failed step ends the exchange: no Get Status, no Reset after it.
        row("nak at block 2", 256, '4', Box(2), done, "bad reply", "P D S A 79 79 79",
            "0..3: 0 1 2");
        // The final Get Status must say 40; neither CC nor Reset follows another status.
        row("status 41 after the last block", 256, '4', Box(-1, 0x41, {}, 3), done, "bad reply",
            "P D S A 79 79 79 31 S", p256);
        // Byte 4 of the status reply is examined by the connect check only.
        row("status 00 CC 03 40 41", 256, '4', Box(-1, 0x40, 0x41), "bad reply", done, full, p256);
        // A program that cannot be written is refused before anything goes out.
        row("255 bytes", 255, '4', Box(), "invalid", "invalid", "", "");
        row("4,980,736 bytes", 4980736, '4', Box(), "invalid", "invalid", "", "");
    }
    void exchange() {
        QFETCH(int, size);
        QFETCH(char, digit);
        QFETCH(sim::BoxConfig, box);
        QFETCH(QString, write);
        test::RecordingReporter reporter;
        test::PortsDir ports;
        const auto sim = test::StartLinkedBox(ports, kPort, box);
        SerialPort port;
        QVERIFY(sim && OpenForLongReads(port, ports.Port(kPort)));
        const auto program = test::Bytes(test::Program(size));
        Progress sink;

        QTEST(Ended(ConnectBootLoader(port, size, digit)), "connects");
        if (!write.isEmpty()) {
            QCOMPARE(Ended(WriteFlash(port, program, sink)), write);
        }
        QTest::qWait(100);  // anything sent after a failure would have arrived by now
        QTEST(Requests(*sim), "requests");
        QTEST(sink.seen, "progress");
        QCOMPARE(sim->resetCount(), write == "done" ? 1 : 0);
        if (!box.startInBootLoader) {  // the Ping the running firmware skipped
            QCOMPARE(test::Q(sim->received()).left(3), QByteArray("\x03\x20\x20"));
        }
        if (write == "done") {
            QVERIFY(sim->flash() == program);
            QCOMPARE(sim->downloadAddress(), digit == '3' ? 0x1000u : 0x2800u);
            QCOMPARE(sim->downloadSize(), static_cast<std::uint32_t>(size));
        }
        QFETCH(QString, connects);
        QCOMPARE(reporter.texts().size(), connects.startsWith("gone") ? 1u : 0u);  // said once
    }
};

QTEST_GUILESS_MAIN(TestBootLoader)
#include "test_bootloader.moc"
