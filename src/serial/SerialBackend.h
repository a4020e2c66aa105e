// What a SerialPort hands to the transport under it: a tty, a Win32 COM handle, a network
// connection (RFC 2217 or raw TCP) or the fuzzers' fake line. A backend only opens, sets the
// line, moves bytes without waiting, waits one slice for readiness and drops input; it reports
// nothing itself. SerialPort turns its failures into the operator's reports and applies the
// read and write time-outs over TryRead / TryWrite / WaitReady, so every backend follows the
// same rules. Private to the serial library.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "ports/PortNaming.h"
#include "serial/SerialTypes.h"

namespace kestrow::detail {

// The outcome of one call: success, or the failed call's text ("Failed in call to read\n"),
// the system's error number, and whether it means the device or server went away.
struct Status {
    const char* failedCall = nullptr;
    int error = 0;
    bool gone = false;
    std::string detail{};  // the reason in words, when the error number's text is not enough

    [[nodiscard]] bool ok() const { return failedCall == nullptr; }
    [[nodiscard]] static Status Ok() { return {}; }
    [[nodiscard]] static Status Failed(const char* call, int error, bool gone = false,
                                       std::string detail = {}) {
        return {call, error, gone, std::move(detail)};
    }
};

// Bytes moved by TryRead / TryWrite: `count` may be 0 (nothing can move now).
struct Transfer {
    uint32_t count = 0;
    Status status;
};

// What one slice of WaitReady saw.
struct Readiness {
    bool ready = false;   // the direction waited for can make progress
    bool hangup = false;  // the other end is gone: what is left can still be read once
    Status status;
};

enum class Direction { Read, Write };

// The texts of the calls every backend shares.
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
    // failure's text is kOpenFailed.
    [[nodiscard]] virtual Status Open(const ComPort& port) = 0;
    // Sets the line. A failure that leaves the transport unusable (a server that does not take
    // the line settings) closes it: the open has failed.
    [[nodiscard]] virtual Status SetLine(const LineSettings& line) = 0;
    // Closes; the error number of a failed close, 0 otherwise. Input left unread is dropped.
    virtual int Close() = 0;
    [[nodiscard]] virtual bool IsOpen() const = 0;

    [[nodiscard]] virtual Transfer TryRead(std::span<uint8_t> into) = 0;
    [[nodiscard]] virtual Transfer TryWrite(std::span<const uint8_t> bytes) = 0;
    // Waits for the direction until it can make progress, or at most min(leftMs, one slice of
    // 20 ms) and never past the idle hook's due time; runs the hook when due.
    [[nodiscard]] virtual Readiness WaitReady(Direction direction, int64_t leftMs) = 0;

    // Drops what was received and not yet read (for a network port also what its server holds).
    [[nodiscard]] virtual Status DiscardInput() = 0;
};

// The backend for a form of port: the one place where the transport is chosen.
[[nodiscard]] std::unique_ptr<SerialBackend> MakeBackend(PortForm form);

}  // namespace kestrow::detail
