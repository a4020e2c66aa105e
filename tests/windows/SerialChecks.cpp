// kestrow-wincheck: runs the Win32 SerialPort against simulated boxes on COM ports, one
// answering and one silent, and a COM number with no port behind it; and network ports through
// ser2net (NetworkChecks.cpp). The transactions' frames and failures are checked on Linux and,
// through kestrowctl.exe and kestrow.exe, by scripts/windows-check.
// Here: measured waits under the two read time-outs, the failure texts, stale input, and what
// only Windows shows (the line Open sets is read from the Linux side by scripts/windows-check).
// Prints one line per check and a closing line; the exit code is 0 only when every check passed.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "device/DeviceLink.h"
#include "ports/PortNaming.h"
#include "serial/SerialPort.h"
#include "tests/windows/WinCheck.h"

namespace kestrow::wincheck {
namespace {

const std::string kProbeReply = "05 6C 93 59 00";

void Open(SerialPort& port, int number) {
    (void)port.Open(Com(number), LineSettings{});
}

// The bytes a read or write moved; 0 when it failed (the report says so).
uint32_t Moved(const Result<uint32_t>& moved) {
    return moved.value_or(0);
}

// A probe on an open port: the reply's bytes.
std::string Probe(SerialPort& port) {
    (void)port.Write(kProbe);
    std::array<uint8_t, 8> reply{};
    return Hex(reply.data(), Moved(port.Read(std::span(reply).first(5))));
}

// The idle hook is due every 10 ms of a wait; a loaded machine may delay a run, but a wait that
// blocks without it (a ReadFile under the long-read time-outs) leaves a gap of seconds.
constexpr int64_t kLongestIdleGapMs = 40;

void CheckLineAndTimeouts(Checker& check, const Setup& setup) {
    check.Group("line settings and time-outs");
    SerialPort port;
    // The script left this line at 9600 baud, two stop bits, CTS and XON/XOFF flow; it reads
    // the line Open set from the Linux side at the end.
    const bool opened = OpenBoxPort(port, Com(setup.answering)).ok();
    check.Equal("Open opens the answering box's port under the open default time-outs",
                Reported(std::to_string(opened) + " " +
                         std::to_string(port.GetReadTimeouts() == ReadTimeouts::OpenDefault)),
                "1 1");
    (void)OpenForLongReads(port, Com(setup.answering));
    const auto start = Clock::now();
    const std::string reply = Probe(port);
    check.Equal("a long read ends when its bytes are in, not at its time-out",
                reply + (MsSince(start) < 1000 ? "" : " after 1 s or more"), kProbeReply);
    // The silent box: long read or not, bytes asked, the wait.
    for (const auto& [longRead, count, waitMs] :
         {std::tuple{false, 5u, 1000}, {true, 1u, 5300}, {true, 5u, 6500}}) {
        (void)(longRead ? OpenForLongReads(port, Com(setup.silent))
                        : OpenBoxPort(port, Com(setup.silent)));
        const std::string name = std::string("silent box, ") + (longRead ? "long " : "") +
                                 "read of " + std::to_string(count);
        std::array<uint8_t, 8> buffer{};
        const IdleCounter idle;
        const auto begun = Clock::now();
        const uint32_t got = Moved(port.Read(std::span(buffer).first(count)));
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
    Open(port, -1);
    Open(port, 256);
    Open(port, setup.absent);
    check.Equal("-1 and 256 are refused in silence, a COM number with no port is reported",
                Reported(port.IsOpen() ? "open" : "closed"), "closed " + kOpenFailed);
}

// The bytes waiting in the port's input queue, looked at with a handle of its own that is
// then closed without dropping them; -1 when the port does not open.
int64_t Waiting(int number) {
    HANDLE raw = CreateFileA(Com(number).path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
        return -1;
    }
    DWORD errors = 0;
    COMSTAT stat{};
    const bool known = ClearCommError(raw, &errors, &stat) != FALSE;
    CloseHandle(raw);
    return known ? int64_t{stat.cbInQue} : -1;
}

// A reply that came while no program had the port open is still in its input queue when the
// next program opens it; Open drops it, so that the first read gets only what answers it.
void CheckStaleInput(Checker& check, const Setup& setup) {
    check.Group("stale input");
    HANDLE raw = CreateFileA(Com(setup.answering).path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD sent = 0;
    const bool wrote = raw != INVALID_HANDLE_VALUE &&
                       WriteFile(raw, kProbe.data(), 5, &sent, nullptr) && sent == 5;
    Sleep(300);  // the box's reply comes in meanwhile
    if (raw != INVALID_HANDLE_VALUE) {
        CloseHandle(raw);
    }
    const int64_t waiting = Waiting(setup.answering);
    SerialPort port;
    Open(port, setup.answering);
    std::array<uint8_t, 8> stale{};
    const uint32_t got = Moved(port.Read(std::span(stale).first(5)));
    port.Close();
    check.Equal("Open drops a reply that came in before it",
                Reported("probe sent " + std::to_string(wrote) + ", " + std::to_string(waiting) +
                         " bytes waiting, read " + std::to_string(got)),
                "probe sent 1, 5 bytes waiting, read 0");
}

void CheckWindowsOnly(Checker& check, const Setup& setup) {
    check.Group("Windows only");
    SerialPort port, second;
    std::array<uint8_t, 8> reply{};
    const auto open = [&] { return OpenBoxPort(port, Com(setup.answering)).ok(); };
    struct Row {
        const char* name;
        std::function<bool()> run;
        std::string reports = "";
        bool wineCanShow = false;
    };
    const Row rows[] = {
        {"a port another handle holds does not open",
         [&] { return open() && !OpenBoxPort(second, Com(setup.answering)).ok(); },
         " " + kOpenFailed},
        {"a read returns at once with the bytes already waiting",
         [&] {
             const bool sent = open() && Moved(port.Write(kProbe)) == 5;
             Sleep(300);
             const auto start = Clock::now();
             return sent && Moved(port.Read(reply)) == 5 && MsSince(start) < 200;
         }},
        // Wine lists the ports given in HKLM\Software\Wine\Ports in the system's port list.
        {"discovery lists the port",
         [&] {
             port.Close();
             const auto ports = FindComPorts();
             return std::any_of(ports.begin(), ports.end(),
                                [&](const auto& p) { return p.number == setup.answering; });
         },
         "", true},
    };
    for (const Row& row : rows) {
        if (row.wineCanShow || !check.SkipUnderWine(row.name)) {
            check.Equal(row.name, Reported(std::to_string(row.run())), "1" + row.reports);
        }
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
                      number("--rfc2217"),   number("--raw"),    number("--refused"),
                      args["--network-log"]};
    if (argc != 15 || args.size() != 7 ||
        std::min({setup.answering, setup.silent, setup.absent, setup.rfc2217Port, setup.rawPort,
                  setup.refusedPort}) <= 0 ||
        setup.networkLog.empty()) {
        std::fputs(
            "Usage: kestrow-wincheck --answering N --silent N --absent N\n"
            "    --rfc2217 P --raw P --refused P --network-log FILE\n"
            "  N: COM numbers of a simulated box that answers, one that stays silent and\n"
            "  one with no port; P: TCP ports on 127.0.0.1 of ser2net's RFC 2217 and raw\n"
            "  accepters in front of a third box (its kestrow-boxsim output in FILE) and one\n"
            "  nobody listens on\n",
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
    // Wine's ntdll exports wine_get_version; Windows' does not.
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    std::printf("Running %s\n", wine ? "under Wine: checks Wine cannot show are skipped"
                                     : "on Windows: all checks");
    Checker check(wine);
    check.StartWatchdog(150);
    CheckLineAndTimeouts(check, setup);
    CheckFailureTexts(check, setup);
    CheckStaleInput(check, setup);
    CheckWindowsOnly(check, setup);
    CheckNetwork(check, setup);
    return check.Finish();
}
