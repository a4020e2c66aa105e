// The single-reply transactions of the settings protocol through DeviceLink, against replies
// the fuzzer shapes (FakeLine.h: each read gets the chunk the input gives it, short ones too).
// Input: byte 0 picks the transaction, byte 1 its operands, byte 2 bit 0 makes the open fail;
// the rest is the line. A value is reported only from a reply of the shape its rule requires,
// and is the byte that arrived; the request is the transaction's frame; the port ends closed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "device/DeviceLink.h"
#include "fuzz/FakeLine.h"

using namespace kestrow;
using fuzz::Check;
using fuzz::Line;

namespace {

std::vector<uint8_t> Bytes(const Frame& frame) {
    return {frame.bytes.begin(), frame.bytes.begin() + frame.size};
}

// The one read of a transaction: the bytes it handed out. Aborts unless there was exactly
// one read when `sent` went out, and none when nothing did.
std::vector<uint8_t> OnlyRead(const std::vector<uint8_t>& request, uint32_t count) {
    const auto sent = Line().Sent();
    const auto reads = Line().Reads();
    if (sent.empty()) {
        Check(reads.empty(), "a read without a request");
        return {};
    }
    Check(sent.size() == 1 && sent[0] == request, "the request is not the transaction's frame");
    Check(reads.size() == 1 && reads[0]->requested == count, "not one read of the reply's length");
    return reads[0]->bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const uint8_t which = data[0] % 4;
    const uint8_t operand = data[1];
    const bool opens = (data[2] & 1) == 0;
    Line().Reset({data + 3, size - 3}, opens);
    const ComPort port{200, "/fake/COM200"};
    DeviceLink link(port, fuzz::LineTracer());

    switch (which) {
        case 0: {  // the port search's probe: found only when five bytes came back
            const bool found = link.ProbeForSearch(port).ok();
            const auto reply = OnlyRead(Bytes(ProbeFrame()), 5);
            Check(found == (reply.size() == 5), "probe found without a whole reply, or missed one");
            break;
        }
        case 1: {  // a setting: five bytes starting with 05, the value byte 3
            const auto group = static_cast<uint8_t>(1 + operand % 4);
            const auto item = static_cast<uint8_t>(1 + (operand >> 2) % 16);
            const auto value = link.ReadSetting(group, item);
            const auto reply = OnlyRead(Bytes(ReadSettingFrame(group, item)), 5);
            const bool whole = reply.size() == 5 && reply[0] == 0x05;
            Check(value.ok() == whole, "setting value without a whole 05 reply, or lost");
            Check(!value || *value == reply[3], "setting value is not reply byte 3");
            break;
        }
        case 2: {  // a GenLock register: five bytes, the value bytes 3 and 4
            const auto item = static_cast<uint8_t>(operand % 6);
            const auto value = link.ReadGenlockValue(item);
            const auto reply = OnlyRead(Bytes(ReadGenlockFrame(item)), 5);
            Check(value.ok() == (reply.size() == 5), "GenLock value without five bytes");
            Check(!value || *value == (reply[3] << 8 | reply[4]), "GenLock value not bytes 3, 4");
            break;
        }
        default: {  // the version text: nine characters of a 14-byte reply, a failure otherwise
            const bool useItem3 = (operand & 1) != 0;
            const Result<std::string> text = link.ReadVersionText(useItem3);
            const auto reply = OnlyRead(Bytes(VersionFrame(useItem3)), 14);
            if (!opens) {
                Check(!text, "version text without an open port");
            } else if (reply.size() != 14) {
                Check(!text, "version text from a short reply");
            } else {
                const auto* chars = reinterpret_cast<const char*>(reply.data() + 4);
                Check(text && *text == std::string(chars, strnlen(chars, 9)),
                      "version text not as sent");
            }
            break;
        }
    }
    Check(!link.IsOpen(), "the port is left open");
    Check(opens || Line().records().empty(), "the line was used though the port did not open");
    return 0;
}
