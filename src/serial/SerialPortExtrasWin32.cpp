// The Win32 COM backend's other line calls (modem lines, break, queues, events, properties),
// and the calls of SerialPort that exist on Windows only: overlapped and completion-routine
// I/O, CancelIo and the COMMCONFIG records. Those go to the COM handle directly, with the
// port's time-outs and event mask put on it first. Nothing else in the program calls them;
// they keep the class whole.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "base/SystemError.h"
#include "serial/ComBackendWin32.h"
#include "serial/SerialPort.h"
#include "serial/SerialPortDetail.h"

namespace kestrow {

namespace detail::win32 {

Status ComBackend::Flush() {
    if (!FlushFileBuffers(handle_)) {
        return LastFailure("Failed in call to FlushFileBuffers\n");
    }
    return Status::Ok();
}

Status ComBackend::Escape(SerialEscape function) {
    // Break has calls of its own, named in their failures.
    if (function == SerialEscape::SetBreak) {
        return SetCommBreak(handle_) ? Status::Ok()
                                     : LastFailure("Failed in call to SetCommBreak\n");
    }
    if (function == SerialEscape::ClearBreak) {
        return ClearCommBreak(handle_) ? Status::Ok()
                                       : LastFailure("Failed in call to ClearCommBreak\n");
    }
    if (!EscapeCommFunction(handle_, static_cast<DWORD>(function))) {
        return LastFailure("Failed in call to EscapeCommFunction\n");
    }
    return Status::Ok();
}

Status ComBackend::GetModemStatus(uint32_t& status) {
    DWORD value = 0;
    if (!GetCommModemStatus(handle_, &value)) {
        return LastFailure("Failed in call to GetCommModemStatus\n");
    }
    status = value;
    return Status::Ok();
}

Status ComBackend::ClearError(uint32_t& errors) {
    SerialQueueStatus unused;
    return GetStatus(errors, unused);
}

Status ComBackend::GetStatus(uint32_t& errors, SerialQueueStatus& status) {
    DWORD value = 0;
    COMSTAT stat{};
    if (!ClearCommError(handle_, &value, &stat)) {
        return LastFailure("Failed in call to ClearCommError\n");
    }
    // With the errors the backend's own looks at the queue cleared meanwhile.
    errors = value | std::exchange(lineErrors_, 0);
    status.inQueue = stat.cbInQue;
    status.outQueue = stat.cbOutQue;
    return Status::Ok();
}

Status ComBackend::GetProperties(SerialProperties& out) {
    COMMPROP properties{};
    if (!GetCommProperties(handle_, &properties)) {
        return LastFailure("Failed in call to GetCommProperties\n");
    }
    out.maxBaud = properties.dwMaxBaud;
    out.currentTxQueue = properties.dwCurrentTxQueue;
    out.currentRxQueue = properties.dwCurrentRxQueue;
    return Status::Ok();
}

Status ComBackend::Setup(uint32_t inQueue, uint32_t outQueue) {
    if (!SetupComm(handle_, inQueue, outQueue)) {
        return LastFailure("Failed in call to SetupComm\n");
    }
    return Status::Ok();
}

Status ComBackend::TransmitChar(char c) {
    if (!TransmitCommChar(handle_, c)) {
        return LastFailure("Failed in call to TransmitCommChar\n");
    }
    return Status::Ok();
}

Status ComBackend::SetMask(uint32_t mask) {
    if (!SetCommMask(handle_, mask)) {
        return LastFailure("Failed in call to SetCommMask\n");
    }
    callerMask_ = mask;
    handleMask_ = mask;
    return Status::Ok();
}

Status ComBackend::GetMask(uint32_t& mask) {
    DWORD value = 0;
    if (!GetCommMask(handle_, &value)) {
        return LastFailure("Failed in call to GetCommMask\n");
    }
    // The caller's mask, without what the backend's waits added.
    mask = value == handleMask_ ? callerMask_ : value;
    return Status::Ok();
}

}  // namespace detail::win32

namespace {

using detail::Status;
using detail::win32::ComBackend;

static_assert(sizeof(COMMCONFIG) == 52, "the configuration calls take a 52-byte record");

constexpr const char* kErrorCaption = "Error";

// The COM backend under a port, or null when the port is a network one.
ComBackend* Com(detail::SerialBackend* backend) {
    return dynamic_cast<ComBackend*>(backend);
}

// CancelIo is looked up at run time; the holder lives for the whole process and gives the
// module back when the process ends.
class KernelProcs {
  public:
    using CancelIoFn = BOOL(WINAPI*)(HANDLE);

    KernelProcs() : module_(LoadLibraryA("KERNEL32.DLL")) {
        if (module_ != nullptr) {
            // Through void(*)() so that the cast between function types is an explicit one.
            cancelIo_ = reinterpret_cast<CancelIoFn>(
                reinterpret_cast<void (*)()>(GetProcAddress(module_, "CancelIo")));
        }
    }
    ~KernelProcs() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    KernelProcs(const KernelProcs&) = delete;
    KernelProcs& operator=(const KernelProcs&) = delete;

    [[nodiscard]] CancelIoFn CancelIo() const { return cancelIo_; }

  private:
    HMODULE module_ = nullptr;
    CancelIoFn cancelIo_ = nullptr;
};

const KernelProcs kernelProcs;

// Shared by ReadEx and WriteEx: the record's hEvent carries the SerialPort that issued the I/O.
VOID CALLBACK IoCompletion(DWORD errorCode, DWORD bytesTransferred, LPOVERLAPPED overlapped) {
    auto* port = static_cast<SerialPort*>(overlapped->hEvent);
    port->OnIoComplete(errorCode, bytesTransferred, overlapped);
}

std::string DefaultConfigName(int port) {
    return "COM" + std::to_string(port);
}

// For the static calls, which have no port to report through.
bool CheckedStatic(BOOL ok, const char* text) {
    if (!ok) {
        const DWORD error = GetLastError();
        ReportSerialFailure({text, kErrorCaption, SystemErrorText(static_cast<int>(error)),
                             static_cast<int>(error)});
        SetLastError(error);
    }
    return ok != FALSE;
}

bool UsableRecord(const OVERLAPPED* overlapped) {
    return overlapped != nullptr && overlapped->hEvent != nullptr;
}

}  // namespace

bool SerialPort::CheckWin32(int ok, const char* text, bool pendingIsOk) {
    if (ok) {
        return true;
    }
    const DWORD error = GetLastError();
    if (!pendingIsOk || error != ERROR_IO_PENDING) {
        // An aborted operation is the caller's cancelling here, not a device that went away.
        const bool gone = error != ERROR_OPERATION_ABORTED && detail::win32::DeviceGone(error);
        (void)Check(Status::Failed(text, static_cast<int>(error), gone));
    }
    SetLastError(error);
    return false;
}

HANDLE SerialPort::DirectHandle(bool transfer) {
    if (ComBackend* com = Com(backend_.get()); com != nullptr && IsOpen()) {
        // A failure here shows in the call that follows on the same handle.
        (void)(transfer ? com->UseTimeouts(timeouts_) : com->UseCallerMask());
    }
    return backend_->Handle();
}

bool SerialPort::WaitEvent(uint32_t& events, _OVERLAPPED* overlapped) {
    // The system fills the mask when the wait completes, possibly after this call returns, so
    // it writes straight into the caller's variable, which must outlive the operation.
    HANDLE handle = DirectHandle(false);
    return CheckWin32(WaitCommEvent(handle, reinterpret_cast<DWORD*>(&events), overlapped),
                      "Failed in call to WaitCommEvent\n", true);
}

bool SerialPort::Read(void* buffer, uint32_t count, _OVERLAPPED* overlapped) {
    if (!IsOpen() || !overlapped_ || !UsableRecord(overlapped)) {
        return false;
    }
    HANDLE handle = DirectHandle(true);
    return CheckWin32(ReadFile(handle, buffer, count, nullptr, overlapped),
                      "Failed in call to ReadFile\n", true);
}

bool SerialPort::Write(const void* buffer, uint32_t count, _OVERLAPPED* overlapped) {
    if (!IsOpen() || !overlapped_ || !UsableRecord(overlapped)) {
        return false;
    }
    HANDLE handle = DirectHandle(true);
    return CheckWin32(WriteFile(handle, buffer, count, nullptr, overlapped),
                      "Failed in call to WriteFile\n", true);
}

bool SerialPort::GetOverlappedResult(_OVERLAPPED* overlapped, uint32_t& count, bool wait) {
    if (!IsOpen() || !overlapped_ || !UsableRecord(overlapped)) {
        return false;
    }
    DWORD transferred = 0;
    if (!::GetOverlappedResult(backend_->Handle(), overlapped, &transferred, wait ? TRUE : FALSE)) {
        // An operation that is still running (polled without waiting) is not a failure.
        const DWORD error = GetLastError();
        return error != ERROR_IO_PENDING && error != ERROR_IO_INCOMPLETE &&
               CheckWin32(FALSE, "Failed in call to GetOverlappedResult\n");
    }
    count = transferred;
    return true;
}

bool SerialPort::ReadEx(void* buffer, uint32_t count) {
    auto record = std::make_unique<OVERLAPPED>();  // zeroed
    record->hEvent = this;
    HANDLE handle = DirectHandle(true);
    if (!CheckWin32(ReadFileEx(handle, buffer, count, record.get(), IoCompletion),
                    "Failed in call to ReadFileEx\n")) {
        return false;  // the record is freed here
    }
    // From here the record belongs to the pending I/O; OnIoComplete frees it.
    static_cast<void>(record.release());
    return true;
}

bool SerialPort::WriteEx(const void* buffer, uint32_t count) {
    auto record = std::make_unique<OVERLAPPED>();  // zeroed
    record->hEvent = this;
    HANDLE handle = DirectHandle(true);
    if (!CheckWin32(WriteFileEx(handle, buffer, count, record.get(), IoCompletion),
                    "Failed in call to WriteFileEx\n")) {
        return false;
    }
    static_cast<void>(record.release());
    return true;
}

void SerialPort::OnIoComplete(uint32_t /*errorCode*/, uint32_t /*bytesTransferred*/,
                              _OVERLAPPED* overlapped) {
    // Takes back the record that ReadEx/WriteEx handed to the system.
    std::unique_ptr<OVERLAPPED> record(overlapped);
}

bool SerialPort::CancelIo() {
    const KernelProcs::CancelIoFn cancelIo = kernelProcs.CancelIo();
    if (cancelIo == nullptr) {
        ReportSerialFailure(
            {"CancelIo function is not supported on this OS. You need to be running at least NT 4 "
             "or Win 98 to use this function\n",
             kErrorCaption,
             {}});
        return false;
    }
    return CheckWin32(cancelIo(backend_->Handle()), "Failed in call to CancelIO\n");
}

bool SerialPort::GetConfig(_COMMCONFIG& config) {
    DWORD size = sizeof(COMMCONFIG);
    return CheckWin32(GetCommConfig(backend_->Handle(), &config, &size),
                      "Failed in call to GetCommConfig\n");
}

bool SerialPort::SetConfig(_COMMCONFIG& config) {
    return CheckWin32(SetCommConfig(backend_->Handle(), &config, sizeof(COMMCONFIG)),
                      "Failed in call to SetCommConfig\n");
}

bool SerialPort::GetDefaultConfig(int port, _COMMCONFIG& config) {
    const std::string name = DefaultConfigName(port);
    DWORD size = sizeof(COMMCONFIG);
    return CheckedStatic(GetDefaultCommConfigA(name.c_str(), &config, &size),
                         "Failed in call to GetDefaultCommConfig\n");
}

bool SerialPort::SetDefaultConfig(int port, _COMMCONFIG& config) {
    if (port < 0 || port > kMaxComPort) {
        return false;
    }
    const std::string name = DefaultConfigName(port);
    return CheckedStatic(SetDefaultCommConfigA(name.c_str(), &config, sizeof(COMMCONFIG)),
                         "Failed in call to SetDefaultCommConfig\n");
}

}  // namespace kestrow
