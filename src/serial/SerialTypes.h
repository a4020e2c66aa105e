// Plain types shared by the serial layer and its users: argument encodings, time-outs,
// line state, the failure reporter and the idle hook. No platform headers here.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace kestrow {

#ifdef _WIN32
using NativeHandle = void*;  // HANDLE
#else
using NativeHandle = int;  // file descriptor
#endif

// The numbers are what callers pass; note that "no parity" is 2.
enum class SerialParity : int { Even = 0, Mark = 1, None = 2, Odd = 3, Space = 4 };
enum class SerialStopBits : int { One = 0, OnePointFive = 1, Two = 2 };
enum class SerialFlowControl : int {
    None = 0,
    CtsRts = 1,
    CtsDtr = 2,
    DsrRts = 3,
    DsrDtr = 4,
    XonXoff = 5
};

inline constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// Same fields and meaning as the Windows COMMTIMEOUTS record, in milliseconds.
struct SerialTimeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;
    friend bool operator==(const SerialTimeouts&, const SerialTimeouts&) = default;
};

// Set by every Open: a read returns at once with waiting bytes, otherwise waits up to
// 1000 ms for the requested count.
inline constexpr SerialTimeouts kOpenDefaultTimeouts{kMaxDword, 0, 1000, 0, 0};

// The long-read set-up used by the status refresh and the firmware run: a read waits for all
// requested bytes up to 5000 + 300 x count ms. Write fields are kept as they were.
inline void ApplyLongReadTimeouts(SerialTimeouts& t) {
    t.readInterval = 0;
    t.readTotalMultiplier = 300;
    t.readTotalConstant = 5000;
}

enum class DtrControl : uint8_t { Disable = 0, Enable = 1, Handshake = 2 };
enum class RtsControl : uint8_t { Disable = 0, Enable = 1, Handshake = 2, Toggle = 3 };

// The DCB-like line state.
struct SerialState {
    uint32_t baudRate = 0;
    uint8_t byteSize = 8;
    SerialParity parity = SerialParity::None;
    SerialStopBits stopBits = SerialStopBits::One;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    bool outX = false;
    bool inX = false;
    bool dsrSensitivity = false;
    DtrControl dtrControl = DtrControl::Enable;
    RtsControl rtsControl = RtsControl::Enable;
    char xonChar = 0x11;
    char xoffChar = 0x13;
    uint16_t xonLim = 0;
    uint16_t xoffLim = 0;
};

// Queue counts of ClearCommError's COMSTAT.
struct SerialQueueStatus {
    uint32_t inQueue = 0;
    uint32_t outQueue = 0;
};

// A few fields of COMMPROP that have a meaning everywhere.
struct SerialProperties {
    uint32_t maxBaud = 0;
    uint32_t currentTxQueue = 0;
    uint32_t currentRxQueue = 0;
};

// EscapeCommFunction codes.
enum class SerialEscape : uint32_t {
    SetXoff = 1,
    SetXon = 2,
    SetRts = 3,
    ClearRts = 4,
    SetDtr = 5,
    ClearDtr = 6,
    SetBreak = 8,
    ClearBreak = 9
};

// PurgeComm flags.
inline constexpr uint32_t kPurgeTxAbort = 0x0001;
inline constexpr uint32_t kPurgeRxAbort = 0x0002;
inline constexpr uint32_t kPurgeTxClear = 0x0004;
inline constexpr uint32_t kPurgeRxClear = 0x0008;

// GetCommModemStatus bits.
inline constexpr uint32_t kModemCtsOn = 0x0010;
inline constexpr uint32_t kModemDsrOn = 0x0020;
inline constexpr uint32_t kModemRingOn = 0x0040;
inline constexpr uint32_t kModemRlsdOn = 0x0080;

// Event mask bits (SetCommMask / WaitCommEvent).
inline constexpr uint32_t kEventRxChar = 0x0001;
inline constexpr uint32_t kEventTxEmpty = 0x0004;
inline constexpr uint32_t kEventCts = 0x0008;
inline constexpr uint32_t kEventDsr = 0x0010;
inline constexpr uint32_t kEventRlsd = 0x0020;
inline constexpr uint32_t kEventBreak = 0x0040;
inline constexpr uint32_t kEventErr = 0x0080;
inline constexpr uint32_t kEventRing = 0x0100;

// ClearCommError error bits.
inline constexpr uint32_t kErrorRxOver = 0x0001;
inline constexpr uint32_t kErrorOverrun = 0x0002;
inline constexpr uint32_t kErrorParity = 0x0004;
inline constexpr uint32_t kErrorFrame = 0x0008;
inline constexpr uint32_t kErrorBreak = 0x0010;

// One failed system call of the serial layer: the exact text and caption the operator sees,
// plus the operating system's reason where one is known. The facts after it are for callers
// that explain the failure in their own words (kestrowctl): the error number, the device, and
// whether the device went away under an open port.
struct SerialReport {
    std::string text;
    std::string caption;
    std::string detail;
    int error = 0;          // the system's error number; 0 when there is none
    std::string path{};     // the device the call was made on; empty when not known
    bool vanished = false;  // the device went away: unplugged, switched off
};

using SerialReporter = std::function<void(const SerialReport&)>;

// Installs the function that shows serial failures (the UI shows a message box, tests record)
// and gives back the one it replaces. Safe to call from any thread; reports may come from the
// firmware worker thread.
SerialReporter SetSerialReporter(SerialReporter reporter);
void ReportSerialFailure(const SerialReport& report);

// Called between the slices of every wait of the device layer, at most 10 ms apart on the
// waiting thread (also where one wait follows another), so that a user-interface thread keeps
// its windows painted within a frame while it blocks on the line.
using IdleHook = std::function<void()>;
void SetIdleHook(IdleHook hook);
void RunIdleHook();

// Waits ms milliseconds in slices, running the idle hook whenever it is due.
void SleepMs(uint32_t ms);

// Told every synchronous Read and Write of a SerialPort that was given one (kestrowctl
// --trace): the direction, the bytes that went out or came in, and the count asked for.
enum class TraceDirection { Sent, Received };
using SerialTracer =
    std::function<void(TraceDirection, std::span<const uint8_t> bytes, uint32_t requested)>;

}  // namespace kestrow
