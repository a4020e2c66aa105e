// The tty backend: opening a serial device exclusively, moving bytes without waiting and one
// slice of waiting with poll (at most 20 ms, ending whenever the idle hook is due). The
// time-out rules above it are SerialPort's; the line calls live in TtyLinePosix.cpp.
#include <fcntl.h>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <system_error>

#include "serial/TtyBackendPosix.h"

namespace kestrow {
namespace {

using detail::Readiness;
using detail::Status;
using detail::Transfer;
using posix::Failed;

constexpr const char* kReadFailed = "Failed in call to read\n";
constexpr const char* kWriteFailed = "Failed in call to write\n";
constexpr const char* kPollFailed = "Failed in call to ppoll\n";

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

Status TtyBackend::Open(const ComPort& port) {
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
        return Status::Failed(detail::kOpenFailed, error);
    }
    fd_ = fd;
    recorded_ = SerialState{};
    eventMask_ = 0;
    AskLowLatency(fd);
    return Status::Ok();
}

int TtyBackend::Close() {
    if (fd_ < 0) {
        return 0;
    }
    const int fd = fd_;
    fd_ = -1;
    ::ioctl(fd, TIOCNXCL);
    ::tcflush(fd, TCIFLUSH);  // input left unread is dropped, as on Windows
    ::flock(fd, LOCK_UN);
    return ::close(fd) != 0 ? errno : 0;
}

Transfer TtyBackend::TryRead(std::span<uint8_t> into) {
    const ssize_t n = ::read(fd_, into.data(), into.size());
    if (n > 0) {
        return {static_cast<uint32_t>(n), {}};
    }
    if (n < 0 && !WouldBlock(errno)) {
        return {0, Failed(kReadFailed, errno)};
    }
    return {};
}

Transfer TtyBackend::TryWrite(std::span<const uint8_t> bytes) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n > 0) {
        return {static_cast<uint32_t>(n), {}};
    }
    if (n < 0 && !WouldBlock(errno)) {
        return {0, Failed(kWriteFailed, errno)};
    }
    return {};
}

Readiness TtyBackend::WaitReady(detail::Direction direction, int64_t leftMs) {
    const short want = direction == detail::Direction::Read ? POLLIN : POLLOUT;
    const int events = PollSlice(fd_, want, leftMs);
    if (events < 0) {
        return {false, false, Failed(kPollFailed, errno)};
    }
    if ((events & POLLNVAL) != 0) {
        return {false, false, Failed(kPollFailed, EBADF)};
    }
    return {(events & want) != 0, (events & kHangupEvents) != 0, {}};
}

Status TtyBackend::Purge(bool rx, bool tx) {
    const int queue = tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH);
    if (::tcflush(fd_, queue) != 0) {
        return Failed("Failed in call to tcflush\n", errno);
    }
    return Status::Ok();
}

void TtyBackend::Attach(NativeHandle handle) {
    (void)Close();
    fd_ = handle;
    recorded_ = SerialState{};
    eventMask_ = 0;
}

NativeHandle TtyBackend::Detach() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

Status TtyBackend::Flush() {
    if (::tcdrain(fd_) != 0) {
        return Failed("Failed in call to tcdrain\n", errno);
    }
    return Status::Ok();
}

Status TtyBackend::Setup(uint32_t /*inQueue*/, uint32_t /*outQueue*/) {
    // Linux sizes its tty queues itself; only the descriptor is checked.
    if (::fcntl(fd_, F_GETFL) < 0) {
        return Failed("Failed in call to fcntl\n", errno);
    }
    return Status::Ok();
}

Status TtyBackend::TransmitChar(char c) {
    if (::write(fd_, &c, 1) != 1) {
        return Failed(kWriteFailed, errno);
    }
    return Status::Ok();
}

}  // namespace posix
}  // namespace kestrow
