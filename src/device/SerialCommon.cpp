// The reporter and idle hook shared by the whole device layer, and its sliced sleep.
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

#include "SerialTypes.h"

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

constexpr uint32_t kSliceMs = 20;

}  // namespace

void SetSerialReporter(SerialReporter reporter) {
    std::lock_guard lock(HookMutex());
    Reporter() = std::move(reporter);
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

void SleepMs(uint32_t ms) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto now = Clock::now();
        if (now >= end) {
            return;
        }
        const auto slice =
            std::min<Clock::duration>(end - now, std::chrono::milliseconds(kSliceMs));
        std::this_thread::sleep_for(slice);
        if (Clock::now() < end) {
            RunIdleHook();
        }
    }
}

}  // namespace kestrow
