// The Win32 COM backend of SerialPort (ComBackendWin32.cpp: open, close, moving bytes, the line
// state; SerialPortExtrasWin32.cpp: the other line calls and SerialPort's Win32-only calls).
// One HANDLE opened with CreateFileA on "\\.\COM<n>", always for overlapped I/O, so that
// nothing the backend does blocks: a read takes only what has come in, a write is handed to the
// driver and goes out in the background (as a tty's kernel buffer sends it), and a wait lasts
// one slice of WaitCommEvent, or of polling the input queue where received data raises no event
// (an adopted handle, Wine's ports on pseudo-terminals). Failures carry the Win32 error code.
// Private to the serial library; no Windows header here.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "serial/SerialBackend.h"
#include "serial/SerialTypes.h"

namespace kestrow::detail::win32 {

inline constexpr int kSliceMs = 20;

// Milliseconds of the next wait: at most min(leftMs, kSliceMs), and none past the idle hook's
// due time.
[[nodiscard]] uint32_t SliceMs(int64_t leftMs);

// The Win32 error codes that mean the device went away under an open handle (unplugged,
// switched off): ERROR_BAD_COMMAND, ERROR_ACCESS_DENIED, ERROR_OPERATION_ABORTED,
// ERROR_DEVICE_NOT_CONNECTED, ERROR_GEN_FAILURE, ERROR_DEV_NOT_EXIST, ERROR_NOT_READY.
[[nodiscard]] bool DeviceGone(uint32_t error);

// The failure of `call` with the error code GetLastError gives.
[[nodiscard]] Status LastFailure(const char* call);

class ComBackend final : public SerialBackend {
  public:
    ComBackend();
    ~ComBackend() override;
    [[nodiscard]] PortForm Form() const override { return PortForm::Device; }
    [[nodiscard]] Status Open(const ComPort& port) override;
    int Close() override;
    [[nodiscard]] bool IsOpen() const override;
    [[nodiscard]] Transfer TryRead(std::span<uint8_t> into) override;
    [[nodiscard]] Transfer TryWrite(std::span<const uint8_t> bytes) override;
    [[nodiscard]] Readiness WaitReady(Direction direction, int64_t leftMs) override;
    [[nodiscard]] Status Purge(bool rx, bool tx) override;
    [[nodiscard]] Status GetState(SerialState& out) override;
    [[nodiscard]] Status SetState(const SerialState& in) override;
    [[nodiscard]] Status Flush() override;
    [[nodiscard]] Status Escape(SerialEscape function) override;
    [[nodiscard]] Status GetModemStatus(uint32_t& status) override;
    [[nodiscard]] Status ClearError(uint32_t& errors) override;
    [[nodiscard]] Status GetStatus(uint32_t& errors, SerialQueueStatus& status) override;
    [[nodiscard]] Status GetProperties(SerialProperties& out) override;
    [[nodiscard]] Status Setup(uint32_t inQueue, uint32_t outQueue) override;
    [[nodiscard]] Status TransmitChar(char c) override;
    [[nodiscard]] Status SetMask(uint32_t mask) override;
    [[nodiscard]] Status GetMask(uint32_t& mask) override;
    [[nodiscard]] Status WaitEvent(uint32_t& events) override;
    [[nodiscard]] NativeHandle Handle() const override { return handle_; }
    void Attach(NativeHandle handle) override;
    [[nodiscard]] NativeHandle Detach() override;

    // For SerialPort's Win32-only calls, which go to the handle directly: puts the caller's
    // time-outs on the handle, or the caller's event mask (the backend's waits add received
    // data to it). A failure names SetCommTimeouts / SetCommMask.
    [[nodiscard]] Status UseTimeouts(const SerialTimeouts& timeouts);
    [[nodiscard]] Status UseCallerMask();

  private:
    struct Io;  // the records and events of the backend's own overlapped operations

    // The bytes waiting in the input queue (ClearCommError); the line errors it clears are kept
    // for the caller's next ClearError / GetStatus.
    [[nodiscard]] Status Queued(uint32_t& count);
    // Waits up to `ms` for received data: with WaitCommEvent, then by polling the queue.
    [[nodiscard]] Readiness WaitReadable(uint32_t ms);
    // One WaitCommEvent for received data, ended after `ms`; stops using events for this handle
    // when the wait ends by itself without one.
    [[nodiscard]] Status WaitForData(uint32_t ms, bool& ready);
    // Lets a write still in progress finish (at most a bound, then aborts it); before the
    // handle is closed or given away.
    void Settle();
    // The outcome of a background write that has finished.
    [[nodiscard]] Status ReapWrite();
    // Forgets what this object knew of the handle it held; `events`: waits may use
    // WaitCommEvent (only on a handle opened here for overlapped I/O).
    void Forget(bool events);

    NativeHandle handle_;
    std::unique_ptr<Io> io_;
    std::optional<SerialTimeouts> applied_;  // what the handle holds, when known
    uint32_t callerMask_ = 0;                // the event mask the caller set
    uint32_t handleMask_ = 0;                // the mask on the handle: the caller's, or more
    uint32_t lineErrors_ = 0;                // cleared by the backend's own ClearCommError
    bool eventsWork_ = false;
};

}  // namespace kestrow::detail::win32
