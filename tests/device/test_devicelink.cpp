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

// Runs one transaction and renders its result as text, so one table covers all of them: the
// value, or the kind of failure.
QString Run(DeviceLink& link, Op op) {
    using kestrow::test::KindWords;
    const auto shown = [](const auto& r) { return r ? QString::number(*r) : KindWords(r.error()); };
    switch (op) {
        case Op::ReadSetting:
            return shown(link.ReadSetting(1, 2));
        case Op::ReadGenlock:
            return shown(link.ReadGenlockValue(3));
        case Op::Version: {
            const auto text = link.ReadVersionText(true);
            return text ? QString::fromStdString(*text) : KindWords(text.error());
        }
        case Op::Probe: {
            const kestrow::Result<void> found = link.ProbeForSearch(link.port());
            return found ? "found" : KindWords(found.error());
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

// A transaction, the box it meets, the frame on the wire in hex and the result.
struct Transaction {
    const char* tag;
    Op op;
    Box box;
    const char* wire;
    const char* result;
    const char* reply = "";  // Box::Scripted: the reply bytes in hex
};

constexpr const char* kRead = "076c93010102f6";
constexpr const char* kGenlockRead = "066c934903af";
constexpr const char* kVersion = "076c93010403f2";
constexpr Transaction kTransactions[] = {
    {"read, short", Op::ReadSetting, Box::Short, kRead, "no answer"},
    {"read, 5 bytes not starting with 05", Op::ReadSetting, Box::Scripted, kRead, "bad reply",
     "066c934d00"},
    {"read, 5 bytes starting with 05", Op::ReadSetting, Box::Scripted, kRead, "77", "056c934d99"},
    {"read, no port", Op::ReadSetting, Box::Absent, "", "no device"},
    {"read, box goes away", Op::ReadSetting, Box::Vanishes, kRead, "gone"},
    // The read after the 500 ms wait waits up to 1000 ms more for a reply.
    {"read, reply after 1.2 s", Op::ReadSetting, Box::Late, kRead, "77"},
    {"read, reply after 1.8 s", Op::ReadSetting, Box::Later, kRead, "no answer"},
    {"genlock read, short", Op::ReadGenlock, Box::Short, kGenlockRead, "no answer"},
    {"genlock read, no port", Op::ReadGenlock, Box::Absent, "", "no device"},
    {"genlock read, box goes away", Op::ReadGenlock, Box::Vanishes, kGenlockRead, "gone"},
    // The GenLock read waits 50 ms, then up to 1000 ms.
    {"genlock read, reply after 1.2 s", Op::ReadGenlock, Box::Late, kGenlockRead, "no answer"},
    {"version, silent", Op::Version, Box::Silent, kVersion, "no answer"},
    {"version, 13 bytes", Op::Version, Box::Short, kVersion, "no answer"},
    {"version, 14 bytes", Op::Version, Box::Scripted, kVersion, "V1.23.456",
     "0e6c930156312e32332e34353600"},
    {"probe, 4 bytes", Op::Probe, Box::Short, "056c9305f7", "no answer"},
};

}  // namespace

class TestDeviceLink : public QObject {
    Q_OBJECT
  private slots:
    // A closed port stops each transaction before it writes.
    void transactions_data() { kestrow::test::RowsOf(kTransactions); }

    void transactions() {
        QFETCH(int, row);
        const auto [tag, op, box, wireText, result, reply] = kTransactions[row];
        const QByteArray wire(wireText);
        kestrow::test::RecordingReporter reporter;
        kestrow::test::PortsDir ports;
        BoxConfig config;
        config.silent = box == Box::Silent;
        config.replyDelayMs = box == Box::Late ? 1200 : box == Box::Later ? 1800 : 0;
        config.shortReplyBytes = box == Box::Short ? kReplyLength[int(op)] - 1 : 0;
        std::unique_ptr<kestrow::sim::BoxSim> sim;
        std::optional<ScriptedLine> scripted;
        if (box == Box::Scripted) {
            scripted.emplace(ports, QByteArray::fromHex(reply));
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
        QCOMPARE(Run(link, op), QString(result));
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
