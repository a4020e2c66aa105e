// The members of SerialPort that are the same on every platform: the time-out shorthands,
// DiscardInput, the destructor, and the handling of Open's arguments.
#include <array>
#include <cstdio>
#include <utility>

#include "device/SerialPort.h"
#include "device/SerialPortDetail.h"

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

}  // namespace detail

SerialPort::~SerialPort() {
    Close();
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

}  // namespace kestrow
