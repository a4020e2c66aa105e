// The settings transactions through the Win32 SerialPort: for each, the frames the box received,
// the result, the failure reports and, where the box stays silent, how long it waited.
#include <functional>
#include <optional>
#include <string>

#include "DeviceLink.h"
#include "WinCheck.h"

namespace kestrow::wincheck {
namespace {

enum class Box { Answering, Silent, Absent };

template <typename T>
std::string Shown(const std::optional<T>& value) {
    return value ? std::to_string(*value) : "none";
}

std::string Shown(bool value) {
    return value ? "true" : "false";
}

std::string Version(DeviceLink& link, bool useItem3) {
    std::string text = "old";
    const uint8_t byte3 = link.ReadVersionText(useItem3, text);
    return std::to_string(byte3) + " " + text;
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

struct Row {
    const char* name;
    Box box;
    std::function<std::string(DeviceLink&)> run;
    const char* frames;  // what the box received, " | " between frames
    const char* result;
    int64_t waitMs;  // how long the silent box makes it wait; 0: not measured
};

size_t FrameCount(const std::string& frames) {
    size_t n = frames.empty() ? 0 : 1;
    for (const char c : frames) {
        n += c == '|' ? 1 : 0;
    }
    return n;
}

}  // namespace

void CheckTransactions(Checker& check, const Setup& setup) {
    check.Group("transactions");
    // The answering box starts with its factory settings: (1,1) = 12, (4,3) = 2, (4,4) = 0,
    // GenLock register 4 = 2200, version text V1.23.456, probe reply port byte 59.
    const Row rows[] = {
        {"port search probe", Box::Answering,
         [&](DeviceLink& l) { return Shown(l.ProbeForSearch(setup.answering)); }, "05 6C 93 05 F7",
         "true", 0},
        {"write setting (2,3) = -50", Box::Answering,
         [](DeviceLink& l) { return Shown(l.WriteSetting(2, 3, static_cast<uint8_t>(-50))); },
         "08 6C 93 00 02 03 CE 26", "true", 0},
        {"read setting (2,3)", Box::Answering,
         [](DeviceLink& l) { return Shown(l.ReadSetting(2, 3)); }, "07 6C 93 01 02 03 F4", "206",
         0},
        {"read setting (2,3) again, after a reply byte was left unread", Box::Answering,
         [](DeviceLink& l) { return Shown(l.ReadSetting(2, 3)); }, "07 6C 93 01 02 03 F4", "206",
         0},
        {"write GenLock (0) = 0x012C", Box::Answering,
         [](DeviceLink& l) { return Shown(l.WriteGenlockValue(0, 0x01, 0x2C)); },
         "08 6C 93 49 00 01 2C 83", "true", 0},
        {"read GenLock (2)", Box::Answering,
         [](DeviceLink& l) { return Shown(l.ReadGenlockValue(2)); }, "06 6C 93 49 02 B0", "300", 0},
        {"read GenLock (4)", Box::Answering,
         [](DeviceLink& l) { return Shown(l.ReadGenlockValue(4)); }, "06 6C 93 49 04 AE", "2200",
         0},
        {"version text (item 3)", Box::Answering, [](DeviceLink& l) { return Version(l, true); },
         "07 6C 93 01 04 03 F2", "2 V1.23.456", 0},
        {"version text (item 4)", Box::Answering, [](DeviceLink& l) { return Version(l, false); },
         "07 6C 93 01 04 04 F1", "0 V1.23.456", 0},
        {"short command Aspect Ratio", Box::Answering,
         [](DeviceLink& l) { return Shown(l.SendFrame(5, 4, 0, 0, 0)); }, "05 6C 93 04 F8", "true",
         0},
        {"quick command (1,1) = 9 as an 8-byte frame", Box::Answering,
         [](DeviceLink& l) { return Shown(l.SendFrame(8, 0, 1, 1, 9)); }, "08 6C 93 00 01 01 09 EE",
         "true", 0},
        {"status refresh", Box::Answering, Refresh,
         "05 6C 93 05 F7 | 07 6C 93 01 04 04 F1 | 07 6C 93 01 04 04 F1 | 07 6C 93 01 01 01 F7",
         "05 6C 93 59 00 | 05 6C 93 00 56 | 05 6C 93 00 56 | 05 6C 93 09 F3", 0},
        {"port search probe, silent box", Box::Silent,
         [&](DeviceLink& l) { return Shown(l.ProbeForSearch(setup.silent)); }, "05 6C 93 05 F7",
         "false", 1000},
        {"read setting (4,1), silent box", Box::Silent,
         [](DeviceLink& l) { return Shown(l.ReadSetting(4, 1)); }, "07 6C 93 01 04 01 F4", "none",
         1500},
        {"read GenLock (3), silent box", Box::Silent,
         [](DeviceLink& l) { return Shown(l.ReadGenlockValue(3)); }, "06 6C 93 49 03 AF", "none",
         1050},
        {"version text, silent box", Box::Silent, [](DeviceLink& l) { return Version(l, true); },
         "07 6C 93 01 04 03 F2", "1 NA", 1050},
        {"write setting (4,4) = 1, silent box", Box::Silent,
         [](DeviceLink& l) { return Shown(l.WriteSetting(4, 4, 1)); }, "08 6C 93 00 04 04 01 F0",
         "true", 0},
        {"write setting, no port", Box::Absent,
         [](DeviceLink& l) { return Shown(l.WriteSetting(1, 1, 1)); }, "", "false", 0},
        {"read setting, no port", Box::Absent,
         [](DeviceLink& l) { return Shown(l.ReadSetting(1, 1)); }, "", "none", 0},
        {"read GenLock, no port", Box::Absent,
         [](DeviceLink& l) { return Shown(l.ReadGenlockValue(2)); }, "", "none", 0},
        {"version text, no port", Box::Absent, [](DeviceLink& l) { return Version(l, true); }, "",
         "0 old", 0},
        {"port search probe, no port", Box::Absent,
         [&](DeviceLink& l) { return Shown(l.ProbeForSearch(setup.absent)); }, "", "false", 0},
        {"status refresh, no port", Box::Absent, Refresh, "", "closed", 0},
    };

    BoxLog answeringLog(setup.answeringLog);
    BoxLog silentLog(setup.silentLog);
    for (const Row& row : rows) {
        const int port = row.box == Box::Answering ? setup.answering
                         : row.box == Box::Silent  ? setup.silent
                                                   : setup.absent;
        DeviceLink link(port);
        Stopwatch watch;
        const std::string result = row.run(link);
        const int64_t took = watch.ms();
        const std::string reports = TakeReports();
        const std::string frames =
            row.box == Box::Answering ? answeringLog.TakeFrames(FrameCount(row.frames))
            : row.box == Box::Silent  ? silentLog.TakeFrames(FrameCount(row.frames))
                                      : "";
        const std::string wantReports =
            row.box == Box::Absent ? "Failed to open up the comms port\\n|Error" : "";
        check.Equal(
            row.name, "sent [" + frames + "] got [" + result + "] " + reports,
            "sent [" + std::string(row.frames) + "] got [" + row.result + "] " + wantReports);
        if (row.waitMs > 0) {
            ExpectWait(check, row.name, took, row.waitMs);
        }
    }
}

}  // namespace kestrow::wincheck
