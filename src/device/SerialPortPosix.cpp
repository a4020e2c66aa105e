// SerialPort on POSIX: one non-blocking file descriptor of a tty, taken exclusively with
// TIOCEXCL and a flock (root ignores TIOCEXCL, so the lock is what keeps a second opener out).
// Reads and writes follow the Windows COMMTIMEOUTS rules, waiting with poll in slices of at
// most 20 ms that end whenever the idle hook is due. Line settings live in SerialLinePosix.cpp.
// A failure names the system call that failed ("Failed in call to read"); calls refused before
// any system call is made (a closed port) keep the operation's Windows name.
#include <fcntl.h>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>

#include "device/SerialPort.h"
#include "device/SerialPortDetail.h"
#include "device/SerialPosixDetail.h"

namespace kestrow {
namespace {

using posix::kHangupEvents;
using posix::PollSlice;
using posix::WouldBlock;
using Clock = std::chrono::steady_clock;

constexpr const char* kOpenFailed = "Failed to open up the comms port\n";
constexpr const char* kReadFailed = "Failed in call to read\n";
constexpr const char* kWriteFailed = "Failed in call to write\n";
constexpr const char* kPollFailed = "Failed in call to ppoll\n";

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// How one Read waits, derived from the time-outs the way Windows reads COMMTIMEOUTS.
struct ReadPlan {
    bool returnWaiting = false;  // bytes already waiting end the read at once
    bool returnOnAny = false;    // the first bytes to arrive end the read
    std::optional<int64_t> totalMs;
    std::optional<int64_t> intervalMs;  // longest gap between two bytes after the first
};

ReadPlan PlanRead(const SerialTimeouts& t, uint32_t count) {
    if (t.readInterval == kMaxDword && t.readTotalMultiplier == 0) {
        // Constant 0: return at once with what is waiting. Otherwise waiting bytes return at
        // once, and with none the read waits for `count` bytes up to the constant.
        return {true, t.readTotalConstant == 0, int64_t{t.readTotalConstant}, std::nullopt};
    }
    if (t.readInterval == kMaxDword && t.readTotalMultiplier == kMaxDword &&
        t.readTotalConstant > 0 && t.readTotalConstant < kMaxDword) {
        return {true, true, int64_t{t.readTotalConstant}, std::nullopt};
    }
    const int64_t total = int64_t{t.readTotalMultiplier} * count + t.readTotalConstant;
    ReadPlan plan;
    if (total > 0) {
        plan.totalMs = total;
    }
    if (t.readInterval > 0) {
        plan.intervalMs = int64_t{t.readInterval};
    }
    return plan;
}

// Milliseconds a transfer may still wait; no value means without limit.
std::optional<int64_t> Remaining(std::optional<int64_t> limitMs, Clock::time_point since) {
    if (!limitMs) {
        return std::nullopt;
    }
    return *limitMs - MsSince(since);
}

int64_t SliceBudget(std::optional<int64_t> a, std::optional<int64_t> b) {
    int64_t left = std::numeric_limits<int64_t>::max();
    if (a) {
        left = std::min(left, *a);
    }
    if (b) {
        left = std::min(left, *b);
    }
    return left;
}

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

void SerialPort::Fail(const char* text, int error) {
    if (vanished_) {
        return;  // told once, by the call that found the device gone
    }
    vanished_ = IsOpen() && posix::DeviceGone(error);
    ReportSerialFailure({text, "Error", error != 0 ? posix::ErrorText(error) : std::string{}, error,
                         path_, vanished_});
}

void SerialPort::Open(const ComPort& port, uint32_t baud, SerialParity parity, uint8_t dataBits,
                      SerialStopBits stopBits, SerialFlowControl flowControl, bool overlapped) {
    if (port.path.empty() && (port.number < 0 || port.number > kMaxComPort)) {
        return;
    }
    Close();  // a second Open must not leak the descriptor it held

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
    vanished_ = false;
    path_ = port.path;
    if (fd < 0) {
        openError_ = error;
        Fail(kOpenFailed, error);
        return;
    }
    openError_ = 0;
    handle_ = fd;
    overlapped_ = overlapped;
    recorded_ = SerialState{};
    eventMask_ = 0;
    AskLowLatency(fd);

    SerialState state;
    if (GetState(state)) {  // never write back settings that were not read
        detail::ApplyOpenArguments(state, baud, parity, dataBits, stopBits, flowControl);
        (void)SetState(state);
    }
    timeouts_ = kOpenDefaultTimeouts;
    ::tcflush(fd, TCIFLUSH);  // a freshly opened port has no stale input
}

void SerialPort::Close() {
    if (!IsOpen()) {
        return;
    }
    const int fd = handle_;
    handle_ = -1;
    overlapped_ = false;
    ::ioctl(fd, TIOCNXCL);
    ::tcflush(fd, TCIFLUSH);  // input left unread is dropped, as on Windows
    ::flock(fd, LOCK_UN);
    if (::close(fd) != 0) {
        const int error = errno;
        detail::ReportCloseFailure(error, posix::ErrorText(error));
    }
}

bool SerialPort::IsOpen() const {
    return handle_ >= 0;
}

uint32_t SerialPort::Read(void* buffer, uint32_t count) {
    if (!IsOpen() || overlapped_ || count == 0) {
        return 0;
    }
    const ReadPlan plan = PlanRead(timeouts_, count);
    auto* out = static_cast<uint8_t*>(buffer);
    const auto start = Clock::now();
    auto lastByte = start;
    uint32_t got = 0;
    bool firstTry = true;
    while (got < count) {
        const ssize_t n = ::read(handle_, out + got, count - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            lastByte = Clock::now();
            if (plan.returnOnAny || (firstTry && plan.returnWaiting)) {
                break;
            }
            firstTry = false;
            continue;
        }
        firstTry = false;
        if (n < 0 && !WouldBlock(errno)) {
            Fail(kReadFailed, errno);
            break;
        }
        const int64_t left =
            SliceBudget(Remaining(plan.totalMs, start),
                        got > 0 ? Remaining(plan.intervalMs, lastByte) : std::nullopt);
        if (left <= 0) {
            break;
        }
        const int events = PollSlice(handle_, POLLIN, left);
        if (events < 0) {
            Fail(kPollFailed, errno);
            break;
        }
        if ((events & POLLNVAL) != 0) {
            Fail(kPollFailed, EBADF);
            break;
        }
        if ((events & kHangupEvents) != 0) {
            // The line is gone (e.g. the other end closed); take what is left, then stop.
            const ssize_t last = ::read(handle_, out + got, count - got);
            if (last > 0) {
                got += static_cast<uint32_t>(last);
                lastByte = Clock::now();
                if (plan.returnOnAny) {
                    break;
                }
                continue;
            }
            const int error = last < 0 && !WouldBlock(errno) ? errno : EIO;
            Fail(kReadFailed, posix::DeviceGone(error) ? error : EIO);
            break;
        }
    }
    Trace(TraceDirection::Received, buffer, got, count);
    return got;
}

uint32_t SerialPort::Write(const void* buffer, uint32_t count) {
    if (!IsOpen() || overlapped_ || count == 0) {
        return 0;
    }
    const int64_t total =
        int64_t{timeouts_.writeTotalMultiplier} * count + timeouts_.writeTotalConstant;
    const std::optional<int64_t> limit = total > 0 ? std::optional<int64_t>(total) : std::nullopt;
    const auto* in = static_cast<const uint8_t*>(buffer);
    const auto start = Clock::now();
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(handle_, in + done, count - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && !WouldBlock(errno)) {
            Fail(kWriteFailed, errno);
            break;
        }
        const int64_t left = SliceBudget(Remaining(limit, start), std::nullopt);
        if (left <= 0) {
            break;  // write time-out: Windows returns what went out, without a failure
        }
        const int events = PollSlice(handle_, POLLOUT, left);
        if (events < 0) {
            Fail(kPollFailed, errno);
            break;
        }
        if ((events & kHangupEvents) != 0 && (events & POLLOUT) == 0) {
            Fail(kWriteFailed, EIO);
            break;
        }
    }
    Trace(TraceDirection::Sent, buffer, done, count);
    return done;
}

bool SerialPort::Purge(uint32_t flags) {
    const bool tx = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    const bool rx = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const int queue = tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH);
    if ((tx || rx) && ::tcflush(handle_, queue) != 0) {
        Fail("Failed in call to tcflush\n", errno);
        return false;
    }
    return true;
}

bool SerialPort::GetTimeouts(SerialTimeouts& out) {
    if (!IsOpen()) {
        Fail("Failed in call to GetCommTimeouts\n", EBADF);
        return false;
    }
    out = timeouts_;
    return true;
}

bool SerialPort::SetTimeouts(const SerialTimeouts& in) {
    if (!IsOpen()) {
        Fail("Failed in call to SetCommTimeouts\n", EBADF);
        return false;
    }
    timeouts_ = in;
    return true;
}

void SerialPort::Attach(NativeHandle handle) {
    Close();
    handle_ = handle;
    path_.clear();
    vanished_ = false;
    overlapped_ = false;
    timeouts_ = kOpenDefaultTimeouts;
    recorded_ = SerialState{};
    eventMask_ = 0;
}

NativeHandle SerialPort::Detach() {
    const NativeHandle handle = handle_;
    handle_ = -1;
    overlapped_ = false;
    return handle;
}

bool SerialPort::Flush() {
    if (::tcdrain(handle_) != 0) {
        Fail("Failed in call to tcdrain\n", errno);
        return false;
    }
    return true;
}

bool SerialPort::Setup(uint32_t /*inQueue*/, uint32_t /*outQueue*/) {
    // Linux sizes its tty queues itself; only the descriptor is checked.
    if (::fcntl(handle_, F_GETFL) < 0) {
        Fail("Failed in call to fcntl\n", errno);
        return false;
    }
    return true;
}

bool SerialPort::TransmitChar(char c) {
    if (::write(handle_, &c, 1) != 1) {
        Fail("Failed in call to write\n", errno);
        return false;
    }
    return true;
}

}  // namespace kestrow
