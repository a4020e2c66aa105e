// Network serial ports through the Win32 build (Winsock): Debian's ser2net serves a simulated
// box on an RFC 2217 port and a raw TCP port, and a third port has nobody listening. For each:
// whether the port opens, the bytes that reach the box, the reply, and the failure a refused
// connection gives. (The Telnet codec itself, 0xFF both ways, is checked on Linux.)
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include "device/DeviceLink.h"
#include "ports/PortNaming.h"
#include "serial/SerialPort.h"
#include "tests/windows/WinCheck.h"

namespace kestrow::wincheck {
namespace {

// Winsock's "connection refused" (WSAECONNREFUSED).
constexpr int kRefused = 10061;

struct Row {
    const char* name;
    const char* scheme;  // rfc2217 or socket
    bool served;         // ser2net's accepter of the scheme, or the port nobody listens on
    std::function<std::string(SerialPort&, const ComPort&)> run;
    const char* frames;  // what the box received, " | " between frames
    std::string want;
};

// The open, with the reason it failed if it did, the probe and its reply's first three bytes
// (they carry no port or model byte of this box).
std::string OpenAndProbe(SerialPort& port, const ComPort& where) {
    if (!OpenBoxPort(port, where)) {
        return "closed [" + LastDetail() + "]";
    }
    const uint32_t sent = port.Write(kProbe).value_or(0);
    std::array<uint8_t, 5> reply{};
    const uint32_t got = port.Read(reply).value_or(0);
    return "open sent " + std::to_string(sent) + " got " + std::to_string(got) + " " +
           Hex(reply.data(), std::min(got, 3u));
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

}  // namespace

void CheckNetwork(Checker& check, const Setup& setup) {
    check.Group("network ports");
    BoxLog log(setup.networkLog);
    const Row rows[] = {
        {"an RFC 2217 port exchanges the probe", "rfc2217", true, OpenAndProbe, "05 6C 93 05 F7",
         "open sent 5 got 5 05 6C 93"},
        {"a raw TCP read waits out its time-out for bytes that do not come", "socket", true,
         ReadPastReply, "05 6C 93 05 F7", "open sent 5 got 5 05 6C 93 then 0 at the time-out"},
        {"a port nobody listens on does not open", "rfc2217", false, Refused, "",
         "closed " + std::to_string(kRefused) + " winsock told refused " + kOpenFailed},
    };
    std::string lastServed;
    for (const Row& row : rows) {
        const std::string scheme = row.scheme;
        if (row.served && !lastServed.empty() && scheme != lastServed) {
            // ser2net lets go of the device a few milliseconds after the client of its other
            // accepter left; until then it answers "Port's device already in use".
            Sleep(200);
        }
        lastServed = row.served ? scheme : lastServed;
        const int tcpPort = !row.served          ? setup.refusedPort
                            : scheme == "socket" ? setup.rawPort
                                                 : setup.rfc2217Port;
        const std::string url = scheme + "://127.0.0.1:" + std::to_string(tcpPort);
        const Result<ComPort> where = ParsePortUrl(url);
        SerialPort port;
        std::string result =
            where ? row.run(port, *where) : url + " is no port: " + where.error().detail;
        port.Close();
        result = Reported(result);
        const std::string frames = row.frames;
        const size_t count = frames.empty() ? 0 : 1 + size_t(std::ranges::count(frames, '|'));
        const std::string sent = log.Take(count);
        check.Equal(row.name, result + " | box got [" + sent + "]",
                    row.want + " | box got [" + frames + "]");
    }
}

}  // namespace kestrow::wincheck
