// The box's end of a pseudo-terminal for the serial tests: the slave is linked as COM<kPort>
// in a private ports folder, and the test reads and writes the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "SerialPort.h"
#include "TestBox.h"

namespace kestrow::test {

using Clock = std::chrono::steady_clock;

inline int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

constexpr int kPort = 201;
inline const std::string kOpenFailed = "Failed to open up the comms port\n";

// The box's end of a pseudo-terminal whose slave is linked as COM<kPort>.
class Pty {
  public:
    explicit Pty(const PortsDir& ports) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            return;
        }
        termios tio{};
        ::tcgetattr(master_, &tio);  // the slave's settings: raw, so nothing echoes back
        ::cfmakeraw(&tio);
        ::tcsetattr(master_, TCSANOW, &tio);
        const std::string link = ports.path() + "/COM" + std::to_string(kPort);
        linked_ = ::symlink(::ptsname(master_), link.c_str()) == 0;
    }
    ~Pty() {
        if (sender_.joinable()) {
            sender_.join();
        }
        CloseMaster();
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    [[nodiscard]] bool ok() const { return master_ >= 0 && linked_; }
    void CloseMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    void Send(const QByteArray& bytes) const {
        QCOMPARE(::write(master_, bytes.constData(), static_cast<size_t>(bytes.size())),
                 static_cast<ssize_t>(bytes.size()));
    }
    void SendLater(QByteArray bytes, int delayMs) {
        sender_ = std::thread([this, bytes, delayMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            (void)::write(master_, bytes.constData(), static_cast<size_t>(bytes.size()));
        });
    }
    void JoinSender() {
        if (sender_.joinable()) {
            sender_.join();
        }
    }
    // What the port sent, up to `count` bytes within `timeoutMs`.
    [[nodiscard]] QByteArray Receive(int count, int timeoutMs) const {
        QByteArray got;
        const auto start = Clock::now();
        while (got.size() < count && MsSince(start) < timeoutMs) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN) != 0) {
                char buffer[64];
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n > 0) {
                    got.append(buffer, static_cast<int>(n));
                }
            }
        }
        return got;
    }

  private:
    int master_ = -1;
    bool linked_ = false;
    std::thread sender_;
};

inline void OpenDefault(SerialPort& port, int number = kPort) {
    port.Open(number, 115200, SerialParity::None, 8, SerialStopBits::One, SerialFlowControl::None,
              false);
}

}  // namespace kestrow::test
