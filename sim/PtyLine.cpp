#include "sim/PtyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace kestrow::sim {
namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;
constexpr int64_t kBitsPerByte = 10;  // start, 8 data, stop
constexpr int64_t kBaud = 115200;
constexpr int kStalledWriteMs = 200;  // the host reads nothing for this long: drop the rest

bool SetFlags(int fd, int fdFlags, int statusFlags) {
    const int fdOld = fcntl(fd, F_GETFD);
    const int statusOld = fcntl(fd, F_GETFL);
    return fdOld >= 0 && statusOld >= 0 && fcntl(fd, F_SETFD, fdOld | fdFlags) == 0 &&
           fcntl(fd, F_SETFL, statusOld | statusFlags) == 0;
}

bool MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

void SleepUntilNs(int64_t deadline) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadline / kNsPerSecond);
    ts.tv_nsec = static_cast<long>(deadline % kNsPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

int64_t LineTimeNs(int64_t bytes) {
    return bytes * kBitsPerByte * kNsPerSecond / kBaud;
}

std::optional<PtyLine> PtyLine::Open() {
    PtyLine line;
    int pipeFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return std::nullopt;
    }
    line.wakeRead = UniqueFd(pipeFds[0]);
    line.wakeWrite = UniqueFd(pipeFds[1]);
    if (!line.Reopen()) {
        return std::nullopt;
    }
    return line;
}

bool PtyLine::Reopen() {
    Close();
    // Close-on-exec from the start: a program started meanwhile by another thread must not hold
    // the master open, or the line would not go away when the box closes it.
    UniqueFd newMaster(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    char name[128] = {};
    if (!newMaster.valid() || grantpt(newMaster.get()) != 0 || unlockpt(newMaster.get()) != 0 ||
        ptsname_r(newMaster.get(), name, sizeof name) != 0) {
        return false;
    }
    UniqueFd newSlave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!newSlave.valid() || !MakeRaw(newSlave.get()) ||
        !SetFlags(newMaster.get(), FD_CLOEXEC, O_NONBLOCK) ||
        !SetFlags(newSlave.get(), FD_CLOEXEC, O_NONBLOCK)) {
        return false;
    }
    master = std::move(newMaster);
    slave = std::move(newSlave);
    slavePath = name;
    return true;
}

void PtyLine::Wake() const {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite.get(), &byte, 1);
}

void PtyLine::DrainWake() const {
    char buffer[64];
    while (::read(wakeRead.get(), buffer, sizeof buffer) > 0) {
    }
}

void PtyLine::WriteAll(std::span<const uint8_t> bytes) const {
    size_t done = 0;
    while (done < bytes.size() && master.valid()) {
        const ssize_t n = ::write(master.get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master.get(), POLLOUT, 0};
            if (poll(&p, 1, kStalledWriteMs) <= 0) {
                return;
            }
        } else {
            return;
        }
    }
}

bool PtyLine::WriteAsHost(std::span<const uint8_t> bytes) const {
    const ssize_t n = ::write(slave.get(), bytes.data(), bytes.size());
    return n == static_cast<ssize_t>(bytes.size());
}

void PtyLine::Close() {
    master.reset();
    slave.reset();
}

}  // namespace kestrow::sim
