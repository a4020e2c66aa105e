// Helpers shared by the POSIX and the Win32 SerialPort files (defined in SerialPort.cpp,
// the idle cadence in SerialHooks.cpp). Private to the serial library.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "serial/SerialTypes.h"

namespace kestrow::detail {

// Puts Open's arguments into a line state read from the port: the baud rate, data bits and
// the parity, stop-bit and flow-control tables, and no DSR sensitivity. A value outside its
// table is reported (text and caption "Error") and leaves that part as read.
void ApplyOpenArguments(SerialState& state, uint32_t baud, SerialParity parity, uint8_t dataBits,
                        SerialStopBits stopBits, SerialFlowControl flowControl);

// Reports a failed close with the error number in the text and caption "error" (lower case).
void ReportCloseFailure(int error, std::string detail);

// The idle hook's cadence while a thread waits: every wait ends its slices when the hook is
// due, then runs it.
using WaitClock = std::chrono::steady_clock;
[[nodiscard]] WaitClock::time_point IdleHookDue();  // for the calling thread
void RunIdleHookIfDue();

}  // namespace kestrow::detail
