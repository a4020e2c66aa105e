// SerialPort over its backend, the same on every platform and transport: Open and Close, the
// read time-outs over try-read, try-write and wait-ready, and the reports of failed calls.
#include "serial/SerialPort.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <limits>
#include <utility>

#include "base/SystemError.h"
#include "serial/SerialBackend.h"

namespace kestrow {
namespace {

using detail::Direction;
using detail::Status;
using detail::Transfer;
using Clock = std::chrono::steady_clock;

constexpr const char* kReadFailed = "Failed in call to read\n";
constexpr const char* kWriteFailed = "Failed in call to write\n";

// The error number of a line that hung up, in the system's own numbering.
#ifdef _WIN32
constexpr int kLineGone = 1167;  // ERROR_DEVICE_NOT_CONNECTED
#else
constexpr int kLineGone = EIO;
#endif

// How one Read waits: whether bytes already waiting end it at once, and how long it may take.
struct ReadPlan {
    bool returnWaiting = false;
    int64_t totalMs = 0;
};

ReadPlan PlanRead(ReadTimeouts timeouts, uint32_t count) {
    if (timeouts == ReadTimeouts::LongRead) {
        return {false, 5000 + 300 * int64_t{count}};
    }
    return {true, 1000};
}

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Reports a failed close with the error number in the text and caption "error" (lower case).
void ReportCloseFailure(int error) {
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), "Failed to close up the comms port, GetLastError:%d\n",
                  error);
    ReportSerialFailure({text.data(), "error", SystemErrorText(error)});
}

}  // namespace

SerialPort::SerialPort() : backend_(detail::MakeBackend(PortForm::Device)) {}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Check(const Status& status) {
    if (status.ok()) {
        return true;
    }
    if (vanished_) {
        return false;  // told once, by the call that found the device gone
    }
    vanished_ = IsOpen() && status.gone;
    if (status.failedCall == detail::kOpenFailed) {
        // Also a server that refused the session at the first read, after the connect.
        openError_ = status.error;
        openErrorText_ = status.detail;
    }
    std::string detail = status.detail;
    if (detail.empty() && status.error != 0) {
        detail = SystemErrorText(status.error);
    }
    ReportSerialFailure(
        {status.failedCall, "Error", std::move(detail), status.error, path_, status.gone});
    return false;
}

void SerialPort::Open(const ComPort& port, const LineSettings& line) {
    if (port.path.empty() && (port.number < 0 || port.number > kMaxComPort)) {
        return;
    }
    Close();  // a second Open must not leak the handle it held
    if (backend_->Form() != port.form) {
        backend_ = detail::MakeBackend(port.form);
    }
    vanished_ = false;
    openErrorText_.clear();
    path_ = port.path;
    timeouts_ = ReadTimeouts::OpenDefault;
    const Status opened = backend_->Open(port);
    if (!opened.ok()) {
        openError_ = opened.error;
        (void)Check(opened);
        return;
    }
    openError_ = 0;
    const Status set = backend_->SetLine(line);
    if (!set.ok() && !backend_->IsOpen()) {
        // The transport could not take the line settings and closed (a server that does not
        // acknowledge them): the open has failed.
        openError_ = set.error;
        openErrorText_ = set.detail;
    }
    (void)Check(set);
    if (IsOpen()) {
        (void)backend_->DiscardInput();  // a freshly opened port has no stale input
    }
}

void SerialPort::Close() {
    if (!IsOpen()) {
        return;
    }
    if (const int error = backend_->Close(); error != 0) {
        ReportCloseFailure(error);
    }
}

bool SerialPort::IsOpen() const {
    return backend_->IsOpen();
}

uint32_t SerialPort::Read(void* buffer, uint32_t count) {
    if (!IsOpen() || count == 0) {
        return 0;
    }
    const ReadPlan plan = PlanRead(timeouts_, count);
    auto* out = static_cast<uint8_t*>(buffer);
    const auto start = Clock::now();
    uint32_t got = 0;
    bool firstTry = true;
    bool hungUp = false;
    while (got < count) {
        const Transfer t = backend_->TryRead({out + got, count - got});
        if (t.count > 0) {
            got += t.count;
            if (firstTry && plan.returnWaiting) {
                break;  // bytes that were already waiting
            }
            firstTry = false;
            continue;
        }
        firstTry = false;
        if (!t.status.ok()) {
            (void)Check(t.status);
            break;
        }
        if (hungUp) {
            // The other end is gone and nothing is left to read.
            (void)Check(Status::Failed(kReadFailed, kLineGone, true));
            break;
        }
        const int64_t left = plan.totalMs - MsSince(start);
        if (left <= 0) {
            break;
        }
        const detail::Readiness r = backend_->WaitReady(Direction::Read, left);
        if (!r.status.ok()) {
            (void)Check(r.status);
            break;
        }
        hungUp = r.hangup;  // take what is left, then stop
    }
    Trace(TraceDirection::Received, buffer, got, count);
    return got;
}

uint32_t SerialPort::Write(const void* buffer, uint32_t count) {
    if (!IsOpen() || count == 0) {
        return 0;
    }
    const auto* in = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        const Transfer t = backend_->TryWrite({in + done, count - done});
        if (t.count > 0) {
            done += t.count;
            continue;
        }
        if (!t.status.ok()) {
            (void)Check(t.status);
            break;
        }
        const detail::Readiness r =
            backend_->WaitReady(Direction::Write, std::numeric_limits<int64_t>::max());
        if (!r.status.ok()) {
            (void)Check(r.status);
            break;
        }
        if (r.hangup && !r.ready) {
            (void)Check(Status::Failed(kWriteFailed, kLineGone, true));
            break;
        }
    }
    Trace(TraceDirection::Sent, buffer, done, count);
    return done;
}

void SerialPort::Trace(TraceDirection direction, const void* bytes, uint32_t count,
                       uint32_t requested) const {
    if (tracer_) {
        tracer_(direction, {static_cast<const uint8_t*>(bytes), count}, requested);
    }
}

void SerialPort::DiscardInput() {
    if (IsOpen()) {
        (void)Check(backend_->DiscardInput());
    }
}

}  // namespace kestrow
