#include "device/DeviceLink.h"

#include <cstring>

#include "device/Protocol.h"

namespace kestrow {
namespace {

using namespace protocol;

constexpr uint32_t kReadSettingWaitMs = 500;
constexpr uint32_t kShortWaitMs = 50;
constexpr uint32_t kAfterExchangeWaitMs = 10;
// The version reply: 14 bytes, byte 3 for the caller, nine characters of text from byte 4.
constexpr size_t kVersionReplyLength = 14;
constexpr size_t kVersionTextAt = 4;
constexpr size_t kVersionTextLength = 9;

}  // namespace

bool OpenBoxPort(SerialPort& serial, const ComPort& port) {
    serial.Open(port, LineSettings{});  // 115200 8-N-1
    return serial.IsOpen();
}

bool OpenForLongReads(SerialPort& serial, const ComPort& port) {
    serial.Close();  // also when `port` is out of range, where Open would leave it open
    if (!OpenBoxPort(serial, port)) {
        return false;
    }
    serial.SetReadTimeouts(ReadTimeouts::LongRead);
    return true;
}

bool DeviceLink::OpenStep() {
    serial_.Close();
    return OpenBoxPort(serial_, port_);
}

bool DeviceLink::WriteFrame(const Frame& frame) {
    if (frame.size == 0) {
        return false;
    }
    return serial_.Write(frame.bytes.data(), frame.size) == frame.size;
}

bool DeviceLink::Transmit(const Frame& frame) {
    if (!OpenStep()) {
        return false;
    }
    const bool sent = WriteFrame(frame);
    serial_.Close();
    return sent;
}

bool DeviceLink::WriteSetting(uint8_t group, uint8_t item, uint8_t value) {
    return Transmit(WriteSettingFrame(group, item, value));
}

bool DeviceLink::WriteGenlockValue(uint8_t item, uint8_t high, uint8_t low) {
    return Transmit(WriteGenlockFrame(item, high, low));
}

bool DeviceLink::SendFrame(uint8_t length, uint8_t opcode, uint8_t b4, uint8_t b5, uint8_t b6) {
    return Transmit(CommandFrame(length, opcode, b4, b5, b6));
}

std::optional<uint8_t> DeviceLink::ReadSetting(uint8_t group, uint8_t item) {
    if (!OpenStep()) {
        return std::nullopt;
    }
    std::optional<uint8_t> value;
    if (WriteFrame(ReadSettingFrame(group, item))) {
        SleepMs(kReadSettingWaitMs);
        // A reply counts only whole (5 bytes) and starting with its length 05: a reply that
        // lost a byte would otherwise give its last byte as the value. (The status refresh
        // takes any whole reply and looks at byte 0 only for the model question.)
        Reply reply{};
        if (serial_.Read(reply.data(), kReplyBytes) == kReplyBytes && reply[0] == kReplyLength) {
            value = reply[kReplyValue];
        }
    }
    serial_.Close();
    return value;
}

std::optional<uint16_t> DeviceLink::ReadGenlockValue(uint8_t item) {
    if (!OpenStep()) {
        return std::nullopt;
    }
    std::optional<uint16_t> value;
    serial_.DiscardInput();
    if (WriteFrame(ReadGenlockFrame(item))) {
        SleepMs(kShortWaitMs);
        Reply reply{};
        if (serial_.Read(reply.data(), kReplyBytes) == kReplyBytes) {
            value = static_cast<uint16_t>(reply[kReplyValue] << 8 | reply[kReplyValue + 1]);
        }
    }
    serial_.Close();
    return value;
}

uint8_t DeviceLink::ReadVersionText(bool useItem3, std::string& text) {
    if (!OpenStep()) {
        return 0;
    }
    // The reply overwrites the request's own buffer, so a short reply leaves request bytes.
    std::array<uint8_t, kVersionReplyLength> buffer{};
    const Frame request = VersionFrame(useItem3);
    std::memcpy(buffer.data(), request.bytes.data(), request.size);
    serial_.Write(request.bytes.data(), request.size);
    SleepMs(kShortWaitMs);
    const uint32_t got = serial_.Read(buffer.data(), kVersionReplyLength);
    if (got == kVersionReplyLength) {
        const char* chars = reinterpret_cast<const char*>(buffer.data() + kVersionTextAt);
        text.assign(chars, strnlen(chars, kVersionTextLength));
    } else {
        text = "NA";
    }
    serial_.Close();
    return buffer[kReplyValue];
}

bool DeviceLink::ProbeForSearch(const ComPort& port) {
    port_ = port;
    if (!OpenBoxPort(serial_, port_)) {
        return false;
    }
    serial_.DiscardInput();
    bool found = false;
    if (WriteFrame(ProbeFrame())) {
        Reply reply{};
        found = serial_.Read(reply.data(), kReplyBytes) == kReplyBytes;
    }
    serial_.Close();
    return found;
}

std::optional<Reply> DeviceLink::Exchange(const Frame& frame) {
    Reply reply{};
    uint32_t got = 0;
    if (WriteFrame(frame)) {
        got = serial_.Read(reply.data(), kReplyBytes);
    }
    SleepMs(kAfterExchangeWaitMs);
    serial_.DiscardInput();
    if (got != kReplyBytes) {
        return std::nullopt;
    }
    return reply;
}

}  // namespace kestrow
