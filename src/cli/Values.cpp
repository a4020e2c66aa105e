#include "cli/Values.h"

namespace kestrow::cli {

Outcome<const SettingInfo*> FindNamedSetting(std::string_view name) {
    if (const SettingInfo* s = FindSetting(name)) {
        return s;
    }
    return Failure{Exit::Usage, UnknownSettingText(name)};
}

std::optional<Failure> Unavailable(const SettingInfo& setting, const BoxFacts& box) {
    if (auto refused = NotOfferedText(setting, box)) {
        return Failure{Exit::Usage, *refused};
    }
    return std::nullopt;
}

std::optional<std::pair<uint8_t, uint8_t>> ParseAddress(std::string_view text) {
    const size_t dot = text.find('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const auto group = ParseInteger(text.substr(0, dot));
    const auto item = ParseInteger(text.substr(dot + 1));
    if (!group || !item || text[0] == '-' || text[0] == '+' || text[dot + 1] == '-' ||
        text[dot + 1] == '+' || *group > 255 || *item > 255) {
        return std::nullopt;
    }
    return std::pair{static_cast<uint8_t>(*group), static_cast<uint8_t>(*item)};
}

}  // namespace kestrow::cli
