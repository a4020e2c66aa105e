// The Win32 COM backend of SerialPort (ComBackendWin32.cpp): open, the line through the DCB,
// moving bytes, waiting, close. One HANDLE opened with CreateFileA on "\\.\COM<n>", always for
// overlapped I/O, so that nothing the backend does blocks: a read takes only what has come in, a
// write is handed to the driver and goes out in the background (as a tty's kernel buffer sends it),
// and a wait lasts one slice of WaitCommEvent, or of polling the input queue where received data
// raises no event (Wine's ports on pseudo-terminals). Failures carry the Win32 error code. Private
// to the serial library; no Windows header here.
#pragma once

#include <cstdint>
#include <memory>

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

// The failure of `call` with the error code GetLastError gives: Gone when it means that the
// device went away.
[[nodiscard]] Error LastFailure(const char* call);

class ComBackend final : public SerialBackend {
  public:
    ComBackend();
    ~ComBackend() override;
    [[nodiscard]] PortForm Form() const override { return PortForm::Device; }
    [[nodiscard]] Result<void> Open(const ComPort& port) override;
    [[nodiscard]] Result<void> SetLine(const LineSettings& line) override;
    [[nodiscard]] Result<void> Close() override;
    [[nodiscard]] bool IsOpen() const override;
    [[nodiscard]] Result<uint32_t> TryRead(std::span<uint8_t> into) override;
    [[nodiscard]] Result<uint32_t> TryWrite(std::span<const uint8_t> bytes) override;
    [[nodiscard]] Result<Readiness> WaitReady(Direction direction, int64_t leftMs) override;
    [[nodiscard]] Result<void> DiscardInput() override;

  private:
    struct Io;  // the records and events of the backend's own overlapped operations

    // Puts "return at once" on the handle's reads (once per handle).
    [[nodiscard]] Result<void> UseNoWaitTimeouts();
    // The bytes waiting in the input queue (ClearCommError).
    [[nodiscard]] Result<uint32_t> Queued();
    // Waits up to `ms` for received data: with WaitCommEvent, then by polling the queue.
    [[nodiscard]] Result<Readiness> WaitReadable(uint32_t ms);
    // One WaitCommEvent for received data, ended after `ms`: whether data came. Stops using
    // events for this handle when the wait ends by itself without one.
    [[nodiscard]] Result<bool> WaitForData(uint32_t ms);
    // Lets a write still in progress finish (at most a bound, then aborts it); before the
    // handle is closed.
    void Settle();
    // The outcome of a background write that has finished.
    [[nodiscard]] Result<void> ReapWrite();

    void* handle_;  // HANDLE
    std::unique_ptr<Io> io_;
    bool noWaitSet_ = false;  // the handle holds "return at once" for its reads
    bool maskSet_ = false;    // the handle's event mask holds received data
    bool eventsWork_ = false;
};

}  // namespace kestrow::detail::win32
