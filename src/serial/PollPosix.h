// The sliced wait of the POSIX transports (the tty and the network socket): poll for at most
// one slice, ending whenever the idle hook is due. Private to the serial library.
#pragma once

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>

#include "serial/SerialHooks.h"

namespace kestrow::posix {

inline constexpr int kSliceMs = 20;

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

}  // namespace kestrow::posix
