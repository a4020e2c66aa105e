// The tty backend of SerialPort (TtyBackend.cpp: open, close, moving bytes; TtyLine.cpp: the
// line calls) and the helpers POSIX transports share: error words and the sliced wait.
// Private to the device library.
#pragma once

#include <poll.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <system_error>

#include "device/SerialBackend.h"
#include "device/SerialPortDetail.h"
#include "device/SerialTypes.h"

namespace kestrow::posix {

inline constexpr int kSliceMs = 20;

// The errno values that mean the device itself is gone (unplugged, switched off), not that
// one call went wrong.
inline bool DeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// True for the errno values that mean "nothing to move right now".
inline bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// Waits for `events` on fd up to min(leftMs, 20) ms or until the idle hook is due, then runs
// the hook if it is. Returns the poll result events (0 when the slice ran out), or -1 with
// errno set when poll failed. ppoll takes the exact time, so slices end when the hook is due.
inline int PollSlice(int fd, short events, int64_t leftMs) {
    using namespace std::chrono;
    const auto now = detail::WaitClock::now();
    const auto end = std::min(now + milliseconds(std::clamp<int64_t>(leftMs, 0, kSliceMs)),
                              detail::IdleHookDue());
    const auto ns = duration_cast<nanoseconds>(std::max(end - now, nanoseconds::zero())).count();
    const timespec timeout{static_cast<time_t>(ns / 1'000'000'000),
                           static_cast<long>(ns % 1'000'000'000)};
    pollfd p{fd, events, 0};
    const int r = ::ppoll(&p, 1, &timeout, nullptr);
    if (r < 0 && errno != EINTR) {
        return -1;
    }
    detail::RunIdleHookIfDue();
    return r > 0 ? p.revents : 0;
}

inline constexpr short kHangupEvents = POLLHUP | POLLERR | POLLNVAL;

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
