// The box's serial boot loader: Ping, Download, Get Status, Send Data, Reset.
#include <numeric>

#include "sim/BoxState.h"

namespace kestrow::sim {
namespace {

constexpr uint8_t kHostAck = 0xCC;
constexpr size_t kMaxPacket = 79;  // 3 header bytes and at most 76 data bytes
constexpr uint8_t kStatusSuccess = 0x40;
constexpr uint8_t kStatusUnknownCommand = 0x41;
constexpr uint8_t kStatusInvalidCommand = 0x42;
constexpr uint8_t kStatusBadAddress = 0x43;

const std::vector<uint8_t> kAck{0x00, 0xCC};
const std::vector<uint8_t> kNak{0x00, 0x33};

enum Command : uint8_t {
    Ping = 0x20,
    Download = 0x21,
    GetStatus = 0x23,
    SendData = 0x24,
    Reset = 0x25
};

uint32_t BigEndian32(std::span<const uint8_t> b) {
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
           static_cast<uint32_t>(b[2]) << 8 | b[3];
}

bool ValidStartAddress(uint32_t address) {
    return address == 0x00001000u || address == 0x00002800u;
}

// The configured status: throughout, or once Send Data block `statusAfterBlock` has arrived.
uint8_t ConfiguredStatus(const BoxState& state) {
    const int after = state.config.statusAfterBlock;
    return after < 0 || state.block > after ? state.config.status : kStatusSuccess;
}

void SetStatus(BoxState& state, uint8_t status) {
    state.statusFromConfig = false;
    state.status = status;
}

Handled Packet(BoxState& state, std::span<const uint8_t> p, Fault drawn) {
    const uint8_t command = p[2];
    const size_t length = p.size();
    if (command == Ping && length == 3) {
        return {FrameKind::BootPacket, kAck};
    }
    if (command == Download && length == 11) {
        state.downloadAddress = BigEndian32(p.subspan(3, 4));
        state.downloadSize = BigEndian32(p.subspan(7, 4));
        state.flash.clear();
        state.block = 0;
        if (ValidStartAddress(state.downloadAddress)) {
            state.statusFromConfig = true;
        } else {
            SetStatus(state, kStatusBadAddress);
        }
        return {FrameKind::BootPacket, kAck};
    }
    if (command == GetStatus && length == 3) {
        const bool bad = drawn == Fault::BadStatus;
        const uint8_t status = bad                      ? state.config.faults.badStatus
                               : state.statusFromConfig ? ConfiguredStatus(state)
                                                        : state.status;
        const uint8_t last = state.config.statusLastByte.value_or(status);
        Handled handled{FrameKind::BootPacket, {0x00, 0xCC, 0x03, status, last}};
        if (bad) {
            handled.fault = Fault::BadStatus;
            handled.detail = status;
        }
        return handled;
    }
    if (command == SendData && length > 3) {
        const int block = state.block++;
        if (drawn == Fault::Restarted) {
            // The firmware that now runs ignores this packet and every later one.
            state.bootLoader = false;
            return {FrameKind::BootPacket, kAck, Fault::Restarted};
        }
        if (block == state.config.nakBlock || drawn == Fault::Nak) {
            return {FrameKind::BootPacket, kNak, Fault::Nak};
        }
        state.flash.insert(state.flash.end(), p.begin() + 3, p.end());
        if (block == state.config.vanishAtBlock) {
            return {FrameKind::BootPacket, kAck, Fault::LineClosed, -1};
        }
        return {FrameKind::BootPacket, kAck};
    }
    if (command == Reset && length == 3) {
        ++state.resets;
        state.bootLoader = false;
        return {FrameKind::BootPacket, kAck};
    }
    // A packet that arrived whole but means nothing: acknowledged, the failure kept as status.
    const bool known = command == Ping || command == Download || command == GetStatus ||
                       command == SendData || command == Reset;
    SetStatus(state, known ? kStatusInvalidCommand : kStatusUnknownCommand);
    return {FrameKind::BootPacket, kAck};
}

}  // namespace

Split SplitBootLoader(std::span<const uint8_t> pending) {
    if (pending.empty()) {
        return {Split::More, 0};
    }
    if (pending[0] == kHostAck) {
        return {Split::Request, 1};
    }
    if (pending[0] == kBootRequest[0]) {
        return SplitBootRequest(pending);
    }
    const size_t n = pending[0];
    if (n < 3 || n > kMaxPacket) {
        return {Split::Junk, 1};
    }
    return pending.size() < n ? Split{Split::More, 0} : Split{Split::Request, n};
}

Handled HandleBootLoader(BoxState& state, std::span<const uint8_t> request, Fault drawn) {
    if (request.size() == 1) {
        return {FrameKind::HostAck, {}};
    }
    if (SplitBootRequest(request).kind == Split::Request) {
        return {FrameKind::BootRequest, {}};  // already in the boot loader
    }
    if (request[1] == 0x6C && request[2] == 0x93) {
        return {FrameKind::Settings, {}};  // the running firmware's frame: not heard here
    }
    const auto sum = static_cast<uint8_t>(std::accumulate(request.begin() + 2, request.end(), 0u));
    Handled handled =
        sum == request[1] ? Packet(state, request, drawn) : Handled{FrameKind::BadChecksum, kNak};
    if (state.config.bootSilent && handled.fault == Fault::None) {
        handled.fault = Fault::Dropped;
    }
    return handled;
}

}  // namespace kestrow::sim
