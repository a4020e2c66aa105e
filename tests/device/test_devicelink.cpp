// The settings transactions against the simulated box: bytes on the wire and results with an
// answering, a silent and a short-answering box, and with a port that cannot be opened.
#include <QtTest>

#include <optional>
#include <string>

#include "DeviceLink.h"
#include "TestBox.h"

using kestrow::DeviceLink;
using kestrow::sim::BoxConfig;

namespace {

enum class Box { Answering, Silent, Short, Absent };
enum class Op { WriteSetting, ReadSetting, WriteGenlock, ReadGenlock, Version, SendFrame, Probe };

constexpr int kPort = 7;
const char* const kOpenFailure = "Failed to open up the comms port\n";

QByteArray Wire(const std::vector<uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

// Runs one transaction and renders its result as text, so one table covers all of them.
QString Run(DeviceLink& link, Op op, std::string& text) {
    auto opt = [](auto v) { return v ? QString::number(*v) : QStringLiteral("none"); };
    switch (op) {
        case Op::WriteSetting:
            return link.WriteSetting(2, 3, static_cast<uint8_t>(-50)) ? "true" : "false";
        case Op::ReadSetting:
            return opt(link.ReadSetting(1, 2));
        case Op::WriteGenlock:
            return link.WriteGenlockValue(0, 0x01, 0x2C) ? "true" : "false";
        case Op::ReadGenlock:
            return opt(link.ReadGenlockValue(3));
        case Op::Version:
            return QString::number(link.ReadVersionText(true, text));
        case Op::SendFrame:
            return link.SendFrame(5, 4, 0, 0, 0) ? "true" : "false";
        case Op::Probe:
            return link.ProbeForSearch(kPort) ? "true" : "false";
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
        QTest::addColumn<QString>("text");  // version text after the call ("old" = unchanged)

        const auto write = QByteArray::fromHex("086C93000203CE26");
        const auto read = QByteArray::fromHex("076C93010102F6");
        const auto gWrite = QByteArray::fromHex("086C934900012C83");
        const auto gRead = QByteArray::fromHex("066C934903AF");
        const auto version = QByteArray::fromHex("076C93010403F2");
        const auto aspect = QByteArray::fromHex("056C9304F8");
        const auto probe = QByteArray::fromHex("056C9305F7");

        QTest::newRow("write, answering") << Op::WriteSetting << Box::Answering << write << "true"
                                          << "old";
        QTest::newRow("write, silent") << Op::WriteSetting << Box::Silent << write << "true"
                                       << "old";
        QTest::newRow("write, no port")
            << Op::WriteSetting << Box::Absent << QByteArray() << "false"
            << "old";
        QTest::newRow("read, answering") << Op::ReadSetting << Box::Answering << read << "77"
                                         << "old";
        QTest::newRow("read, silent") << Op::ReadSetting << Box::Silent << read << "none"
                                      << "old";
        QTest::newRow("read, short") << Op::ReadSetting << Box::Short << read << "none"
                                     << "old";
        QTest::newRow("read, no port") << Op::ReadSetting << Box::Absent << QByteArray() << "none"
                                       << "old";
        QTest::newRow("genlock write") << Op::WriteGenlock << Box::Answering << gWrite << "true"
                                       << "old";
        QTest::newRow("genlock read, answering")
            << Op::ReadGenlock << Box::Answering << gRead << "4660"
            << "old";
        QTest::newRow("genlock read, silent") << Op::ReadGenlock << Box::Silent << gRead << "none"
                                              << "old";
        QTest::newRow("genlock read, short") << Op::ReadGenlock << Box::Short << gRead << "none"
                                             << "old";
        QTest::newRow("version, answering") << Op::Version << Box::Answering << version << "9"
                                            << "V1.23.456";
        QTest::newRow("version, silent") << Op::Version << Box::Silent << version << "1"
                                         << "NA";
        QTest::newRow("version, 13 bytes") << Op::Version << Box::Short << version << "9"
                                           << "NA";
        QTest::newRow("version, no port") << Op::Version << Box::Absent << QByteArray() << "0"
                                          << "old";
        QTest::newRow("send frame") << Op::SendFrame << Box::Answering << aspect << "true"
                                    << "old";
        QTest::newRow("send frame, no port")
            << Op::SendFrame << Box::Absent << QByteArray() << "false"
            << "old";
        QTest::newRow("probe, answering") << Op::Probe << Box::Answering << probe << "true"
                                          << "old";
        QTest::newRow("probe, silent") << Op::Probe << Box::Silent << probe << "false"
                                       << "old";
        QTest::newRow("probe, 4 bytes") << Op::Probe << Box::Short << probe << "false"
                                        << "old";
    }

    void transactions() {
        QFETCH(Op, op);
        QFETCH(Box, box);
        QFETCH(QByteArray, wire);
        QFETCH(QString, result);
        QFETCH(QString, text);

        kestrow::test::RecordingReporter reporter;
        kestrow::test::PortsDir ports;
        BoxConfig config;
        config.silent = box == Box::Silent;
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
        std::string version = "old";
        QCOMPARE(Run(link, op, version), result);
        QCOMPARE(QString::fromStdString(version), text);
        QVERIFY(!link.serial().IsOpen());
        if (sim) {
            QVERIFY(sim->WaitForReceived(static_cast<size_t>(wire.size()), 2000));
            QCOMPARE(Wire(sim->received()).toHex(' '), wire.toHex(' '));
            QVERIFY(reporter.texts().empty());
        } else {
            QCOMPARE(reporter.texts(), std::vector<std::string>{kOpenFailure});
        }
    }

    // The refresh's exchange: long-read time-outs, 5 bytes, then input is discarded.
    void refreshExchange() {
        kestrow::test::RecordingReporter reporter;
        kestrow::test::PortsDir ports;
        BoxConfig config;
        config.portByte = 0x93;
        config.modelByte = 1;
        auto sim = kestrow::test::StartLinkedBox(ports, kPort, config);
        QVERIFY(sim);
        DeviceLink link(kPort);
        QVERIFY(link.OpenForRefresh());
        kestrow::SerialTimeouts t;
        QVERIFY(link.serial().GetTimeouts(t));
        QCOMPARE(t.readTotalConstant, 5000u);
        QCOMPARE(t.readTotalMultiplier, 300u);
        QCOMPARE(t.readInterval, 0u);

        const auto probe = link.Exchange(kestrow::ProbeFrame());
        QVERIFY(probe);
        QCOMPARE((*probe)[0], 5);
        QCOMPARE((*probe)[3], 0x93);
        QCOMPARE((*probe)[4], 1);
        // (4,3) answers with more than five bytes; the rest must not leak into the next reply.
        sim->SetSetting(4, 3, 42);
        sim->SetSetting(4, 1, 116);
        const auto item3 = link.Exchange(kestrow::ReadSettingFrame(4, 3));
        QVERIFY(item3);
        QCOMPARE((*item3)[3], 42);
        const auto timing = link.Exchange(kestrow::ReadSettingFrame(4, 1));
        QVERIFY(timing);
        QCOMPARE((*timing)[3], 116);
        link.Close();
        QVERIFY(reporter.texts().empty());
    }

    // Opening an open link closes the old handle first: no leak, and the port can be reopened.
    void reopenDoesNotLeak() {
        kestrow::test::PortsDir ports;
        auto sim = kestrow::test::StartLinkedBox(ports, kPort);
        QVERIFY(sim);
        DeviceLink link(kPort);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(link.OpenForRefresh());
        }
        link.Close();
        DeviceLink other(kPort);
        QVERIFY(other.WriteSetting(1, 1, 4));
    }
};

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "test_devicelink.moc"
