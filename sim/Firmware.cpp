// The box's running firmware: settings frames, the probe, GenLock registers, the version reply.
#include <algorithm>
#include <numeric>
#include <utility>

#include "sim/BoxState.h"

namespace kestrow::sim {
namespace {

constexpr uint8_t kSync1 = 0x6C;
constexpr uint8_t kSync2 = 0x93;
constexpr size_t kVersionChars = 9;

uint8_t Sum(std::span<const uint8_t> bytes) {
    return static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

// Appends the byte that makes the whole reply add up to 0 modulo 256.
std::vector<uint8_t> WithChecksum(std::vector<uint8_t> reply) {
    reply.push_back(static_cast<uint8_t>(0x100u - Sum(reply)));
    return reply;
}

uint8_t* SettingAt(BoxState& state, uint8_t group, uint8_t item) {
    if (group < 1 || group > kGroups || item >= kItems) {
        return nullptr;
    }
    return &state.settings[group - 1u][item];
}

// Reads of (4,3) and (4,4) serve both the settings reads (4 or 5 bytes, value in byte 3) and
// the version text read (14 bytes, text in bytes 4..12), which the box cannot tell apart. So
// they always get the 14-byte reply; a 5-byte reader takes the first five and drops the rest.
// Byte 0 is 05, except for a newer model's (4,4), which is how the host tells the models.
std::vector<uint8_t> VersionReply(const BoxState& state, uint8_t item, uint8_t value) {
    const uint8_t newer = item == 4 ? state.config.newerModel : uint8_t{0};
    std::vector<uint8_t> reply{newer != 0 ? newer : uint8_t{0x05}, kSync1, kSync2, value};
    const std::string& text = state.config.versionText;
    for (size_t i = 0; i < kVersionChars; ++i) {
        reply.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : uint8_t{0});
    }
    return WithChecksum(std::move(reply));
}

std::vector<uint8_t> WriteSetting(BoxState& state, std::span<const uint8_t> f) {
    // The factory reset: 1 written to (4,4), on a newer model to (4,5).
    const uint8_t resetItem = state.config.newerModel ? 5 : 4;
    if (f[4] == 4 && f[5] == resetItem && f[6] == 1) {
        ResetMemory(state);
        return {};
    }
    if (uint8_t* slot = SettingAt(state, f[4], f[5])) {
        *slot = f[6];
    }
    return {};
}

std::vector<uint8_t> ReadSetting(BoxState& state, std::span<const uint8_t> f) {
    const uint8_t* slot = SettingAt(state, f[4], f[5]);
    const uint8_t value = slot != nullptr ? *slot : uint8_t{0};
    if (f[4] == 4 && (f[5] == 3 || f[5] == 4)) {
        return VersionReply(state, f[5], value);
    }
    return WithChecksum({0x05, kSync1, kSync2, value});
}

std::vector<uint8_t> WriteGenlock(BoxState& state, std::span<const uint8_t> f) {
    if (f[4] >= kGenlockItems) {
        return {};
    }
    const auto value = static_cast<uint16_t>(f[5] << 8 | f[6]);
    state.genlock[f[4]] = value;
    // The delays written to items 0 and 1 read back as items 2 and 3.
    if (f[4] < 2) {
        state.genlock[f[4] + 2u] = value;
    }
    return {};
}

std::vector<uint8_t> ReadGenlock(BoxState& state, std::span<const uint8_t> f) {
    const uint16_t value = f[4] < kGenlockItems ? state.genlock[f[4]] : uint16_t{0};
    return {0x05, 0x49, f[4], static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

std::vector<uint8_t> Probe(BoxState& state, std::span<const uint8_t> /*frame*/) {
    return {0x05, kSync1, kSync2, state.config.portByte, state.config.modelByte};
}

std::vector<uint8_t> ShortCommand(BoxState& /*state*/, std::span<const uint8_t> /*frame*/) {
    return {};
}

struct Operation {
    uint8_t opcode;
    size_t length;
    bool query;  // answered, and subject to `unanswered`, `silentFrom` and `delayed`
    std::vector<uint8_t> (*handle)(BoxState&, std::span<const uint8_t>);
};

constexpr Operation kOperations[] = {
    {0x00, 8, false, WriteSetting}, {0x01, 7, true, ReadSetting},   {0x49, 8, false, WriteGenlock},
    {0x49, 6, true, ReadGenlock},   {0x05, 5, true, Probe},         {0x02, 5, false, ShortCommand},
    {0x03, 5, false, ShortCommand}, {0x04, 5, false, ShortCommand},
};

// The (group, item) a query is known by: a settings read by its address, a GenLock read as
// (0x49, item), the probe as (0x05, 0).
std::pair<uint8_t, uint8_t> QueryKey(std::span<const uint8_t> f) {
    if (f[3] == 0x01) {
        return {f[4], f[5]};
    }
    return {f[3], f.size() > 5 ? f[4] : uint8_t{0}};
}

// False when the box drops its reply to this query.
bool Answers(BoxState& state, std::span<const uint8_t> f) {
    const auto key = QueryKey(f);
    if (state.config.silentFrom == key) {
        state.silenced = true;
    }
    return !state.silenced && !state.config.unanswered.contains(key);
}

}  // namespace

void ResetMemory(BoxState& state) {
    state.settings = {};
    // Output: 1080p60 out, YCbCr444, no pattern, SPDIF, 2Ch.
    const uint8_t output[] = {0, 12, 1, 0, 0, 0};
    // Image: contrast, brightness, saturation, hue mid-range, enhancements off, sharpness mid.
    const uint8_t image[] = {0, 128, 128, 128, 128, 0, 0, 3, 64};
    // Adjustment: scan, aspect 16:9, no mirroring, both shifts centred.
    const uint8_t adjustment[] = {0, 50, 1, 0, 0, 100, 50};
    // System: input 1080p60, clock mode, system setting, (4,4), (4,5).
    const uint8_t system[] = {0, 8, 1, 2, 0, 0};
    std::copy(std::begin(output), std::end(output), state.settings[0].begin());
    std::copy(std::begin(image), std::end(image), state.settings[1].begin());
    std::copy(std::begin(adjustment), std::end(adjustment), state.settings[2].begin());
    std::copy(std::begin(system), std::end(system), state.settings[3].begin());
    // GenLock: delays 0, periods of 1080-line video (2200 x 1125).
    state.genlock = {};
    state.genlock[4] = 2200;
    state.genlock[5] = 1125;
}

Split SplitBootRequest(std::span<const uint8_t> pending) {
    const size_t n = std::min(pending.size(), kBootRequest.size());
    if (!std::equal(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(n),
                    kBootRequest.begin())) {
        return {Split::Junk, 1};
    }
    return n < kBootRequest.size() ? Split{Split::More, 0} : Split{Split::Request, n};
}

Split SplitFirmware(std::span<const uint8_t> pending) {
    if (pending.empty()) {
        return {Split::More, 0};
    }
    if (pending[0] == kBootRequest[0]) {
        return SplitBootRequest(pending);
    }
    const size_t n = pending[0];
    if (n < 5 || n > 8 || (pending.size() > 1 && pending[1] != kSync1) ||
        (pending.size() > 2 && pending[2] != kSync2)) {
        return {Split::Junk, 1};
    }
    return pending.size() < n ? Split{Split::More, 0} : Split{Split::Request, n};
}

Handled HandleFirmware(BoxState& state, std::span<const uint8_t> request) {
    if (SplitBootRequest(request).kind == Split::Request) {
        state.bootLoader = true;
        state.statusFromConfig = true;
        return {FrameKind::BootRequest, {}};
    }
    if (Sum(request) != 0) {
        return {FrameKind::BadChecksum, {}};
    }
    for (const Operation& op : kOperations) {
        if (op.opcode == request[3] && op.length == request.size()) {
            Handled handled{FrameKind::Settings, op.handle(state, request)};
            if (op.query && !Answers(state, request)) {
                handled.fault = Fault::Dropped;
            }
            handled.delayedQuery = op.query && state.config.delayed.contains(QueryKey(request));
            return handled;
        }
    }
    return {FrameKind::Settings, {}};  // unknown opcode or length: ignored
}

}  // namespace kestrow::sim
