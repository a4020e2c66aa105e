// The simulated box's inner state and its two request handlers (running firmware and boot
// loader). Plain data and functions: the caller holds the lock and owns the line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "sim/BoxSim.h"

namespace kestrow::sim {

inline constexpr int kGroups = 4;  // groups 1..4
inline constexpr int kItems = 16;  // items 0..15
inline constexpr int kGenlockItems = 16;

struct BoxState {
    BoxConfig config;
    std::array<std::array<uint8_t, kItems>, kGroups> settings{};
    std::array<uint16_t, kGenlockItems> genlock{};
    bool silenced = false;  // `silentFrom` was queried since the last SetConfig
    bool lineClosed = false;
    // Faults and garbage; seeded from config.faults.seed at Start and SetConfig, as is the
    // frame number.
    std::mt19937_64 random{1};
    int frameNumber = 0;  // the next request's number

    // Boot loader.
    bool bootLoader = false;
    std::vector<uint8_t> flash;
    uint32_t downloadAddress = 0;
    uint32_t downloadSize = 0;
    bool statusFromConfig = true;  // Get Status answers config.status, else `status`
    uint8_t status = 0x40;
    int block = 0;  // Send Data packets since the last Download
    int resets = 0;
};

// Fills settings and GenLock registers with the box's factory values.
void ResetMemory(BoxState& state);

// How the request at the front of the pending bytes is to be taken.
struct Split {
    enum Kind { More, Junk, Request } kind = More;
    size_t length = 0;  // Junk: 1; Request: bytes it takes
};

// One request handled: what it was, the reply, and the fault that struck it. The handlers set
// the faults that change what the box does (a NAK, a restart, a dropped query); ShapeReply
// those that change only the reply.
struct Handled {
    Handled(FrameKind k, std::vector<uint8_t> r, Fault f = Fault::None, int d = 0)
        : kind(k), reply(std::move(r)), fault(f), detail(d) {}

    FrameKind kind = FrameKind::Unparsed;
    std::vector<uint8_t> reply;  // as the box means it; after ShapeReply, as it goes out
    Fault fault = Fault::None;
    int detail = 0;
    bool delayedQuery = false;      // a query named in config.delayed
    std::vector<uint8_t> intended;  // set by ShapeReply when a fault changed the reply
};

inline constexpr std::array<uint8_t, 4> kBootRequest{0x88, 0x99, 0x06, 0xFE};

// Running firmware (Firmware.cpp).
Split SplitFirmware(std::span<const uint8_t> pending);
Handled HandleFirmware(BoxState& state, std::span<const uint8_t> request);

// Boot loader (BootLoader.cpp). `drawn` is the fault drawn for this request; the handler plays
// it when it is one of the boot loader's own (Restarted, Nak, BadStatus) and applies.
Split SplitBootLoader(std::span<const uint8_t> pending);
Handled HandleBootLoader(BoxState& state, std::span<const uint8_t> request, Fault drawn);

// The boot request, whole (Request), possibly still arriving (More), or not it (Junk).
Split SplitBootRequest(std::span<const uint8_t> pending);

// Faults (Faults.cpp). The fault for request `number`: the first rule that names it, else one
// drawn by the rules' probabilities (one draw whenever any probability is set).
Fault DrawFault(BoxState& state, int number);
// Restarts the fault generator and the frame count (Start and SetConfig).
void ResetFaults(BoxState& state);
// The reply as it goes out: a fault the handler set stands; otherwise the first of `silent`,
// `shortReplyBytes`, `garbage` and the late settings that applies, else `drawn` when it shapes
// replies, or LineClosed. Records the fault, its detail and the intended reply.
void ShapeReply(BoxState& state, Handled& handled, Fault drawn);

}  // namespace kestrow::sim
