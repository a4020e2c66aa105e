// The program's own turnaround, read from the simulated box's clock: from the last byte of a
// reply leaving the box to the first byte of the program's next frame arriving at it, less any
// wait the protocol itself puts between the two. This is the part of an exchange the program
// controls; the goal is a 99th percentile under 1 ms.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "sim/BoxSim.h"

namespace kestrow::bench {

// The turnarounds in ms after each frame that `keep(frame, next)` accepts, less `fixedWaitMs`.
template <class Keep>
void AddTurnarounds(const std::vector<sim::ReceivedFrame>& frames, double fixedWaitMs, Keep keep,
                    std::vector<double>& out) {
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        const sim::ReceivedFrame& reply = frames[i];
        const sim::ReceivedFrame& next = frames[i + 1];
        if (reply.repliedNs != 0 && keep(reply, next)) {
            out.push_back(static_cast<double>(next.arrivedNs - reply.repliedNs) / 1e6 -
                          fixedWaitMs);
        }
    }
}

inline void PrintTurnarounds(const char* what, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("  %s: no exchanges\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const auto rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(ms.size())));
    std::printf(
        "  %s (%zu exchanges): median %.3f ms, 99th percentile %.3f ms, longest %.3f ms"
        "   goal: 99th percentile under 1 ms\n",
        what, ms.size(), ms[ms.size() / 2], ms[std::max<size_t>(rank, 1) - 1], ms.back());
}

}  // namespace kestrow::bench
