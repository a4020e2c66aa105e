// SerialPort on POSIX, the line side: SerialState <-> termios and the thin wrappers over the
// modem-line, break, status and event calls. Failures name the system call, as in
// TtyBackendPosix.cpp.
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <utility>

#include "serial/SerialPort.h"
#include "serial/TtyBackendPosix.h"

namespace kestrow {
namespace {

constexpr const char* kGetAttrFailed = "Failed in call to tcgetattr\n";
constexpr const char* kSetAttrFailed = "Failed in call to tcsetattr\n";
constexpr const char* kIoctlFailed = "Failed in call to ioctl\n";
constexpr const char* kFlowFailed = "Failed in call to tcflow\n";
constexpr const char* kPollFailed = "Failed in call to ppoll\n";
// Refused before any system call: the operation's name.
constexpr const char* kWaitFailed = "Failed in call to WaitCommEvent\n";

constexpr std::array<std::pair<speed_t, uint32_t>, 31> kBaudTable{{
    {B50, 50},
    {B75, 75},
    {B110, 110},
    {B134, 134},
    {B150, 150},
    {B200, 200},
    {B300, 300},
    {B600, 600},
    {B1200, 1200},
    {B1800, 1800},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
    {B230400, 230400},
    {B460800, 460800},
    {B500000, 500000},
    {B576000, 576000},
    {B921600, 921600},
    {B1000000, 1000000},
    {B1152000, 1152000},
    {B1500000, 1500000},
    {B2000000, 2000000},
    {B2500000, 2500000},
    {B3000000, 3000000},
    {B3500000, 3500000},
    {B4000000, 4000000},
    {B0, 0},
}};

constexpr std::array<std::pair<tcflag_t, uint8_t>, 4> kByteSizeTable{
    {{CS5, 5}, {CS6, 6}, {CS7, 7}, {CS8, 8}}};

// Parity bits, indexed by the SerialParity numbers (even, mark, none, odd, space).
constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;
constexpr std::array<tcflag_t, 5> kParityFlags{PARENB, PARENB | CMSPAR | PARODD, 0, PARENB | PARODD,
                                               PARENB | CMSPAR};

template <typename Enum>
bool InRange(Enum value, int last) {
    const int v = static_cast<int>(value);
    return v >= 0 && v <= last;
}

}  // namespace

namespace posix {

void TermiosToState(const termios& tio, SerialState& out) {
    out.baudRate = 0;
    for (const auto& [speed, baud] : kBaudTable) {
        if (speed == ::cfgetospeed(&tio)) {
            out.baudRate = baud;
        }
    }
    for (const auto& [flag, size] : kByteSizeTable) {
        if ((tio.c_cflag & CSIZE) == flag) {
            out.byteSize = size;
        }
    }
    out.parity = SerialParity::None;
    if ((tio.c_cflag & PARENB) != 0) {
        for (size_t i = 0; i < kParityFlags.size(); ++i) {
            if ((tio.c_cflag & kParityBits) == kParityFlags[i]) {
                out.parity = static_cast<SerialParity>(i);
            }
        }
    }
    if ((tio.c_cflag & CSTOPB) == 0) {
        out.stopBits = SerialStopBits::One;
    } else if (out.stopBits != SerialStopBits::OnePointFive) {
        out.stopBits = SerialStopBits::Two;  // 1.5 goes out as 2 but reads back as asked
    }
    out.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    out.outX = (tio.c_iflag & IXON) != 0;
    out.inX = (tio.c_iflag & IXOFF) != 0;
    out.xonChar = static_cast<char>(tio.c_cc[VSTART]);
    out.xoffChar = static_cast<char>(tio.c_cc[VSTOP]);
}

bool StateToTermios(const SerialState& in, termios& tio) {
    const auto* speed = std::find_if(kBaudTable.begin(), kBaudTable.end() - 1,
                                     [&](const auto& row) { return row.second == in.baudRate; });
    const auto* size = std::find_if(kByteSizeTable.begin(), kByteSizeTable.end(),
                                    [&](const auto& row) { return row.second == in.byteSize; });
    if (speed == kBaudTable.end() - 1 || size == kByteSizeTable.end() || !InRange(in.parity, 4) ||
        !InRange(in.stopBits, 2)) {
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | kParityBits | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | size->first | kParityFlags[static_cast<size_t>(in.parity)];
    if (in.stopBits != SerialStopBits::One) {
        tio.c_cflag |= CSTOPB;  // termios has no 1.5 stop bits: send 2
    }
    if (in.outxCtsFlow) {
        tio.c_cflag |= CRTSCTS;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_iflag |= (in.outX ? IXON : 0u) | (in.inX ? IXOFF : 0u);
    tio.c_cc[VSTART] = static_cast<cc_t>(in.xonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(in.xoffChar);
    return ::cfsetispeed(&tio, speed->first) == 0 && ::cfsetospeed(&tio, speed->first) == 0;
}

detail::Status TtyBackend::GetState(SerialState& out) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return Failed(kGetAttrFailed, errno);
    }
    out = recorded_;  // the parts termios has no place for
    posix::TermiosToState(tio, out);
    return detail::Status::Ok();
}

detail::Status TtyBackend::SetState(const SerialState& in) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return Failed(kGetAttrFailed, errno);
    }
    if (!posix::StateToTermios(in, tio)) {
        return Failed(kSetAttrFailed, EINVAL);
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return Failed(kSetAttrFailed, errno);
    }
    recorded_ = in;
    return detail::Status::Ok();
}

detail::Status TtyBackend::Escape(SerialEscape function) {
    // clang-format off
    int rc = -1;
    errno = EINVAL;
    int rts = TIOCM_RTS;
    int dtr = TIOCM_DTR;
    switch (function) {
        // As if XOFF / XON had been received: output stops or goes on.
        case SerialEscape::SetXoff: rc = ::tcflow(fd_, TCOOFF); break;
        case SerialEscape::SetXon: rc = ::tcflow(fd_, TCOON); break;
        case SerialEscape::SetRts: rc = ::ioctl(fd_, TIOCMBIS, &rts); break;
        case SerialEscape::ClearRts: rc = ::ioctl(fd_, TIOCMBIC, &rts); break;
        case SerialEscape::SetDtr: rc = ::ioctl(fd_, TIOCMBIS, &dtr); break;
        case SerialEscape::ClearDtr: rc = ::ioctl(fd_, TIOCMBIC, &dtr); break;
        case SerialEscape::SetBreak: rc = ::ioctl(fd_, TIOCSBRK); break;
        case SerialEscape::ClearBreak: rc = ::ioctl(fd_, TIOCCBRK); break;
    }
    // clang-format on
    if (rc != 0) {
        const bool flow = function == SerialEscape::SetXoff || function == SerialEscape::SetXon;
        return Failed(flow ? kFlowFailed : kIoctlFailed, errno);
    }
    return detail::Status::Ok();
}

detail::Status TtyBackend::GetModemStatus(uint32_t& status) {
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) != 0) {
        return Failed(kIoctlFailed, errno);
    }
    status = ((bits & TIOCM_CTS) != 0 ? kModemCtsOn : 0u) |
             ((bits & TIOCM_DSR) != 0 ? kModemDsrOn : 0u) |
             ((bits & TIOCM_RNG) != 0 ? kModemRingOn : 0u) |
             ((bits & TIOCM_CAR) != 0 ? kModemRlsdOn : 0u);
    return detail::Status::Ok();
}

detail::Status TtyBackend::ClearError(uint32_t& errors) {
    errors = 0;  // the tty layer keeps no error bits to hand back
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0) {  // checks the descriptor
        return Failed(kIoctlFailed, errno);
    }
    return detail::Status::Ok();
}

detail::Status TtyBackend::GetStatus(uint32_t& errors, SerialQueueStatus& status) {
    errors = 0;  // the tty layer keeps no error bits to hand back
    int in = 0;
    int out = 0;
    if (::ioctl(fd_, FIONREAD, &in) != 0 || ::ioctl(fd_, TIOCOUTQ, &out) != 0) {
        return Failed(kIoctlFailed, errno);
    }
    status.inQueue = static_cast<uint32_t>(in);
    status.outQueue = static_cast<uint32_t>(out);
    return detail::Status::Ok();
}

detail::Status TtyBackend::GetProperties(SerialProperties& out) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return Failed(kGetAttrFailed, errno);
    }
    out.maxBaud = kBaudTable[kBaudTable.size() - 2].second;
    out.currentRxQueue = 4096;  // the tty layer's receive buffer
    out.currentTxQueue = 4096;
    return detail::Status::Ok();
}

detail::Status TtyBackend::SetMask(uint32_t mask) {
    eventMask_ = mask;
    return detail::Status::Ok();
}

detail::Status TtyBackend::GetMask(uint32_t& mask) {
    mask = eventMask_;
    return detail::Status::Ok();
}

detail::Status TtyBackend::WaitEvent(uint32_t& events) {
    constexpr uint32_t kLineEvents = kEventCts | kEventDsr | kEventRlsd | kEventRing;
    events = 0;
    if (eventMask_ == 0) {
        return Failed(kWaitFailed, EINVAL);
    }
    // Modem lines are sampled every slice (TIOCMIWAIT cannot share a wait with the idle hook).
    const bool watchLines = (eventMask_ & kLineEvents) != 0;
    int lines = 0;
    if (watchLines && ::ioctl(fd_, TIOCMGET, &lines) != 0) {
        return Failed(kIoctlFailed, errno);
    }
    bool txPending = false;
    for (;;) {
        const short want = (eventMask_ & kEventRxChar) != 0 ? POLLIN : 0;
        const int ready = posix::PollSlice(fd_, want, posix::kSliceMs);
        if (ready < 0) {
            return Failed(kPollFailed, errno);
        }
        if ((ready & POLLIN) != 0) {
            events |= kEventRxChar;
        }
        if (watchLines) {
            int now = 0;
            if (::ioctl(fd_, TIOCMGET, &now) != 0) {
                return Failed(kIoctlFailed, errno);
            }
            const int changed = now ^ std::exchange(lines, now);
            events |= ((changed & TIOCM_CTS) != 0 ? kEventCts : 0u) |
                      ((changed & TIOCM_DSR) != 0 ? kEventDsr : 0u) |
                      ((changed & TIOCM_CAR) != 0 ? kEventRlsd : 0u) |
                      ((changed & TIOCM_RNG) != 0 ? kEventRing : 0u);
        }
        if ((eventMask_ & kEventTxEmpty) != 0) {
            int queued = 0;
            if (::ioctl(fd_, TIOCOUTQ, &queued) == 0) {
                events |= (txPending && queued == 0) ? kEventTxEmpty : 0u;
                txPending = queued > 0;
            }
        }
        events &= eventMask_;
        if (events != 0) {
            return detail::Status::Ok();
        }
        if ((ready & posix::kHangupEvents) != 0) {
            return Failed(kPollFailed, EIO);  // the line is gone; no event can come
        }
    }
}

}  // namespace posix
}  // namespace kestrow
