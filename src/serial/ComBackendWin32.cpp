// The Win32 COM backend: opening "\\.\COM<n>" for overlapped I/O, moving bytes without waiting,
// one slice of waiting, the line state through the DCB, and the system's words for an error
// code. The time-out rules above it are SerialPort's; the other line calls and SerialPort's
// Win32-only calls live in SerialPortExtrasWin32.cpp.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "serial/ComBackendWin32.h"
#include "serial/SerialPortDetail.h"

namespace kestrow::detail {

namespace win32 {
namespace {

static_assert(std::is_same_v<NativeHandle, HANDLE>, "the port keeps a plain HANDLE");

constexpr const char* kReadFailed = "Failed in call to ReadFile\n";
constexpr const char* kWriteFailed = "Failed in call to WriteFile\n";
constexpr const char* kClearErrorFailed = "Failed in call to ClearCommError\n";
constexpr const char* kWaitFailed = "Failed in call to WaitCommEvent\n";
constexpr const char* kGetStateFailed = "Failed in call to GetCommState\n";
constexpr const char* kSetStateFailed = "Failed in call to SetCommState\n";
constexpr const char* kTimeoutsFailed = "Failed in call to SetCommTimeouts\n";
constexpr const char* kMaskFailed = "Failed in call to SetCommMask\n";
constexpr const char* kPurgeFailed = "Failed in call to PurgeComm\n";

// A read returns at once with what is there; a write has no time-out of its own (SerialPort
// applies the caller's while it waits for the write to go out).
constexpr SerialTimeouts kNoWait{kMaxDword, 0, 0, 0, 0};

// How long a Close or Detach lets a write still going out finish; a line held off by flow
// control is given up then. And how long an overlapped operation this backend ends itself may
// take to finish.
constexpr DWORD kDrainMs = 2000;
constexpr DWORD kEndMs = 1000;

// Indexed by the SerialParity / SerialStopBits numbers callers pass.
constexpr std::array<BYTE, 5> kParityTable{EVENPARITY, MARKPARITY, NOPARITY, ODDPARITY,
                                           SPACEPARITY};
constexpr std::array<BYTE, 3> kStopBitsTable{ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};

// Sets field from the table row of value; a value outside the table leaves it as it was.
template <typename Enum, size_t N>
void LookUp(Enum value, const std::array<BYTE, N>& table, BYTE& field) {
    const int index = static_cast<int>(value);
    if (index >= 0 && static_cast<size_t>(index) < N) {
        field = table[static_cast<size_t>(index)];
    }
}

// The enumerator whose table entry is native; fallback when none is.
template <typename Enum, size_t N>
Enum FromTable(BYTE native, const std::array<BYTE, N>& table, Enum fallback) {
    for (size_t i = 0; i < N; ++i) {
        if (table[i] == native) {
            return static_cast<Enum>(i);
        }
    }
    return fallback;
}

DWORD Clamped(size_t count) {
    return static_cast<DWORD>(std::min<size_t>(count, std::numeric_limits<DWORD>::max()));
}

bool Done(const OVERLAPPED& record) {
    return record.Internal != STATUS_PENDING;
}

struct HandleCloser {
    void operator()(void* handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// One overlapped record with its manual-reset event, ready for the next operation.
struct Record {
    UniqueHandle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED overlapped{};

    OVERLAPPED& Fresh() {
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event.get();
        ResetEvent(overlapped.hEvent);
        return overlapped;
    }
};

}  // namespace

struct ComBackend::Io {
    Record read, write, wait;
    std::vector<uint8_t> outbox;  // the bytes of the write that is going out
    bool writing = false;
    DWORD events = 0;  // filled by the pending WaitCommEvent
};

Status LastFailure(const char* call) {
    const DWORD error = GetLastError();
    return Status::Failed(call, static_cast<int>(error), DeviceGone(error));
}

bool DeviceGone(uint32_t error) {
    switch (error) {
        case ERROR_BAD_COMMAND:
        case ERROR_ACCESS_DENIED:
        case ERROR_OPERATION_ABORTED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_GEN_FAILURE:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_NOT_READY:  // also Wine's word for a line whose other end has closed
            return true;
        default:
            return false;
    }
}

uint32_t SliceMs(int64_t leftMs) {
    using namespace std::chrono;
    const auto now = WaitClock::now();
    const auto end =
        std::min(now + milliseconds(std::clamp<int64_t>(leftMs, 0, kSliceMs)), IdleHookDue());
    return static_cast<uint32_t>(
        std::max<int64_t>(duration_cast<milliseconds>(end - now).count(), 0));
}

ComBackend::ComBackend() : handle_(INVALID_HANDLE_VALUE), io_(std::make_unique<Io>()) {}

ComBackend::~ComBackend() {
    (void)Close();
}

bool ComBackend::IsOpen() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

void ComBackend::Forget(bool events) {
    applied_.reset();
    callerMask_ = 0;
    handleMask_ = 0;
    lineErrors_ = 0;
    eventsWork_ = events;
}

Status ComBackend::Open(const ComPort& port) {
    (void)Close();
    // "\\.\COM<n>" as ResolvePort named it; exclusive, as every COM port is.
    HANDLE handle = CreateFileA(port.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return Status::Failed(kOpenFailed, static_cast<int>(GetLastError()));
    }
    handle_ = handle;
    Forget(true);
    return Status::Ok();
}

int ComBackend::Close() {
    if (!IsOpen()) {
        return 0;
    }
    Settle();
    (void)PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR);  // input left unread is dropped
    HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    Forget(false);
    return CloseHandle(handle) ? 0 : static_cast<int>(GetLastError());
}

void ComBackend::Attach(NativeHandle handle) {
    (void)Close();
    handle_ = handle;
    // The handle may be a synchronous one, where an overlapped WaitCommEvent would block: polled.
    Forget(false);
    DWORD mask = 0;
    if (GetCommMask(handle_, &mask)) {
        callerMask_ = mask;
        handleMask_ = mask;
    }
}

NativeHandle ComBackend::Detach() {
    if (IsOpen()) {
        Settle();
        (void)UseCallerMask();
    }
    HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    Forget(false);
    return handle;
}

Status ComBackend::UseTimeouts(const SerialTimeouts& timeouts) {
    if (applied_ == timeouts) {
        return Status::Ok();
    }
    COMMTIMEOUTS native{timeouts.readInterval, timeouts.readTotalMultiplier,
                        timeouts.readTotalConstant, timeouts.writeTotalMultiplier,
                        timeouts.writeTotalConstant};
    if (!SetCommTimeouts(handle_, &native)) {
        applied_.reset();
        return LastFailure(kTimeoutsFailed);
    }
    applied_ = timeouts;
    return Status::Ok();
}

Status ComBackend::UseCallerMask() {
    if (handleMask_ == callerMask_) {
        return Status::Ok();
    }
    if (!SetCommMask(handle_, callerMask_)) {
        return LastFailure(kMaskFailed);
    }
    handleMask_ = callerMask_;
    return Status::Ok();
}

Status ComBackend::Queued(uint32_t& count) {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(handle_, &errors, &stat)) {
        return LastFailure(kClearErrorFailed);
    }
    lineErrors_ |= errors;
    count = stat.cbInQue;
    return Status::Ok();
}

Transfer ComBackend::TryRead(std::span<uint8_t> into) {
    // Only what has come in is asked for. Such a read ends at once everywhere; Wine keeps a
    // read of an empty queue pending whatever the time-outs say.
    uint32_t queued = 0;
    if (Status s = Queued(queued); !s.ok()) {
        return {0, s};
    }
    const DWORD count = std::min(Clamped(into.size()), DWORD{queued});
    if (count == 0) {
        return {};
    }
    if (Status s = UseTimeouts(kNoWait); !s.ok()) {
        return {0, s};
    }
    OVERLAPPED& record = io_->read.Fresh();
    DWORD got = 0;
    if (ReadFile(handle_, into.data(), count, &got, &record)) {
        return {got, {}};
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return {0, LastFailure(kReadFailed)};
    }
    bool ended = false;
    if (WaitForSingleObject(record.hEvent, kSliceMs) != WAIT_OBJECT_0 && !Done(record)) {
        ended = CancelIoEx(handle_, &record) != FALSE;
    }
    if (!GetOverlappedResult(handle_, &record, &got, TRUE) &&
        !(ended && GetLastError() == ERROR_OPERATION_ABORTED)) {
        return {0, LastFailure(kReadFailed)};
    }
    return {got, {}};
}

Status ComBackend::ReapWrite() {
    io_->writing = false;
    DWORD sent = 0;
    if (!GetOverlappedResult(handle_, &io_->write.overlapped, &sent, FALSE)) {
        return LastFailure(kWriteFailed);
    }
    return Status::Ok();
}

Transfer ComBackend::TryWrite(std::span<const uint8_t> bytes) {
    if (io_->writing) {
        if (!Done(io_->write.overlapped)) {
            return {};  // the last write is still going out
        }
        if (Status s = ReapWrite(); !s.ok()) {
            return {0, s};
        }
    }
    if (Status s = UseTimeouts(kNoWait); !s.ok()) {
        return {0, s};
    }
    const DWORD count = Clamped(bytes.size());
    io_->outbox.assign(bytes.begin(), bytes.begin() + count);
    OVERLAPPED& record = io_->write.Fresh();
    DWORD sent = 0;
    if (WriteFile(handle_, io_->outbox.data(), count, &sent, &record)) {
        return {sent, {}};
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return {0, LastFailure(kWriteFailed)};
    }
    io_->writing = true;  // the driver has the bytes; the next write or a Close waits for them
    return {count, {}};
}

void ComBackend::Settle() {
    if (!io_->writing) {
        return;
    }
    OVERLAPPED& record = io_->write.overlapped;
    const auto end = WaitClock::now() + std::chrono::milliseconds(kDrainMs);
    while (!Done(record) && WaitClock::now() < end) {
        (void)WaitForSingleObject(record.hEvent, SliceMs(kSliceMs));
        RunIdleHookIfDue();
    }
    if (!Done(record)) {
        (void)PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
        (void)CancelIoEx(handle_, &record);
    }
    DWORD sent = 0;
    (void)GetOverlappedResult(handle_, &record, &sent, TRUE);
    io_->writing = false;
}

Readiness ComBackend::WaitReady(Direction direction, int64_t leftMs) {
    const DWORD ms = SliceMs(leftMs);
    Readiness r{true, false, {}};
    if (direction == Direction::Read) {
        r = WaitReadable(ms);
    } else if (io_->writing && !Done(io_->write.overlapped)) {
        r.ready = WaitForSingleObject(io_->write.overlapped.hEvent, ms) == WAIT_OBJECT_0;
    }
    RunIdleHookIfDue();
    return r;
}

Readiness ComBackend::WaitReadable(uint32_t ms) {
    const auto end = WaitClock::now() + std::chrono::milliseconds(ms);
    uint32_t queued = 0;
    if (Status s = Queued(queued); !s.ok() || queued > 0) {
        return {s.ok(), false, s};
    }
    if (eventsWork_ && ms > 0) {
        bool ready = false;
        if (Status s = WaitForData(ms, ready); !s.ok() || ready || eventsWork_) {
            return {ready, false, s};
        }
    }
    // No event tells of received data here: the queue is looked at every millisecond.
    while (WaitClock::now() < end) {
        Sleep(1);
        if (Status s = Queued(queued); !s.ok() || queued > 0) {
            return {s.ok(), false, s};
        }
    }
    return {false, false, {}};
}

Status ComBackend::WaitForData(uint32_t ms, bool& ready) {
    if ((handleMask_ & EV_RXCHAR) == 0) {
        if (!SetCommMask(handle_, callerMask_ | EV_RXCHAR)) {
            eventsWork_ = false;
            return Status::Ok();
        }
        handleMask_ = callerMask_ | EV_RXCHAR;
    }
    OVERLAPPED& record = io_->wait.Fresh();
    io_->events = 0;
    if (WaitCommEvent(handle_, &io_->events, &record)) {
        ready = (io_->events & EV_RXCHAR) != 0;
        eventsWork_ = io_->events != 0;
        return Status::Ok();
    }
    if (const DWORD error = GetLastError(); error != ERROR_IO_PENDING) {
        if (DeviceGone(error)) {
            return LastFailure(kWaitFailed);
        }
        eventsWork_ = false;
        return Status::Ok();
    }
    // Bytes that came in before the wait began raise no event of their own.
    uint32_t queued = 0;
    const Status looked = Queued(queued);
    if (looked.ok() && queued == 0) {
        (void)WaitForSingleObject(record.hEvent, ms);
    }
    const bool endedBySelf = Done(record);
    if (!endedBySelf) {
        // Setting the mask ends a pending wait; cancelling is the last resort.
        (void)SetCommMask(handle_, handleMask_);
        if (WaitForSingleObject(record.hEvent, kEndMs) != WAIT_OBJECT_0 && !Done(record)) {
            (void)CancelIoEx(handle_, &record);
        }
    }
    DWORD unused = 0;
    const bool completed = GetOverlappedResult(handle_, &record, &unused, TRUE) != FALSE;
    if (!looked.ok()) {
        return looked;
    }
    ready = queued > 0 || (endedBySelf && (io_->events & EV_RXCHAR) != 0);
    if (endedBySelf && !ready && (!completed || io_->events == 0)) {
        eventsWork_ = false;  // the driver ends waits without an event: poll
    }
    return Status::Ok();
}

Status ComBackend::WaitEvent(uint32_t& events) {
    events = 0;
    if (Status s = UseCallerMask(); !s.ok()) {
        return s;
    }
    OVERLAPPED& record = io_->wait.Fresh();
    io_->events = 0;
    if (!WaitCommEvent(handle_, &io_->events, &record)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            return LastFailure(kWaitFailed);
        }
        // It lasts until an event of the mask comes, in slices so that the idle hook runs.
        while (WaitForSingleObject(record.hEvent, SliceMs(kSliceMs)) == WAIT_TIMEOUT) {
            RunIdleHookIfDue();
        }
        DWORD unused = 0;
        if (!GetOverlappedResult(handle_, &record, &unused, FALSE)) {
            return LastFailure(kWaitFailed);
        }
    }
    events = io_->events;
    return Status::Ok();
}

Status ComBackend::Purge(bool rx, bool tx) {
    DWORD flags = 0;
    if (rx) {
        flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    }
    if (tx) {
        flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    }
    if (!PurgeComm(handle_, flags)) {
        return LastFailure(kPurgeFailed);
    }
    if (tx && io_->writing) {
        DWORD sent = 0;
        (void)GetOverlappedResult(handle_, &io_->write.overlapped, &sent, TRUE);  // aborted
        io_->writing = false;
    }
    return Status::Ok();
}

Status ComBackend::GetState(SerialState& out) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(handle_, &dcb)) {
        return LastFailure(kGetStateFailed);
    }
    out.baudRate = dcb.BaudRate;
    out.byteSize = dcb.ByteSize;
    out.parity = FromTable(dcb.Parity, kParityTable, SerialParity::None);
    out.stopBits = FromTable(dcb.StopBits, kStopBitsTable, SerialStopBits::One);
    out.outxCtsFlow = dcb.fOutxCtsFlow != 0;
    out.outxDsrFlow = dcb.fOutxDsrFlow != 0;
    out.outX = dcb.fOutX != 0;
    out.inX = dcb.fInX != 0;
    out.dsrSensitivity = dcb.fDsrSensitivity != 0;
    out.dtrControl = static_cast<DtrControl>(dcb.fDtrControl);
    out.rtsControl = static_cast<RtsControl>(dcb.fRtsControl);
    out.xonChar = dcb.XonChar;
    out.xoffChar = dcb.XoffChar;
    out.xonLim = dcb.XonLim;
    out.xoffLim = dcb.XoffLim;
    return Status::Ok();
}

Status ComBackend::SetState(const SerialState& in) {
    // Start from what the port reports so that fields SerialState does not carry keep their
    // values (fBinary must stay set, for one).
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(handle_, &dcb)) {
        return LastFailure(kGetStateFailed);
    }
    dcb.BaudRate = in.baudRate;
    dcb.ByteSize = in.byteSize;
    LookUp(in.parity, kParityTable, dcb.Parity);
    LookUp(in.stopBits, kStopBitsTable, dcb.StopBits);
    dcb.fOutxCtsFlow = in.outxCtsFlow ? 1 : 0;
    dcb.fOutxDsrFlow = in.outxDsrFlow ? 1 : 0;
    dcb.fOutX = in.outX ? 1 : 0;
    dcb.fInX = in.inX ? 1 : 0;
    dcb.fDsrSensitivity = in.dsrSensitivity ? 1 : 0;
    dcb.fDtrControl = static_cast<DWORD>(in.dtrControl) & 0x3u;
    dcb.fRtsControl = static_cast<DWORD>(in.rtsControl) & 0x3u;
    dcb.XonChar = in.xonChar;
    dcb.XoffChar = in.xoffChar;
    dcb.XonLim = in.xonLim;
    dcb.XoffLim = in.xoffLim;
    if (!SetCommState(handle_, &dcb)) {
        return LastFailure(kSetStateFailed);
    }
    return Status::Ok();
}

}  // namespace win32
}  // namespace kestrow::detail
