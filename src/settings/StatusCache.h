// The box's setting bytes as the last status refresh read them and the dialogs since wrote
// them. Each group is contiguous because a dialog receives its group's first byte and indexes
// from there. Group g, byte k is setting (g, k + 1), except System: [0] (4,1) input timing,
// [1] system setting A, [2] port byte (a newer model: (4,2)), [3] model byte.
#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "device/Protocol.h"

namespace kestrow {

struct StatusCache {
    std::array<uint8_t, 5> output{};
    std::array<uint8_t, 8> image{};
    std::array<uint8_t, 6> adjustment{};
    std::array<uint8_t, 4> system{};
};

// The byte that holds setting (group, item) of groups 1 to 3, and (4,1); null for any other.
[[nodiscard]] inline const uint8_t* SettingByte(const StatusCache& cache, uint8_t group,
                                                uint8_t item) {
    const auto k = static_cast<size_t>(item) - 1;
    switch (group) {
        case protocol::kGroupOutput:
            return k < cache.output.size() ? &cache.output[k] : nullptr;
        case protocol::kGroupImage:
            return k < cache.image.size() ? &cache.image[k] : nullptr;
        case protocol::kGroupAdjustment:
            return k < cache.adjustment.size() ? &cache.adjustment[k] : nullptr;
        case protocol::kGroupSystem:
            return item == protocol::kItemInputTiming ? &cache.system[0] : nullptr;
        default:
            return nullptr;
    }
}
[[nodiscard]] inline uint8_t* SettingByte(StatusCache& cache, uint8_t group, uint8_t item) {
    return const_cast<uint8_t*>(SettingByte(std::as_const(cache), group, item));
}

}  // namespace kestrow
