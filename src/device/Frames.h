// The settings protocol's request frames: length, 6C, 93, opcode, operands, checksum.
// Pure functions; every frame's bytes add up to 0 modulo 256.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "device/Protocol.h"

namespace kestrow {

struct Frame {
    std::array<uint8_t, 8> bytes{};
    uint8_t size = 0;
    [[nodiscard]] std::span<const uint8_t> view() const { return {bytes.data(), size}; }
    friend bool operator==(const Frame&, const Frame&) = default;
};

// A reply to a read or the probe, as it arrived.
using Reply = std::array<uint8_t, protocol::kReplyBytes>;

// 256 minus the low byte of the sum of `bytes`, modulo 256.
[[nodiscard]] uint8_t FrameChecksum(std::span<const uint8_t> bytes);

[[nodiscard]] Frame WriteSettingFrame(uint8_t group, uint8_t item, uint8_t value);
[[nodiscard]] Frame ReadSettingFrame(uint8_t group, uint8_t item);
[[nodiscard]] Frame WriteGenlockFrame(uint8_t item, uint8_t high, uint8_t low);
[[nodiscard]] Frame ReadGenlockFrame(uint8_t item);
[[nodiscard]] Frame ProbeFrame();
[[nodiscard]] Frame VersionFrame(bool useItem3);
// The main window's general frame: length (5 or 8), 6C, 93, opcode, b4, b5, b6, with the
// checksum of bytes 0..length-2 at length-1 (for 5 bytes it takes b4's place).
[[nodiscard]] Frame CommandFrame(uint8_t length, uint8_t opcode, uint8_t b4, uint8_t b5,
                                 uint8_t b6);

}  // namespace kestrow
