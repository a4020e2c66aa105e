#include "base/Quoting.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace kestrow {
namespace {

bool Continues(uint8_t byte, uint8_t low = 0x80, uint8_t high = 0xBF) {
    return byte >= low && byte <= high;
}

// The length of the UTF-8 character at the start of `text`; 0 when its bytes are none (an
// overlong form, a surrogate, a code point beyond U+10FFFF, a sequence cut short).
std::size_t CharacterLength(std::string_view text) {
    const auto at = [&text](std::size_t i) {
        return i < text.size() ? static_cast<uint8_t>(text[i]) : uint8_t{0};
    };
    const uint8_t lead = at(0);
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return Continues(at(1)) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const uint8_t low = lead == 0xE0 ? 0xA0 : 0x80;
        const uint8_t high = lead == 0xED ? 0x9F : 0xBF;
        return Continues(at(1), low, high) && Continues(at(2)) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const uint8_t low = lead == 0xF0 ? 0x90 : 0x80;
        const uint8_t high = lead == 0xF4 ? 0x8F : 0xBF;
        return Continues(at(1), low, high) && Continues(at(2)) && Continues(at(3)) ? 4 : 0;
    }
    return 0;
}

}  // namespace

std::string QuotedValue(std::string_view value, char mark) {
    std::string shown;  // what is quoted of the value, escapes written out
    std::size_t i = 0;
    while (i < value.size()) {
        const std::size_t length = CharacterLength(value.substr(i));
        const auto byte = static_cast<uint8_t>(value[i]);
        std::string piece;
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            std::array<char, 5> escape{};
            std::snprintf(escape.data(), escape.size(), "\\x%02X", byte);
            piece = byte == '\n'   ? "\\n"
                    : byte == '\t' ? "\\t"
                    : byte == '\r' ? "\\r"
                                   : escape.data();
        } else {
            piece = value.substr(i, length);
        }
        if (shown.size() + piece.size() > kQuotedBytes) {
            break;
        }
        shown += piece;
        i += std::max<std::size_t>(length, 1);
    }
    const std::string quoted = mark != '\0' ? mark + shown + mark : shown;
    if (i == value.size()) {
        return quoted;
    }
    const std::string cut = mark != '\0' ? mark + shown + "..." + mark : shown + "...";
    return cut + " (" + std::to_string(value.size()) + " bytes)";
}

}  // namespace kestrow
