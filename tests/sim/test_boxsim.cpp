// The simulated box, driven through its pseudo-terminal slave with plain POSIX calls.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <filesystem>

#include "BoxSim.h"

using kestrow::sim::BoxConfig;
using kestrow::sim::BoxSim;
using kestrow::sim::FrameKind;

Q_DECLARE_METATYPE(BoxConfig)

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// A request in hex with its checksum appended (all bytes add up to 0 modulo 256).
QByteArray Frame(const QByteArray& hex) {
    QByteArray bytes = QByteArray::fromHex(hex);
    unsigned sum = 0;
    for (const char c : bytes) {
        sum += static_cast<uint8_t>(c);
    }
    bytes.append(static_cast<char>((0x100u - (sum & 0xFFu)) & 0xFFu));
    return bytes;
}

// A boot loader packet: length, checksum of the rest, command, payload.
QByteArray Packet(uint8_t command, const QByteArray& payload) {
    QByteArray bytes;
    bytes.append(static_cast<char>(payload.size() + 3));
    unsigned sum = command;
    for (const char c : payload) {
        sum += static_cast<uint8_t>(c);
    }
    bytes.append(static_cast<char>(sum & 0xFFu));
    bytes.append(static_cast<char>(command));
    return bytes + payload;
}

QByteArray Bytes(const std::vector<uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

// The host's end of the line: the slave opened the way a serial port would be.
class Host {
  public:
    explicit Host(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Host() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    [[nodiscard]] bool ok() const { return fd_ >= 0; }
    bool Send(const QByteArray& bytes) const {
        return ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }
    // Up to `count` bytes, waiting at most `timeoutMs` in all; stops early on a dead line.
    QByteArray Read(qsizetype count, int timeoutMs) {
        QByteArray out;
        QElapsedTimer timer;
        timer.start();
        while (out.size() < count) {
            const auto left = static_cast<int>(timeoutMs - timer.elapsed());
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0) {
                break;
            }
            char buffer[256];
            const ssize_t n =
                ::read(fd_, buffer,
                       std::min<size_t>(sizeof buffer, static_cast<size_t>(count - out.size())));
            if (n <= 0) {
                lineDead_ = n == 0 || errno == EIO;
                break;
            }
            out.append(buffer, n);
        }
        return out;
    }
    [[nodiscard]] bool lineDead() const { return lineDead_; }

  private:
    int fd_;
    bool lineDead_ = false;
};

constexpr int kReplyMs = 2000;  // generous: an answer normally takes well under a millisecond
constexpr int kQuietMs = 100;   // how long silence is awaited

}  // namespace

class TestBoxSim : public QObject {
    Q_OBJECT

  private slots:
    // One request (after an optional set-up request that gets no answer) and its exact reply.
    void replies_data() {
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");

        const BoxConfig plain;
        BoxConfig other;
        other.portByte = 0x93;
        other.modelByte = 1;
        other.versionText = "AB";
        BoxConfig newer;
        newer.newerModel = true;
        BoxConfig cut;
        cut.shortReplyBytes = 3;
        BoxConfig silent;
        silent.silent = true;
        BoxConfig unanswered;
        unanswered.unanswered = {{1, 1}, {0x49, 4}};

        const QByteArray none;
        const QByteArray probe = Hex("056c9305f7");
        const QByteArray version = QByteArray("V1.23.456");
        QTest::newRow("probe") << plain << none << probe << Hex("056c935900");
        QTest::newRow("probe, other box") << other << none << probe << Hex("056c939301");
        QTest::newRow("read output resolution")
            << plain << none << Frame("076c93010101") << Frame("056c930c");
        QTest::newRow("write, read back")
            << plain << Frame("086c93000201c8") << Frame("076c93010201") << Frame("056c93c8");
        QTest::newRow("write outside memory, read 0")
            << plain << Frame("086c930009017f") << Frame("076c93010901") << Frame("056c9300");
        QTest::newRow("version item 3")
            << plain << none << Frame("076c93010403") << Frame("056c9302" + version.toHex());
        QTest::newRow("version item 4, older model")
            << plain << none << Frame("076c93010404") << Frame("056c9300" + version.toHex());
        QTest::newRow("version item 4, newer model")
            << newer << none << Frame("076c93010404") << Frame("066c9300" + version.toHex());
        QTest::newRow("version item 3, newer model")
            << newer << none << Frame("076c93010403") << Frame("056c9302" + version.toHex());
        QTest::newRow("short version text is padded")
            << other << none << Frame("076c93010403") << Frame("056c9302414200000000000000");
        QTest::newRow("genlock period")
            << plain << none << Frame("066c934904") << Hex("0549040898");
        QTest::newRow("genlock H delay written, read as item 2")
            << plain << Frame("086c934900012c") << Frame("066c934902") << Hex("054902012c");
        QTest::newRow("genlock V delay written, read as item 3")
            << plain << Frame("086c93490108ff") << Frame("066c934903") << Hex("05490308ff");
        QTest::newRow("short command") << plain << none << Hex("056c9302fa") << none;
        QTest::newRow("bad checksum") << plain << none << Hex("076c93010101f0") << none;
        QTest::newRow("unknown opcode") << plain << none << Frame("066c937701") << none;
        QTest::newRow("cut reply") << cut << none << probe << Hex("056c93");
        QTest::newRow("silent") << silent << none << probe << none;
        QTest::newRow("unanswered read") << unanswered << none << Frame("076c93010101") << none;
        QTest::newRow("unanswered genlock") << unanswered << none << Frame("066c934904") << none;
        QTest::newRow("other read answered")
            << unanswered << none << Frame("076c93010201") << Frame("056c9380");
        QTest::newRow("boot loader packet ignored") << plain << none << Hex("032020") << none;
    }

    void replies() {
        QFETCH(BoxConfig, config);
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        auto box = BoxSim::Start(config);
        QVERIFY(box);
        Host host(box->slavePath());
        QVERIFY(host.ok());
        if (!setup.isEmpty()) {
            QVERIFY(host.Send(setup));
            QVERIFY(box->WaitForReceived(static_cast<size_t>(setup.size()), kReplyMs));
        }
        QVERIFY(host.Send(request));
        const QByteArray got =
            host.Read(reply.isEmpty() ? 1 : reply.size(), reply.isEmpty() ? kQuietMs : kReplyMs);
        QCOMPARE(got.toHex(' '), reply.toHex(' '));
        QCOMPARE(host.Read(1, kQuietMs).toHex(' '), QByteArray());  // nothing more follows
        QCOMPARE(Bytes(box->received()).toHex(' '), (setup + request).toHex(' '));
    }

    // Requests split across writes, junk between them, and frames with a bad checksum.
    void splitsRequests() {
        auto box = BoxSim::Start({});
        QVERIFY(box);
        std::atomic<int> observed = 0;
        box->SetFrameObserver([&observed](const kestrow::sim::ReceivedFrame&) { ++observed; });
        Host host(box->slavePath());
        QVERIFY(host.Send(Hex("01ff056c")));
        QVERIFY(host.Send(Hex("9305f7") + Hex("076c93010101f0") + Hex("05")));
        QCOMPARE(host.Read(5, kReplyMs).toHex(), QByteArray("056c935900"));
        QVERIFY(host.Send(Hex("6c9305f7")));
        QCOMPARE(host.Read(5, kReplyMs).toHex(), QByteArray("056c935900"));
        const auto frames = box->frames();
        const std::vector<std::pair<FrameKind, QByteArray>> expected{
            {FrameKind::Unparsed, Hex("01ff")},
            {FrameKind::Settings, Hex("056c9305f7")},
            {FrameKind::BadChecksum, Hex("076c93010101f0")},
            {FrameKind::Settings, Hex("056c9305f7")},
        };
        QCOMPARE(frames.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            QCOMPARE(frames[i].kind, expected[i].first);
            QCOMPARE(Bytes(frames[i].bytes).toHex(), expected[i].second.toHex());
        }
        QCOMPARE(Bytes(frames[1].reply).toHex(), QByteArray("056c935900"));
        QCOMPARE(observed.load(), 4);
        box->ClearReceived();
        QVERIFY(box->received().empty() && box->frames().empty());
    }

    // Once `silentFrom` is queried nothing is answered until the config changes.
    void silentFrom() {
        BoxConfig config;
        config.silentFrom = std::pair<uint8_t, uint8_t>{4, 1};
        auto box = BoxSim::Start(config);
        QVERIFY(box);
        Host host(box->slavePath());
        const QByteArray probe = Hex("056c9305f7");
        for (const auto& [request, answered] : std::vector<std::pair<QByteArray, bool>>{
                 {probe, true}, {Frame("076c93010401"), false}, {probe, false}}) {
            QVERIFY(host.Send(request));
            QCOMPARE(host.Read(5, answered ? kReplyMs : kQuietMs).size(), answered ? 5 : 0);
        }
        box->SetConfig(config);
        QVERIFY(host.Send(probe));
        QCOMPARE(host.Read(5, kReplyMs).size(), 5);
    }

    void garbageKeepsLength() {
        BoxConfig config;
        config.garbage = true;
        auto box = BoxSim::Start(config);
        QVERIFY(box);
        Host host(box->slavePath());
        int plain = 0;
        for (int i = 0; i < 4; ++i) {
            QVERIFY(host.Send(Hex("056c9305f7")));
            const QByteArray reply = host.Read(5, kReplyMs);
            QCOMPARE(reply.size(), 5);
            plain += reply == Hex("056c935900") ? 1 : 0;
        }
        QVERIFY(plain < 4);
        QVERIFY(host.Send(Frame("076c93010404")));
        QCOMPARE(host.Read(14, kReplyMs).size(), 14);
    }

    // A whole firmware run: boot request, Ping, Download, Get Status, Send Data blocks, Reset.
    void bootLoader_data() {
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<uint32_t>("address");
        QTest::addColumn<int>("status");    // Get Status after Download
        QTest::addColumn<int>("nakBlock");  // -1: every block acknowledged
        BoxConfig plain;
        BoxConfig forced;
        forced.status = 0x41;
        BoxConfig nak;
        nak.nakBlock = 1;
        BoxConfig nakFirst;
        nakFirst.nakBlock = 0;
        QTest::newRow("target 3") << plain << 0x1000u << 0x40 << -1;
        QTest::newRow("target 4") << plain << 0x2800u << 0x40 << -1;
        QTest::newRow("wrong address") << plain << 0x2000u << 0x43 << -1;
        QTest::newRow("forced status") << forced << 0x1000u << 0x41 << -1;
        QTest::newRow("NAK at block 1") << nak << 0x1000u << 0x40 << 1;
        QTest::newRow("NAK at block 0") << nakFirst << 0x1000u << 0x40 << 0;
    }

    void bootLoader() {
        QFETCH(BoxConfig, config);
        QFETCH(uint32_t, address);
        QFETCH(int, status);
        QFETCH(int, nakBlock);
        auto box = BoxSim::Start(config);
        QVERIFY(box);
        Host host(box->slavePath());
        const QByteArray ack = Hex("00cc");
        const QByteArray ping = Hex("032020");

        QVERIFY(host.Send(ping));  // the running firmware does not know it
        QCOMPARE(host.Read(2, kQuietMs), QByteArray());
        QVERIFY(host.Send(Hex("889906fe")));
        QVERIFY(box->WaitForReceived(7, kReplyMs));
        QVERIFY(box->inBootLoader());
        QVERIFY(host.Send(ping));
        QCOMPARE(host.Read(2, kReplyMs).toHex(), ack.toHex());

        QByteArray program;
        for (int i = 0; i < 200; ++i) {
            program.append(static_cast<char>(i * 7));
        }
        QByteArray download;
        for (const uint32_t word : {address, static_cast<uint32_t>(program.size())}) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                download.append(static_cast<char>((word >> shift) & 0xFFu));
            }
        }
        QVERIFY(host.Send(Packet(0x21, download)));
        QCOMPARE(host.Read(2, kReplyMs).toHex(), ack.toHex());
        QCOMPARE(box->downloadAddress(), address);
        QCOMPARE(box->downloadSize(), 200u);
        const QByteArray getStatus = Hex("032323");
        QVERIFY(host.Send(getStatus));
        QCOMPARE(host.Read(5, kReplyMs).toHex(),
                 (Hex("00cc03") + QByteArray(2, static_cast<char>(status))).toHex());
        QVERIFY(host.Send(Hex("cc")));

        for (int k = 0; k * 76 < program.size(); ++k) {
            QVERIFY(host.Send(Packet(0x24, program.mid(k * 76, 76))));
            QCOMPARE(host.Read(2, kReplyMs).toHex(), (k == nakBlock ? Hex("0033") : ack).toHex());
            if (k == nakBlock) {
                QCOMPARE(Bytes(box->flash()).toHex(), program.left(k * 76).toHex());
                return;
            }
        }
        QCOMPARE(Bytes(box->flash()).toHex(), program.toHex());
        QVERIFY(host.Send(getStatus));
        QCOMPARE(host.Read(5, kReplyMs).size(), 5);
        QVERIFY(host.Send(Hex("cc032525")));
        QCOMPARE(host.Read(2, kReplyMs).toHex(), ack.toHex());
        QCOMPARE(box->resetCount(), 1);
        QVERIFY(!box->inBootLoader());
        const auto frames = box->frames();
        QCOMPARE(frames.front().kind, FrameKind::Unparsed);
        QCOMPARE(frames[1].kind, FrameKind::BootRequest);
        QCOMPARE(frames[frames.size() - 2].kind, FrameKind::HostAck);
        QCOMPARE(frames.back().kind, FrameKind::BootPacket);
        // Back in the running firmware.
        QVERIFY(host.Send(Hex("056c9305f7")));
        QCOMPARE(host.Read(5, kReplyMs).size(), 5);
    }

    void bootLoaderRefuses_data() {
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        BoxConfig boot;
        boot.startInBootLoader = true;
        BoxConfig quiet = boot;
        quiet.bootSilent = true;
        QTest::newRow("bad checksum") << boot << Hex("032120") << Hex("0033");
        QTest::newRow("settings frame") << boot << Hex("056c9305f7") << QByteArray();
        QTest::newRow("boot silent") << quiet << Hex("032020") << QByteArray();
        QTest::newRow("unknown command, status 41") << boot << Hex("032727") << Hex("00cc");
    }

    void bootLoaderRefuses() {
        QFETCH(BoxConfig, config);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        auto box = BoxSim::Start(config);
        QVERIFY(box);
        Host host(box->slavePath());
        QVERIFY(host.Send(request));
        QCOMPARE(
            host.Read(reply.isEmpty() ? 1 : reply.size(), reply.isEmpty() ? kQuietMs : kReplyMs)
                .toHex(),
            reply.toHex());
        QVERIFY(box->inBootLoader());
    }

    void unknownCommandSetsStatus() {
        BoxConfig config;
        config.startInBootLoader = true;
        auto box = BoxSim::Start(config);
        QVERIFY(box);
        Host host(box->slavePath());
        QVERIFY(host.Send(Hex("032727") + Hex("032323")));
        QCOMPARE(host.Read(7, kReplyMs).toHex(), QByteArray("00cc00cc034141"));
    }

    // The line dies at Send Data block k (and on Vanish()): the host's reads end.
    void vanishes_data() {
        QTest::addColumn<bool>("byBlock");
        QTest::newRow("at block 1") << true;
        QTest::newRow("Vanish()") << false;
    }

    void vanishes() {
        QFETCH(bool, byBlock);
        BoxConfig config;
        config.startInBootLoader = true;
        config.vanishAtBlock = byBlock ? 1 : -1;
        auto box = BoxSim::Start(config);
        QVERIFY(box);
        Host host(box->slavePath());
        QVERIFY(host.Send(Packet(0x24, Hex("0102"))));
        QCOMPARE(host.Read(2, kReplyMs).toHex(), QByteArray("00cc"));
        if (!byBlock) {
            box->Vanish();
        }
        QVERIFY(host.Send(Packet(0x24, Hex("0304"))) || !byBlock);
        QCOMPARE(host.Read(2, kReplyMs), QByteArray());
        QVERIFY(host.lineDead());
        box->Vanish();  // a second time does nothing
    }

    // Paced: every byte takes its 115200 8-N-1 line time both ways (lower bound only).
    void pacedTakesLineTime() {
        BoxConfig config;
        config.startInBootLoader = true;
        config.paced = true;
        auto box = BoxSim::Start(config);
        QVERIFY(box);
        Host host(box->slavePath());
        constexpr int kBlocks = 20;
        QElapsedTimer timer;
        timer.start();
        for (int k = 0; k < kBlocks; ++k) {
            QVERIFY(host.Send(Packet(0x24, QByteArray(76, 'x'))));
            QCOMPARE(host.Read(2, kReplyMs).toHex(), QByteArray("00cc"));
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
