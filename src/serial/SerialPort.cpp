// SerialPort over its backend, the same on every platform and transport: Open and Close, the
// read time-outs over try-read, try-write and wait-ready, and the reports of failed calls.
#include "serial/SerialPort.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

#include "serial/SerialBackend.h"

namespace kestrow {
namespace {

using detail::Direction;
using Clock = std::chrono::steady_clock;

constexpr const char* kReadFailed = "Failed in call to read\n";
constexpr const char* kWriteFailed = "Failed in call to write\n";

// A line that hung up, as the system numbers it.
#ifdef _WIN32
constexpr ErrorDomain kLineGoneDomain = ErrorDomain::Win32;
constexpr int kLineGone = 1167;  // ERROR_DEVICE_NOT_CONNECTED
#else
constexpr ErrorDomain kLineGoneDomain = ErrorDomain::Errno;
constexpr int kLineGone = EIO;
#endif

Error HungUp(const char* call) {
    return {.kind = ErrorKind::Gone, .domain = kLineGoneDomain, .code = kLineGone, .call = call};
}

// How one Read waits: whether bytes already waiting end it at once, and how long it may take.
struct ReadPlan {
    bool returnWaiting = false;
    int64_t totalMs = 0;
};

ReadPlan PlanRead(ReadTimeouts timeouts, size_t count) {
    if (timeouts == ReadTimeouts::LongRead) {
        return {false, 5000 + 300 * static_cast<int64_t>(count)};
    }
    return {true, 1000};
}

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Reports a failed close with the error number in the text and caption "error" (lower case).
void ReportCloseFailure(const Error& error) {
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), "Failed to close up the comms port, GetLastError:%d\n",
                  error.code);
    ReportSerialFailure({text.data(), "error", error.Reason(), error});
}

}  // namespace

SerialPort::SerialPort() : backend_(detail::MakeBackend(PortForm::Device)) {}

SerialPort::~SerialPort() {
    Close();
}

Error SerialPort::Report(Error error) {
    error.path = path_;
    if (gone_) {
        error.kind = ErrorKind::Gone;  // told once, by the call that found the port gone
        return error;
    }
    gone_ = IsOpen() && error.kind == ErrorKind::Gone;
    ReportSerialFailure({error.call, "Error", error.Reason(), error});
    return error;
}

Result<void> SerialPort::Open(const ComPort& port, const LineSettings& line) {
    if (port.path.empty() && (port.number < 0 || port.number > kMaxComPort)) {
        return Error{.kind = ErrorKind::NoDevice, .detail = "no such port", .path = port.path};
    }
    Close();  // a second Open must not leak the handle it held
    if (backend_->Form() != port.form) {
        backend_ = detail::MakeBackend(port.form);
    }
    gone_ = false;
    path_ = port.path;
    timeouts_ = ReadTimeouts::OpenDefault;
    if (Result<void> opened = backend_->Open(port); !opened) {
        return Report(opened.error());
    }
    if (Result<void> set = backend_->SetLine(line); !set) {
        const Error reported = Report(set.error());
        if (!IsOpen()) {
            // The transport could not take the line settings and closed (a server that does
            // not acknowledge them): the open has failed.
            return reported;
        }
    }
    (void)backend_->DiscardInput();  // a freshly opened port has no stale input
    return {};
}

void SerialPort::Close() {
    if (!IsOpen()) {
        return;
    }
    if (Result<void> closed = backend_->Close(); !closed) {
        ReportCloseFailure(closed.error());
    }
}

bool SerialPort::IsOpen() const {
    return backend_->IsOpen();
}

Result<uint32_t> SerialPort::Read(std::span<uint8_t> into) {
    if (!IsOpen() || into.empty()) {
        return 0u;
    }
    const ReadPlan plan = PlanRead(timeouts_, into.size());
    const auto start = Clock::now();
    size_t got = 0;
    bool firstTry = true;
    bool hungUp = false;
    std::optional<Error> failure;
    while (got < into.size()) {
        const Result<uint32_t> t = backend_->TryRead(into.subspan(got));
        if (!t) {
            failure = Report(t.error());
            break;
        }
        if (*t > 0) {
            got += *t;
            if (firstTry && plan.returnWaiting) {
                break;  // bytes that were already waiting
            }
            firstTry = false;
            continue;
        }
        firstTry = false;
        if (hungUp) {
            // The other end is gone and nothing is left to read.
            failure = Report(HungUp(kReadFailed));
            break;
        }
        const int64_t left = plan.totalMs - MsSince(start);
        if (left <= 0) {
            break;
        }
        const Result<detail::Readiness> r = backend_->WaitReady(Direction::Read, left);
        if (!r) {
            failure = Report(r.error());
            break;
        }
        hungUp = r->hangup;  // take what is left, then stop
    }
    Trace(TraceDirection::Received, into.first(got), into.size());
    if (failure) {
        return *failure;
    }
    return static_cast<uint32_t>(got);
}

Result<uint32_t> SerialPort::Write(std::span<const uint8_t> bytes) {
    if (!IsOpen() || bytes.empty()) {
        return 0u;
    }
    size_t done = 0;
    std::optional<Error> failure;
    while (done < bytes.size()) {
        const Result<uint32_t> t = backend_->TryWrite(bytes.subspan(done));
        if (!t) {
            failure = Report(t.error());
            break;
        }
        if (*t > 0) {
            done += *t;
            continue;
        }
        const Result<detail::Readiness> r =
            backend_->WaitReady(Direction::Write, std::numeric_limits<int64_t>::max());
        if (!r) {
            failure = Report(r.error());
            break;
        }
        if (r->hangup && !r->ready) {
            failure = Report(HungUp(kWriteFailed));
            break;
        }
    }
    Trace(TraceDirection::Sent, bytes.first(done), bytes.size());
    if (failure) {
        return *failure;
    }
    return static_cast<uint32_t>(done);
}

void SerialPort::Trace(TraceDirection direction, std::span<const uint8_t> bytes,
                       size_t requested) const {
    if (tracer_) {
        tracer_(direction, bytes, static_cast<uint32_t>(requested));
    }
}

Result<void> SerialPort::DiscardInput() {
    if (!IsOpen()) {
        return {};
    }
    if (Result<void> dropped = backend_->DiscardInput(); !dropped) {
        return Report(dropped.error());
    }
    return {};
}

}  // namespace kestrow
