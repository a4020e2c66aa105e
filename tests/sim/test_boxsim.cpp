// The simulated box's own behaviour that the device, panel and firmware tests do not reach:
// its memory, request splitting, misbehaviour switches, line pacing, vanishing and COM links.
// Driven through the device layer's serial port.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <filesystem>

#include "DeviceLink.h"
#include "TestBox.h"

using namespace kestrow;
using namespace kestrow::test;
using kestrow::sim::BoxConfig;
using kestrow::sim::BoxSim;
using kestrow::sim::FrameKind;

Q_DECLARE_METATYPE(BoxConfig)

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

QByteArray Wire(const Frame& frame) {
    return QByteArray(reinterpret_cast<const char*>(frame.bytes.data()), frame.size);
}

// A box linked as COM<kPort> and the serial port that talks to it. Reads give up after
// 200 ms, so an expected silence costs little.
constexpr int kPort = 5;
struct Line {
    explicit Line(const BoxConfig& config = {}) : box(StartLinkedBox(ports, kPort, config)) {
        (void)OpenBoxPort(port, kPort);
        (void)port.SetTimeouts({0, 0, 200, 0, 0});
    }
    [[nodiscard]] bool ok() const { return box && port.IsOpen(); }
    QByteArray Read(qsizetype count) {
        QByteArray out(count, '\0');
        out.resize(port.Read(out.data(), static_cast<uint32_t>(count)));
        return out;
    }
    // The reply to `request`: `expected.size()` bytes, or (expecting none) a short silence.
    QByteArray Ask(const QByteArray& request, const QByteArray& expected = {}) {
        port.Write(request.constData(), static_cast<uint32_t>(request.size()));
        return Read(qMax(expected.size(), qsizetype{1}));
    }

    RecordingReporter reporter;
    PortsDir ports;
    std::unique_ptr<BoxSim> box;
    SerialPort port;
};

}  // namespace

class TestBoxSim : public QObject {
    Q_OBJECT

  private slots:
    // Requests in order, each with its exact reply (empty: none).
    void exchanges_data() {
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<QList<QByteArray>>("requests");
        QTest::addColumn<QList<QByteArray>>("replies");
        const QByteArray none;
        const QByteArray probe = Hex("056c9305f7");
        const QByteArray answer = Hex("056c935900");
        const QByteArray ack = Hex("00cc");
        const QByteArray getStatus = Hex("032323");  // boot loader packets: n, sum, command, ...
        BoxConfig plain;
        BoxConfig unanswered;
        unanswered.unanswered = {{1, 1}, {0x49, 4}};
        BoxConfig silentFrom;
        silentFrom.silentFrom = std::pair<uint8_t, uint8_t>{4, 1};
        BoxConfig boot;
        boot.startInBootLoader = true;
        BoxConfig bootQuiet = boot;
        bootQuiet.bootSilent = true;

        QTest::newRow("memory keeps a write")
            << plain << QList{Wire(WriteSettingFrame(2, 1, 0xC8)), Wire(ReadSettingFrame(2, 1))}
            << QList{none, Hex("056c93c834")};
        QTest::newRow("genlock delays read back as items 2 and 3")
            << plain << QList{Wire(WriteGenlockFrame(1, 0x08, 0xFF)), Wire(ReadGenlockFrame(3))}
            << QList{none, Hex("05490308ff")};
        QTest::newRow("bad checksum and unknown opcode are ignored")
            << plain << QList{Hex("076c93010101f0"), Hex("066c93770183"), probe}
            << QList{none, none, answer};
        QTest::newRow("unanswered queries")
            << unanswered
            << QList{Wire(ReadSettingFrame(1, 1)), Wire(ReadGenlockFrame(4)),
                     Wire(ReadSettingFrame(2, 1))}
            << QList{none, none, Hex("056c93807c")};
        QTest::newRow("silent from (4,1) on")
            << silentFrom << QList{probe, Wire(ReadSettingFrame(4, 1)), probe}
            << QList{answer, none, none};
        QTest::newRow("boot loader: bad checksum, settings frame")
            << boot << QList{Hex("032120"), probe} << QList{Hex("0033"), none};
        QTest::newRow("boot loader: unknown command sets status 41")
            << boot << QList{Hex("032727"), getStatus} << QList{ack, Hex("00cc034141")};
        QTest::newRow("boot loader: wrong address gives status 43")
            << boot << QList{Hex("0b42210000200000000100"), getStatus}
            << QList{ack, Hex("00cc034343")};
        QTest::newRow("boot loader silent") << bootQuiet << QList{Hex("032020")} << QList{none};
    }
    void exchanges() {
        QFETCH(BoxConfig, config);
        QFETCH(QList<QByteArray>, requests);
        QFETCH(QList<QByteArray>, replies);
        Line line(config);
        QVERIFY(line.ok());
        QByteArray sent;
        for (qsizetype i = 0; i < requests.size(); ++i) {
            QCOMPARE(line.Ask(requests[i], replies[i]).toHex(' '), replies[i].toHex(' '));
            sent += requests[i];
        }
        QCOMPARE(line.Read(1).toHex(' '), QByteArray());  // nothing more follows
        QCOMPARE(WireHex(*line.box), sent.toHex());
        QVERIFY(line.reporter.texts().empty());
    }

    // Requests split across writes, junk between them; what the box made of them.
    void splitsRequests() {
        Line line;
        QVERIFY(line.ok());
        std::atomic<int> observed = 0;
        line.box->SetFrameObserver([&observed](const kestrow::sim::ReceivedFrame&) { ++observed; });
        const QByteArray answer = Hex("056c935900");
        QCOMPARE(line.Ask(Hex("01ff056c")), QByteArray());
        QCOMPARE(line.Ask(Hex("9305f7076c93010101f005"), answer).toHex(), answer.toHex());
        QCOMPARE(line.Ask(Hex("6c9305f7"), answer).toHex(), answer.toHex());
        const auto frames = line.box->frames();
        const std::vector<std::pair<FrameKind, QByteArray>> expected{
            {FrameKind::Unparsed, Hex("01ff")},
            {FrameKind::Settings, Hex("056c9305f7")},
            {FrameKind::BadChecksum, Hex("076c93010101f0")},
            {FrameKind::Settings, Hex("056c9305f7")},
        };
        QCOMPARE(frames.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(frames[i].kind, expected[i].first);
            QCOMPARE(HexBytes(frames[i].bytes), expected[i].second.toHex());
        }
        QCOMPARE(HexBytes(frames[1].reply), answer.toHex());
        QCOMPARE(observed.load(), 4);
        line.box->ClearReceived();
        QVERIFY(line.box->received().empty() && line.box->frames().empty());
    }

    // Vanish() pulls the cable: the host's reads and writes fail.
    void vanishes() {
        Line line;
        QVERIFY(line.ok());
        line.box->Vanish();
        QCOMPARE(line.Ask(Hex("056c9305f7"), Hex("056c935900")), QByteArray());
        QVERIFY(!line.reporter.texts().empty());
        line.box->Vanish();  // a second time does nothing
    }

    // Paced: every byte takes its 115200 8-N-1 line time both ways (lower bound only).
    void pacedTakesLineTime() {
        BoxConfig config;
        config.startInBootLoader = true;
        config.paced = true;
        Line line(config);
        QVERIFY(line.ok());
        constexpr int kBlocks = 20;
        QElapsedTimer timer;
        timer.start();
        for (int k = 0; k < kBlocks; ++k) {
            QCOMPARE(line.Ask(Hex("4fc424") + QByteArray(76, 'x'), Hex("00cc")).toHex(),
                     QByteArray("00cc"));
        }
        const double floorMs = kBlocks * (79 + 2) * 10 * 1000.0 / 115200;  // 140.6 ms
        QVERIFY2(static_cast<double>(timer.nsecsElapsed()) / 1e6 >= floorMs * 0.98,
                 qPrintable(QString::number(timer.elapsed())));
        QVERIFY(timer.elapsed() < 5000);
    }

    void links() {
        QTemporaryDir dir;
        const std::string ports = dir.path().toStdString() + "/a/ports";
        auto first = BoxSim::Start({});
        auto second = BoxSim::Start({});
        QVERIFY(first && second);
        QCOMPARE(first->LinkAsFreeNumber(ports), std::optional<int>(200));
        QVERIFY(!second->LinkAs(ports, 200));
        // A dangling link is taken over; a live one is not.
        std::filesystem::create_symlink("/nonexistent/tty", ports + "/COM201");
        QCOMPARE(second->LinkAsFreeNumber(ports), std::optional<int>(201));
        QCOMPARE(std::filesystem::read_symlink(ports + "/COM201").string(), second->slavePath());
        QVERIFY(!first->LinkAs(ports, 256));
        QCOMPARE(first->LinkAsFreeNumber(ports, 255), std::optional<int>(255));
        QCOMPARE(first->LinkAsFreeNumber(ports, 255), std::optional<int>());
        first.reset();
        QVERIFY(!std::filesystem::is_symlink(ports + "/COM200"));
        QVERIFY(!std::filesystem::is_symlink(ports + "/COM255"));
        QVERIFY(std::filesystem::is_symlink(ports + "/COM201"));
        second.reset();
        QVERIFY(!std::filesystem::is_symlink(ports + "/COM201"));
    }
};

QTEST_GUILESS_MAIN(TestBoxSim)
#include "test_boxsim.moc"
