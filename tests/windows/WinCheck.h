// The Windows check program's small harness: named checks in groups, skips for what Wine cannot
// show, the recorded serial reports, the box's frame log and a stopwatch.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrow::wincheck {

class Checker {
  public:
    Checker();
    void Group(const std::string& name);
    // Passes when got equals want; the failure line shows both.
    bool Equal(const std::string& name, const std::string& got, const std::string& want);
    bool Expect(const std::string& name, bool ok, const std::string& detail = {});
    // True (and the check counted as skipped) when the program runs under Wine, which cannot
    // show what the check looks at.
    bool SkipUnderWine(const std::string& name);
    // Prints the closing line; the process's exit code.
    [[nodiscard]] int Finish() const;
    // Ends the process with a failure and the closing line when the run takes longer than
    // `seconds`.
    void StartWatchdog(int seconds);

  private:
    bool wine_ = false;
    std::string group_;
    std::atomic<int> passed_ = 0;
    std::atomic<int> failed_ = 0;
    std::atomic<int> skipped_ = 0;
};

// The serial layer's reports since the last call, as "text|caption" lines ("\n" shown as \n).
[[nodiscard]] std::string TakeReports();
void InstallRecordingReporter();

// The frames a simulated box printed ("<- 05 6C 93 05 F7" lines of kestrow-boxsim's output).
class BoxLog {
  public:
    // Frames logged before the object was made are not taken.
    explicit BoxLog(std::string path);
    // The frames logged since the last call, waiting up to 2 s for at least `expected` of them;
    // one line each, bytes in upper-case hex.
    [[nodiscard]] std::string TakeFrames(size_t expected);

  private:
    std::vector<std::string> ReadFrames() const;
    std::string path_;
    size_t taken_ = 0;
};

class Stopwatch {
  public:
    [[nodiscard]] int64_t ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
    }

  private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_ = Clock::now();
};

// Checks that a measured wait lies within a wide margin of the expected one.
bool ExpectWait(Checker& check, const std::string& name, int64_t tookMs, int64_t expectedMs);

[[nodiscard]] std::string Hex(const uint8_t* bytes, size_t count);

// The ports the checks use, by COM number, and the answering and silent boxes' frame logs.
struct Setup {
    int answering = 0;
    int silent = 0;
    int absent = 0;
    std::string answeringLog;
    std::string silentLog;
};

// The groups (SerialChecks.cpp and LinkChecks.cpp).
void CheckLineSettings(Checker& check, const Setup& setup);
void CheckTimeouts(Checker& check, const Setup& setup);
void CheckOverlapped(Checker& check, const Setup& setup);
void CheckFailureTexts(Checker& check, const Setup& setup);
void CheckWindowsOnly(Checker& check, const Setup& setup);
void CheckTransactions(Checker& check, const Setup& setup);

}  // namespace kestrow::wincheck
