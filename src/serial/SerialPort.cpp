// SerialPort over its backend, the same on every platform and transport: Open and Close, the
// read and write time-outs (the Windows COMMTIMEOUTS rules over try-read, try-write and
// wait-ready), the reports of failed calls, the time-out shorthands, and the handling of Open's
// arguments.
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

#include "base/SystemError.h"
#include "serial/SerialBackend.h"
#include "serial/SerialPort.h"
#include "serial/SerialPortDetail.h"

namespace kestrow {
namespace {

// What each SerialFlowControl value sets, indexed by its number.
struct FlowControlRow {
    bool ctsFlow;
    bool dsrFlow;
    bool rtsHandshake;  // RTS control becomes handshake, otherwise it stays as read
    bool dtrHandshake;  // DTR control becomes handshake, otherwise it stays as read
    bool xonXoff;       // XON/XOFF both ways with characters 11 and 13 and limits 100
};
constexpr std::array<FlowControlRow, 6> kFlowControlTable{{
    {false, false, false, false, false},  // none
    {true, false, true, false, false},    // CTS/RTS
    {true, false, false, true, false},    // CTS/DTR
    {false, true, true, false, false},    // DSR/RTS
    {false, true, false, true, false},    // DSR/DTR
    {false, false, false, false, true},   // XON/XOFF
}};

template <typename Enum>
bool InRange(Enum value, int last) {
    const int v = static_cast<int>(value);
    return v >= 0 && v <= last;
}

void ReportBadArgument() {
    ReportSerialFailure({"Error", "Error", {}});
}

using Clock = std::chrono::steady_clock;

constexpr const char* kReadFailed = "Failed in call to read\n";
constexpr const char* kWriteFailed = "Failed in call to write\n";

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

// The error numbers of failures found above the system calls, in the system's own numbering.
#ifdef _WIN32
constexpr int kNotSupported = 50;   // ERROR_NOT_SUPPORTED
constexpr int kNotOpen = 6;         // ERROR_INVALID_HANDLE
constexpr int kLineGone = 1167;     // ERROR_DEVICE_NOT_CONNECTED
constexpr int kCannotMove = 10035;  // WSAEWOULDBLOCK
#else
constexpr int kNotSupported = ENOTSUP;
constexpr int kNotOpen = EBADF;
constexpr int kLineGone = EIO;
constexpr int kCannotMove = EAGAIN;
#endif

}  // namespace

namespace detail {

void ApplyOpenArguments(SerialState& state, uint32_t baud, SerialParity parity, uint8_t dataBits,
                        SerialStopBits stopBits, SerialFlowControl flowControl) {
    state.baudRate = baud;
    state.byteSize = dataBits;
    if (InRange(parity, 4)) {
        state.parity = parity;
    } else {
        ReportBadArgument();
    }
    if (InRange(stopBits, 2)) {
        state.stopBits = stopBits;
    } else {
        ReportBadArgument();
    }
    state.dsrSensitivity = false;
    if (!InRange(flowControl, static_cast<int>(kFlowControlTable.size()) - 1)) {
        ReportBadArgument();
        return;
    }
    const FlowControlRow& row = kFlowControlTable[static_cast<size_t>(flowControl)];
    state.outxCtsFlow = row.ctsFlow;
    state.outxDsrFlow = row.dsrFlow;
    if (row.rtsHandshake) {
        state.rtsControl = RtsControl::Handshake;
    }
    if (row.dtrHandshake) {
        state.dtrControl = DtrControl::Handshake;
    }
    state.outX = row.xonXoff;
    state.inX = row.xonXoff;
    if (row.xonXoff) {
        state.xonChar = 0x11;
        state.xoffChar = 0x13;
        state.xonLim = 100;
        state.xoffLim = 100;
    }
}

void ReportCloseFailure(int error, std::string detail) {
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), "Failed to close up the comms port, GetLastError:%d\n",
                  error);
    ReportSerialFailure({text.data(), "error", std::move(detail)});
}

// The calls a transport does not have: modem lines, break and events belong to a serial device,
// not to a network connection.
Status SerialBackend::Flush() {
    return Status::Failed("Failed in call to FlushFileBuffers\n", kNotSupported);
}
Status SerialBackend::Escape(SerialEscape /*function*/) {
    return Status::Failed("Failed in call to EscapeCommFunction\n", kNotSupported);
}
Status SerialBackend::GetModemStatus(uint32_t& /*status*/) {
    return Status::Failed("Failed in call to GetCommModemStatus\n", kNotSupported);
}
Status SerialBackend::ClearError(uint32_t& errors) {
    errors = 0;
    return Status::Ok();
}
Status SerialBackend::GetStatus(uint32_t& errors, SerialQueueStatus& status) {
    errors = 0;
    status = {};
    return Status::Ok();
}
Status SerialBackend::GetProperties(SerialProperties& out) {
    out = {};
    return Status::Ok();
}
Status SerialBackend::Setup(uint32_t /*inQueue*/, uint32_t /*outQueue*/) {
    return Status::Ok();
}
Status SerialBackend::TransmitChar(char c) {
    const uint8_t byte = static_cast<uint8_t>(c);
    const Transfer t = TryWrite({&byte, 1});
    return !t.status.ok() || t.count == 1 ? t.status : Status::Failed(kWriteFailed, kCannotMove);
}
Status SerialBackend::SetMask(uint32_t /*mask*/) {
    return Status::Failed("Failed in call to SetCommMask\n", kNotSupported);
}
Status SerialBackend::GetMask(uint32_t& /*mask*/) {
    return Status::Failed("Failed in call to GetCommMask\n", kNotSupported);
}
Status SerialBackend::WaitEvent(uint32_t& events) {
    events = 0;
    return Status::Failed("Failed in call to WaitCommEvent\n", kNotSupported);
}
NativeHandle SerialBackend::Handle() const {
    return NativeHandle(-1);
}
void SerialBackend::Attach(NativeHandle /*handle*/) {}
NativeHandle SerialBackend::Detach() {
    return NativeHandle(-1);
}

}  // namespace detail

using detail::Direction;
using detail::Status;
using detail::Transfer;

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

void SerialPort::Open(const ComPort& port, uint32_t baud, SerialParity parity, uint8_t dataBits,
                      SerialStopBits stopBits, SerialFlowControl flowControl, bool overlapped) {
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
    const Status opened = backend_->Open(port);
    if (!opened.ok()) {
        openError_ = opened.error;
        (void)Check(opened);
        return;
    }
    openError_ = 0;
    overlapped_ = overlapped;
    SerialState state;
    if (GetState(state)) {  // never write back settings that were not read
        detail::ApplyOpenArguments(state, baud, parity, dataBits, stopBits, flowControl);
        const Status set = backend_->SetState(state);
        if (!set.ok() && !backend_->IsOpen()) {
            // The transport could not take the line settings and closed (a server that does
            // not acknowledge them): the open has failed.
            openError_ = set.error;
            openErrorText_ = set.detail;
        }
        (void)Check(set);
    }
    timeouts_ = kOpenDefaultTimeouts;
    if (IsOpen()) {
        (void)backend_->Purge(true, false);  // a freshly opened port has no stale input
    }
}

void SerialPort::Close() {
    if (!IsOpen()) {
        return;
    }
    overlapped_ = false;
    if (const int error = backend_->Close(); error != 0) {
        detail::ReportCloseFailure(error, SystemErrorText(error));
    }
}

bool SerialPort::IsOpen() const {
    return backend_->IsOpen();
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
    bool hungUp = false;
    while (got < count) {
        const Transfer t = backend_->TryRead({out + got, count - got});
        if (t.count > 0) {
            got += t.count;
            lastByte = Clock::now();
            if (plan.returnOnAny || (firstTry && plan.returnWaiting)) {
                break;
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
        const int64_t left =
            SliceBudget(Remaining(plan.totalMs, start),
                        got > 0 ? Remaining(plan.intervalMs, lastByte) : std::nullopt);
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
        const Transfer t = backend_->TryWrite({in + done, count - done});
        if (t.count > 0) {
            done += t.count;
            continue;
        }
        if (!t.status.ok()) {
            (void)Check(t.status);
            break;
        }
        const int64_t left = SliceBudget(Remaining(limit, start), std::nullopt);
        if (left <= 0) {
            break;  // write time-out: Windows returns what went out, without a failure
        }
        const detail::Readiness r = backend_->WaitReady(Direction::Write, left);
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
    (void)Purge(kPurgeRxClear);
}

bool SerialPort::Purge(uint32_t flags) {
    const bool tx = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    const bool rx = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    return !(tx || rx) || Check(backend_->Purge(rx, tx));
}

bool SerialPort::GetTimeouts(SerialTimeouts& out) {
    if (!IsOpen()) {
        return Check(Status::Failed("Failed in call to GetCommTimeouts\n", kNotOpen));
    }
    out = timeouts_;
    return true;
}

bool SerialPort::SetTimeouts(const SerialTimeouts& in) {
    if (!IsOpen()) {
        return Check(Status::Failed("Failed in call to SetCommTimeouts\n", kNotOpen));
    }
    timeouts_ = in;
    return true;
}

bool SerialPort::NoWaitTimeouts() {
    return SetTimeouts({kMaxDword, 0, 0, 0, 0});
}

bool SerialPort::NoWriteTimeouts() {
    SerialTimeouts t;
    if (!GetTimeouts(t)) {
        return false;
    }
    t.writeTotalMultiplier = 0;
    t.writeTotalConstant = 0;
    return SetTimeouts(t);
}

bool SerialPort::NoReadTimeouts() {
    SerialTimeouts t;
    if (!GetTimeouts(t)) {
        return false;
    }
    t.readInterval = kMaxDword;
    t.readTotalMultiplier = 0;
    t.readTotalConstant = 0;
    return SetTimeouts(t);
}

void SerialPort::Attach(NativeHandle handle) {
    Close();
    if (backend_->Form() != PortForm::Device) {
        backend_ = detail::MakeBackend(PortForm::Device);
    }
    backend_->Attach(handle);
    path_.clear();
    vanished_ = false;
    overlapped_ = false;
    timeouts_ = kOpenDefaultTimeouts;
}

NativeHandle SerialPort::Detach() {
    overlapped_ = false;
    return backend_->Detach();
}

// The line calls, as the transport carries them out.
bool SerialPort::GetState(SerialState& out) {
    return Check(backend_->GetState(out));
}
bool SerialPort::SetState(const SerialState& in) {
    return Check(backend_->SetState(in));
}
bool SerialPort::Flush() {
    return Check(backend_->Flush());
}
bool SerialPort::SetBreak() {
    return Escape(SerialEscape::SetBreak);
}
bool SerialPort::ClearBreak() {
    return Escape(SerialEscape::ClearBreak);
}
bool SerialPort::Escape(SerialEscape function) {
    return IsOpen() && Check(backend_->Escape(function));  // nothing said on a closed port
}
bool SerialPort::GetModemStatus(uint32_t& status) {
    return IsOpen() && Check(backend_->GetModemStatus(status));
}
bool SerialPort::ClearError(uint32_t& errors) {
    return Check(backend_->ClearError(errors));
}
bool SerialPort::GetStatus(uint32_t& errors, SerialQueueStatus& status) {
    errors = 0;
    return IsOpen() && Check(backend_->GetStatus(errors, status));
}
bool SerialPort::GetProperties(SerialProperties& out) {
    return IsOpen() && Check(backend_->GetProperties(out));
}
bool SerialPort::Setup(uint32_t inQueue, uint32_t outQueue) {
    return Check(backend_->Setup(inQueue, outQueue));
}
bool SerialPort::TransmitChar(char c) {
    return Check(backend_->TransmitChar(c));
}
bool SerialPort::SetMask(uint32_t mask) {
    return IsOpen() && Check(backend_->SetMask(mask));
}
bool SerialPort::GetMask(uint32_t& mask) {
    if (!IsOpen()) {
        return Check(Status::Failed("Failed in call to GetCommMask\n", kNotOpen));
    }
    return Check(backend_->GetMask(mask));
}
bool SerialPort::WaitEvent(uint32_t& events) {
    events = 0;
    if (!IsOpen()) {
        return Check(Status::Failed("Failed in call to WaitCommEvent\n", kNotOpen));
    }
    return Check(backend_->WaitEvent(events));
}

}  // namespace kestrow
