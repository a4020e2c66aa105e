#include "device/Frames.h"

#include <initializer_list>

#include "device/Protocol.h"

namespace kestrow {
namespace {

using namespace protocol;

// Lays out n, 6C, 93 and the given bytes, then the checksum at n-1.
Frame Build(std::initializer_list<uint8_t> body) {
    Frame f;
    f.size = static_cast<uint8_t>(body.size() + 4);
    f.bytes[0] = f.size;
    f.bytes[1] = kSync1;
    f.bytes[2] = kSync2;
    size_t i = 3;
    for (uint8_t b : body) {
        f.bytes[i++] = b;
    }
    f.bytes[i] = FrameChecksum({f.bytes.data(), i});
    return f;
}

}  // namespace

uint8_t FrameChecksum(std::span<const uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<uint8_t>(0x100u - (sum & 0xFFu));
}

Frame WriteSettingFrame(uint8_t group, uint8_t item, uint8_t value) {
    return Build({kWriteSetting, group, item, value});
}
Frame ReadSettingFrame(uint8_t group, uint8_t item) {
    return Build({kReadSetting, group, item});
}
Frame WriteGenlockFrame(uint8_t item, uint8_t high, uint8_t low) {
    return Build({kGenlock, item, high, low});
}
Frame ReadGenlockFrame(uint8_t item) {
    return Build({kGenlock, item});
}
Frame ProbeFrame() {
    return Build({kProbe});
}
Frame VersionFrame(bool useItem3) {
    return ReadSettingFrame(kGroupSystem, useItem3 ? kItemVersionOlder : kItemVersionNewer);
}

Frame CommandFrame(uint8_t length, uint8_t opcode, uint8_t b4, uint8_t b5, uint8_t b6) {
    Frame f;
    if (length != 5 && length != 8) {
        return f;  // size 0: nothing goes out
    }
    f.size = length;
    f.bytes = {length, kSync1, kSync2, opcode, b4, b5, b6, 0};
    f.bytes[length - 1u] = FrameChecksum({f.bytes.data(), length - 1u});
    return f;
}

}  // namespace kestrow
