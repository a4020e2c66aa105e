// A serial port as the box's exchanges use it: open with the line settings, read and write
// under the read time-outs, drop stale input, close. The port's form chooses the transport
// under it (SerialBackend.h): a tty (termios), a Win32 COM handle, or a network connection
// (RFC 2217 or raw TCP). The time-outs and the reports are this class's own, the same over
// every transport: every failed call is reported through the reporter of SerialTypes.h with
// its fixed text and caption, and returned; nothing here shows anything.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "base/Result.h"
#include "ports/PortNaming.h"
#include "serial/SerialTypes.h"

namespace kestrow {

namespace detail {
class SerialBackend;
}  // namespace detail

class SerialPort {
  public:
    SerialPort();
    ~SerialPort();  // closes the port
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device (or connects to the server) of `port`, sets the line and drops stale
    // input; the read time-outs start as OpenDefault. Closes a handle already held first. A
    // port without a device and a number outside 0..255 fails in silence; every other failure
    // is reported. A line the device does not take is reported too, and the port stays open
    // unless the transport cannot go on without it (a network server).
    [[nodiscard]] Result<void> Open(const ComPort& port, const LineSettings& line);
    void Close();  // a failed close is reported; the port is closed all the same
    [[nodiscard]] bool IsOpen() const;

    // Read and write under the read time-outs: the number of bytes moved (fewer than asked
    // when a read ran out of time), 0 on a closed port. A failed call is an Error of kind Gone
    // when the device or the connection went away under the port (unplugged, switched off, the
    // server closed it): that call reports it, and the calls after it on the same port fail
    // without a report of their own.
    [[nodiscard]] Result<uint32_t> Read(std::span<uint8_t> into);
    [[nodiscard]] Result<uint32_t> Write(std::span<const uint8_t> bytes);

    // Drops everything received and not yet read; nothing on a closed port.
    [[nodiscard]] Result<void> DiscardInput();

    void SetReadTimeouts(ReadTimeouts timeouts) { timeouts_ = timeouts; }
    [[nodiscard]] ReadTimeouts GetReadTimeouts() const { return timeouts_; }

    // Told every Read and Write from now on (kestrowctl --trace); none by default.
    void SetTracer(SerialTracer tracer) { tracer_ = std::move(tracer); }

  private:
    void Trace(TraceDirection direction, std::span<const uint8_t> bytes, size_t requested) const;
    // Reports a failed call, once per port after a report that it went away, and gives it back
    // with the port's path.
    [[nodiscard]] Error Report(Error error);

    std::unique_ptr<detail::SerialBackend> backend_;
    SerialTracer tracer_;
    std::string path_;  // the device or URL opened, for the reports
    ReadTimeouts timeouts_ = ReadTimeouts::OpenDefault;
    bool gone_ = false;  // the port went away and that was reported
};

}  // namespace kestrow
