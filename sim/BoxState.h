// The simulated box's inner state and its two request handlers (running firmware and boot
// loader). Plain data and functions: the caller holds the lock and owns the line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
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
    std::mt19937 random{0x6C93u};

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

// One request handled: what it was and the reply (before the misbehaviours shape it).
struct Handled {
    FrameKind kind = FrameKind::Unparsed;
    std::vector<uint8_t> reply;
    bool vanish = false;        // close the line instead of answering
    bool delayedQuery = false;  // a query named in config.delayed
};

inline constexpr std::array<uint8_t, 4> kBootRequest{0x88, 0x99, 0x06, 0xFE};

// Running firmware (Firmware.cpp).
Split SplitFirmware(std::span<const uint8_t> pending);
Handled HandleFirmware(BoxState& state, std::span<const uint8_t> request);

// Boot loader (BootLoader.cpp).
Split SplitBootLoader(std::span<const uint8_t> pending);
Handled HandleBootLoader(BoxState& state, std::span<const uint8_t> request);

// The boot request, whole (Request), possibly still arriving (More), or not it (Junk).
Split SplitBootRequest(std::span<const uint8_t> pending);

// Applies `silent`, `garbage` and `shortReplyBytes` to a reply.
std::vector<uint8_t> ShapeReply(BoxState& state, std::vector<uint8_t> reply);

}  // namespace kestrow::sim
