// A serial port as the box's exchanges use it: open with the line settings, read and write
// under the read time-outs, drop stale input, close. The port's form chooses the transport
// under it (SerialBackend.h): a tty (termios), a Win32 COM handle, or a network connection
// (RFC 2217 or raw TCP). The time-outs and the reports are this class's own, the same over
// every transport: every failed call is reported through the reporter of SerialTypes.h with
// its fixed text and caption; nothing here shows anything.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "ports/PortNaming.h"
#include "serial/SerialTypes.h"

namespace kestrow {

namespace detail {
class SerialBackend;
struct Status;
}  // namespace detail

class SerialPort {
  public:
    SerialPort();
    ~SerialPort();  // closes the port
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device (or connects to the server) of `port`, sets the line and drops stale
    // input; the read time-outs start as OpenDefault. A port without a device and a number
    // outside 0..255 leaves the object closed silently; one whose number names no device is
    // reported as a failed open. Closes a handle already held first. Callers test IsOpen().
    void Open(const ComPort& port, const LineSettings& line);
    void Close();
    [[nodiscard]] bool IsOpen() const;
    // The system's error number of the last Open that failed, 0 after one that succeeded.
    [[nodiscard]] int OpenError() const { return openError_; }
    // Why the last Open failed, in words, where the transport knows more than the error number
    // (a network port: "connection refused: nothing listens on 127.0.0.1 port 7000"); empty
    // otherwise.
    [[nodiscard]] const std::string& OpenErrorText() const { return openErrorText_; }
    // True once the device went away under the open port (unplugged, switched off: on POSIX
    // EIO, ENXIO, ENODEV or a hang-up; a network server that closed or reset the connection).
    // The call that found it reports it; the calls after it
    // on the same descriptor fail without a report of their own. Kept after Close, cleared by
    // the next Open, so that a caller can tell a vanished device from a silent box.
    [[nodiscard]] bool Vanished() const { return vanished_; }

    // Read and write under the read time-outs; they return the number of bytes moved, 0 on a
    // closed port.
    [[nodiscard]] uint32_t Read(void* buffer, uint32_t count);
    uint32_t Write(const void* buffer, uint32_t count);

    // Drops everything received and not yet read; nothing on a closed port.
    void DiscardInput();

    void SetReadTimeouts(ReadTimeouts timeouts) { timeouts_ = timeouts; }
    [[nodiscard]] ReadTimeouts GetReadTimeouts() const { return timeouts_; }

    // Told every Read and Write from now on (kestrowctl --trace); none by default.
    void SetTracer(SerialTracer tracer) { tracer_ = std::move(tracer); }

  private:
    void Trace(TraceDirection direction, const void* bytes, uint32_t count,
               uint32_t requested) const;
    // Reports a failed call once: after a report that the device went away, the calls that
    // follow on the same port fail quietly (see Vanished()). True when `status` is a success.
    bool Check(const detail::Status& status);

    std::unique_ptr<detail::SerialBackend> backend_;
    SerialTracer tracer_;
    std::string path_;  // the device or URL opened, for the reports
    ReadTimeouts timeouts_ = ReadTimeouts::OpenDefault;
    int openError_ = 0;
    std::string openErrorText_;
    bool vanished_ = false;
};

}  // namespace kestrow
