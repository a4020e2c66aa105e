// The box's end of a pseudo-terminal for the serial tests: the slave is linked as COM<kPort>
// in a private ports folder, and the test writes the master.
#pragma once

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "DeviceLink.h"
#include "TestBox.h"

namespace kestrow::test {

using Clock = std::chrono::steady_clock;

inline int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

constexpr int kPort = 201;
inline const std::string kOpenFailed = "Failed to open up the comms port\n";

inline void OpenDefault(SerialPort& port, int number = kPort) {
    (void)OpenBoxPort(port, number);
}

// A recorder, a private ports folder, a pseudo-terminal linked as COM<kPort> and a port object.
class PtyLine {
  public:
    PtyLine() {
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
    ~PtyLine() {
        JoinSender();
        CloseMaster();
    }
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Opens `port` with the panel's arguments; false when the line or the port is not there.
    [[nodiscard]] bool Open() {
        OpenDefault(port);
        return master_ >= 0 && linked_ && port.IsOpen();
    }
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

    RecordingReporter reporter;
    PortsDir ports;
    SerialPort port;

  private:
    int master_ = -1;
    bool linked_ = false;
    std::thread sender_;
};

}  // namespace kestrow::test
