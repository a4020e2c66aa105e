// watch: the box's signals at an interval, a line per change. Each look is three exchanges on
// one opening of the port, as the refresh makes them under the open default time-outs: the
// probe (its port byte), (4,1) input timing and (1,1) output resolution. Ctrl+C and SIGTERM
// (on Windows Ctrl+C, Ctrl+Break and closing the console) are held back and taken between
// looks, so a look is never cut in half.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Platform.h"
#include "cli/Ports.h"
#include "device/Frames.h"
#include "device/Protocol.h"
#include "settings/NameTables.h"

namespace kestrow::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct Signals {
    uint8_t portByte = 0;
    uint8_t timing = 0;      // (4,1)
    uint8_t resolution = 0;  // (1,1)
    friend bool operator==(const Signals&, const Signals&) = default;
};

// One look at the box; the reason in words when it cannot be had.
Outcome<Signals> Look(DeviceLink& link) {
    HeldReports held;  // said once in the watch's own words, not every interval
    if (Result<void> opened = link.OpenForExchanges(); !opened) {
        return NotOpened(link.port(), opened.error());
    }
    using namespace protocol;
    Result<Reply> probe = link.Exchange(ProbeFrame());
    Result<Reply> timing =
        probe ? link.Exchange(ReadSettingFrame(kGroupSystem, kItemInputTiming)) : probe.error();
    Result<Reply> resolution =
        timing ? link.Exchange(ReadSettingFrame(kGroupOutput, kItemOutputResolution))
               : timing.error();
    link.Close();
    if (!resolution) {
        return Failure{Exit::NoAnswer,
                       resolution.error().kind == ErrorKind::Gone
                           ? WentAway(link.port())
                           : "the box on " + link.port().Name() + " does not answer"};
    }
    return Signals{(*probe)[kReplyPortByte], (*timing)[kReplyValue], (*resolution)[kReplyValue]};
}

// Seconds since 1970 of a calendar time taken as UTC (days from the civil date, proleptic
// Gregorian).
long long SecondsAsIfUtc(const std::tm& t) {
    const long long year = t.tm_year + 1900LL - (t.tm_mon < 2 ? 1 : 0);
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long month = t.tm_mon + (t.tm_mon < 2 ? 10 : -2);  // March is 0
    const long long dayOfYear = (153 * month + 2) / 5 + t.tm_mday - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const long long days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + t.tm_hour * 3600LL + t.tm_min * 60LL + t.tm_sec;
}

// Local time: "2026-03-01 14:05:09.250" for the text, ISO 8601 with the offset for JSON.
std::string Stamp(bool iso) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    const std::tm local = LocalTime(seconds);
    std::array<char, 64> text{};
    std::strftime(text.data(), text.size(), iso ? "%Y-%m-%dT%H:%M:%S" : "%Y-%m-%d %H:%M:%S",
                  &local);
    std::array<char, 8> fraction{};
    std::snprintf(fraction.data(), fraction.size(), ".%03d", static_cast<int>(ms));
    std::string stamp = std::string(text.data()) + fraction.data();
    if (iso) {
        // The offset from UTC: the local fields read as if they were UTC, less the time itself
        // (strftime's %z is a zone's name on Windows).
        const long long offset = SecondsAsIfUtc(local) - static_cast<long long>(seconds);
        const int minutes =
            static_cast<int>(std::min((offset < 0 ? -offset : offset) / 60, 5999LL));
        std::array<char, 16> zone{};
        std::snprintf(zone.data(), zone.size(), "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60,
                      minutes % 60);
        stamp += zone.data();
    }
    return stamp;
}

std::string Name(NameTable table, unsigned code) {
    const std::string_view name = LookupName(table, code);
    return name.empty() ? "code " + std::to_string(code) : std::string(name);
}

class WatchLog {
  public:
    WatchLog(const CommonOptions& options, const ComPort& port)
        : json_(options.json), port_(port.Name()) {}

    bool State(const Signals& s) {
        const std::string input = Name(VideoPortNames, s.portByte / 16u);
        const std::string output = Name(VideoPortNames, s.portByte % 16u);
        const std::string timing = Name(InputTimingNames, s.timing);
        const std::string resolution = Name(OutputResolutionNames, s.resolution);
        if (json_) {
            return Emit({{"event", "state"},
                         {"inputPort", input},
                         {"inputTiming", timing},
                         {"outputPort", output},
                         {"outputResolution", resolution},
                         {"portByte", s.portByte},
                         {"inputTimingByte", s.timing},
                         {"outputResolutionByte", s.resolution}});
        }
        return Line("input " + input + " " + timing + ", output " + output + " " + resolution);
    }
    bool Gone(const std::string& why) {
        return json_ ? Emit({{"event", "gone"}, {"reason", why}})
                     : Line("gone: " + why + "; still looking");
    }
    bool Back() { return json_ ? Emit({{"event", "back"}}) : Line("back"); }

  private:
    bool Emit(const Json& fields) {
        Json line{{"time", Stamp(true)}, {"port", port_}};
        line.update(fields);
        return Say(JsonText(line, -1));
    }
    bool Line(const std::string& text) { return Say(Stamp(false) + "  " + port_ + "  " + text); }

    bool json_;
    std::string port_;
};

}  // namespace

int RunWatch(const CommonOptions& options, double intervalSeconds) {
    auto chosen = ChoosePort(options, Search::Probe);
    if (!chosen) {
        return Fail(options, chosen.failure());
    }
    const ComPort port = chosen->port;
    chosen->link->Close();
    HoldStopRequests();

    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(intervalSeconds));
    // Each look opens the port and closes it again: between looks the box is free for the
    // panel and for other commands, which a watch of hours must not keep from it.
    DeviceLink link(port, options.tracer);
    WatchLog say(options, port);
    std::optional<Signals> last;
    bool gone = false;
    auto next = Clock::now();
    for (;;) {
        const Outcome<Signals> now = Look(link);
        bool written = true;
        if (!now && !gone) {
            gone = true;
            written = say.Gone(now.failure().message);
        } else if (now && (gone || !last || *now != *last)) {
            if (gone) {
                written = say.Back();
            }
            written = written && say.State(*now);
            gone = false;
            last = *now;
        }
        if (!written) {
            return 0;  // nobody reads the output any more
        }
        next += interval;
        const auto wait = std::max(next - Clock::now(), Clock::duration::zero());
        next = Clock::now() + wait;
        if (WaitForStopRequest(std::chrono::duration_cast<std::chrono::nanoseconds>(wait))) {
            return 0;
        }
    }
}

}  // namespace kestrow::cli
