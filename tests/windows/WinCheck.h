// The harness of the check programs scripts/windows-check runs under Wine (kestrow-wincheck,
// kestrow-dialogkit-check; the panel driver uses its waits): named checks in groups, measured
// waits, and the closing line "PROGRAM: N passed, M failed" that the script reads (a run that
// hangs ends at the script's time-out, without it, and so counts as failed).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace kestrow::wincheck {

using Clock = std::chrono::steady_clock;
inline int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Waits until `done` holds or `ms` have passed, looking every 10 ms; whether it held.
inline bool WaitFor(int64_t ms, const std::function<bool()>& done) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class Checker {
  public:
    explicit Checker(const char* program) : program_(program) {}
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
    bool Equal(const std::string& name, long long got, long long want) {
        return Equal(name, std::to_string(got), std::to_string(want));
    }
    // A measured wait within a wide margin: a loaded machine may be late, never early.
    bool Wait(const std::string& name, int64_t tookMs, int64_t expectedMs) {
        const int64_t low = expectedMs * 9 / 10 - 30, high = expectedMs * 13 / 10 + 500;
        return Expect(name + " takes " + std::to_string(expectedMs) + " ms",
                      tookMs >= low && tookMs <= high,
                      "took " + std::to_string(tookMs) + " ms, allowed " + std::to_string(low) +
                          " to " + std::to_string(high));
    }
    // The closing line; the exit code, 0 only when every check passed.
    int Finish() {
        std::printf("%s: %d passed, %d failed\n", program_, passed_, failed_);
        std::fflush(stdout);
        return failed_ == 0 && passed_ > 0 ? 0 : 1;
    }

  private:
    const char* program_;
    const char* group_ = "";
    int passed_ = 0, failed_ = 0;
};

}  // namespace kestrow::wincheck
