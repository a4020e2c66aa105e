// Helpers shared by the two POSIX files of SerialPort: failure reports and the sliced wait.
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

#include "device/SerialPortDetail.h"
#include "device/SerialTypes.h"

namespace kestrow::posix {

inline constexpr int kSliceMs = 20;

// The system's wording for an error number (thread-safe, unlike strerror).
inline std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

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

// SerialState <-> termios. TermiosToState fills only what termios holds and keeps the rest of
// `out`; StateToTermios makes the line raw and fails on a value termios cannot take.
void TermiosToState(const termios& tio, SerialState& out);
[[nodiscard]] bool StateToTermios(const SerialState& in, termios& tio);

}  // namespace kestrow::posix
