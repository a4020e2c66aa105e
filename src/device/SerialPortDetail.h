// Helpers shared by the POSIX and the Win32 SerialPort files (defined in SerialPortCommon.cpp).
// Private to the device library.
#pragma once

#include <cstdint>
#include <string>

#include "SerialTypes.h"

namespace kestrow::detail {

// Puts Open's arguments into a line state read from the port: the baud rate, data bits and
// the parity, stop-bit and flow-control tables, and no DSR sensitivity. A value outside its
// table is reported (text and caption "Error") and leaves that part as read.
void ApplyOpenArguments(SerialState& state, uint32_t baud, SerialParity parity, uint8_t dataBits,
                        SerialStopBits stopBits, SerialFlowControl flowControl);

// Reports a failed close with the error number in the text and caption "error" (lower case).
void ReportCloseFailure(int error, std::string detail);

}  // namespace kestrow::detail
