// The tty backend of SerialPort (TtyBackendPosix.cpp). Private to the serial library.
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
    [[nodiscard]] Result<void> Open(const ComPort& port) override;
    [[nodiscard]] Result<void> SetLine(const LineSettings& line) override;
    [[nodiscard]] Result<void> Close() override;
    [[nodiscard]] bool IsOpen() const override { return fd_ >= 0; }
    [[nodiscard]] Result<uint32_t> TryRead(std::span<uint8_t> into) override;
    [[nodiscard]] Result<uint32_t> TryWrite(std::span<const uint8_t> bytes) override;
    [[nodiscard]] Result<detail::Readiness> WaitReady(detail::Direction direction,
                                                      int64_t leftMs) override;
    [[nodiscard]] Result<void> DiscardInput() override;

  private:
    int fd_ = -1;
};

// Puts the line settings on `tio` and makes the line raw, without flow control; false for a
// baud rate or data size termios has no value for.
[[nodiscard]] bool LineToTermios(const LineSettings& line, termios& tio);

}  // namespace kestrow::posix
