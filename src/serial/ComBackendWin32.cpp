// The Win32 COM backend: opening "\\.\COM<n>" for overlapped I/O, the line through the DCB,
// moving bytes without waiting, one slice of waiting. The time-out rules above it are
// SerialPort's.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <limits>
#include <utility>
#include <vector>

#include "base/UniqueHandleWin32.h"
#include "serial/ComBackendWin32.h"
#include "serial/SerialHooks.h"

namespace kestrow::detail {

namespace win32 {
namespace {

constexpr const char* kReadFailed = "Failed in call to ReadFile\n";
constexpr const char* kWriteFailed = "Failed in call to WriteFile\n";
constexpr const char* kClearErrorFailed = "Failed in call to ClearCommError\n";
constexpr const char* kWaitFailed = "Failed in call to WaitCommEvent\n";
constexpr const char* kGetStateFailed = "Failed in call to GetCommState\n";
constexpr const char* kSetStateFailed = "Failed in call to SetCommState\n";
constexpr const char* kTimeoutsFailed = "Failed in call to SetCommTimeouts\n";
constexpr const char* kPurgeFailed = "Failed in call to PurgeComm\n";

// How long a Close lets a write still going out finish; a line held off is given up then. And
// how long an overlapped operation this backend ends itself may take to finish.
constexpr DWORD kDrainMs = 2000;
constexpr DWORD kEndMs = 1000;

DWORD Clamped(size_t count) {
    return static_cast<DWORD>(std::min<size_t>(count, std::numeric_limits<DWORD>::max()));
}

bool Done(const OVERLAPPED& record) {
    return record.Internal != STATUS_PENDING;
}

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

Error LastFailure(const char* call) {
    const DWORD error = GetLastError();
    return {.kind = DeviceGone(error) ? ErrorKind::Gone : ErrorKind::Failed,
            .domain = ErrorDomain::Win32,
            .code = static_cast<int>(error),
            .call = call};
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

Result<void> ComBackend::Open(const ComPort& port) {
    (void)Close();
    // "\\.\COM<n>" as ResolvePort named it; exclusive, as every COM port is.
    HANDLE handle = CreateFileA(port.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        ErrorKind kind = ErrorKind::OpenFailed;
        switch (error) {
            case ERROR_ACCESS_DENIED:  // a COM port opens for one program at a time
            case ERROR_SHARING_VIOLATION:
                kind = ErrorKind::Busy;
                break;
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                kind = ErrorKind::NoDevice;
                break;
            default:
                break;
        }
        return Error{.kind = kind,
                     .domain = ErrorDomain::Win32,
                     .code = static_cast<int>(error),
                     .call = kOpenFailed};
    }
    handle_ = handle;
    noWaitSet_ = false;
    maskSet_ = false;
    eventsWork_ = true;
    return {};
}

Result<void> ComBackend::Close() {
    if (!IsOpen()) {
        return {};
    }
    Settle();
    (void)PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR);  // input left unread is dropped
    HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    if (!CloseHandle(handle)) {
        return Error{.domain = ErrorDomain::Win32, .code = static_cast<int>(GetLastError())};
    }
    return {};
}

Result<void> ComBackend::SetLine(const LineSettings& line) {
    // Start from what the port reports so that the fields the line settings do not name keep
    // their values (fBinary must stay set, for one; DTR and RTS stay as they are).
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(handle_, &dcb)) {
        return LastFailure(kGetStateFailed);
    }
    dcb.BaudRate = line.baud;
    dcb.ByteSize = line.dataBits;
    dcb.Parity = line.parity == Parity::None  ? NOPARITY
                 : line.parity == Parity::Odd ? ODDPARITY
                                              : EVENPARITY;
    dcb.StopBits = line.stopBits == StopBits::One ? ONESTOPBIT : TWOSTOPBITS;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fDsrSensitivity = 0;
    if (!SetCommState(handle_, &dcb)) {
        return LastFailure(kSetStateFailed);
    }
    return {};
}

Result<void> ComBackend::UseNoWaitTimeouts() {
    if (noWaitSet_) {
        return {};
    }
    // A read returns at once with what is there; a write has no time-out of its own.
    COMMTIMEOUTS noWait{MAXDWORD, 0, 0, 0, 0};
    if (!SetCommTimeouts(handle_, &noWait)) {
        return LastFailure(kTimeoutsFailed);
    }
    noWaitSet_ = true;
    return {};
}

Result<uint32_t> ComBackend::Queued() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(handle_, &errors, &stat)) {
        return LastFailure(kClearErrorFailed);
    }
    return static_cast<uint32_t>(stat.cbInQue);
}

Result<uint32_t> ComBackend::TryRead(std::span<uint8_t> into) {
    // Only what has come in is asked for. Such a read ends at once everywhere; Wine keeps a
    // read of an empty queue pending whatever the time-outs say.
    const Result<uint32_t> queued = Queued();
    if (!queued) {
        return queued;
    }
    const DWORD count = std::min(Clamped(into.size()), DWORD{*queued});
    if (count == 0) {
        return 0u;
    }
    if (Result<void> s = UseNoWaitTimeouts(); !s) {
        return s.error();
    }
    OVERLAPPED& record = io_->read.Fresh();
    DWORD got = 0;
    if (ReadFile(handle_, into.data(), count, &got, &record)) {
        return static_cast<uint32_t>(got);
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return LastFailure(kReadFailed);
    }
    bool ended = false;
    if (WaitForSingleObject(record.hEvent, kSliceMs) != WAIT_OBJECT_0 && !Done(record)) {
        ended = CancelIoEx(handle_, &record) != FALSE;
    }
    if (!GetOverlappedResult(handle_, &record, &got, TRUE) &&
        !(ended && GetLastError() == ERROR_OPERATION_ABORTED)) {
        return LastFailure(kReadFailed);
    }
    return static_cast<uint32_t>(got);
}

Result<void> ComBackend::ReapWrite() {
    io_->writing = false;
    DWORD sent = 0;
    if (!GetOverlappedResult(handle_, &io_->write.overlapped, &sent, FALSE)) {
        return LastFailure(kWriteFailed);
    }
    return {};
}

Result<uint32_t> ComBackend::TryWrite(std::span<const uint8_t> bytes) {
    if (io_->writing) {
        if (!Done(io_->write.overlapped)) {
            return 0u;  // the last write is still going out
        }
        if (Result<void> s = ReapWrite(); !s) {
            return s.error();
        }
    }
    if (Result<void> s = UseNoWaitTimeouts(); !s) {
        return s.error();
    }
    const DWORD count = Clamped(bytes.size());
    io_->outbox.assign(bytes.begin(), bytes.begin() + count);
    OVERLAPPED& record = io_->write.Fresh();
    DWORD sent = 0;
    if (WriteFile(handle_, io_->outbox.data(), count, &sent, &record)) {
        return static_cast<uint32_t>(sent);
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return LastFailure(kWriteFailed);
    }
    io_->writing = true;  // the driver has the bytes; the next write or a Close waits for them
    return static_cast<uint32_t>(count);
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

Result<Readiness> ComBackend::WaitReady(Direction direction, int64_t leftMs) {
    const DWORD ms = SliceMs(leftMs);
    Result<Readiness> r = Readiness{true, false};
    if (direction == Direction::Read) {
        r = WaitReadable(ms);
    } else if (io_->writing && !Done(io_->write.overlapped)) {
        r = Readiness{WaitForSingleObject(io_->write.overlapped.hEvent, ms) == WAIT_OBJECT_0,
                      false};
    }
    RunIdleHookIfDue();
    return r;
}

Result<Readiness> ComBackend::WaitReadable(uint32_t ms) {
    const auto end = WaitClock::now() + std::chrono::milliseconds(ms);
    Result<uint32_t> queued = Queued();
    if (!queued) {
        return queued.error();
    }
    if (*queued > 0) {
        return Readiness{true, false};
    }
    if (eventsWork_ && ms > 0) {
        const Result<bool> ready = WaitForData(ms);
        if (!ready) {
            return ready.error();
        }
        if (*ready || eventsWork_) {
            return Readiness{*ready, false};
        }
    }
    // No event tells of received data here: the queue is looked at every millisecond.
    while (WaitClock::now() < end) {
        Sleep(1);
        queued = Queued();
        if (!queued) {
            return queued.error();
        }
        if (*queued > 0) {
            return Readiness{true, false};
        }
    }
    return Readiness{false, false};
}

Result<bool> ComBackend::WaitForData(uint32_t ms) {
    if (!maskSet_) {
        if (!SetCommMask(handle_, EV_RXCHAR)) {
            eventsWork_ = false;
            return false;
        }
        maskSet_ = true;
    }
    OVERLAPPED& record = io_->wait.Fresh();
    io_->events = 0;
    if (WaitCommEvent(handle_, &io_->events, &record)) {
        eventsWork_ = io_->events != 0;
        return (io_->events & EV_RXCHAR) != 0;
    }
    if (const DWORD error = GetLastError(); error != ERROR_IO_PENDING) {
        if (DeviceGone(error)) {
            return LastFailure(kWaitFailed);
        }
        eventsWork_ = false;
        return false;
    }
    // Bytes that came in before the wait began raise no event of their own.
    const Result<uint32_t> queued = Queued();
    if (queued && *queued == 0) {
        (void)WaitForSingleObject(record.hEvent, ms);
    }
    const bool endedBySelf = Done(record);
    if (!endedBySelf) {
        // Setting the mask ends a pending wait; cancelling is the last resort.
        (void)SetCommMask(handle_, EV_RXCHAR);
        if (WaitForSingleObject(record.hEvent, kEndMs) != WAIT_OBJECT_0 && !Done(record)) {
            (void)CancelIoEx(handle_, &record);
        }
    }
    DWORD unused = 0;
    const bool completed = GetOverlappedResult(handle_, &record, &unused, TRUE) != FALSE;
    if (!queued) {
        return queued.error();
    }
    const bool ready = *queued > 0 || (endedBySelf && (io_->events & EV_RXCHAR) != 0);
    if (endedBySelf && !ready && (!completed || io_->events == 0)) {
        eventsWork_ = false;  // the driver ends waits without an event: poll
    }
    return ready;
}

Result<void> ComBackend::DiscardInput() {
    if (!PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR)) {
        return LastFailure(kPurgeFailed);
    }
    return {};
}

}  // namespace win32
}  // namespace kestrow::detail
