// kestrowctl on network ports: rfc2217:// and socket:// through ser2net in front of a simulated
// box, checked against the box's memory, flash and received frames; servers that refuse, vanish
// or split Telnet commands across reads.
#include <netinet/tcp.h>
#include <poll.h>

#include <QUrl>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "sim/Ser2net.h"
#include "tests/cli/CliTestSupport.h"

using namespace kestrow;
using namespace kestrow::test;
using sim::BoxConfig;
using sim::UniqueFd;

namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return addr;
}

// A connection to 127.0.0.1:`port`; invalid when refused.
UniqueFd ConnectTo(uint16_t port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in addr = Loopback(port);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        fd.reset();
    }
    return fd;
}

void SendAll(int fd, const QByteArray& bytes) {
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t n =
            ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        at += n;
    }
}

// A loopback server for what ser2net cannot be made to do: its thread serves one client at a
// time with `serve` (the client's socket, the stop request) until that returns.
class FakeServer {
  public:
    using Serve = std::function<void(int client, const std::stop_token& stop)>;
    explicit FakeServer(Serve serve) : serve_(std::move(serve)) {
        listen_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in addr = Loopback(0);
        socklen_t size = sizeof addr;
        if (::bind(listen_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0 &&
            ::listen(listen_.get(), 4) == 0 &&
            ::getsockname(listen_.get(), reinterpret_cast<sockaddr*>(&addr), &size) == 0) {
            port_ = ntohs(addr.sin_port);
        }
        thread_ = std::jthread([this](const std::stop_token& stop) {
            while (!stop.stop_requested()) {
                pollfd p{listen_.get(), POLLIN, 0};
                if (::poll(&p, 1, 20) == 1) {
                    const UniqueFd client(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC));
                    if (client.valid()) {
                        ++clients_;
                        serve_(client.get(), stop);
                    }
                }
            }
        });
    }
    [[nodiscard]] QString Url() const { return QString("rfc2217://127.0.0.1:%1").arg(port_); }
    [[nodiscard]] int clients() const { return clients_; }  // connections accepted so far

  private:
    Serve serve_;
    std::atomic<int> clients_ = 0;
    UniqueFd listen_;
    uint16_t port_ = 0;
    std::jthread thread_;  // last: stopped and joined first
};

// ser2net's answer while another client holds the port (its greeting: WILL SGA, DO SGA, WILL
// ECHO, DONT ECHO, DO BINARY, WILL BINARY, DO COM-PORT-OPTION; then the text), given once the
// client's greeting has arrived and with the greeting left unread: closing then resets the
// connection right behind the text.
void ServeBusy(int client, const std::stop_token& /*stop*/) {
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, 3000) == 1) {
        SendAll(client, QByteArray::fromHex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c") +
                            "Port already in use\r\n");
    }
}

// A relay in front of a server's port. Each run of the server's bytes goes on in two TCP segments
// 3 ms apart (less than the wait after an exchange): cut behind its first 0xFF, so that a Telnet
// command or an escaped byte reaches the client in two reads, or in the middle of a run without
// one. Unless `split`: each run whole (a search's probe takes the bytes already waiting, which
// would be the first half).
FakeServer::Serve Relay(uint16_t port, bool split = true) {
    return [=](int client, const std::stop_token& stop) {
        const UniqueFd server = ConnectTo(port);
        const int one = 1;
        for (const int fd : {client, server.get()}) {
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        char buffer[512];
        while (server.valid() && !stop.stop_requested()) {
            pollfd p[2] = {{client, POLLIN, 0}, {server.get(), POLLIN, 0}};
            if (::poll(p, 2, 20) <= 0) {
                continue;
            }
            const bool fromClient = p[0].revents != 0;
            const ssize_t n = ::recv(fromClient ? client : server.get(), buffer, sizeof buffer, 0);
            if (n <= 0) {
                return;
            }
            const QByteArray got(buffer, n);
            if (fromClient || !split) {
                SendAll(fromClient ? server.get() : client, got);
                continue;
            }
            const qsizetype ff = got.indexOf('\xff');
            const qsizetype at = ff >= 0 ? ff + 1 : got.size() / 2;
            SendAll(client, got.left(at));
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            SendAll(client, got.mid(at));
        }
    };
}

}  // namespace

class TestNetwork : public CliTest {
    Q_OBJECT

    std::unique_ptr<sim::Ser2net> server_;

    // A box linked as the next COM port, ser2net in front of it.
    sim::BoxSim& AddServedBox(const BoxConfig& config = {}) {
        sim::BoxSim& box = AddBox(config);
        std::string why;
        if (!(server_ = sim::Ser2net::Start(box.slavePath(), &why))) {
            qFatal("ser2net: %s", why.c_str());
        }
        return box;
    }
    // The served box's URL: "rfc2217" or "socket".
    [[nodiscard]] QString Url(const QString& form) const {
        return QString::fromStdString(form == "rfc2217" ? server_->Rfc2217Url()
                                                        : server_->RawUrl());
    }

  private slots:
    void initTestCase() {
        if (!sim::Ser2net::Available()) {
            QSKIP("ser2net is not installed");
        }
    }
    void cleanup() {
        server_.reset();
        boxes_.clear();
    }

    // The server dies during the write: the advice says that the box waits in its boot loader,
    // and the same flash through the restarted server finishes the update.
    // "boot request": a box that runs its firmware loses its server once it was asked into its
    // boot loader, before the first block.
    void serverKilledMidFlash_data() {
        QTest::addColumn<bool>("atBootRequest");
        QTest::newRow("rfc2217") << false;
        QTest::newRow("rfc2217, at the boot request") << true;
    }
    void serverKilledMidFlash() {
        QFETCH(bool, atBootRequest);
        // Paced: some seconds of writing.
        sim::BoxSim& box = AddServedBox({.paced = true, .startInBootLoader = !atBootRequest});
        const QByteArray program = test::Program(20000);
        const QString file = WriteFile("big.bin", test::Image('4', program));
        const auto reached = [&box, atBootRequest] {
            int blocks = 0;
            for (const sim::ReceivedFrame& f : box.frames()) {
                if (f.kind == sim::FrameKind::BootRequest) {
                    return atBootRequest;
                }
                blocks += f.kind == sim::FrameKind::BootPacket && f.bytes[2] == 0x24;  // Send Data
            }
            return blocks >= 5;
        };
        const Run cut =
            Ctl("flash " + file, Url("rfc2217"),
                {.steps = {{"File Size", [&](QProcess& p) {
                                while (!reached() && p.state() != QProcess::NotRunning) {
                                    p.waitForFinished(5);
                                }
                                server_->Kill();
                            }}}});
        QVERIFY2(cut.code == (atBootRequest ? 4 : 6) &&
                     HoldsAll(cut.err, "waits in its boot loader|kestrowctl flash " + file),
                 qPrintable(QString::number(cut.code) + cut.err));
        QVERIFY(box.inBootLoader());
        QVERIFY(test::Q(box.flash()) != program);
        std::string why;
        QVERIFY2(server_->Restart(&why), why.c_str());
        // The operator's second try comes after the boot loader has dropped the cut packet.
        QTest::qWait(sim::kBootLoaderReceiveTimeoutMs);
        const Run again = Ctl("flash " + file, Url("rfc2217"));
        QVERIFY2(again.code == 0, qPrintable(again.err));
        QCOMPARE(test::Q(box.flash()), program);
    }

    // Commands one after the other (URL: the served box, COM 210; OTHER: its other accepter;
    // "hold URL": a TCP client holds that port first; COM 211: a box whose contrast starts at 1;
    // DIR: an empty folder; BUSY: a server that resets the connection right behind its "Port
    // already in use"; FREE: a port nobody listens on). Then parts of `effect`, split at '|':
    // "out:TEXT" the last output, "wire~HEX" bytes the served box received in a row (but from
    // COM 210), "FILE" the only file in DIR/new, named after the URL, "status as on COM 210" but
    // for the port line, frame for frame; "exit 3:WHY" no session (nothing printed or sent to the
    // box), "within the connect bound"; else the boxes' contrast ("210:99"). "split": through a
    // relay that cuts every run of ser2net's bytes in two TCP segments.
    void commands_data() {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("commands");  // split at "; "
        QTest::addColumn<QString>("effect");
        for (const char* form : {"rfc2217", "socket", "split"}) {
            const auto row = [form](const char* tag, const char* commands, const char* effect) {
                QTest::addRow("%s, %s", form, tag)
                    << QString(form) << QString(commands) << QString(effect);
            };
            row("status", "set 2.1 255 --port 210; status --port URL", "status as on COM 210");
            if (QString(form) == "split") {
                continue;
            }
            row("its port held", "hold URL; status --port URL", "exit 3:in use");
            row("the other port held", "hold OTHER; status --port URL", "exit 3:in use");
            row("nobody listening", "status --port FORM://127.0.0.1:FREE",
                "exit 3:refused|within the connect bound");
            row("unknown host", "status --port FORM://no-such-host.invalid:7000",
                "exit 3:no-such-host.invalid");
            // 0xFF each way; ser2net refuses the other accepter until it lets go of the device.
            row("the two accepters in a row", "set 2.1 255 --port URL; get 2.1 --port OTHER",
                "out:255|wire~086c93000201fff7|210:255 211:1");
            row("dump, a change, load",
                "set 2.1 255 --port 210; dump DIR/a.json --port URL; set 2.1 3 --port 210; "
                "load DIR/a.json --port URL",
                "210:255");
            row("a URL and a COM port", "set contrast 99 --port URL --port 211", "210:99 211:99");
            row("dump into a new folder", "dump DIR/new/ --port URL", "FILE");
        }
        QTest::newRow("the text, then a reset") << "rfc2217"
                                                << "status --port BUSY"
                                                << "exit 3:in use";
    }
    void commands() {
        QFETCH(QString, form);
        QFETCH(QString, commands);
        QFETCH(QString, effect);
        sim::BoxSim& box = AddServedBox();
        box.SetSetting(2, 1, 150);
        AddBox().SetSetting(2, 1, 1);
        const FakeServer split(Relay(server_->rfc2217Port()));
        const QString url = form == "split" ? split.Url() : Url(form);
        const FakeServer busy(ServeBusy);
        const QString dir = root_.filePath("dir");
        QVERIFY(QDir(dir).removeRecursively() && QDir().mkpath(dir));
        Run run;
        UniqueFd holder;
        for (const QString& command :
             commands.replace("URL", url)
                 .replace("OTHER", Url(form == "socket" ? "rfc2217" : "socket"))
                 .replace("DIR", dir)
                 .replace("FORM", form)
                 .replace("BUSY", busy.Url())
                 .replace("FREE", QString::number(sim::FreeLoopbackPort()))
                 .split("; ")) {
            if (command.startsWith("hold ")) {
                holder = ConnectTo(uint16_t(QUrl(command.section(' ', 1)).port()));
                SendAll(holder.get(), QByteArray::fromHex("056c9305f7"));  // the server has opened
                QVERIFY(holder.valid() && box.WaitForReceived(5, 3000));   // the device is open
                box.ClearReceived();
                continue;
            }
            run = Ctl(command, "");
            QVERIFY2(run.code == 0 || effect.startsWith("exit"),
                     qPrintable(command + ": " + run.err));
            QVERIFY(box.WaitForQuiet(3000));
            if (command.endsWith("--port 210")) {
                box.ClearReceived();
            }
        }
        for (const QString& part : effect.split('|')) {
            if (part.startsWith("out:")) {
                QCOMPARE(run.out.trimmed(), part.mid(4));
            } else if (part.startsWith("wire~")) {
                QVERIFY2(test::WireHex(box).contains(part.mid(5).toLatin1()),
                         test::WireHex(box).constData());
            } else if (part == "status as on COM 210") {
                const QByteArray wire = test::WireHex(box);
                const Run com = Ctl("status --port 210", "");
                QVERIFY(box.WaitForQuiet(3000));
                QCOMPARE(test::WireHex(box), wire + wire);
                QVERIFY2(run.out.startsWith("port      " + url + "\n"), qPrintable(run.out));
                QCOMPARE(run.out.section('\n', 1), com.out.section('\n', 1));
            } else if (part.startsWith("exit 3:")) {
                QCOMPARE(run.code, 3);
                QVERIFY2(run.err.contains(part.mid(7)) && run.out.isEmpty(),
                         qPrintable(run.err + run.out));
                QCOMPARE(test::WireHex(box), QByteArray());
            } else if (part == "within the connect bound") {
                QVERIFY2(run.ms < 3500, qPrintable(QString::number(run.ms)));
            } else if (part == "FILE") {
                const QString name = QString(url).replace("://", "_").replace(':', '_') + ".json";
                QCOMPARE(QDir(dir + "/new").entryList(QDir::Files), QStringList{name});
                QVERIFY(ReadAll(dir + "/new/" + name).contains("\"contrast\": 150,"));
            } else {
                for (const QString& want : part.split(' ')) {
                    const sim::BoxSim& b = *boxes_[size_t(want.section(':', 0, 0).toInt() - kCom)];
                    QVERIFY(b.WaitForQuiet(3000));
                    QCOMPARE(int(b.setting(2, 1)), want.section(':', 1).toInt());
                }
            }
        }
    }

    // A run connects once to each box: its search's probe (without --port: the box is listed in
    // the network ports file), what the box is and the command's own exchanges on one session.
    // detect lists the file's ports after the COM ports, by label, probed like them; a line that
    // names no port is said on stderr and left out.
    void oneConnectionPerRun_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("inLoader");
        for (const char* command :
             {"status --port URL", "get contrast --port URL", "set contrast 99 --port URL",
              "set 2.1 99 --port URL", "reset --yes --port URL", "dump FILE --port URL",
              "load FILE --port URL", "status", "load FILE", "flash BIN", "detect"}) {
            QTest::newRow(command) << QString(command) << false;
        }
        QTest::newRow("flash BIN, a box in its boot loader") << "flash BIN" << true;
    }
    void oneConnectionPerRun() {
        QFETCH(QString, command);
        QFETCH(bool, inLoader);
        if (command == "detect") {
            AddBox();  // COM 210
        }
        sim::BoxSim& box = AddServedBox({.startInBootLoader = inLoader});
        // reached through the relay only
        QVERIFY(QFile::remove(PortsDir() + QString("/COM%1").arg(kCom + int(boxes_.size()) - 1)));
        const FakeServer relay(Relay(server_->rfc2217Port(), false));
        const QString file = root_.filePath("one.json");
        QVERIFY(command.startsWith("load") || QFile::remove(file) ||
                !QFile::exists(file));  // dump makes it, load reads it
        command.replace("URL", relay.Url())
            .replace("FILE", file)
            .replace("BIN", WriteFile("one.bin", test::Image('4', test::Program(3000))));
        const QString ports = WriteFile(
            "network-ports",
            ("# the rack\n" + relay.Url() + "  Rack one\nsocket://127.0.0.1:0  Rack zero\n")
                .toUtf8());
        if (command.startsWith("load")) {
            QVERIFY(Ctl("dump " + file, relay.Url()).code == 0);
        }
        const int before = relay.clients();
        const Run run = Ctl(command, "", {.env = {"KESTROW_NETWORK_PORTS=" + ports}});
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(relay.clients() - before, 1);
        if (command == "detect") {
            const QRegularExpression listed(
                QString("(^|\\n)COM %1 .*answers\n(.*\n)*Rack one .*%2.*answers\n$")
                    .arg(kCom)
                    .arg(QRegularExpression::escape(relay.Url())));
            QVERIFY2(listed.match(run.out).hasMatch() && !run.out.contains("Rack zero"),
                     qPrintable(run.out));
            QVERIFY2(run.err.contains(ports + ": line 3: \"socket://127.0.0.1:0\""),
                     qPrintable(run.err));
            QVERIFY(test::WireHex(box).startsWith("056c9305f7"));
        }
    }

    // A box whose line closes at the model question: the run says that it went away and writes
    // nothing, rather than connecting again to a server that no longer has the device.
    void goneAtTheModelQuestion() {
        sim::BoxSim& box = AddServedBox(GoneAt(1));
        const Run run = Ctl("set contrast 99", Url("rfc2217"));
        QCOMPARE(run.code, 4);
        QVERIFY2(run.err.contains("went away"), qPrintable(run.err));
        QCOMPARE(int(box.setting(2, 1)), 128);
    }
};

QTEST_GUILESS_MAIN(TestNetwork)
#include "test_network.moc"
