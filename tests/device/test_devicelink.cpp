// The reading transactions against the simulated box: bytes on the wire and results with a
// silent, a short-answering and a late box, and with a port that cannot be opened. Answering and
// silent boxes, the writes and the search's probe are tried through the dialogs' and the main
// window's tests.
#include <QtTest>

#include <optional>
#include <string>

#include "device/DeviceLink.h"
#include "tests/common/TestBox.h"

using kestrow::DeviceLink;
using kestrow::sim::BoxConfig;

namespace {

enum class Box { Silent, Short, Absent, Late, Later };  // replies after 1.2 s, 1.8 s
enum class Op { ReadSetting, ReadGenlock, Version, Probe };
constexpr int kReplyLength[] = {4, 5, 14, 5};  // what each of them reads

constexpr int kPort = 7;
const char* const kOpenFailure = "Failed to open up the comms port\n";

// Runs one transaction and renders its result as text, so one table covers all of them. The
// version read gives its byte and the text ("old" when left as it was).
QString Run(DeviceLink& link, Op op) {
    const auto opt = [](auto v) { return v ? QString::number(*v) : QStringLiteral("none"); };
    std::string text = "old";
    switch (op) {
        case Op::ReadSetting:
            return opt(link.ReadSetting(1, 2));
        case Op::ReadGenlock:
            return opt(link.ReadGenlockValue(3));
        case Op::Version: {
            const uint8_t byte3 = link.ReadVersionText(true, text);
            return QString::number(byte3) + " " + QString::fromStdString(text);
        }
        case Op::Probe:
            return link.ProbeForSearch(link.port()) ? "true" : "false";
    }
    return {};
}

}  // namespace

Q_DECLARE_METATYPE(Box)
Q_DECLARE_METATYPE(Op)

class TestDeviceLink : public QObject {
    Q_OBJECT
  private slots:
    // A closed port stops each transaction before it writes.
    void transactions_data() {
        QTest::addColumn<Op>("op");
        QTest::addColumn<Box>("box");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("result");
        const auto row = [](const char* tag, Op op, Box box, const char* wire, const char* result) {
            QTest::newRow(tag) << op << box << QByteArray(wire) << QString(result);
        };
        const char* const read = "076c93010102f6";
        const char* const gRead = "066c934903af";
        const char* const version = "076c93010403f2";
        using enum Op;
        row("read, short", ReadSetting, Box::Short, read, "none");
        row("read, no port", ReadSetting, Box::Absent, "", "none");
        // The read after the 500 ms wait waits up to 1000 ms more for a reply.
        row("read, reply after 1.2 s", ReadSetting, Box::Late, read, "77");
        row("read, reply after 1.8 s", ReadSetting, Box::Later, read, "none");
        row("genlock read, short", ReadGenlock, Box::Short, gRead, "none");
        row("genlock read, no port", ReadGenlock, Box::Absent, "", "none");
        // The GenLock read waits 50 ms, then up to 1000 ms.
        row("genlock read, reply after 1.2 s", ReadGenlock, Box::Late, gRead, "none");
        row("version, silent", Version, Box::Silent, version, "1 NA");
        row("version, 13 bytes", Version, Box::Short, version, "9 NA");
        row("probe, 4 bytes", Probe, Box::Short, "056c9305f7", "false");
    }

    void transactions() {
        QFETCH(Op, op);
        QFETCH(Box, box);
        QFETCH(QByteArray, wire);
        kestrow::test::RecordingReporter reporter;
        kestrow::test::PortsDir ports;
        BoxConfig config;
        config.silent = box == Box::Silent;
        config.replyDelayMs = box == Box::Late ? 1200 : box == Box::Later ? 1800 : 0;
        config.shortReplyBytes = box == Box::Short ? kReplyLength[int(op)] - 1 : 0;
        std::unique_ptr<kestrow::sim::BoxSim> sim;
        if (box != Box::Absent) {
            sim = kestrow::test::StartLinkedBox(ports, kPort, config);
            QVERIFY(sim);
            sim->SetSetting(1, 2, 77);
            sim->SetSetting(4, 3, 9);
        }

        DeviceLink link(ports.Port(kPort));
        QTEST(Run(link, op), "result");
        QVERIFY(!link.IsOpen());
        if (sim) {
            QVERIFY(sim->WaitForReceived(static_cast<size_t>(wire.size() / 2), 2000));
            QCOMPARE(kestrow::test::WireHex(*sim), wire);
            QVERIFY(reporter.texts().empty());
        } else {
            QCOMPARE(reporter.texts(), std::vector<std::string>{kOpenFailure});
        }
    }
};

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "test_devicelink.moc"
