// What a SerialPort hands to the transport under it: a tty, a Win32 COM handle, a network
// connection (RFC 2217 or raw TCP) or the fuzzers' fake line. A backend only opens, sets the
// line, moves bytes without waiting, waits one slice for readiness and drops input; it reports
// nothing itself. SerialPort turns its failures into the operator's reports and applies the
// read time-outs over TryRead / TryWrite / WaitReady, so every backend follows the same rules.
// Private to the serial library.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "base/Result.h"
#include "ports/PortNaming.h"
#include "serial/SerialTypes.h"

namespace kestrow::detail {

// What one slice of WaitReady saw.
struct Readiness {
    bool ready = false;   // the direction waited for can make progress
    bool hangup = false;  // the other end is gone: what is left can still be read once
};

enum class Direction { Read, Write };

// The text of the call every backend shares: a port that does not open.
inline constexpr const char* kOpenFailed = "Failed to open up the comms port\n";

class SerialBackend {
  public:
    virtual ~SerialBackend() = default;
    SerialBackend() = default;
    SerialBackend(const SerialBackend&) = delete;
    SerialBackend& operator=(const SerialBackend&) = delete;

    // The form of port this backend serves; SerialPort keeps a backend while the form stays.
    [[nodiscard]] virtual PortForm Form() const = 0;

    // Opens `port` exclusively; SerialPort then sets the line and drops stale input. A
    // failure's call is kOpenFailed, its kind one of those that keep a port closed.
    [[nodiscard]] virtual Result<void> Open(const ComPort& port) = 0;
    // Sets the line. A failure that leaves the transport unusable (a server that does not take
    // the line settings) closes it: the open has failed.
    [[nodiscard]] virtual Result<void> SetLine(const LineSettings& line) = 0;
    // Closes, also when the close fails. Input left unread is dropped.
    [[nodiscard]] virtual Result<void> Close() = 0;
    [[nodiscard]] virtual bool IsOpen() const = 0;

    // The bytes moved now; 0 when none can move.
    [[nodiscard]] virtual Result<uint32_t> TryRead(std::span<uint8_t> into) = 0;
    [[nodiscard]] virtual Result<uint32_t> TryWrite(std::span<const uint8_t> bytes) = 0;
    // Waits for the direction until it can make progress, or at most min(leftMs, one slice of
    // 20 ms) and never past the idle hook's due time; runs the hook when due.
    [[nodiscard]] virtual Result<Readiness> WaitReady(Direction direction, int64_t leftMs) = 0;

    // Drops what was received and not yet read (for a network port also what its server holds).
    [[nodiscard]] virtual Result<void> DiscardInput() = 0;
};

// The backend for a form of port: the one place where the transport is chosen.
[[nodiscard]] std::unique_ptr<SerialBackend> MakeBackend(PortForm form);

}  // namespace kestrow::detail
