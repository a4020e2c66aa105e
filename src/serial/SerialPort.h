// A thin object over one serial port. The operations keep the names and meaning of the Windows
// communications calls. The port's form chooses the transport under it (SerialBackend.h): a tty
// (termios), a Win32 COM handle, or a network connection (RFC 2217 or raw TCP). The read and
// write time-outs and the reports are this class's own, the same over every transport: every
// failed call is reported through the reporter of SerialTypes.h with its fixed text and
// caption; nothing here shows anything.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "ports/PortNaming.h"
#include "serial/SerialTypes.h"

#ifdef _WIN32
struct _OVERLAPPED;
struct _COMMCONFIG;
#endif

namespace kestrow {

namespace detail {
class SerialBackend;
struct Status;
}  // namespace detail

class SerialPort {
  public:
    SerialPort();
    virtual ~SerialPort();  // closes the port; virtual since OnIoComplete may be overridden
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device (or connects to the server) of `port` and configures the line. A port
    // without a device and a number outside 0..255 leaves the object closed silently; one
    // whose number names no device is reported as a failed open. Closes a handle already held
    // first. Callers test IsOpen().
    void Open(const ComPort& port, uint32_t baud, SerialParity parity, uint8_t dataBits,
              SerialStopBits stopBits, SerialFlowControl flowControl, bool overlapped);
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

    // Synchronous read and write under the current time-outs; they return the number of bytes
    // moved, 0 on a closed port or one opened for overlapped I/O.
    [[nodiscard]] uint32_t Read(void* buffer, uint32_t count);
    uint32_t Write(const void* buffer, uint32_t count);

    // Drops everything received and not yet read (PurgeComm with PURGE_RXCLEAR).
    void DiscardInput();

    bool GetTimeouts(SerialTimeouts& out);
    bool SetTimeouts(const SerialTimeouts& in);
    bool NoWaitTimeouts();   // interval MAXDWORD, everything else 0
    bool NoWriteTimeouts();  // both write fields 0
    bool NoReadTimeouts();   // interval MAXDWORD, both read totals 0

    // Told every synchronous Read and Write from now on (kestrowctl --trace); none by default.
    void SetTracer(SerialTracer tracer) { tracer_ = std::move(tracer); }

    // Adopts a handle (closing the current one) or gives it away without closing it.
    void Attach(NativeHandle handle);
    [[nodiscard]] NativeHandle Detach();

    bool GetState(SerialState& out);
    bool SetState(const SerialState& in);

    bool Purge(uint32_t flags);
    bool TerminateOutstandingWrites() { return Purge(kPurgeTxAbort); }
    bool TerminateOutstandingReads() { return Purge(kPurgeRxAbort); }
    bool ClearWriteBuffer() { return Purge(kPurgeTxClear); }
    bool ClearReadBuffer() { return Purge(kPurgeRxClear); }

    bool Flush();
    bool SetBreak();
    bool ClearBreak();
    bool Escape(SerialEscape function);
    bool ClearDtr() { return Escape(SerialEscape::ClearDtr); }
    bool ClearRts() { return Escape(SerialEscape::ClearRts); }
    bool SetDtr() { return Escape(SerialEscape::SetDtr); }
    bool SetRts() { return Escape(SerialEscape::SetRts); }
    bool SetXoff() { return Escape(SerialEscape::SetXoff); }
    bool SetXon() { return Escape(SerialEscape::SetXon); }

    bool GetModemStatus(uint32_t& status);
    bool ClearError(uint32_t& errors);
    bool GetStatus(uint32_t& errors, SerialQueueStatus& status);
    bool GetProperties(SerialProperties& out);
    bool Setup(uint32_t inQueue, uint32_t outQueue);
    bool TransmitChar(char c);
    bool SetMask(uint32_t mask);
    bool GetMask(uint32_t& mask);
    // Blocks until one of the events of the mask happens (on POSIX: received data, modem lines).
    bool WaitEvent(uint32_t& events);

#ifdef _WIN32
    // Overlapped and completion-routine I/O exist on Windows only.
    bool Read(void* buffer, uint32_t count, _OVERLAPPED* overlapped);
    bool Write(const void* buffer, uint32_t count, _OVERLAPPED* overlapped);
    bool GetOverlappedResult(_OVERLAPPED* overlapped, uint32_t& count, bool wait);
    bool ReadEx(void* buffer, uint32_t count);
    bool WriteEx(const void* buffer, uint32_t count);
    bool CancelIo();
    bool WaitEvent(uint32_t& events, _OVERLAPPED* overlapped);
    bool GetConfig(_COMMCONFIG& config);
    bool SetConfig(_COMMCONFIG& config);
    static bool GetDefaultConfig(int port, _COMMCONFIG& config);
    static bool SetDefaultConfig(int port, _COMMCONFIG& config);
    // Called for every completed ReadEx/WriteEx; frees the record ReadEx/WriteEx allocated.
    virtual void OnIoComplete(uint32_t errorCode, uint32_t bytesTransferred,
                              _OVERLAPPED* overlapped);
#endif

  private:
    void Trace(TraceDirection direction, const void* bytes, uint32_t count,
               uint32_t requested) const;
    // Reports a failed call once: after a report that the device went away, the calls that
    // follow on the same port fail quietly (see Vanished()). True when `status` is a success.
    bool Check(const detail::Status& status);
#ifdef _WIN32
    // The Win32-only calls go to the COM handle itself. DirectHandle puts the port's time-outs
    // (for a transfer) or its caller's event mask on the handle first. CheckWin32 reports a
    // failed call (ok == 0) through Check, but not an overlapped operation that is under way
    // when pendingIsOk, and leaves GetLastError as the call left it.
    void* DirectHandle(bool transfer);
    bool CheckWin32(int ok, const char* text, bool pendingIsOk = false);
#endif

    std::unique_ptr<detail::SerialBackend> backend_;
    SerialTracer tracer_;
    std::string path_;  // the device or URL opened, for the reports
    SerialTimeouts timeouts_ = kOpenDefaultTimeouts;
    int openError_ = 0;
    std::string openErrorText_;
    bool vanished_ = false;
    bool overlapped_ = false;
};

}  // namespace kestrow
