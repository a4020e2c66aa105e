// The settings transactions against the simulated box: bytes on the wire and results with an
// answering, a silent, a short-answering and a late box, and with a port that cannot be opened.
#include <QtTest>

#include <optional>
#include <string>

#include "DeviceLink.h"
#include "TestBox.h"

using kestrow::DeviceLink;
using kestrow::sim::BoxConfig;

namespace {

enum class Box { Answering, Silent, Short, Absent, Late, Later };  // replies after 1.2 s, 1.8 s
enum class Op { WriteSetting, ReadSetting, WriteGenlock, ReadGenlock, Version, SendFrame, Probe };

constexpr int kPort = 7;
const char* const kOpenFailure = "Failed to open up the comms port\n";

// Runs one transaction and renders its result as text, so one table covers all of them. The
// version read gives its byte and the text ("old" when left as it was).
QString Run(DeviceLink& link, Op op) {
    auto opt = [](auto v) { return v ? QString::number(*v) : QStringLiteral("none"); };
    auto flag = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    std::string text = "old";
    switch (op) {
        case Op::WriteSetting:
            return flag(link.WriteSetting(2, 3, static_cast<uint8_t>(-50)));
        case Op::ReadSetting:
            return opt(link.ReadSetting(1, 2));
        case Op::WriteGenlock:
            return flag(link.WriteGenlockValue(0, 0x01, 0x2C));
        case Op::ReadGenlock:
            return opt(link.ReadGenlockValue(3));
        case Op::Version: {
            const uint8_t byte3 = link.ReadVersionText(true, text);
            return QString::number(byte3) + " " + QString::fromStdString(text);
        }
        case Op::SendFrame:
            return flag(link.SendFrame(5, 4, 0, 0, 0));
        case Op::Probe:
            return flag(link.ProbeForSearch(kPort));
    }
    return {};
}

}  // namespace

Q_DECLARE_METATYPE(Box)
Q_DECLARE_METATYPE(Op)

class TestDeviceLink : public QObject {
    Q_OBJECT
  private slots:
    void transactions_data() {
        QTest::addColumn<Op>("op");
        QTest::addColumn<Box>("box");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("result");
        const auto write = QByteArray::fromHex("086C93000203CE26");
        const auto read = QByteArray::fromHex("076C93010102F6");
        const auto gRead = QByteArray::fromHex("066C934903AF");
        const auto version = QByteArray::fromHex("076C93010403F2");
        const auto probe = QByteArray::fromHex("056C9305F7");
        const QByteArray none;
        QTest::newRow("write") << Op::WriteSetting << Box::Answering << write << "true";
        QTest::newRow("write, no port") << Op::WriteSetting << Box::Absent << none << "false";
        QTest::newRow("read") << Op::ReadSetting << Box::Answering << read << "77";
        QTest::newRow("read, silent") << Op::ReadSetting << Box::Silent << read << "none";
        QTest::newRow("read, short") << Op::ReadSetting << Box::Short << read << "none";
        QTest::newRow("read, no port") << Op::ReadSetting << Box::Absent << none << "none";
        // The read after the 500 ms wait waits up to 1000 ms more for a reply.
        QTest::newRow("read, reply after 1.2 s") << Op::ReadSetting << Box::Late << read << "77";
        QTest::newRow("read, reply after 1.8 s") << Op::ReadSetting << Box::Later << read << "none";
        QTest::newRow("genlock write") << Op::WriteGenlock << Box::Answering
                                       << QByteArray::fromHex("086C934900012C83") << "true";
        QTest::newRow("genlock write, no port")
            << Op::WriteGenlock << Box::Absent << none << "false";
        QTest::newRow("genlock read") << Op::ReadGenlock << Box::Answering << gRead << "4660";
        QTest::newRow("genlock read, silent") << Op::ReadGenlock << Box::Silent << gRead << "none";
        QTest::newRow("genlock read, short") << Op::ReadGenlock << Box::Short << gRead << "none";
        QTest::newRow("genlock read, no port") << Op::ReadGenlock << Box::Absent << none << "none";
        QTest::newRow("genlock read, reply after 1.2 s")  // 50 ms, then up to 1000 ms
            << Op::ReadGenlock << Box::Late << gRead << "none";
        QTest::newRow("version") << Op::Version << Box::Answering << version << "9 V1.23.456";
        QTest::newRow("version, silent") << Op::Version << Box::Silent << version << "1 NA";
        QTest::newRow("version, 13 bytes") << Op::Version << Box::Short << version << "9 NA";
        QTest::newRow("version, no port") << Op::Version << Box::Absent << none << "0 old";
        QTest::newRow("send frame")
            << Op::SendFrame << Box::Answering << QByteArray::fromHex("056C9304F8") << "true";
        QTest::newRow("send frame, no port") << Op::SendFrame << Box::Absent << none << "false";
        QTest::newRow("probe") << Op::Probe << Box::Answering << probe << "true";
        QTest::newRow("probe, silent") << Op::Probe << Box::Silent << probe << "false";
        QTest::newRow("probe, 4 bytes") << Op::Probe << Box::Short << probe << "false";
        QTest::newRow("probe, no port") << Op::Probe << Box::Absent << none << "false";
    }

    void transactions() {
        QFETCH(Op, op);
        QFETCH(Box, box);
        QFETCH(QByteArray, wire);
        QFETCH(QString, result);

        kestrow::test::RecordingReporter reporter;
        kestrow::test::PortsDir ports;
        BoxConfig config;
        config.silent = box == Box::Silent;
        config.replyDelayMs = box == Box::Late ? 1200 : box == Box::Later ? 1800 : 0;
        // A short reply is one byte less than each reader asks for.
        config.shortReplyBytes = box != Box::Short       ? 0
                                 : op == Op::Version     ? 13
                                 : op == Op::ReadSetting ? 3
                                                         : 4;
        std::unique_ptr<kestrow::sim::BoxSim> sim;
        if (box != Box::Absent) {
            sim = kestrow::test::StartLinkedBox(ports, kPort, config);
            QVERIFY(sim);
            sim->SetSetting(1, 2, 77);
            sim->SetSetting(4, 3, 9);
            sim->SetGenlock(3, 0x1234);
        }

        DeviceLink link(kPort);
        QCOMPARE(Run(link, op), result);
        QVERIFY(!link.serial().IsOpen());
        if (sim) {
            QVERIFY(sim->WaitForReceived(static_cast<size_t>(wire.size()), 2000));
            QCOMPARE(kestrow::test::WireHex(*sim), wire.toHex());
            QVERIFY(reporter.texts().empty());
        } else {
            QCOMPARE(reporter.texts(), std::vector<std::string>{kOpenFailure});
        }
    }
};

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "test_devicelink.moc"
