// The reporter and idle hook shared by the whole serial layer, the hook's cadence during
// waits, and the sliced sleep.
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

#include "serial/SerialHooks.h"
#include "serial/SerialTypes.h"

namespace kestrow {
namespace {

std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}
SerialReporter& Reporter() {
    static SerialReporter r;
    return r;
}
IdleHook& Idle() {
    static IdleHook h;
    return h;
}

using Clock = detail::WaitClock;

// While a thread waits in the serial layer its idle hook runs at least this often, so a window
// waiting on the box repaints within one 60 Hz frame (16.7 ms), with room left for the repaint
// itself and for scheduling delays.
constexpr auto kIdleInterval = std::chrono::milliseconds(10);

// When the hook last ran on this thread. The cadence carries over from one wait to the next,
// so two waits in a row (a sleep, then a read) leave no longer gap where they meet.
thread_local Clock::time_point lastIdle{};

}  // namespace

SerialReporter SetSerialReporter(SerialReporter reporter) {
    std::lock_guard lock(HookMutex());
    return std::exchange(Reporter(), std::move(reporter));
}

void ReportSerialFailure(const SerialReport& report) {
    SerialReporter reporter;
    {
        std::lock_guard lock(HookMutex());
        reporter = Reporter();
    }
    if (reporter) {
        reporter(report);
    }
}

void SetIdleHook(IdleHook hook) {
    std::lock_guard lock(HookMutex());
    Idle() = std::move(hook);
}

void RunIdleHook() {
    IdleHook hook;
    {
        std::lock_guard lock(HookMutex());
        hook = Idle();
    }
    if (hook) {
        hook();
    }
}

namespace detail {

Clock::time_point IdleHookDue() {
    return lastIdle + kIdleInterval;
}

void RunIdleHookIfDue() {
    const auto now = Clock::now();
    if (now >= IdleHookDue()) {
        lastIdle = now;
        RunIdleHook();
    }
}

}  // namespace detail

void SleepMs(uint32_t ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        std::this_thread::sleep_until(std::min(end, detail::IdleHookDue()));
        detail::RunIdleHookIfDue();
    }
}

}  // namespace kestrow
