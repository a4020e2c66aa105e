// The reading transactions against the simulated box: bytes on the wire and results with a
// silent, a short-answering and a late box, and with a port that cannot be opened. Answering and
// silent boxes, the writes and the search's probe are tried through the dialogs' and the main
// window's tests.
#include <poll.h>
#include <unistd.h>

#include <QtTest>

#include <optional>
#include <string>
#include <thread>

#include "device/DeviceLink.h"
#include "sim/PtyLine.h"
#include "tests/common/TestBox.h"

using kestrow::DeviceLink;
using kestrow::sim::BoxConfig;

namespace {

// Late and Later reply after 1.2 s and 1.8 s; Scripted answers the row's fixed reply bytes;
// Vanishes closes the line when the request arrives, as a box switched off.
enum class Box { Silent, Short, Absent, Late, Later, Scripted, Vanishes };
enum class Op { ReadSetting, ReadGenlock, Version, Probe };
constexpr int kReplyLength[] = {5, 5, 14, 5};  // what each of them reads

constexpr int kPort = 7;
const char* const kOpenFailure = "Failed to open up the comms port\n";
const char* const kReadFailure = "Failed in call to read\n";

// A failure's kind in words, for the table.
QString KindText(const kestrow::Error& error) {
    using enum kestrow::ErrorKind;
    switch (error.kind) {
        case NoDevice:
            return "no device";
        case Gone:
            return "gone";
        case NoAnswer:
            return "no answer";
        case BadReply:
            return "bad reply";
        default:
            return "failed " + QString::number(int(error.kind));
    }
}

// Runs one transaction and renders its result as text, so one table covers all of them: the
// value, or the kind of failure.
QString Run(DeviceLink& link, Op op) {
    const auto shown = [](const auto& r) { return r ? QString::number(*r) : KindText(r.error()); };
    switch (op) {
        case Op::ReadSetting:
            return shown(link.ReadSetting(1, 2));
        case Op::ReadGenlock:
            return shown(link.ReadGenlockValue(3));
        case Op::Version: {
            const auto text = link.ReadVersionText(true);
            return text ? QString::fromStdString(*text) : KindText(text.error());
        }
        case Op::Probe: {
            const kestrow::Result<void> found = link.ProbeForSearch(link.port());
            return found ? "found" : KindText(found.error());
        }
    }
    return {};
}

// A line linked as COM<kPort> that answers the first request with fixed bytes, the way a box
// whose reply lost a byte on the way does. `received` holds the request once it has arrived.
class ScriptedLine {
  public:
    ScriptedLine(const kestrow::test::PortsDir& ports, QByteArray reply)
        : line_(kestrow::sim::PtyLine::Open()) {
        const std::string link = ports.path() + "/COM" + std::to_string(kPort);
        if (!line_ || ::symlink(line_->slavePath.c_str(), link.c_str()) != 0) {
            line_.reset();
            return;
        }
        replier_ = std::jthread([this, reply](std::stop_token stop) {
            pollfd p{line_->master.get(), POLLIN, 0};
            while (!stop.stop_requested() && received.size() < 7) {
                char buffer[64];
                const ssize_t n = ::poll(&p, 1, 20) > 0 ? ::read(p.fd, buffer, sizeof buffer) : 0;
                received += QByteArray(buffer, n > 0 ? int(n) : 0);
            }
            line_->WriteAll({reinterpret_cast<const uint8_t*>(reply.data()), size_t(reply.size())});
        });
    }
    [[nodiscard]] bool valid() const { return line_.has_value(); }
    QByteArray Received() {
        replier_ = {};  // joins the replier
        return received.toHex();
    }

  private:
    std::optional<kestrow::sim::PtyLine> line_;
    QByteArray received;
    std::jthread replier_;
};

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
        QTest::addColumn<QByteArray>("reply");  // Box::Scripted: the reply bytes in hex
        const auto row = [](const char* tag, Op op, Box box, const char* wire, const char* result,
                            const char* reply = "") {
            QTest::newRow(tag) << op << box << QByteArray(wire) << QString(result)
                               << QByteArray::fromHex(reply);
        };
        const char* const read = "076c93010102f6";
        const char* const gRead = "066c934903af";
        const char* const version = "076c93010403f2";
        using enum Op;
        row("read, short", ReadSetting, Box::Short, read, "no answer");
        row("read, 5 bytes not starting with 05", ReadSetting, Box::Scripted, read, "bad reply",
            "066c934d00");
        row("read, 5 bytes starting with 05", ReadSetting, Box::Scripted, read, "77", "056c934d99");
        row("read, no port", ReadSetting, Box::Absent, "", "no device");
        row("read, box goes away", ReadSetting, Box::Vanishes, read, "gone");
        // The read after the 500 ms wait waits up to 1000 ms more for a reply.
        row("read, reply after 1.2 s", ReadSetting, Box::Late, read, "77");
        row("read, reply after 1.8 s", ReadSetting, Box::Later, read, "no answer");
        row("genlock read, short", ReadGenlock, Box::Short, gRead, "no answer");
        row("genlock read, no port", ReadGenlock, Box::Absent, "", "no device");
        row("genlock read, box goes away", ReadGenlock, Box::Vanishes, gRead, "gone");
        // The GenLock read waits 50 ms, then up to 1000 ms.
        row("genlock read, reply after 1.2 s", ReadGenlock, Box::Late, gRead, "no answer");
        row("version, silent", Version, Box::Silent, version, "no answer");
        row("version, 13 bytes", Version, Box::Short, version, "no answer");
        row("version, 14 bytes", Version, Box::Scripted, version, "V1.23.456",
            "0e6c930156312e32332e34353600");
        row("probe, 4 bytes", Probe, Box::Short, "056c9305f7", "no answer");
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
        QFETCH(QByteArray, reply);
        std::optional<ScriptedLine> scripted;
        if (box == Box::Scripted) {
            scripted.emplace(ports, reply);
            QVERIFY(scripted->valid());
        } else if (box != Box::Absent) {
            sim = kestrow::test::StartLinkedBox(ports, kPort, config);
            QVERIFY(sim);
            sim->SetSetting(1, 2, 77);
            sim->SetSetting(4, 3, 9);
            if (box == Box::Vanishes) {
                sim->SetFrameObserver([raw = sim.get()](const auto&) { raw->Vanish(); });
            }
        }

        DeviceLink link(ports.Port(kPort));
        QTEST(Run(link, op), "result");
        QVERIFY(!link.IsOpen());
        if (scripted) {
            QCOMPARE(scripted->Received(), wire);
            QVERIFY(reporter.texts().empty());
        } else if (sim) {
            QVERIFY(sim->WaitForReceived(static_cast<size_t>(wire.size() / 2), 2000));
            QCOMPARE(kestrow::test::WireHex(*sim), wire);
            // A box that went away is told once, by the read that found it gone; a silent or
            // short box is no failure of the line.
            const bool gone = box == Box::Vanishes;
            QCOMPARE(reporter.texts(), std::vector<std::string>(gone ? 1 : 0, kReadFailure));
        } else {
            QCOMPARE(reporter.texts(), std::vector<std::string>{kOpenFailure});
        }
    }
};

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "test_devicelink.moc"
