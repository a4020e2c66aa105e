// Helpers shared by the two POSIX files of SerialPort: failure reports and the sliced wait.
// Private to the device library.
#pragma once

#include <poll.h>
#include <termios.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#include "SerialTypes.h"

namespace kestrow::posix {

inline constexpr int kSliceMs = 20;

// The system's wording for an error number (thread-safe, unlike strerror).
inline std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

// Reports a failed call with caption "Error" and the reason behind it.
inline void Fail(const char* text, int error) {
    ReportSerialFailure({text, "Error", error != 0 ? ErrorText(error) : std::string{}});
}

// True for the errno values that mean "nothing to move right now".
inline bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// Waits up to min(leftMs, 20) ms for `events` on fd, then runs the idle hook. Returns the
// poll result events (0 when the slice ran out), or -1 with errno set when poll failed.
inline int PollSlice(int fd, short events, int64_t leftMs) {
    pollfd p{fd, events, 0};
    const int slice = static_cast<int>(leftMs < kSliceMs ? leftMs : kSliceMs);
    const int r = ::poll(&p, 1, slice);
    if (r < 0 && errno != EINTR) {
        return -1;
    }
    RunIdleHook();
    return r > 0 ? p.revents : 0;
}

inline constexpr short kHangupEvents = POLLHUP | POLLERR | POLLNVAL;

// SerialState <-> termios. TermiosToState fills only what termios holds and keeps the rest of
// `out`; StateToTermios makes the line raw and fails on a value termios cannot take.
void TermiosToState(const termios& tio, SerialState& out);
[[nodiscard]] bool StateToTermios(const SerialState& in, termios& tio);

}  // namespace kestrow::posix
