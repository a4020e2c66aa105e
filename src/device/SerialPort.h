// A thin object over one serial device handle. The operations keep the names and meaning of
// the Windows communications calls; SerialPortPosix.cpp realises them with termios and ioctl,
// SerialPortWin32.cpp with the Win32 calls. Every failed system call is reported through the
// reporter of SerialTypes.h with its fixed text and caption; nothing here shows anything.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "device/PortNaming.h"
#include "device/SerialTypes.h"

#ifdef _WIN32
struct _OVERLAPPED;
struct _COMMCONFIG;
#endif

namespace kestrow {

class SerialPort {
  public:
    SerialPort() = default;
    virtual ~SerialPort();  // closes the port; virtual since OnIoComplete may be overridden
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device of `port` and configures the line. A port without a device and a number
    // outside 0..255 leaves the object closed silently; one whose number names no device is
    // reported as a failed open. Closes a handle already held first. Callers test IsOpen().
    void Open(const ComPort& port, uint32_t baud, SerialParity parity, uint8_t dataBits,
              SerialStopBits stopBits, SerialFlowControl flowControl, bool overlapped);
    void Close();
    [[nodiscard]] bool IsOpen() const;
    // The system's error number of the last Open that failed, 0 after one that succeeded.
    [[nodiscard]] int OpenError() const { return openError_; }
    // True once the device went away under the open port (unplugged, switched off: on POSIX
    // EIO, ENXIO, ENODEV or a hang-up). The call that found it reports it; the calls after it
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

    SerialTracer tracer_;
    int openError_ = 0;
    bool vanished_ = false;
#ifdef _WIN32
    NativeHandle handle_ = reinterpret_cast<NativeHandle>(-1);  // INVALID_HANDLE_VALUE
#else
    // Reports a failed call named `text` ("Failed in call to read\n") once: see Vanished().
    void Fail(const char* text, int error);

    NativeHandle handle_ = -1;
    std::string path_;  // the device opened, for the reports
    SerialTimeouts timeouts_ = kOpenDefaultTimeouts;
    uint32_t eventMask_ = 0;
    // Line settings termios cannot hold (DSR flow, DTR/RTS control, XON/XOFF limits), kept so
    // that GetState gives back what SetState was given.
    SerialState recorded_{};
#endif
    bool overlapped_ = false;
};

}  // namespace kestrow
