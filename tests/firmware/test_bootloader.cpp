// The boot loader exchange against the simulated box. The box checks every packet's length and
// checksum, so the list of requests it understood, its flash and its Download fields (address
// and size, most significant byte first) pin down the bytes on the wire.
#include <QtTest>

#include "device/DeviceLink.h"
#include "firmware/BootLoader.h"
#include "firmware/FirmwareTexts.h"
#include "tests/common/TestBox.h"
#include "tests/firmware/FirmwareTestSupport.h"

using namespace kestrow;

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

// How a step ended: "done", or the kind of its failure.
QString Ended(const Result<void>& step) {
    if (step) {
        return "done";
    }
    const bool waits = step.error().call == firmware_text::kBootLoaderWaits;
    return waits && step.error().kind == ErrorKind::Gone ? "gone, in the boot loader"
                                                         : test::KindWords(step.error());
}

// The progress of a write, as "minimum..maximum: positions".
struct Progress : ProgressSink {
    QString seen;
    void SetRange(std::uint16_t minimum, std::uint16_t maximum) override {
        seen += QStringLiteral("%1..%2:").arg(minimum).arg(maximum);
    }
    void SetPosition(std::uint16_t position) override { seen += ' ' + QString::number(position); }
};

// ConnectBootLoader, then WriteFlash unless `write` is empty: how each ended.
struct Exchange {
    const char* tag;
    int size;
    char digit;
    sim::BoxConfig box;
    const char* connects;
    const char* write;
    const char* requests;
    const char* progress;
};

const sim::BoxConfig kBoot{.startInBootLoader = true};  // the others start in the firmware
const sim::BoxConfig kNakAt2{.startInBootLoader = true, .nakBlock = 2};
const sim::BoxConfig kLastStatus41{
    .startInBootLoader = true, .status = 0x41, .statusAfterBlock = 3};
const sim::BoxConfig kStatusEnds41{.startInBootLoader = true, .statusLastByte = 0x41};
// The line closes for good at request n (kClose + "n").
const QString kClose = "--back-after -1 --fault close@";
constexpr const char* kFull = "P D S A 79 79 79 31 S A R";  // 256 bytes: 3 x 76 + 28
constexpr const char* kP256 = "0..3: 0 1 2 3 3";
const Exchange kExchanges[] = {
    {"256 bytes", 256, '4', kBoot, "done", "done", kFull, kP256},
    {"4 x 76 bytes, target 3", 304, '3', kBoot, "done", "done", "P D S A 79 79 79 79 S A R",
     "0..4: 0 1 2 3 4"},
    {"boot request first", 256, '4', {}, "done", "done", "- B P D S A 79 79 79 31 S A R", kP256},
    // Nothing acknowledges the Ping, before or after the boot request: no Download.
    {"silent box", 256, '4', {.silent = true}, "no answer", "", "- B P", ""},
    // The line goes at the boot request: the box waits in its boot loader, and says so; gone at
    // a first Ping that nothing acknowledged, it still runs its firmware.
    {"gone after the boot request", 256, '4', test::WithFaults(kClose + "0"),
     "gone, in the boot loader", "", "- B", ""},
    {"gone at Download", 256, '4', test::WithFaults(kClose + "1", kBoot),
     "gone, in the boot loader", "", "P D", ""},
    {"gone at the first Ping", 256, '4', test::WithFaults(kClose + "0", kBoot), "gone", "", "P",
     ""},
    // The first failed step ends the exchange: no Get Status, no Reset after it.
    {"nak at block 2", 256, '4', kNakAt2, "done", "bad reply", "P D S A 79 79 79", "0..3: 0 1 2"},
    // The final Get Status must say 40; neither CC nor Reset follows another status.
    {"status 41 after the last block", 256, '4', kLastStatus41, "done", "bad reply",
     "P D S A 79 79 79 31 S", kP256},
    // Byte 4 of the status reply is examined by the connect check only.
    {"status 00 CC 03 40 41", 256, '4', kStatusEnds41, "bad reply", "done", kFull, kP256},
    // A program that cannot be written is refused before anything goes out.
    {"255 bytes", 255, '4', kBoot, "invalid", "invalid", "", ""},
    {"4,980,736 bytes", 4980736, '4', kBoot, "invalid", "invalid", "", ""},
};

}  // namespace

class TestBootLoader : public QObject {
    Q_OBJECT

  private slots:
    void exchange_data() { test::RowsOf(kExchanges); }
    void exchange() {
        QFETCH(int, row);
        const auto& [tag, size, digit, box, connects, writeText, requests, progress] =
            kExchanges[row];
        const QString write(writeText);
        test::RecordingReporter reporter;
        test::PortsDir ports;
        const auto sim = test::StartLinkedBox(ports, kPort, box);
        SerialPort port;
        QVERIFY(sim && OpenForLongReads(port, ports.Port(kPort)));
        const auto program = test::Bytes(test::Program(size));
        Progress sink;

        QCOMPARE(Ended(ConnectBootLoader(port, size, digit)), QString(connects));
        if (!write.isEmpty()) {
            QCOMPARE(Ended(WriteFlash(port, program, sink)), write);
        }
        QTest::qWait(100);  // anything sent after a failure would have arrived by now
        QCOMPARE(Requests(*sim), QString(requests));
        QCOMPARE(sink.seen, QString(progress));
        QCOMPARE(sim->resetCount(), write == "done" ? 1 : 0);
        if (!box.startInBootLoader) {  // the Ping the running firmware skipped
            QCOMPARE(test::Q(sim->received()).left(3), QByteArray("\x03\x20\x20"));
        }
        if (write == "done") {
            QVERIFY(sim->flash() == program);
            QCOMPARE(sim->downloadAddress(), digit == '3' ? 0x1000u : 0x2800u);
            QCOMPARE(sim->downloadSize(), static_cast<std::uint32_t>(size));
        }
        QCOMPARE(reporter.texts().size(), QString(connects).startsWith("gone") ? 1u : 0u);  // once
    }
};

QTEST_GUILESS_MAIN(TestBootLoader)
#include "test_bootloader.moc"
