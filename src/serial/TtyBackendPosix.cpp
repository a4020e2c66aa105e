// The tty backend: opening a serial device exclusively, the line through termios, moving bytes
// without waiting and one slice of waiting with poll (at most 20 ms, ending whenever the idle
// hook is due). The time-out rules above it are SerialPort's.
#include <fcntl.h>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <utility>

#include "serial/TtyBackendPosix.h"

namespace kestrow {
namespace {

using detail::Readiness;

constexpr const char* kReadFailed = "Failed in call to read\n";
constexpr const char* kWriteFailed = "Failed in call to write\n";
constexpr const char* kPollFailed = "Failed in call to ppoll\n";
constexpr const char* kGetAttrFailed = "Failed in call to tcgetattr\n";
constexpr const char* kSetAttrFailed = "Failed in call to tcsetattr\n";

// A failed call on the open port with the errno it left: Gone when the error means that the
// device went away.
Error Failed(const char* call, int error) {
    return {.kind = posix::DeviceGone(error) ? ErrorKind::Gone : ErrorKind::Failed,
            .domain = ErrorDomain::Errno,
            .code = error,
            .call = call};
}

// A device that did not open, by the errno the open left.
Error NotOpened(int error) {
    ErrorKind kind = ErrorKind::OpenFailed;
    switch (error) {
        case EACCES:
        case EPERM:
            kind = ErrorKind::Permission;
            break;
        case EBUSY:
            kind = ErrorKind::Busy;
            break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            kind = ErrorKind::NoDevice;
            break;
        default:
            break;
    }
    return {.kind = kind, .domain = ErrorDomain::Errno, .code = error, .call = detail::kOpenFailed};
}

constexpr std::array<std::pair<uint32_t, speed_t>, 10> kBaudTable{{
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
}};
constexpr std::array<std::pair<uint8_t, tcflag_t>, 4> kDataBitsTable{
    {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}}};

// USB serial adapters with a latency timer (FTDI) hold short replies for up to 16 ms; ask the
// driver for low latency where it offers it. Pseudo-terminals and ACM devices do not: ignored.
void AskLowLatency(int fd) {
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(TIOCSSERIAL) && defined(ASYNC_LOW_LATENCY)
    serial_struct s{};
    if (::ioctl(fd, TIOCGSERIAL, &s) != 0) {
        return;
    }
    const auto flags = static_cast<unsigned>(s.flags);
    if ((flags & ASYNC_LOW_LATENCY) == 0) {
        s.flags = static_cast<int>(flags | ASYNC_LOW_LATENCY);
        (void)::ioctl(fd, TIOCSSERIAL, &s);
    }
#else
    (void)fd;
#endif
}

}  // namespace

namespace posix {

TtyBackend::~TtyBackend() {
    (void)Close();
}

Result<void> TtyBackend::Open(const ComPort& port) {
    int fd = -1;
    int error = ENOENT;
    if (!port.path.empty()) {
        fd = ::open(port.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        error = errno;
    }
    if (fd >= 0) {
        // The lock first: a failed open must not touch the exclusive flag of the holder's line.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = (errno == EWOULDBLOCK) ? EBUSY : errno;
            ::close(fd);
            fd = -1;
        } else if (::ioctl(fd, TIOCEXCL) != 0) {
            error = errno;
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        return NotOpened(error);
    }
    fd_ = fd;
    AskLowLatency(fd);
    return {};
}

Result<void> TtyBackend::Close() {
    if (fd_ < 0) {
        return {};
    }
    const int fd = fd_;
    fd_ = -1;
    ::ioctl(fd, TIOCNXCL);
    ::tcflush(fd, TCIFLUSH);  // input left unread is dropped, as on Windows
    ::flock(fd, LOCK_UN);
    if (::close(fd) != 0) {
        return Error{.domain = ErrorDomain::Errno, .code = errno};
    }
    return {};
}

Result<uint32_t> TtyBackend::TryRead(std::span<uint8_t> into) {
    const ssize_t n = ::read(fd_, into.data(), into.size());
    if (n < 0 && !WouldBlock(errno)) {
        return Failed(kReadFailed, errno);
    }
    return static_cast<uint32_t>(std::max<ssize_t>(n, 0));
}

Result<uint32_t> TtyBackend::TryWrite(std::span<const uint8_t> bytes) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && !WouldBlock(errno)) {
        return Failed(kWriteFailed, errno);
    }
    return static_cast<uint32_t>(std::max<ssize_t>(n, 0));
}

Result<Readiness> TtyBackend::WaitReady(detail::Direction direction, int64_t leftMs) {
    const short want = direction == detail::Direction::Read ? POLLIN : POLLOUT;
    const int events = PollSlice(fd_, want, leftMs);
    if (events < 0) {
        return Failed(kPollFailed, errno);
    }
    if ((events & POLLNVAL) != 0) {
        return Failed(kPollFailed, EBADF);
    }
    return Readiness{(events & want) != 0, (events & kHangupEvents) != 0};
}

Result<void> TtyBackend::DiscardInput() {
    if (::tcflush(fd_, TCIFLUSH) != 0) {
        return Failed("Failed in call to tcflush\n", errno);
    }
    return {};
}

Result<void> TtyBackend::SetLine(const LineSettings& line) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return Failed(kGetAttrFailed, errno);
    }
    if (!LineToTermios(line, tio)) {
        return Failed(kSetAttrFailed, EINVAL);
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        return Failed(kSetAttrFailed, errno);
    }
    return {};
}

bool LineToTermios(const LineSettings& line, termios& tio) {
    const auto* speed = std::find_if(kBaudTable.begin(), kBaudTable.end(),
                                     [&](const auto& row) { return row.first == line.baud; });
    const auto* size = std::find_if(kDataBitsTable.begin(), kDataBitsTable.end(),
                                    [&](const auto& row) { return row.first == line.dataBits; });
    if (speed == kBaudTable.end() || size == kDataBitsTable.end()) {
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | size->second;
    if (line.parity != Parity::None) {
        tio.c_cflag |= PARENB | (line.parity == Parity::Odd ? PARODD : 0u);
    }
    if (line.stopBits == StopBits::Two) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    return ::cfsetispeed(&tio, speed->second) == 0 && ::cfsetospeed(&tio, speed->second) == 0;
}

}  // namespace posix
}  // namespace kestrow
