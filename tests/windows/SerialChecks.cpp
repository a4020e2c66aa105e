// kestrow-wincheck: runs the Win32 SerialPort and the settings transactions against simulated
// boxes on COM ports, one answering and one silent, and a COM number with no port behind it;
// and network ports through ser2net (NetworkChecks.cpp).
// Here: the line and time-outs the port really holds after Open, measured waits, overlapped and
// completion-routine I/O, the failure texts, and what only Windows shows. Prints one line per
// check and a closing line; the exit code is 0 only when every check passed.
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

constexpr std::array<uint8_t, 5> kProbe{0x05, 0x6C, 0x93, 0x05, 0xF7};
const std::string kProbeReply = "05 6C 93 59 00";
const std::string kOpenFailed = "Failed to open up the comms port\\n|Error";

// The line the port's handle holds, read past the class so that a table read back through
// the same table cannot hide a wrong entry, and the port's time-outs (the class's own: the
// handle holds "return at once" for its reads):
// "115200 8N1 cts0 dsr0 outx0 inx0 | interval multiplier constant write-multiplier constant".
std::string Native(SerialPort& port) {
    SerialTimeouts t;
    const bool known = port.GetTimeouts(t);
    HANDLE handle = port.Detach();
    DCB d{};
    d.DCBlength = sizeof d;
    GetCommState(handle, &d);
    port.Attach(handle);
    if (known) {
        (void)port.SetTimeouts(t);  // Attach starts from the defaults
    }
    const char* stop[] = {"1", "1.5", "2"};
    std::array<char, 160> text{};
    std::snprintf(text.data(), text.size(), "%lu %u%c%s cts%u dsr%u outx%u inx%u | %u %u %u %u %u",
                  d.BaudRate, unsigned{d.ByteSize}, d.Parity < 5 ? "NOEMS"[d.Parity] : '?',
                  d.StopBits < 3 ? stop[d.StopBits] : "?", unsigned{d.fOutxCtsFlow},
                  unsigned{d.fOutxDsrFlow}, unsigned{d.fOutX}, unsigned{d.fInX}, t.readInterval,
                  t.readTotalMultiplier, t.readTotalConstant, t.writeTotalMultiplier,
                  t.writeTotalConstant);
    return text.data();
}

void Open(SerialPort& port, int number, bool overlapped = false) {
    port.Open(Com(number), 115200, SerialParity::None, 8, SerialStopBits::One,
              SerialFlowControl::None, overlapped);
}

// A synchronous probe on an open port: the reply's bytes.
std::string Probe(SerialPort& port) {
    port.Write(kProbe.data(), kProbe.size());
    std::array<uint8_t, 8> reply{};
    return Hex(reply.data(), port.Read(reply.data(), 5));
}

// Open's arguments (baud, parity, data bits, stop bits, flow) and the line they give, under the
// open default time-outs. Pseudo-terminals keep 8 data bits, no parity and no DSR flow, so
// Wine cannot show those.
struct LineRow {
    uint32_t baud;
    int parity, dataBits, stopBits, flow;
    const char* line;
    bool wineCanShow;
};
constexpr LineRow kLineRows[] = {
    {9600, 2, 8, 2, 0, "9600 8N2 cts0 dsr0 outx0 inx0", true},
    {115200, 2, 8, 0, 1, "115200 8N1 cts1 dsr0 outx0 inx0", true},
    {115200, 2, 8, 0, 5, "115200 8N1 cts0 dsr0 outx1 inx1", true},
    {115200, 2, 8, 0, 4, "115200 8N1 cts0 dsr1 outx0 inx0", false},
    {115200, 0, 8, 0, 0, "115200 8E1 cts0 dsr0 outx0 inx0", false},
    {115200, 3, 7, 0, 0, "115200 7O1 cts0 dsr0 outx0 inx0", false},
    {115200, 2, 5, 1, 0, "115200 5N1.5 cts0 dsr0 outx0 inx0", false},
};
const std::string kOpenTimeouts = " | 4294967295 0 1000 0 0";
// The idle hook is due every 10 ms of a wait; a loaded machine may delay a run, but a wait that
// blocks without it (a ReadFile under the long-read time-outs) leaves a gap of seconds.
constexpr int64_t kLongestIdleGapMs = 40;

void CheckLineAndTimeouts(Checker& check, const Setup& setup) {
    check.Group("line settings and time-outs");
    SerialPort port;
    // The script left this line at 9600 baud, two stop bits, CTS and XON/XOFF flow.
    const bool opened = OpenBoxPort(port, Com(setup.answering));
    check.Equal("Open sets 115200 8-N-1, no flow control and its time-outs over other settings",
                std::to_string(opened) + " " + Reported(Native(port)),
                "1 115200 8N1 cts0 dsr0 outx0 inx0" + kOpenTimeouts);
    (void)OpenForLongReads(port, Com(setup.answering));
    check.Equal("for long reads", Native(port), "115200 8N1 cts0 dsr0 outx0 inx0 | 0 300 5000 0 0");
    const auto start = Clock::now();
    const std::string reply = Probe(port);
    check.Equal("a long read ends when its bytes are in, not at its time-out",
                reply + (MsSince(start) < 1000 ? "" : " after 1 s or more"), kProbeReply);
    for (const LineRow& r : kLineRows) {
        const std::string name = std::string("Open gives ") + r.line;
        if (r.wineCanShow || !check.SkipUnderWine(name)) {
            port.Open(Com(setup.silent), r.baud, SerialParity(r.parity), uint8_t(r.dataBits),
                      SerialStopBits(r.stopBits), SerialFlowControl(r.flow), false);
            check.Equal(name, Reported(Native(port)), r.line + kOpenTimeouts);
        }
    }
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
        const uint32_t got = port.Read(buffer.data(), count);
        check.Wait(name, MsSince(begun), waitMs);
        check.Equal(name + " gets nothing", Reported(std::to_string(got)), "0");
        const int64_t gap = idle.LongestGapMs();
        check.Expect(
            name + " runs the idle hook every 10 ms while it waits",
            idle.RanThrough(waitMs) && gap <= kLongestIdleGapMs,
            std::to_string(idle.runs()) + " runs, at most " + std::to_string(gap) + " ms apart");
    }
}

// Counts the completions of ReadEx and WriteEx.
class CompletionPort : public SerialPort {
  public:
    void OnIoComplete(uint32_t error, uint32_t bytes, _OVERLAPPED* overlapped) override {
        completed += (error == 0 ? std::to_string(bytes) : "error") + " ";
        ++count;
        SerialPort::OnIoComplete(error, bytes, overlapped);
    }
    std::string completed;
    int count = 0;
};

struct Event {
    Event() { overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Event() { CloseHandle(overlapped.hEvent); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    OVERLAPPED overlapped{};
};

// The bytes an overlapped operation moved; "hung" when it did not end within 3 s (it is then
// cancelled, so that it cannot write into its record later).
std::string Completed(SerialPort& port, Event& event) {
    if (WaitForSingleObject(event.overlapped.hEvent, 3000) != WAIT_OBJECT_0) {
        (void)port.CancelIo();
        return "hung";
    }
    uint32_t count = 0;
    return port.GetOverlappedResult(&event.overlapped, count, false) ? std::to_string(count)
                                                                     : "failed";
}

void CheckOverlapped(Checker& check, const Setup& setup) {
    check.Group("overlapped I/O");
    BoxLog log(setup.answeringLog);
    const std::string exchanged = "5 5 | " + kProbeReply + " | 05 6C 93 05 F7";
    std::array<uint8_t, 8> reply{};
    {
        SerialPort port;
        Open(port, setup.answering, true);
        const uint32_t moved = port.Read(reply.data(), 5) + port.Write(kProbe.data(), 5);
        check.Equal("plain Read and Write refuse an overlapped port", std::to_string(moved), "0");
        Event read, write;
        const auto start = Clock::now();
        const bool pending = !port.Read(reply.data(), 5, &read.overlapped) &&
                             GetLastError() == ERROR_IO_PENDING && MsSince(start) < 500;
        (void)port.Write(kProbe.data(), 5, &write.overlapped);
        const std::string written = Completed(port, write);
        const std::string got = Completed(port, read);
        check.Equal(
            "a read issued before the reply stays pending, then gets it; the write goes out",
            Reported(std::string(pending ? "pending " : "not pending ") + written + " " + got +
                     " | " + Hex(reply.data(), 5) + " | " + log.Take(1)),
            "pending " + exchanged);
    }
    {
        CompletionPort port;
        Open(port, setup.answering, true);
        reply = {};
        const bool issued = port.ReadEx(reply.data(), 5) && port.WriteEx(kProbe.data(), 5);
        for (int waited = 0; issued && port.count < 2 && waited < 3000; waited += 20) {
            SleepEx(20, TRUE);  // completion routines run in alertable waits
        }
        check.Equal("completion routines report both transfers",
                    Reported(port.completed + "| " + Hex(reply.data(), 5) + " | " + log.Take(1)),
                    exchanged);
    }
    SerialPort port;
    Open(port, setup.silent, true);
    SerialTimeouts timeouts;
    (void)port.GetTimeouts(timeouts);
    ApplyLongReadTimeouts(timeouts);
    (void)port.SetTimeouts(timeouts);
    Event read;
    const auto start = Clock::now();
    (void)port.Read(reply.data(), 5, &read.overlapped);
    const bool cancelled = port.CancelIo();
    const std::string result = Completed(port, read);
    const DWORD error = GetLastError();
    check.Equal("CancelIo ends a pending long read at once",
                Reported(std::to_string(cancelled) + " " + result + " " + std::to_string(error) +
                         (MsSince(start) < 1000 ? "" : " late")),
                "1 failed 995 Failed in call to GetOverlappedResult\\n|Error");
}

void CheckFailureTexts(Checker& check, const Setup& setup) {
    check.Group("failure texts");
    const auto state = [](const SerialPort& p) { return p.IsOpen() ? "open" : "closed"; };
    SerialPort port;
    Open(port, -1);
    Open(port, 256);
    Open(port, setup.absent);
    check.Equal("-1 and 256 are refused in silence, a COM number with no port is reported",
                Reported(state(port)), "closed " + kOpenFailed);
    std::array<uint8_t, 4> bytes{};
    port.Close();
    const uint32_t moved = port.Read(bytes.data(), 4) + port.Write(bytes.data(), 4);
    port.DiscardInput();
    SerialTimeouts timeouts;
    SerialState line;
    const bool got = port.GetTimeouts(timeouts);
    const bool set = port.SetTimeouts(kOpenDefaultTimeouts);
    const bool gotState = port.GetState(line);
    check.Equal(
        "on a closed port Close, Read and Write say nothing, the others fail and say so",
        Reported(std::to_string(moved) + std::to_string(got || set || gotState)),
        "00 Failed in call to PurgeComm\\n|Error; Failed in call to GetCommTimeouts\\n|Error; "
        "Failed in call to SetCommTimeouts\\n|Error; Failed in call to GetCommState\\n|Error");
    HANDLE stale = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(stale);
    port.Attach(stale);
    port.Close();
    check.Equal("a failed close names the error and still closes", Reported(state(port)),
                "closed Failed to close up the comms port, GetLastError:6\\n|error");
    port.Open(Com(setup.answering), 115200, SerialParity(7), 8, SerialStopBits(3),
              SerialFlowControl(6), false);
    check.Equal("arguments outside the tables are reported and the open goes on",
                Reported(state(port)), "open Error|Error; Error|Error; Error|Error");
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
    const uint32_t got = port.Read(stale.data(), 5);
    port.Close();
    check.Equal("Open drops a reply that came in before it",
                Reported("probe sent " + std::to_string(wrote) + ", " + std::to_string(waiting) +
                         " bytes waiting, read " + std::to_string(got)),
                "probe sent 1, 5 bytes waiting, read 0");
}

void CheckWindowsOnly(Checker& check, const Setup& setup) {
    check.Group("Windows only");
    SerialPort port, second;
    uint32_t value = 0;
    std::array<uint8_t, 8> reply{};
    const auto open = [&] { return OpenBoxPort(port, Com(setup.answering)); };
    struct Row {
        const char* name;
        std::function<bool()> run;
        std::string reports = "";
        bool wineCanShow = false;
    };
    const Row rows[] = {
        {"a port another handle holds does not open",
         [&] { return open() && !OpenBoxPort(second, Com(setup.answering)); }, " " + kOpenFailed},
        {"a read returns at once with the bytes already waiting",
         [&] {
             const bool sent = open() && port.Write(kProbe.data(), 5) == 5;
             Sleep(300);
             const auto start = Clock::now();
             return sent && port.Read(reply.data(), 8) == 5 && MsSince(start) < 200;
         }},
        {"WaitEvent reports received data",
         [&] {
             return open() && port.SetMask(kEventRxChar) && port.Write(kProbe.data(), 5) == 5 &&
                    port.WaitEvent(value) && (value & kEventRxChar) != 0;
         }},
        {"DTR, RTS and the modem status",
         [&] {
             return open() && port.SetDtr() && port.ClearDtr() && port.SetRts() &&
                    port.ClearRts() && port.GetModemStatus(value);
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
    const Setup setup{number("--answering"),   number("--silent"),   number("--absent"),
                      args["--answering-log"], args["--silent-log"], number("--rfc2217"),
                      number("--raw"),         number("--refused"),  args["--network-log"]};
    if (argc != 19 || args.size() != 9 || setup.answering <= 0 || setup.silent <= 0 ||
        setup.absent <= 0 || setup.answeringLog.empty() || setup.silentLog.empty() ||
        setup.rfc2217Port <= 0 || setup.rawPort <= 0 || setup.refusedPort <= 0 ||
        setup.networkLog.empty()) {
        std::fputs(
            "Usage: kestrow-wincheck --answering N --silent N --absent N\n"
            "    --answering-log FILE --silent-log FILE\n"
            "    --rfc2217 P --raw P --refused P --network-log FILE\n"
            "  N: COM numbers of a simulated box that answers, one that stays silent and\n"
            "  one with no port; FILE: that box's kestrow-boxsim output; P: TCP ports on\n"
            "  127.0.0.1 of ser2net's RFC 2217 and raw accepters in front of a third box\n"
            "  (--network-log) and one nobody listens on\n",
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
    CheckOverlapped(check, setup);
    CheckFailureTexts(check, setup);
    CheckStaleInput(check, setup);
    CheckWindowsOnly(check, setup);
    CheckTransactions(check, setup);
    CheckNetwork(check, setup);
    return check.Finish();
}
