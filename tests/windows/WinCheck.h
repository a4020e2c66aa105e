// The Windows check program's small harness: named checks in groups, skips for what Wine cannot
// show, measured waits, the recorded serial reports and the boxes' frame logs.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ports/PortNaming.h"
#include "serial/SerialTypes.h"

namespace kestrow::wincheck {

using Clock = std::chrono::steady_clock;
inline int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class Checker {
  public:
    explicit Checker(bool wine) : wine_(wine) {}
    void Group(const char* name) { std::printf("-- %s\n", group_ = name); }
    bool Expect(const std::string& name, bool ok, const std::string& detail = {}) {
        ++(ok ? passed_ : failed_);
        std::printf("%s %s: %s%s%s\n", ok ? "ok  " : "FAIL", group_, name.c_str(),
                    detail.empty() ? "" : " -- ", detail.c_str());
        std::fflush(stdout);
        return ok;
    }
    bool Equal(const std::string& name, const std::string& got, const std::string& want) {
        return Expect(name, got == want,
                      got == want ? "" : "got [" + got + "], want [" + want + "]");
    }
    // A measured wait within a wide margin: a loaded machine may be late, never early.
    bool Wait(const std::string& name, int64_t tookMs, int64_t expectedMs) {
        const int64_t low = expectedMs * 9 / 10 - 30, high = expectedMs * 13 / 10 + 500;
        return Expect(name + " takes " + std::to_string(expectedMs) + " ms",
                      tookMs >= low && tookMs <= high,
                      "took " + std::to_string(tookMs) + " ms, allowed " + std::to_string(low) +
                          " to " + std::to_string(high));
    }
    // True (the check counted as skipped) under Wine, which cannot show what it looks at.
    bool SkipUnderWine(const std::string& name) {
        if (wine_) {
            ++skipped_;
            std::printf("skip %s: %s (Wine cannot show this)\n", group_, name.c_str());
        }
        return wine_;
    }
    // The closing line "wincheck: N passed, M failed, K skipped"; the exit code.
    int Finish() {
        std::printf("wincheck: %d passed, %d failed, %d skipped\n", passed_.load(), failed_.load(),
                    skipped_.load());
        std::fflush(stdout);
        return failed_ == 0 && passed_ > 0 ? 0 : 1;
    }
    // Ends the process as failed, with the closing line, when the run outlasts `seconds`.
    void StartWatchdog(int seconds) {
        std::thread([this, seconds] {
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            ++failed_;
            std::printf("FAIL watchdog: the run did not end within %d s\n", seconds);
            (void)Finish();
            std::_Exit(3);
        }).detach();
    }

  private:
    bool wine_;
    const char* group_ = "";
    std::atomic<int> passed_ = 0, failed_ = 0, skipped_ = 0;
};

// The serial layer's reports (main installs the recorder) as "text|caption" joined by "; ",
// a newline shown as \n. Reported(result) gives the result and the reports since the last call.
inline std::mutex reportsMutex;
inline std::string reports;
inline std::string lastDetail;  // the detail of the last report
inline std::string LastDetail() {
    std::lock_guard lock(reportsMutex);
    return lastDetail;
}
inline std::string Reported(const std::string& result) {
    std::lock_guard lock(reportsMutex);
    const std::string taken = std::exchange(reports, {});
    return result + (taken.empty() ? "" : " " + taken);
}

// Counts the runs of the idle hook while it lives. The device layer runs the hook every 10 ms
// of a wait; a window that waits on the box keeps painting through it.
class IdleCounter {
  public:
    IdleCounter() : last_(Clock::now()) {
        SetIdleHook([this] {
            const auto now = Clock::now();
            longestGapMs_ = std::max(longestGapMs_, MsBetween(last_, now));
            last_ = now;
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
    [[nodiscard]] int64_t LongestGapMs() const {
        return std::max(longestGapMs_, MsBetween(last_, Clock::now()));
    }

  private:
    static int64_t MsBetween(Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
    }
    int runs_ = 0;
    Clock::time_point last_;
    int64_t longestGapMs_ = 0;
};

// The frames a simulated box printed ("<- 05 6C 93 05 F7" lines of kestrow-boxsim's output).
class BoxLog {
  public:
    explicit BoxLog(std::string path) : path_(std::move(path)), taken_(Frames().size()) {}
    // Those since the last call, " | " between them, after waiting up to 2 s for `expected`.
    std::string Take(size_t expected) {
        std::vector<std::string> frames = Frames();
        for (int waited = 0; frames.size() < taken_ + expected && waited < 2000; waited += 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            frames = Frames();
        }
        std::string out;
        for (size_t i = std::exchange(taken_, frames.size()); i < frames.size(); ++i) {
            out += (out.empty() ? "" : " | ") + frames[i];
        }
        return out;
    }

  private:
    std::vector<std::string> Frames() const {
        std::vector<std::string> frames;
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("<- ", 0) == 0) {
                frames.push_back(line.substr(3));
            }
        }
        return frames;
    }
    std::string path_;
    size_t taken_;
};

// The probe, and the report of a port that does not open ("text|caption", as Reported gives it).
constexpr std::array<uint8_t, 5> kProbe{0x05, 0x6C, 0x93, 0x05, 0xF7};
inline const std::string kOpenFailed = "Failed to open up the comms port\\n|Error";

inline std::string Hex(const uint8_t* bytes, size_t count) {
    std::string out;
    char two[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(two, sizeof two, "%s%02X", i == 0 ? "" : " ", bytes[i]);
        out += two;
    }
    return out;
}

// COM n as the Windows build names it.
inline ComPort Com(int number) {
    return ResolvePort(number, {});
}

// The COM numbers of a box that answers, one that stays silent and one with no port; the TCP
// ports of ser2net's RFC 2217 and raw accepters in front of a third (answering) box, that box's
// log, and a port nobody listens on.
struct Setup {
    int answering = 0, silent = 0, absent = 0;
    int rfc2217Port = 0, rawPort = 0, refusedPort = 0;
    std::string networkLog;
};

void CheckNetwork(Checker& check, const Setup& setup);  // NetworkChecks.cpp

}  // namespace kestrow::wincheck
