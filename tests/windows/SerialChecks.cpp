// SerialPort on Win32: the line and time-outs the port really holds after Open (read past the
// class, so a table read back through the same table cannot hide a wrong entry), measured
// waits, overlapped and completion-routine I/O, the failure texts, and what only Windows shows.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "DeviceLink.h"
#include "PortNaming.h"
#include "SerialPort.h"
#include "WinCheck.h"

namespace kestrow::wincheck {
namespace {

constexpr std::array<uint8_t, 5> kProbe{0x05, 0x6C, 0x93, 0x05, 0xF7};
constexpr const char* kProbeReply = "05 6C 93 59 00";

// The port's DCB and COMMTIMEOUTS as the system holds them.
DCB NativeState(SerialPort& port) {
    HANDLE handle = port.Detach();
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    GetCommState(handle, &dcb);
    port.Attach(handle);
    return dcb;
}

COMMTIMEOUTS NativeTimeouts(SerialPort& port) {
    HANDLE handle = port.Detach();
    COMMTIMEOUTS t{};
    GetCommTimeouts(handle, &t);
    port.Attach(handle);
    return t;
}

// "115200 8N1 cts0 dsr0 outx0 inx0"
std::string Describe(const DCB& d) {
    const char* stop[] = {"1", "1.5", "2"};
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), "%lu %u%c%s cts%u dsr%u outx%u inx%u",
                  static_cast<unsigned long>(d.BaudRate), static_cast<unsigned>(d.ByteSize),
                  d.Parity < 5 ? "NOEMS"[d.Parity] : '?', d.StopBits < 3 ? stop[d.StopBits] : "?",
                  static_cast<unsigned>(d.fOutxCtsFlow), static_cast<unsigned>(d.fOutxDsrFlow),
                  static_cast<unsigned>(d.fOutX), static_cast<unsigned>(d.fInX));
    return text.data();
}

std::string Describe(const COMMTIMEOUTS& t) {
    return std::to_string(t.ReadIntervalTimeout) + " " +
           std::to_string(t.ReadTotalTimeoutMultiplier) + " " +
           std::to_string(t.ReadTotalTimeoutConstant) + " / " +
           std::to_string(t.WriteTotalTimeoutMultiplier) + " " +
           std::to_string(t.WriteTotalTimeoutConstant);
}

// A synchronous probe on an open port: the reply's bytes.
std::string Probe(SerialPort& port, uint32_t count = 5) {
    port.Write(kProbe.data(), kProbe.size());
    std::array<uint8_t, 16> reply{};
    const uint32_t got = port.Read(reply.data(), count);
    return Hex(reply.data(), got);
}

struct LineRow {
    const char* name;
    uint32_t baud;
    SerialParity parity;
    uint8_t dataBits;
    SerialStopBits stopBits;
    SerialFlowControl flow;
    const char* line;  // Describe() of the port's DCB afterwards
    bool wineCanShow;  // pseudo-terminals keep 8 data bits, no parity, no DSR flow
};

constexpr LineRow kLineRows[] = {
    {"9600 baud, two stop bits", 9600, SerialParity::None, 8, SerialStopBits::Two,
     SerialFlowControl::None, "9600 8N2 cts0 dsr0 outx0 inx0", true},
    {"CTS/RTS flow control", 115200, SerialParity::None, 8, SerialStopBits::One,
     SerialFlowControl::CtsRts, "115200 8N1 cts1 dsr0 outx0 inx0", true},
    {"XON/XOFF flow control", 115200, SerialParity::None, 8, SerialStopBits::One,
     SerialFlowControl::XonXoff, "115200 8N1 cts0 dsr0 outx1 inx1", true},
    {"DSR/DTR flow control", 115200, SerialParity::None, 8, SerialStopBits::One,
     SerialFlowControl::DsrDtr, "115200 8N1 cts0 dsr1 outx0 inx0", false},
    {"parity 0 is even", 115200, SerialParity::Even, 8, SerialStopBits::One,
     SerialFlowControl::None, "115200 8E1 cts0 dsr0 outx0 inx0", false},
    {"7 data bits, odd parity", 115200, SerialParity::Odd, 7, SerialStopBits::One,
     SerialFlowControl::None, "115200 7O1 cts0 dsr0 outx0 inx0", false},
    {"5 data bits, 1.5 stop bits", 115200, SerialParity::None, 5, SerialStopBits::OnePointFive,
     SerialFlowControl::None, "115200 5N1.5 cts0 dsr0 outx0 inx0", false},
};

}  // namespace

void CheckLineSettings(Checker& check, const Setup& setup) {
    check.Group("line settings");
    {
        // The script left this line at 9600 baud, two stop bits, CTS and XON/XOFF flow.
        SerialPort port;
        check.Expect("the answering box's port opens", OpenBoxPort(port, setup.answering));
        check.Equal("Open sets 115200 8-N-1 without flow control over other settings",
                    Describe(NativeState(port)) + TakeReports(), "115200 8N1 cts0 dsr0 outx0 inx0");
    }
    SerialPort port;
    for (const LineRow& row : kLineRows) {
        if (!row.wineCanShow && check.SkipUnderWine(row.name)) {
            continue;
        }
        port.Open(setup.silent, row.baud, row.parity, row.dataBits, row.stopBits, row.flow, false);
        check.Equal(row.name, Describe(NativeState(port)) + TakeReports(), row.line);
        port.Close();
    }
}

void CheckTimeouts(Checker& check, const Setup& setup) {
    check.Group("time-outs");
    SerialPort port;
    (void)OpenBoxPort(port, setup.answering);
    check.Equal("after Open", Describe(NativeTimeouts(port)), "4294967295 0 1000 / 0 0");
    SerialTimeouts read;
    check.Expect("GetTimeouts gives them back",
                 port.GetTimeouts(read) && read == kOpenDefaultTimeouts);
    check.Equal("a probe is answered at once", Probe(port), kProbeReply);
    (void)OpenForLongReads(port, setup.answering);
    check.Equal("for long reads", Describe(NativeTimeouts(port)), "0 300 5000 / 0 0");
    Stopwatch answered;
    check.Equal("a long read ends when its bytes are in", Probe(port), kProbeReply);
    check.Expect("a long read does not wait for its time-out", answered.ms() < 1000,
                 std::to_string(answered.ms()) + " ms");
    port.Close();

    struct WaitRow {
        const char* name;
        bool longRead;
        uint32_t count;
        int64_t expectedMs;
    };
    constexpr WaitRow kWaits[] = {
        {"silent box, read 5 after Open", false, 5, 1000},
        {"silent box, long read of 1", true, 1, 5300},
        {"silent box, long read of 5", true, 5, 6500},
    };
    for (const WaitRow& row : kWaits) {
        (void)(row.longRead ? OpenForLongReads(port, setup.silent)
                            : OpenBoxPort(port, setup.silent));
        std::array<uint8_t, 8> buffer{};
        Stopwatch watch;
        const uint32_t got = port.Read(buffer.data(), row.count);
        ExpectWait(check, row.name, watch.ms(), row.expectedMs);
        check.Equal(std::string(row.name) + " gets nothing", std::to_string(got) + TakeReports(),
                    "0");
        port.Close();
    }
}

namespace {

// Counts the completions of ReadEx and WriteEx.
class CompletionPort : public SerialPort {
  public:
    void OnIoComplete(uint32_t errorCode, uint32_t bytesTransferred,
                      _OVERLAPPED* overlapped) override {
        completed.push_back(errorCode == 0 ? std::to_string(bytesTransferred) : "error");
        SerialPort::OnIoComplete(errorCode, bytesTransferred, overlapped);
    }
    std::vector<std::string> completed;
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

void OpenOverlapped(SerialPort& port, int number) {
    port.Open(number, 115200, SerialParity::None, 8, SerialStopBits::One, SerialFlowControl::None,
              true);
}

}  // namespace

void CheckOverlapped(Checker& check, const Setup& setup) {
    check.Group("overlapped I/O");
    BoxLog log(setup.answeringLog);
    std::array<uint8_t, 8> reply{};
    {
        SerialPort port;
        OpenOverlapped(port, setup.answering);
        check.Equal("plain Read and Write refuse an overlapped port",
                    std::to_string(port.Read(reply.data(), 5)) + " " +
                        std::to_string(port.Write(kProbe.data(), 5)),
                    "0 0");
        Event read;
        Event write;
        Stopwatch watch;
        const bool readDone = port.Read(reply.data(), 5, &read.overlapped);
        const DWORD error = GetLastError();
        check.Expect("a read issued before the reply stays pending",
                     !readDone && error == ERROR_IO_PENDING && watch.ms() < 500,
                     "returned " + std::to_string(readDone) + ", error " + std::to_string(error) +
                         " after " + std::to_string(watch.ms()) + " ms");
        (void)port.Write(kProbe.data(), 5, &write.overlapped);
        const std::string written = Completed(port, write);
        const std::string got = Completed(port, read);
        check.Equal("the write goes out and the pending read gets the reply",
                    written + " " + got + " | " + Hex(reply.data(), 5) + " | " + log.TakeFrames(1) +
                        TakeReports(),
                    std::string("5 5 | ") + kProbeReply + " | 05 6C 93 05 F7");
    }
    {
        CompletionPort port;
        OpenOverlapped(port, setup.answering);
        reply = {};
        const bool issued = port.ReadEx(reply.data(), 5) && port.WriteEx(kProbe.data(), 5);
        for (int waited = 0; issued && port.completed.size() < 2 && waited < 3000; waited += 20) {
            SleepEx(20, TRUE);  // completion routines run in alertable waits
        }
        std::string completed;
        for (const std::string& c : port.completed) {
            completed += c + " ";
        }
        check.Equal(
            "completion routines report both transfers",
            completed + "| " + Hex(reply.data(), 5) + " | " + log.TakeFrames(1) + TakeReports(),
            std::string("5 5 | ") + kProbeReply + " | 05 6C 93 05 F7");
    }
    {
        SerialPort port;
        OpenOverlapped(port, setup.silent);
        SerialTimeouts timeouts;
        (void)port.GetTimeouts(timeouts);
        ApplyLongReadTimeouts(timeouts);
        (void)port.SetTimeouts(timeouts);
        Event read;
        Stopwatch watch;
        (void)port.Read(reply.data(), 5, &read.overlapped);
        const bool cancelled = port.CancelIo();
        const std::string result = Completed(port, read);
        const DWORD error = GetLastError();
        check.Equal("CancelIo ends a pending read",
                    std::to_string(cancelled) + " " + result + " " + std::to_string(error) + " " +
                        TakeReports(),
                    "1 failed 995 Failed in call to GetOverlappedResult\\n|Error");
        check.Expect("at once", watch.ms() < 1000, std::to_string(watch.ms()) + " ms");
    }
}

void CheckFailureTexts(Checker& check, const Setup& setup) {
    check.Group("failure texts");
    const int absent = setup.absent;
    const int answering = setup.answering;
    auto open = [](SerialPort& p, int number) {
        p.Open(number, 115200, SerialParity::None, 8, SerialStopBits::One, SerialFlowControl::None,
               false);
        return std::string(p.IsOpen() ? "open" : "closed");
    };
    struct Row {
        const char* name;
        std::function<std::string(SerialPort&)> run;
        const char* want;
    };
    const Row rows[] = {
        {"port -1 is refused silently", [&](SerialPort& p) { return open(p, -1); }, "closed"},
        {"port 256 is refused silently", [&](SerialPort& p) { return open(p, 256); }, "closed"},
        {"a COM number with no port", [&](SerialPort& p) { return open(p, absent); },
         "closed Failed to open up the comms port\\n|Error"},
        {"Close, Read and Write on a closed port say nothing",
         [](SerialPort& p) {
             std::array<uint8_t, 4> b{};
             p.Close();
             return std::to_string(p.Read(b.data(), 4)) + std::to_string(p.Write(b.data(), 4));
         },
         "00"},
        {"DiscardInput on a closed port",
         [](SerialPort& p) {
             p.DiscardInput();
             return std::string("-");
         },
         "- Failed in call to PurgeComm\\n|Error"},
        {"GetTimeouts on a closed port",
         [](SerialPort& p) {
             SerialTimeouts t;
             return std::to_string(p.GetTimeouts(t));
         },
         "0 Failed in call to GetCommTimeouts\\n|Error"},
        {"SetTimeouts on a closed port",
         [](SerialPort& p) { return std::to_string(p.SetTimeouts(kOpenDefaultTimeouts)); },
         "0 Failed in call to SetCommTimeouts\\n|Error"},
        {"GetState on a closed port",
         [](SerialPort& p) {
             SerialState s;
             return std::to_string(p.GetState(s));
         },
         "0 Failed in call to GetCommState\\n|Error"},
        {"a failed close names the error and still closes",
         [](SerialPort& p) {
             HANDLE stale = CreateEventA(nullptr, FALSE, FALSE, nullptr);
             CloseHandle(stale);
             p.Attach(stale);
             p.Close();
             return std::string(p.IsOpen() ? "open" : "closed");
         },
         "closed Failed to close up the comms port, GetLastError:6\\n|error"},
        {"arguments outside the tables are reported and the open goes on",
         [&](SerialPort& p) {
             p.Open(answering, 115200, static_cast<SerialParity>(7), 8,
                    static_cast<SerialStopBits>(3), static_cast<SerialFlowControl>(6), false);
             return std::string(p.IsOpen() ? "open" : "closed");
         },
         "open Error|Error; Error|Error; Error|Error"},
    };
    for (const Row& row : rows) {
        SerialPort port;
        const std::string result = row.run(port);
        const std::string reports = TakeReports();
        check.Equal(row.name, result + (reports.empty() ? "" : " " + reports), row.want);
    }
}

void CheckWindowsOnly(Checker& check, const Setup& setup) {
    check.Group("Windows only");
    SerialPort port;
    if (!check.SkipUnderWine("a port another handle holds does not open")) {
        (void)OpenBoxPort(port, setup.answering);
        SerialPort second;
        check.Equal("a port another handle holds does not open",
                    std::to_string(OpenBoxPort(second, setup.answering)) + " " + TakeReports(),
                    "0 Failed to open up the comms port\\n|Error");
    }
    if (!check.SkipUnderWine("a read returns at once with the bytes already waiting")) {
        (void)OpenBoxPort(port, setup.answering);
        port.Write(kProbe.data(), kProbe.size());
        Sleep(300);
        Stopwatch watch;
        std::array<uint8_t, 8> reply{};
        const uint32_t got = port.Read(reply.data(), 8);
        check.Expect("a read returns at once with the bytes already waiting",
                     got == 5 && watch.ms() < 200,
                     std::to_string(got) + " bytes after " + std::to_string(watch.ms()) + " ms");
    }
    if (!check.SkipUnderWine("WaitEvent reports received data")) {
        (void)OpenBoxPort(port, setup.answering);
        uint32_t events = 0;
        const bool ok = port.SetMask(kEventRxChar) &&
                        port.Write(kProbe.data(), kProbe.size()) == kProbe.size() &&
                        port.WaitEvent(events);
        check.Expect("WaitEvent reports received data", ok && (events & kEventRxChar) != 0);
    }
    if (!check.SkipUnderWine("DTR, RTS and the modem status")) {
        (void)OpenBoxPort(port, setup.answering);
        uint32_t status = 0;
        const bool ok = port.SetDtr() && port.ClearDtr() && port.SetRts() && port.ClearRts() &&
                        port.GetModemStatus(status);
        check.Equal("DTR, RTS and the modem status", std::to_string(ok) + TakeReports(), "1");
    }
    if (!check.SkipUnderWine("discovery lists the port")) {
        port.Close();
        const auto ports = FindComPorts();
        check.Expect("discovery lists the port",
                     std::any_of(ports.begin(), ports.end(), [&](const ComPortInfo& p) {
                         return p.number == setup.answering;
                     }));
    }
    (void)TakeReports();
}

}  // namespace kestrow::wincheck
