// The further operations of SerialPort on Windows: overlapped and completion-routine I/O,
// CancelIo, modem lines and events, queues, and the COMMCONFIG records. Nothing else in the
// program calls them; they keep the class whole.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <memory>
#include <string>

#include "device/SerialPort.h"
#include "device/SerialWin32Checks.h"

namespace kestrow {
namespace {

using win32::Checked;
using win32::CheckedPending;
using win32::kErrorCaption;
using win32::ReportLastError;

static_assert(sizeof(COMMCONFIG) == 52, "the configuration calls take a 52-byte record");

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

}  // namespace

bool SerialPort::Escape(SerialEscape function) {
    if (!IsOpen()) {
        return false;
    }
    return Checked(EscapeCommFunction(handle_, static_cast<DWORD>(function)),
                   "Failed in call to EscapeCommFunction\n");
}

bool SerialPort::GetModemStatus(uint32_t& status) {
    if (!IsOpen()) {
        return false;
    }
    DWORD value = 0;
    if (!Checked(GetCommModemStatus(handle_, &value), "Failed in call to GetCommModemStatus\n")) {
        return false;
    }
    status = value;
    return true;
}

bool SerialPort::ClearError(uint32_t& errors) {
    DWORD value = 0;
    if (!Checked(ClearCommError(handle_, &value, nullptr), "Failed in call to ClearCommError\n")) {
        return false;
    }
    errors = value;
    return true;
}

bool SerialPort::GetStatus(uint32_t& errors, SerialQueueStatus& status) {
    if (!IsOpen()) {
        return false;
    }
    DWORD value = 0;
    COMSTAT comStat{};
    if (!Checked(ClearCommError(handle_, &value, &comStat), "Failed in call to ClearCommError\n")) {
        return false;
    }
    errors = value;
    status.inQueue = comStat.cbInQue;
    status.outQueue = comStat.cbOutQue;
    return true;
}

bool SerialPort::GetProperties(SerialProperties& out) {
    if (!IsOpen()) {
        return false;
    }
    COMMPROP properties{};
    if (!Checked(GetCommProperties(handle_, &properties),
                 "Failed in call to GetCommProperties\n")) {
        return false;
    }
    out.maxBaud = properties.dwMaxBaud;
    out.currentTxQueue = properties.dwCurrentTxQueue;
    out.currentRxQueue = properties.dwCurrentRxQueue;
    return true;
}

bool SerialPort::Setup(uint32_t inQueue, uint32_t outQueue) {
    return Checked(SetupComm(handle_, inQueue, outQueue), "Failed in call to SetupComm\n");
}

bool SerialPort::TransmitChar(char c) {
    return Checked(TransmitCommChar(handle_, c), "Failed in call to TransmitCommChar\n");
}

bool SerialPort::SetMask(uint32_t mask) {
    if (!IsOpen()) {
        return false;
    }
    return Checked(SetCommMask(handle_, mask), "Failed in call to SetCommMask\n");
}

bool SerialPort::GetMask(uint32_t& mask) {
    DWORD value = 0;
    if (!Checked(GetCommMask(handle_, &value), "Failed in call to GetCommMask\n")) {
        return false;
    }
    mask = value;
    return true;
}

bool SerialPort::WaitEvent(uint32_t& events) {
    DWORD value = 0;
    if (!Checked(WaitCommEvent(handle_, &value, nullptr), "Failed in call to WaitCommEvent\n")) {
        return false;
    }
    events = value;
    return true;
}

bool SerialPort::WaitEvent(uint32_t& events, _OVERLAPPED* overlapped) {
    // The system fills the mask when the wait completes, possibly after this call returns, so
    // it writes straight into the caller's variable, which must outlive the operation.
    return CheckedPending(WaitCommEvent(handle_, reinterpret_cast<DWORD*>(&events), overlapped),
                          "Failed in call to WaitCommEvent\n");
}

bool SerialPort::Read(void* buffer, uint32_t count, _OVERLAPPED* overlapped) {
    if (!IsOpen() || !overlapped_ || overlapped == nullptr || overlapped->hEvent == nullptr) {
        return false;
    }
    return CheckedPending(ReadFile(handle_, buffer, count, nullptr, overlapped),
                          "Failed in call to ReadFile\n");
}

bool SerialPort::Write(const void* buffer, uint32_t count, _OVERLAPPED* overlapped) {
    if (!IsOpen() || !overlapped_ || overlapped == nullptr || overlapped->hEvent == nullptr) {
        return false;
    }
    return CheckedPending(WriteFile(handle_, buffer, count, nullptr, overlapped),
                          "Failed in call to WriteFile\n");
}

bool SerialPort::GetOverlappedResult(_OVERLAPPED* overlapped, uint32_t& count, bool wait) {
    if (!IsOpen() || !overlapped_ || overlapped == nullptr || overlapped->hEvent == nullptr) {
        return false;
    }
    DWORD transferred = 0;
    if (!::GetOverlappedResult(handle_, overlapped, &transferred, wait ? TRUE : FALSE)) {
        // An operation that is still running (polled without waiting) is not a failure.
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING && error != ERROR_IO_INCOMPLETE) {
            ReportLastError("Failed in call to GetOverlappedResult\n");
        }
        return false;
    }
    count = transferred;
    return true;
}

bool SerialPort::ReadEx(void* buffer, uint32_t count) {
    auto record = std::make_unique<OVERLAPPED>();  // zeroed
    record->hEvent = this;
    if (!Checked(ReadFileEx(handle_, buffer, count, record.get(), IoCompletion),
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
    if (!Checked(WriteFileEx(handle_, buffer, count, record.get(), IoCompletion),
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
    return Checked(cancelIo(handle_), "Failed in call to CancelIO\n");
}

bool SerialPort::GetConfig(_COMMCONFIG& config) {
    DWORD size = sizeof(COMMCONFIG);
    return Checked(GetCommConfig(handle_, &config, &size), "Failed in call to GetCommConfig\n");
}

bool SerialPort::SetConfig(_COMMCONFIG& config) {
    return Checked(SetCommConfig(handle_, &config, sizeof(COMMCONFIG)),
                   "Failed in call to SetCommConfig\n");
}

bool SerialPort::GetDefaultConfig(int port, _COMMCONFIG& config) {
    const std::string name = DefaultConfigName(port);
    DWORD size = sizeof(COMMCONFIG);
    return Checked(GetDefaultCommConfigA(name.c_str(), &config, &size),
                   "Failed in call to GetDefaultCommConfig\n");
}

bool SerialPort::SetDefaultConfig(int port, _COMMCONFIG& config) {
    if (port < 0 || port > 255) {
        return false;
    }
    const std::string name = DefaultConfigName(port);
    return Checked(SetDefaultCommConfigA(name.c_str(), &config, sizeof(COMMCONFIG)),
                   "Failed in call to SetDefaultCommConfig\n");
}

}  // namespace kestrow
