// kestrow-wincheck: runs the Win32 SerialPort against simulated boxes on COM ports, one
// answering and one silent, and a COM number with no port behind it; and network ports through
// Winsock against Debian's ser2net. The transactions' frames and failures are checked on Linux
// and, through kestrowctl.exe and kestrow.exe, by scripts/windows-check.
// Here: measured waits under the two read time-outs, the failure texts and the network
// connections (the line Open sets is read from the Linux side by scripts/windows-check; stale
// input that Open must drop shows in kestrowctl.exe's exchanges there).
// Prints one line per check and a closing line; the exit code is 0 only when every check passed.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

#include "device/DeviceLink.h"
#include "ports/PortNaming.h"
#include "serial/SerialPort.h"
#include "serial/SerialTypes.h"
#include "tests/windows/WinCheck.h"

namespace kestrow::wincheck {
namespace {

// The COM numbers of a box that answers, one that stays silent and one with no port; the TCP
// ports of ser2net's RFC 2217 and raw accepters in front of a third (answering) box, and a port
// nobody listens on.
struct Setup {
    int answering = 0, silent = 0, absent = 0;
    int rfc2217Port = 0, rawPort = 0, refusedPort = 0;
};

// The serial layer's reports (main installs the recorder) as "text|caption" joined by "; ",
// a newline shown as \n. Reported(result) gives the result and the reports since the last call.
std::mutex reportsMutex;
std::string reports;
std::string lastDetail;  // the detail of the last report
std::string LastDetail() {
    std::lock_guard lock(reportsMutex);
    return lastDetail;
}
std::string Reported(const std::string& result) {
    std::lock_guard lock(reportsMutex);
    const std::string taken = std::exchange(reports, {});
    return result + (taken.empty() ? "" : " " + taken);
}

// Counts the runs of the idle hook while it lives. The device layer runs the hook every 10 ms
// of a wait; a window that waits on the box keeps painting through it.
class IdleCounter {
  public:
    IdleCounter() {
        SetIdleHook([this] {
            longestGapMs_ = std::max(longestGapMs_, MsSince(last_));
            last_ = Clock::now();
            ++runs_;
        });
    }
    ~IdleCounter() { SetIdleHook({}); }
    IdleCounter(const IdleCounter&) = delete;
    IdleCounter& operator=(const IdleCounter&) = delete;
    // Whether it ran at least once every 50 ms of `ms` (ten times fewer than it should).
    [[nodiscard]] bool RanThrough(int64_t ms) const { return runs_ >= ms / 50; }
    [[nodiscard]] int runs() const { return runs_; }
    // The longest time between two runs (or from the start to the first), until now.
    [[nodiscard]] int64_t LongestGapMs() const { return std::max(longestGapMs_, MsSince(last_)); }

  private:
    int runs_ = 0;
    Clock::time_point last_ = Clock::now();
    int64_t longestGapMs_ = 0;
};

// The probe, and the report of a port that does not open ("text|caption", as Reported gives it).
constexpr std::array<uint8_t, 5> kProbe{0x05, 0x6C, 0x93, 0x05, 0xF7};
const std::string kOpenFailed = "Failed to open up the comms port\\n|Error";

// A probe on an open port: the bytes sent and read (0 when it failed: the report says so), and
// the first `shown` bytes of the reply.
std::string Probe(SerialPort& port, uint32_t shown = 5) {
    const uint32_t sent = port.Write(kProbe).value_or(0);
    std::array<uint8_t, 5> reply{};
    const uint32_t got = port.Read(reply).value_or(0);
    std::string out = "sent " + std::to_string(sent) + " got " + std::to_string(got) + " ";
    char hex[4];
    for (uint32_t i = 0; i < std::min(got, shown); ++i) {
        std::snprintf(hex, sizeof hex, "%s%02X", i == 0 ? "" : " ", reply[i]);
        out += hex;
    }
    return out;
}

// The idle hook is due every 10 ms of a wait; a loaded machine may delay a run, but a wait that
// blocks without it (a ReadFile under the long-read time-outs) leaves a gap of seconds.
constexpr int64_t kLongestIdleGapMs = 40;

void CheckLineAndTimeouts(Checker& check, const Setup& setup) {
    check.Group("line settings and time-outs");
    SerialPort port;
    // The script left this line at 9600 baud, two stop bits, CTS and XON/XOFF flow; it reads
    // the line Open set from the Linux side at the end.
    (void)OpenForLongReads(port, ResolvePort(setup.answering, {}));
    const auto start = Clock::now();
    const std::string reply = Probe(port);
    check.Equal("a long read ends when its bytes are in, not at its time-out",
                reply + (MsSince(start) < 1000 ? "" : " after 1 s or more"),
                "sent 5 got 5 05 6C 93 59 00");
    // The silent box: long read or not, bytes asked, the wait.
    for (const auto& [longRead, count, waitMs] :
         {std::tuple{false, 5u, 1000}, {true, 1u, 5300}, {true, 5u, 6500}}) {
        (void)(longRead ? OpenForLongReads(port, ResolvePort(setup.silent, {}))
                        : OpenBoxPort(port, ResolvePort(setup.silent, {})));
        const std::string name = std::string("silent box, ") + (longRead ? "long " : "") +
                                 "read of " + std::to_string(count);
        std::array<uint8_t, 8> buffer{};
        const IdleCounter idle;
        const auto begun = Clock::now();
        const uint32_t got = port.Read(std::span(buffer).first(count)).value_or(0);
        check.Wait(name, MsSince(begun), waitMs);
        check.Equal(name + " gets nothing", Reported(std::to_string(got)), "0");
        const int64_t gap = idle.LongestGapMs();
        check.Expect(
            name + " runs the idle hook every 10 ms while it waits",
            idle.RanThrough(waitMs) && gap <= kLongestIdleGapMs,
            std::to_string(idle.runs()) + " runs, at most " + std::to_string(gap) + " ms apart");
    }
}

void CheckFailureTexts(Checker& check, const Setup& setup) {
    check.Group("failure texts");
    SerialPort port;
    for (const int number : {-1, 256, setup.absent}) {
        (void)port.Open(ResolvePort(number, {}), LineSettings{});
    }
    check.Equal("-1 and 256 are refused in silence, a COM number with no port is reported",
                Reported(port.IsOpen() ? "open" : "closed"), "closed " + kOpenFailed);
}

struct NetworkRow {
    const char* name;
    const char* scheme;  // rfc2217 or socket
    int tcpPort;         // ser2net's accepter of the scheme, or the port nobody listens on
    std::function<std::string(SerialPort&, const ComPort&)> run;
    std::string want;
};

// The open, with the reason it failed if it did, and the probe; the reply's first three bytes
// only, as they carry no port or model byte of this box.
std::string OpenAndProbe(SerialPort& port, const ComPort& where) {
    if (!OpenBoxPort(port, where)) {
        return "closed [" + LastDetail() + "]";
    }
    return "open " + Probe(port, 3);
}

// The probe and its reply, then a read of more: nothing comes, and it ends when the read
// time-out (1000 ms) has run out, the idle hook running all the while.
std::string ReadPastReply(SerialPort& port, const ComPort& where) {
    std::string out = OpenAndProbe(port, where);
    std::array<uint8_t, 5> more{};
    const IdleCounter idle;
    const auto start = Clock::now();
    const uint32_t got = port.Read(more).value_or(0);
    const int64_t took = MsSince(start);
    return out + " then " + std::to_string(got) +
           (took >= 950 && took < 2000 ? " at the time-out" : " after " + std::to_string(took)) +
           (idle.RanThrough(took) ? "" : ", the idle hook ran " + std::to_string(idle.runs()));
}

// Whether the open failed, its error (a Winsock code, said to be one), whether the report's
// detail says the connection was refused at that port, and that it did not wait out the
// connect bound (3 s).
std::string Refused(SerialPort& port, const ComPort& where) {
    const auto start = Clock::now();
    const Result<void> opened = OpenBoxPort(port, where);
    const int64_t took = MsSince(start);
    const std::string detail = LastDetail();
    const std::string told =
        "connection refused: nothing listens on 127.0.0.1 port " + std::to_string(where.tcpPort);
    const std::string error =
        opened ? "no error"
               : std::to_string(opened.error().code) +
                     (opened.error().domain == ErrorDomain::Winsock ? " winsock" : " not winsock");
    return std::string(opened ? "open" : "closed") + " " + error +
           (detail.find(told) != std::string::npos ? " told refused" : " told [" + detail + "]") +
           (took < 3000 ? "" : " after " + std::to_string(took) + " ms");
}

void CheckNetwork(Checker& check, const Setup& setup) {
    check.Group("network ports");
    const NetworkRow rows[] = {
        {"an RFC 2217 port exchanges the probe", "rfc2217", setup.rfc2217Port, OpenAndProbe,
         "open sent 5 got 5 05 6C 93"},
        {"a raw TCP read waits out its time-out for bytes that do not come", "socket",
         setup.rawPort, ReadPastReply, "open sent 5 got 5 05 6C 93 then 0 at the time-out"},
        // 10061: Winsock's "connection refused" (WSAECONNREFUSED).
        {"a port nobody listens on does not open", "rfc2217", setup.refusedPort, Refused,
         "closed 10061 winsock told refused " + kOpenFailed},
    };
    for (const NetworkRow& row : rows) {
        if (&row != rows) {
            // ser2net lets go of the device a few milliseconds after the client of its other
            // accepter left; until then it answers "Port's device already in use".
            Sleep(200);
        }
        const std::string url =
            std::string(row.scheme) + "://127.0.0.1:" + std::to_string(row.tcpPort);
        const Result<ComPort> where = ParsePortUrl(url);
        SerialPort port;
        const std::string result =
            where ? row.run(port, *where) : url + " is no port: " + where.error().detail;
        port.Close();
        check.Equal(row.name, Reported(result), row.want);
    }
}

}  // namespace
}  // namespace kestrow::wincheck

int main(int argc, char** argv) {
    using namespace kestrow::wincheck;
    std::map<std::string, std::string> args;
    for (int i = 1; i + 1 < argc; i += 2) {
        args[argv[i]] = argv[i + 1];
    }
    const auto number = [&args](const char* name) { return std::atoi(args[name].c_str()); };
    const Setup setup{number("--answering"), number("--silent"), number("--absent"),
                      number("--rfc2217"),   number("--raw"),    number("--refused")};
    if (argc != 13 || args.size() != 6 ||
        std::min({setup.answering, setup.silent, setup.absent, setup.rfc2217Port, setup.rawPort,
                  setup.refusedPort}) <= 0) {
        std::fputs(
            "Usage: kestrow-wincheck --answering N --silent N --absent N --rfc2217 P --raw P"
            " --refused P\n  (N: COM numbers, P: TCP ports on 127.0.0.1)\n",
            stderr);
        return 2;
    }
    kestrow::SetSerialReporter([](const kestrow::SerialReport& report) {
        std::lock_guard lock(reportsMutex);
        reports += reports.empty() ? "" : "; ";
        for (const char c : report.text) {
            reports += c == '\n' ? std::string("\\n") : std::string(1, c);
        }
        reports += "|" + report.caption;
        lastDetail = report.detail;
    });
    Checker check("wincheck");
    CheckLineAndTimeouts(check, setup);
    CheckFailureTexts(check, setup);
    CheckNetwork(check, setup);
    return check.Finish();
}
