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

Result<void> OpenBoxPort(SerialPort& serial, const ComPort& port) {
    return serial.Open(port, LineSettings{});  // 115200 8-N-1
}

Result<void> OpenForLongReads(SerialPort& serial, const ComPort& port) {
    serial.Close();  // also when `port` is out of range, where Open would leave it open
    if (Result<void> opened = OpenBoxPort(serial, port); !opened) {
        return opened;
    }
    serial.SetReadTimeouts(ReadTimeouts::LongRead);
    return {};
}

void DeviceLink::SetPort(ComPort port) {
    if (port.path != port_.path) {
        serial_.Close();
    }
    port_ = std::move(port);
}

Result<void> DeviceLink::OpenStep() {
    if (held_ && serial_.IsOpen()) {
        // What the opening would have given: no stale input, the open default time-outs.
        serial_.SetReadTimeouts(ReadTimeouts::OpenDefault);
        Result<void> dropped = serial_.DiscardInput();
        if (!dropped) {
            serial_.Close();
        }
        return dropped;
    }
    serial_.Close();
    return OpenBoxPort(serial_, port_);
}

Result<void> DeviceLink::OpenForRefresh() {
    if (!held_ || !serial_.IsOpen()) {
        return OpenForLongReads(serial_, port_);
    }
    if (Result<void> opened = OpenStep(); !opened) {
        return opened;
    }
    serial_.SetReadTimeouts(ReadTimeouts::LongRead);
    return {};
}

void DeviceLink::EndExchanges(const Error* failure) {
    const bool usable = failure == nullptr || failure->kind == ErrorKind::NoAnswer ||
                        failure->kind == ErrorKind::BadReply;
    if (!held_ || !usable) {
        serial_.Close();
    }
}

Result<void> DeviceLink::WriteFrame(const Frame& frame) {
    if (frame.size == 0) {
        return Error{.kind = ErrorKind::Invalid, .detail = "a command frame has 5 or 8 bytes"};
    }
    return WriteBytes(frame.view());
}

Result<void> DeviceLink::WriteBytes(std::span<const uint8_t> bytes) {
    const Result<uint32_t> sent = serial_.Write(bytes);
    if (!sent) {
        return sent.error();
    }
    if (*sent != bytes.size()) {
        return Error{.kind = ErrorKind::Failed,
                     .detail = "the frame did not go out whole",
                     .path = port_.path};
    }
    return {};
}

Result<void> DeviceLink::ReadReply(std::span<uint8_t> into) {
    const Result<uint32_t> got = serial_.Read(into);
    if (!got) {
        return got.error();
    }
    if (*got != into.size()) {
        return Error{.kind = ErrorKind::NoAnswer, .path = port_.path};
    }
    return {};
}

Result<void> DeviceLink::Transmit(const Frame& frame) {
    if (Result<void> opened = OpenStep(); !opened) {
        return opened;
    }
    Result<void> sent = WriteFrame(frame);
    EndStep(sent);
    return sent;
}

Result<void> DeviceLink::WriteSetting(uint8_t group, uint8_t item, uint8_t value) {
    return Transmit(WriteSettingFrame(group, item, value));
}

Result<void> DeviceLink::WriteGenlockValue(uint8_t item, uint8_t high, uint8_t low) {
    return Transmit(WriteGenlockFrame(item, high, low));
}

Result<void> DeviceLink::SendFrame(uint8_t length, uint8_t opcode, uint8_t b4, uint8_t b5,
                                   uint8_t b6) {
    return Transmit(CommandFrame(length, opcode, b4, b5, b6));
}

Result<uint8_t> DeviceLink::ReadSetting(uint8_t group, uint8_t item) {
    if (Result<void> opened = OpenStep(); !opened) {
        return opened.error();
    }
    Result<uint8_t> value = Error{};
    if (Result<void> sent = WriteFrame(ReadSettingFrame(group, item)); !sent) {
        value = sent.error();
    } else {
        SleepMs(kReadSettingWaitMs);
        // A reply counts only whole (5 bytes) and starting with its length 05: a reply that
        // lost a byte would otherwise give its last byte as the value. (The status refresh
        // takes any whole reply and looks at byte 0 only for the model question.)
        Reply reply{};
        if (Result<void> read = ReadReply(reply); !read) {
            value = read.error();
        } else if (reply[0] != kReplyLength) {
            value = Error{.kind = ErrorKind::BadReply,
                          .detail = "the reply does not start with its length 05",
                          .path = port_.path};
        } else {
            value = reply[kReplyValue];
        }
    }
    EndStep(value);
    return value;
}

Result<uint16_t> DeviceLink::ReadGenlockValue(uint8_t item) {
    if (Result<void> opened = OpenStep(); !opened) {
        return opened.error();
    }
    Result<uint16_t> value = Error{};
    if (Result<void> dropped = serial_.DiscardInput(); !dropped) {
        value = dropped.error();
    } else if (Result<void> sent = WriteFrame(ReadGenlockFrame(item)); !sent) {
        value = sent.error();
    } else {
        SleepMs(kShortWaitMs);
        Reply reply{};
        if (Result<void> read = ReadReply(reply); !read) {
            value = read.error();
        } else {
            value = static_cast<uint16_t>(reply[kReplyValue] << 8 | reply[kReplyValue + 1]);
        }
    }
    EndStep(value);
    return value;
}

Result<std::string> DeviceLink::ReadVersionText(bool useItem3) {
    if (Result<void> opened = OpenStep(); !opened) {
        return opened.error();
    }
    Result<std::string> text = Error{};
    std::array<uint8_t, kVersionReplyLength> buffer{};
    if (Result<void> sent = WriteFrame(VersionFrame(useItem3)); !sent) {
        text = sent.error();
    } else {
        SleepMs(kShortWaitMs);
        if (Result<void> read = ReadReply(buffer); !read) {
            text = read.error();
        } else {
            const char* chars = reinterpret_cast<const char*>(buffer.data() + kVersionTextAt);
            text = std::string(chars, strnlen(chars, kVersionTextLength));
        }
    }
    EndStep(text);
    return text;
}

Result<void> DeviceLink::ProbeForSearch(const ComPort& port) {
    SetPort(port);
    const Frame probe = ProbeFrame();
    Reply reply{};
    return ExchangeBytes(probe.view(), reply);
}

Result<void> DeviceLink::ExchangeBytes(std::span<const uint8_t> request, std::span<uint8_t> reply) {
    if (Result<void> opened = OpenStep(); !opened) {
        return opened;
    }
    Result<void> done = serial_.DiscardInput();
    if (done) {
        done = WriteBytes(request);
    }
    if (done) {
        done = ReadReply(reply);
    }
    EndStep(done);
    return done;
}

Result<Reply> DeviceLink::Exchange(const Frame& frame) {
    Reply reply{};
    Result<void> got = WriteFrame(frame);
    if (got) {
        got = ReadReply(reply);
    }
    SleepMs(kAfterExchangeWaitMs);
    (void)serial_.DiscardInput();
    if (!got) {
        return got.error();
    }
    return reply;
}

}  // namespace kestrow
