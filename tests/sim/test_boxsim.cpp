// The simulated box's faults, seen from the host's end of the line: what went over the wire, and
// that the box's record of each request says what it did (the soak's oracle trusts the record).
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QtTest>

#include "sim/PtyLine.h"
#include "tests/common/TestBox.h"

using namespace kestrow::sim;
using kestrow::test::WithFaults;

namespace {

constexpr int kQuietMs = 150;  // a reply is over when nothing more came for this long
const BoxConfig kBootLoader{.startInBootLoader = true};

// Sends `hex` from the host's end; what came back until the line went quiet, in hex ("-": none).
QString Exchange(int fd, const QString& hex) {
    const QByteArray request = QByteArray::fromHex(hex.toLatin1());
    if (::write(fd, request.data(), size_t(request.size())) != request.size()) {
        return "write failed";
    }
    QByteArray reply;
    pollfd p{fd, POLLIN, 0};
    char buffer[64];
    while (poll(&p, 1, kQuietMs) > 0 && (p.revents & POLLIN) != 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        reply.append(buffer, n);
    }
    return reply.isEmpty() ? "-" : reply.toHex();
}

// Each request's reply on the wire and the fault the box recorded for it ("-": none).
struct FaultRow {
    const char* tag;
    BoxConfig config;
    const char* requests;
    const char* wire;  // per request; "?": the row checks it by the record
    const char* faults;
};

constexpr const char* kProbeRead = "056c9305f7 076c93010201f6";
// Boot loader: Ping, Download, a 3-byte Send Data block, Get Status, boot request.
constexpr const char* kFlash = "032020 0b4a210000280000000100 062a24010203 032323";
const FaultRow kFaultRows[] = {
    {"drop at frame 1", WithFaults("--fault drop@1"), kProbeRead, "056c935900 -", "- drop"},
    {"cut to 2", WithFaults("--fault cut@0 --cut-bytes 2"), kProbeRead, "056c 056c93807c", "cut -"},
    {"lose a byte", WithFaults("--fault lose-byte@1"), kProbeRead, "056c935900 ?", "- lose-byte"},
    {"late", WithFaults("--fault late@0 --late-ms 100"), kProbeRead, "056c935900 056c93807c",
     "late -"},
    {"garble", WithFaults("--fault garble@0"), kProbeRead, "? 056c93807c", "garble -"},
    // A line that comes back is quiet again; one closed for good never is.
    {"close at frame 1", WithFaults("--fault close@1 --back-after 200"), kProbeRead, "056c935900 -",
     "- close"},
    {"close for good", WithFaults("--fault close@1 --back-after -1"), kProbeRead, "056c935900 -",
     "- close"},
    // A write has no reply: only a closed line strikes it, so every reply meets the fault.
    {"drop every reply", WithFaults("--fault drop:1"), "056c9305f7 086c930002014da9 076c93010201f6",
     "- - -", "drop - drop"},
    {"no fault at probability 0", WithFaults("--fault drop:0 --fault-seed 5"), kProbeRead,
     "056c935900 056c93807c", "- -"},
    {"NAK a block", WithFaults("--fault nak@2", kBootLoader), kFlash, "00cc 00cc 0033 00cc034040",
     "- - nak -"},
    {"bad status", WithFaults("--fault bad-status@3 --bad-status 43", kBootLoader), kFlash,
     "00cc 00cc 00cc 00cc034343", "- - - bad-status"},
    {"bad status not at a block", WithFaults("--fault bad-status@2", kBootLoader), kFlash,
     "00cc 00cc 00cc 00cc034040", "- - - -"},
    // The firmware that runs after the restart skips packets until the boot request.
    {"restart mid-flash", WithFaults("--fault restart@2", kBootLoader),
     "032020 0b4a210000280000000100 062a24010203 032020 889906fe 032020", "00cc 00cc - - - 00cc",
     "- - restart skip - -"},
    // The settings above the faults come first.
    {"unanswered and short first",
     WithFaults("--fault drop:1", {.unanswered = {{2, 1}}, .shortReplyBytes = 3}), kProbeRead,
     "056c93 -", "cut drop"},
};

}  // namespace

class TestBoxSim : public QObject {
    Q_OBJECT
  private slots:
    void faults_data() { kestrow::test::RowsOf(kFaultRows); }
    void faults() {
        QFETCH(int, row);
        const auto& [tag, config, requests, wireText, expectedFaults] = kFaultRows[row];
        // Printed options read back the same: the soak prints them to rerun a box.
        const std::string text = FaultOptionsText(config.faults);
        QCOMPARE(FaultOptionsText(WithFaults(QString::fromStdString(text)).faults), text);

        auto box = BoxSim::Start(config);
        QVERIFY(box);
        UniqueFd host(::open(box->slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        QVERIFY(host.valid());
        QStringList got;
        QStringList faults;
        for (const QString& request : QString(requests).split(' ')) {
            got << Exchange(host.get(), request);
        }
        // One entry a request: a numbered request, or bytes the box skipped ("skip").
        const auto frames = box->frames();
        QCOMPARE(qsizetype(frames.size()), got.size());
        int number = 0;
        for (size_t i = 0; i < frames.size(); ++i) {
            const auto& f = frames[i];
            const bool skipped = f.kind == FrameKind::Unparsed;
            faults << (skipped                  ? QString("skip")
                       : f.fault == Fault::None ? QString("-")
                                                : QString::fromUtf8(FaultName(f.fault)));
            QCOMPARE(f.number, skipped ? -1 : number++);
            // The record tells what the host got, and the reply the box meant.
            const QString& sent = got[qsizetype(i)];
            QCOMPARE(QString(kestrow::test::HexBytes(f.reply)), sent == "-" ? QString() : sent);
            std::vector<uint8_t> meant = f.intended;
            if (f.fault == Fault::LostByte) {
                QVERIFY(f.faultDetail >= 0 && size_t(f.faultDetail) < meant.size());
                meant.erase(meant.begin() + f.faultDetail);
                QCOMPARE(f.reply, meant);
            } else if (f.fault == Fault::Garbled) {
                QCOMPARE(f.reply.size(), meant.size());
                QVERIFY(f.reply != meant);
            }
            QVERIFY(f.arrivedNs > 0);
            QCOMPARE(f.repliedNs >= f.arrivedNs, !f.reply.empty());
            if (f.fault == Fault::Late) {
                QVERIFY(f.repliedNs - f.arrivedNs >= int64_t{f.faultDetail} * 1'000'000);
            }
            QVERIFY(f.fault != Fault::LineClosed || f.faultDetail == config.faults.backAfterMs);
        }
        const QStringList expected = QString(wireText).split(' ');
        for (qsizetype i = 0; i < expected.size() && i < got.size(); ++i) {
            if (expected[i] == "?") {
                got[i] = "?";
            }
        }
        QCOMPARE(got, expected);
        QCOMPARE(faults.join(' '), QString(expectedFaults));
        QCOMPARE(box->WaitForQuiet(2000),
                 config.faults.backAfterMs >= 0 || !faults.contains("close"));
    }

    // The same seed meets the same faults; another seed others.
    void sameSeedSameFaults() {
        const auto drops = [](const char* seed) {
            auto box = BoxSim::Start(WithFaults(QString("--fault drop:0.5 --fault-seed ") + seed));
            UniqueFd host(::open(box->slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
            const QByteArray probes = QByteArray::fromHex("056c9305f7").repeated(32);
            if (::write(host.get(), probes.data(), size_t(probes.size())) != probes.size() ||
                !box->WaitForReceived(size_t(probes.size()), 2000)) {
                return QString("not received");
            }
            QString pattern;
            for (const auto& f : box->frames()) {
                pattern += f.fault == Fault::Dropped ? 'x' : '.';
            }
            return pattern;
        };
        const QString first = drops("9");
        QCOMPARE(first.size(), 32);
        QCOMPARE(drops("9"), first);
        QVERIFY(drops("10") != first);
        QVERIFY(first.count('x') > 4 && first.count('x') < 28);
    }
};

QTEST_GUILESS_MAIN(TestBoxSim)
#include "test_boxsim.moc"
