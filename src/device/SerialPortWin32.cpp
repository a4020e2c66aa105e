// SerialPort on the Win32 communications API: one HANDLE opened with CreateFileA on
// "\\.\COM<n>", configured through the DCB and COMMTIMEOUTS records. Every failed call is
// reported through ReportSerialFailure with its fixed text. The operations nothing but the
// class itself needs (overlapped I/O, modem lines, configuration records) are in
// SerialPortWin32Extras.cpp.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <array>
#include <string>
#include <type_traits>

#include "device/PortNaming.h"
#include "device/SerialPort.h"
#include "device/SerialPortDetail.h"
#include "device/SerialWin32Checks.h"

namespace kestrow {

namespace win32 {

static_assert(std::is_same_v<BOOL, int> && sizeof(DWORD) == sizeof(uint32_t));

std::string SystemMessage(uint32_t error) {
    std::array<char, 512> text{};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::string message(text.data(), length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return "error " + std::to_string(error) + (message.empty() ? "" : ": " + message);
}

void ReportLastError(const char* text) {
    const DWORD error = GetLastError();
    ReportSerialFailure({text, kErrorCaption, SystemMessage(error)});
    SetLastError(error);
}

bool Checked(int ok, const char* text) {
    if (!ok) {
        ReportLastError(text);
    }
    return ok != FALSE;
}

bool CheckedPending(int ok, const char* text) {
    if (!ok && GetLastError() != ERROR_IO_PENDING) {
        ReportLastError(text);
    }
    return ok != FALSE;
}

}  // namespace win32

namespace {

using win32::Checked;
using win32::ReportLastError;
using win32::SystemMessage;

static_assert(std::is_same_v<NativeHandle, HANDLE>, "the port keeps a plain HANDLE");

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

COMMTIMEOUTS ToNative(const SerialTimeouts& t) {
    return {t.readInterval, t.readTotalMultiplier, t.readTotalConstant, t.writeTotalMultiplier,
            t.writeTotalConstant};
}

SerialTimeouts FromNative(const COMMTIMEOUTS& t) {
    return {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
            t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
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

}  // namespace

void SerialPort::Open(const ComPort& port, uint32_t baud, SerialParity parity, uint8_t dataBits,
                      SerialStopBits stopBits, SerialFlowControl flowControl, bool overlapped) {
    if (port.path.empty() && (port.number < 0 || port.number > kMaxComPort)) {
        return;
    }
    if (IsOpen()) {
        Close();  // a second Open must not leak the handle it held
    }

    // "\\.\COM<n>" as ResolvePort named it.
    HANDLE handle = CreateFileA(port.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        openError_ = static_cast<int>(GetLastError());
        ReportLastError("Failed to open up the comms port\n");
        return;
    }
    openError_ = 0;
    handle_ = handle;
    overlapped_ = overlapped;

    SerialState state;
    if (GetState(state)) {  // never write back a record the port did not fill
        detail::ApplyOpenArguments(state, baud, parity, dataBits, stopBits, flowControl);
        (void)SetState(state);
    }

    COMMTIMEOUTS timeouts = ToNative(kOpenDefaultTimeouts);
    SetCommTimeouts(handle, &timeouts);  // not reported
    PurgeComm(handle, PURGE_RXCLEAR);    // a fresh port has no stale input
}

void SerialPort::Close() {
    if (!IsOpen()) {
        return;
    }
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (!closed) {
        const DWORD error = GetLastError();
        detail::ReportCloseFailure(static_cast<int>(error), SystemMessage(error));
        SetLastError(error);
    }
    overlapped_ = false;
}

bool SerialPort::IsOpen() const {
    return handle_ != INVALID_HANDLE_VALUE;
}

uint32_t SerialPort::Read(void* buffer, uint32_t count) {
    if (!IsOpen() || overlapped_) {
        return 0;
    }
    DWORD read = 0;
    Checked(ReadFile(handle_, buffer, count, &read, nullptr), "Failed in call to ReadFile\n");
    Trace(TraceDirection::Received, buffer, read, count);
    return read;
}

uint32_t SerialPort::Write(const void* buffer, uint32_t count) {
    if (!IsOpen() || overlapped_) {
        return 0;
    }
    DWORD written = 0;
    Checked(WriteFile(handle_, buffer, count, &written, nullptr), "Failed in call to WriteFile\n");
    Trace(TraceDirection::Sent, buffer, written, count);
    return written;
}

bool SerialPort::GetTimeouts(SerialTimeouts& out) {
    COMMTIMEOUTS timeouts{};
    if (!Checked(GetCommTimeouts(handle_, &timeouts), "Failed in call to GetCommTimeouts\n")) {
        return false;
    }
    out = FromNative(timeouts);
    return true;
}

bool SerialPort::SetTimeouts(const SerialTimeouts& in) {
    COMMTIMEOUTS timeouts = ToNative(in);
    return Checked(SetCommTimeouts(handle_, &timeouts), "Failed in call to SetCommTimeouts\n");
}

void SerialPort::Attach(NativeHandle handle) {
    Close();
    handle_ = handle;
}

NativeHandle SerialPort::Detach() {
    NativeHandle handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    overlapped_ = false;
    return handle;
}

bool SerialPort::GetState(SerialState& out) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!Checked(GetCommState(handle_, &dcb), "Failed in call to GetCommState\n")) {
        return false;
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
    return true;
}

bool SerialPort::SetState(const SerialState& in) {
    // Start from what the port reports so that fields SerialState does not carry keep their
    // values (fBinary must stay set, for one).
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!Checked(GetCommState(handle_, &dcb), "Failed in call to GetCommState\n")) {
        return false;
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
    return Checked(SetCommState(handle_, &dcb), "Failed in call to SetCommState\n");
}

bool SerialPort::Purge(uint32_t flags) {
    return Checked(PurgeComm(handle_, flags), "Failed in call to PurgeComm\n");
}

bool SerialPort::Flush() {
    return Checked(FlushFileBuffers(handle_), "Failed in call to FlushFileBuffers\n");
}

bool SerialPort::SetBreak() {
    return Checked(SetCommBreak(handle_), "Failed in call to SetCommBreak\n");
}

bool SerialPort::ClearBreak() {
    return Checked(ClearCommBreak(handle_), "Failed in call to ClearCommBreak\n");
}

}  // namespace kestrow
