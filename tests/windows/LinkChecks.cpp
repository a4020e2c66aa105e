// The settings transactions through the Win32 SerialPort: for each, the frames the box received,
// the result, the failure reports and, where the box stays silent, how long it waited.
#include <algorithm>
#include <array>
#include <sstream>
#include <string>
#include <string_view>

#include "device/DeviceLink.h"
#include "tests/windows/WinCheck.h"

namespace kestrow::wincheck {
namespace {

template <typename T>
std::string Shown(const Result<T>& value) {
    return value ? std::to_string(*value) : "none";
}

std::string Shown(const Result<std::string>& value) {
    return value ? *value : "none";
}

std::string Shown(const Result<void>& done) {
    return done ? "true" : "false";
}

// The status refresh's exchanges on one open port; (4,4) twice so that a reply left unread
// shows in the second.
std::string Refresh(DeviceLink& link) {
    if (!link.OpenForRefresh()) {
        return "closed";
    }
    std::string out;
    for (const Frame& frame :
         {ProbeFrame(), ReadSettingFrame(4, 4), ReadSettingFrame(4, 4), ReadSettingFrame(1, 1)}) {
        const auto reply = link.Exchange(frame);
        out += (out.empty() ? "" : " | ") + (reply ? Hex(reply->data(), 5) : "none");
    }
    link.Close();
    return out;
}

// Runs one transaction given as "name arguments...": probe, write g i v, read g i,
// genlock-write item high low, genlock-read item, version useItem3, send length opcode b4 b5 b6,
// refresh. Anything after the numbers is a note.
std::string Run(DeviceLink& link, const std::string& op) {
    std::istringstream in(op);
    std::string verb;
    in >> verb;
    std::array<int, 5> a{};
    for (int& v : a) {
        in >> v;
    }
    const auto b = [&a](size_t i) { return static_cast<uint8_t>(a[i]); };
    return verb == "version"         ? Shown(link.ReadVersionText(a[0] != 0))
           : verb == "probe"         ? Shown(link.ProbeForSearch(link.port()))
           : verb == "write"         ? Shown(link.WriteSetting(b(0), b(1), b(2)))
           : verb == "read"          ? Shown(link.ReadSetting(b(0), b(1)))
           : verb == "genlock-write" ? Shown(link.WriteGenlockValue(b(0), b(1), b(2)))
           : verb == "genlock-read"  ? Shown(link.ReadGenlockValue(b(0)))
           : verb == "send"          ? Shown(link.SendFrame(b(0), b(1), b(2), b(3), b(4)))
           : verb == "refresh"       ? Refresh(link)
                                     : "unknown";
}

// The box: 'a' answers, 's' stays silent, 'n' has no port. The answering box starts with its
// factory settings: (1,1) = 12, (4,3) = 2, (4,4) = 0, GenLock register 4 = 2200, version text
// V1.23.456, probe reply port byte 59.
struct Row {
    char box;
    const char* op;
    const char* frames;  // what the box received, " | " between frames
    const char* result;
    int waitMs;  // how long the silent box makes it wait; 0: not measured
};
constexpr Row kRows[] = {
    {'a', "probe", "05 6C 93 05 F7", "true", 0},
    {'a', "write 2 3 206", "08 6C 93 00 02 03 CE 26", "true", 0},
    {'a', "read 2 3", "07 6C 93 01 02 03 F4", "206", 0},
    {'a', "read 2 3 again: the reply byte left unread before is gone", "07 6C 93 01 02 03 F4",
     "206", 0},
    {'a', "genlock-write 0 1 44", "08 6C 93 49 00 01 2C 83", "true", 0},
    {'a', "genlock-read 2", "06 6C 93 49 02 B0", "300", 0},
    {'a', "genlock-read 4", "06 6C 93 49 04 AE", "2200", 0},
    {'a', "version 1", "07 6C 93 01 04 03 F2", "V1.23.456", 0},
    {'a', "version 0", "07 6C 93 01 04 04 F1", "V1.23.456", 0},
    {'a', "send 5 4 0 0 0 (Aspect Ratio)", "05 6C 93 04 F8", "true", 0},
    {'a', "send 8 0 1 1 9", "08 6C 93 00 01 01 09 EE", "true", 0},
    {'a', "refresh",
     "05 6C 93 05 F7 | 07 6C 93 01 04 04 F1 | 07 6C 93 01 04 04 F1 | 07 6C 93 01 01 01 F7",
     "05 6C 93 59 00 | 05 6C 93 00 56 | 05 6C 93 00 56 | 05 6C 93 09 F3", 0},
    {'s', "probe", "05 6C 93 05 F7", "false", 1000},
    {'s', "read 4 1", "07 6C 93 01 04 01 F4", "none", 1500},
    {'s', "genlock-read 3", "06 6C 93 49 03 AF", "none", 1050},
    {'s', "version 1", "07 6C 93 01 04 03 F2", "none", 1050},
    {'s', "write 4 4 1", "08 6C 93 00 04 04 01 F0", "true", 0},
    {'n', "write 1 1 1", "", "false", 0},
    {'n', "read 1 1", "", "none", 0},
    {'n', "genlock-read 2", "", "none", 0},
    {'n', "version 1", "", "none", 0},
    {'n', "probe", "", "false", 0},
    {'n', "refresh", "", "closed", 0},
};

}  // namespace

void CheckTransactions(Checker& check, const Setup& setup) {
    check.Group("transactions");
    BoxLog logs[] = {BoxLog(setup.answeringLog), BoxLog(setup.silentLog)};
    for (const Row& row : kRows) {
        const size_t box = std::string_view("asn").find(row.box);
        const std::string name =
            std::array{"answering: ", "silent: ", "no port: "}[box] + std::string(row.op);
        DeviceLink link(Com(std::array{setup.answering, setup.silent, setup.absent}[box]));
        const auto start = Clock::now();
        const std::string result = Run(link, row.op);
        const int64_t took = MsSince(start);
        const std::string frames = row.frames;
        const size_t count = frames.empty() ? 0 : 1 + size_t(std::ranges::count(frames, '|'));
        const std::string sent = box < 2 ? logs[box].Take(count) : "";
        check.Equal(name, Reported("sent [" + sent + "] got [" + result + "]"),
                    "sent [" + frames + "] got [" + row.result + "]" +
                        (box == 2 ? " Failed to open up the comms port\\n|Error" : ""));
        if (row.waitMs > 0) {
            check.Wait(name, took, row.waitMs);
        }
    }
}

}  // namespace kestrow::wincheck
