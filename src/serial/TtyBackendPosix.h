// The tty backend of SerialPort (TtyBackendPosix.cpp: open, close, moving bytes;
// TtyLinePosix.cpp: the line calls). Private to the serial library.
#pragma once

#include <termios.h>

#include <cerrno>
#include <cstdint>

#include "serial/PollPosix.h"
#include "serial/SerialBackend.h"
#include "serial/SerialTypes.h"

namespace kestrow::posix {

// The errno values that mean the device itself is gone (unplugged, switched off), not that
// one call went wrong.
inline bool DeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// One tty descriptor, non-blocking, taken exclusively with TIOCEXCL and a flock (root ignores
// TIOCEXCL, so the lock is what keeps a second opener out). A failure names the system call
// that failed ("Failed in call to read").
class TtyBackend final : public detail::SerialBackend {
  public:
    ~TtyBackend() override;
    [[nodiscard]] PortForm Form() const override { return PortForm::Device; }
    [[nodiscard]] detail::Status Open(const ComPort& port) override;
    int Close() override;
    [[nodiscard]] bool IsOpen() const override { return fd_ >= 0; }
    [[nodiscard]] detail::Transfer TryRead(std::span<uint8_t> into) override;
    [[nodiscard]] detail::Transfer TryWrite(std::span<const uint8_t> bytes) override;
    [[nodiscard]] detail::Readiness WaitReady(detail::Direction direction, int64_t leftMs) override;
    [[nodiscard]] detail::Status Purge(bool rx, bool tx) override;
    [[nodiscard]] detail::Status GetState(SerialState& out) override;
    [[nodiscard]] detail::Status SetState(const SerialState& in) override;
    [[nodiscard]] detail::Status Flush() override;
    [[nodiscard]] detail::Status Escape(SerialEscape function) override;
    [[nodiscard]] detail::Status GetModemStatus(uint32_t& status) override;
    [[nodiscard]] detail::Status ClearError(uint32_t& errors) override;
    [[nodiscard]] detail::Status GetStatus(uint32_t& errors, SerialQueueStatus& status) override;
    [[nodiscard]] detail::Status GetProperties(SerialProperties& out) override;
    [[nodiscard]] detail::Status Setup(uint32_t inQueue, uint32_t outQueue) override;
    [[nodiscard]] detail::Status TransmitChar(char c) override;
    [[nodiscard]] detail::Status SetMask(uint32_t mask) override;
    [[nodiscard]] detail::Status GetMask(uint32_t& mask) override;
    [[nodiscard]] detail::Status WaitEvent(uint32_t& events) override;
    [[nodiscard]] NativeHandle Handle() const override { return fd_; }
    void Attach(NativeHandle handle) override;
    [[nodiscard]] NativeHandle Detach() override;

  private:
    int fd_ = -1;
    uint32_t eventMask_ = 0;
    // Line settings termios cannot hold (DSR flow, DTR/RTS control, XON/XOFF limits), kept so
    // that GetState gives back what SetState was given.
    SerialState recorded_{};
};

// A failed call with the errno it left; "gone" when the error means the device went away.
inline detail::Status Failed(const char* call, int error) {
    return detail::Status::Failed(call, error, DeviceGone(error));
}

// SerialState <-> termios. TermiosToState fills only what termios holds and keeps the rest of
// `out`; StateToTermios makes the line raw and fails on a value termios cannot take.
void TermiosToState(const termios& tio, SerialState& out);
[[nodiscard]] bool StateToTermios(const SerialState& in, termios& tio);

}  // namespace kestrow::posix
