// The least time an exchange can take on the 115200 8-N-1 line: its fixed waits plus the line
// time of every byte both ways. The benchmarks print their runs beside these floors.
#pragma once

#include <cstddef>

#include "firmware/BootLoader.h"

namespace kestrow::bench {

inline constexpr double kLineMsPerByte = 10.0 * 1000.0 / 115200.0;  // start, 8 data, stop bits

// A firmware write whose first Ping is answered: Ping, Download, Get Status and CC, the blocks,
// Get Status and Reset, with the acknowledges and status replies coming back.
inline double FlashFloorSeconds(std::size_t programBytes) {
    const std::size_t blocks = (programBytes + kSendDataMaxBytes - 1) / kSendDataMaxBytes;
    const double waitsMs =
        kWaitAfterPingMs + kWaitAfterDownloadMs + kWaitAfterGetStatusMs + kWaitAfterResetMs;
    const std::size_t sent = 3 + 11 + 3 + 1 + programBytes + 3 * blocks + 3 + 4;
    const std::size_t received = 2 + 2 + 5 + 2 * blocks + 5 + 2;
    return (waitsMs + static_cast<double>(sent + received) * kLineMsPerByte) / 1000.0;
}

// A full status refresh: 500 ms settle, the probe (5 bytes out, 5 back) and 23 queries (7 out,
// 5 back), each exchange followed by its 10 ms wait.
inline double RefreshFloorMs() {
    return 500.0 + (5 + 5) * kLineMsPerByte + 10.0 + 23 * ((7 + 5) * kLineMsPerByte + 10.0);
}

// The System dialog's version read: the query (7 bytes out), its 50 ms wait, the 14-byte reply.
inline double VersionReadFloorMs() {
    return 50.0 + (7 + 14) * kLineMsPerByte;
}

}  // namespace kestrow::bench
