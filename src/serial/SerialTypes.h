// Plain types shared by the serial layer and its users: the line settings, the read time-outs,
// the failure reporter, the idle hook and the tracer. No platform headers here.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/Result.h"

namespace kestrow {

// The line a port is set to. The box speaks 115200 8-N-1 and every exchange asks for that; the
// line always runs without flow control, the only setting the program ever used.
enum class Parity { None, Odd, Even };
enum class StopBits { One, Two };
struct LineSettings {
    uint32_t baud = 115200;
    uint8_t dataBits = 8;  // 5 to 8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// How a Read waits, the two ways the program reads:
// - OpenDefault, set by every Open: bytes already waiting return at once; with none waiting the
//   read waits up to 1000 ms for the count asked for.
// - LongRead (the status refresh, the firmware run): the read waits for the count asked for, up
//   to 5000 + 300 x count ms.
// A write waits until every byte went out, or the line failed.
enum class ReadTimeouts { OpenDefault, LongRead };

// One failed system call of the serial layer as the operator sees it: the exact text and
// caption, and the reason in words; and the Error itself, for callers that explain the failure
// in their own words (the device, whether it was refused for permission, went away, ...).
struct SerialReport {
    std::string text;
    std::string caption;
    std::string detail;
    Error error{};
};

using SerialReporter = std::function<void(const SerialReport&)>;

// Installs the function that shows serial failures (the UI shows a message box, tests record)
// and gives back the one it replaces. Safe to call from any thread; reports may come from the
// firmware worker thread.
SerialReporter SetSerialReporter(SerialReporter reporter);
void ReportSerialFailure(const SerialReport& report);

// Called between the slices of every wait of the serial layer, at most 10 ms apart on the
// waiting thread (also where one wait follows another), so that a user-interface thread keeps
// its windows painted within a frame while it blocks on the line.
using IdleHook = std::function<void()>;
void SetIdleHook(IdleHook hook);
void RunIdleHook();

// Waits ms milliseconds in slices, running the idle hook whenever it is due.
void SleepMs(uint32_t ms);

// Told every Read and Write of a SerialPort that was given one (kestrowctl
// --trace): the direction, the bytes that went out or came in, and the count asked for.
enum class TraceDirection { Sent, Received };
using SerialTracer =
    std::function<void(TraceDirection, std::span<const uint8_t> bytes, uint32_t requested)>;

}  // namespace kestrow
