#include "settings/SettingValues.h"

#include <charconv>
#include <limits>

#include "base/Quoting.h"
#include "device/Protocol.h"

namespace kestrow {
namespace {

// Why a dialog hides a row, for the refusal.
std::string_view WhenOffered(Availability availability) {
    switch (availability) {
        case Availability::Always:
            return "";
        case Availability::AudioSource:
            return "HDMI output fed from a VGA, DVI or Component input";
        case Availability::EdidAudio:
            return "an HDMI input";
        case Availability::ClockMode:
            return "boxes whose model byte is 1";
        case Availability::AutoSleep:
            return "newer models whose model byte is not 1";
    }
    return "";
}

std::string ChoicesText(const std::vector<Choice>& list) {
    std::string out;
    bool shortForms = false;
    for (const Choice& c : list) {
        out += (out.empty() ? "" : ", ") + std::string(c.text);
        shortForms = shortForms || ShortChoiceText(c.text) != c.text;
    }
    return out + (shortForms ? " (short forms such as 1080p60 are taken too)" : "");
}

Error Refused(const SettingInfo& s, const std::string& what, const std::string& accepted) {
    return {.kind = ErrorKind::Invalid,
            .detail = std::string(s.name) + ": " + what + "; " + accepted};
}

}  // namespace

std::string ValueText(const SettingValue& value) {
    if (const int* n = std::get_if<int>(&value)) {
        return std::to_string(*n);
    }
    return std::get<std::string>(value);
}

Json ToJson(const std::optional<SettingValue>& value) {
    if (!value) {
        return nullptr;
    }
    if (const int* n = std::get_if<int>(&*value)) {
        return *n;
    }
    return std::get<std::string>(*value);
}

std::optional<SettingValue> FromJson(const Json& value) {
    constexpr int64_t kMax = std::numeric_limits<int>::max();
    constexpr int64_t kMin = std::numeric_limits<int>::min();
    if (value.is_number_unsigned()) {
        const auto n = value.get<uint64_t>();
        return n <= static_cast<uint64_t>(kMax) ? std::optional<SettingValue>(static_cast<int>(n))
                                                : std::nullopt;
    }
    if (value.is_number_integer()) {
        const auto n = value.get<int64_t>();
        return n >= kMin ? std::optional<SettingValue>(static_cast<int>(n)) : std::nullopt;
    }
    if (value.is_string()) {
        return value.get<std::string>();
    }
    return std::nullopt;
}

std::optional<int> ParseInteger(std::string_view text) {
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') {
        text.remove_prefix(1);
    }
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || at != end) {
        return std::nullopt;
    }
    return value;
}

SettingValue ValueFromText(const SettingInfo& setting, const std::string& text) {
    if (setting.kind != SettingKind::Choice) {
        if (const auto n = ParseInteger(text)) {
            return *n;
        }
    }
    return text;
}

std::string RangeText(int minimum, int maximum) {
    return std::to_string(minimum) + " to " + std::to_string(maximum);
}

std::string UnknownSettingText(std::string_view name) {
    return "unknown setting " + QuotedValue(name) + "; \"kestrowctl settings\" lists the names";
}

std::optional<std::string> NotOfferedText(const SettingInfo& setting, const BoxFacts& box) {
    if (Offered(setting, box)) {
        return std::nullopt;
    }
    const std::string_view when = setting.kind == SettingKind::Genlock
                                      ? WhenOffered(Availability::ClockMode)
                                      : WhenOffered(setting.availability);
    return std::string(setting.name) + ": this box does not offer " + std::string(setting.label) +
           " (only " + std::string(when) + ")";
}

std::optional<SettingValue> ShownValueFor(const SettingInfo& setting, const BoxFacts& box,
                                          uint8_t byte) {
    if (setting.kind == SettingKind::Number) {
        const int shown = ShownValue(setting, byte);
        if (shown < setting.minimum || shown > setting.maximum) {
            return std::nullopt;
        }
        return shown;
    }
    if (setting.kind == SettingKind::Choice) {
        const std::vector<Choice> list = ChoicesFor(setting, box);
        if (const auto entry = SelectedChoice(setting, box, byte)) {
            return std::string(list[static_cast<size_t>(*entry)].text);
        }
    }
    return std::nullopt;
}

std::string UnshownByteText(const SettingInfo& setting, uint8_t byte) {
    const std::string code = "code " + std::to_string(byte);
    switch (setting.kind) {
        case SettingKind::Number:
            return "byte " + std::to_string(byte) + " (shows as " +
                   std::to_string(ShownValue(setting, byte)) + ", outside " +
                   RangeText(setting.minimum, setting.maximum) + ")";
        case SettingKind::Genlock:
            break;
        case SettingKind::Choice:
            switch (setting.rule) {
                case ChoiceRule::Fixed:
                    return code + " (not in the dialog's list)";
                case ChoiceRule::OutputResolution: {
                    const std::string_view name = LookupName(OutputResolutionNames, byte);
                    return name.empty() ? code + " (no output resolution has this code)"
                                        : code + " (" + std::string(name) +
                                              ", not in this output port's list)";
                }
                case ChoiceRule::OutputMode:
                    return code + " (not in this output port's list)";
                case ChoiceRule::ClockMode:
                    return code + " (not in this input port's list)";
            }
            break;
    }
    return "byte " + std::to_string(byte);
}

std::optional<uint8_t> CachedValue(const StatusCache& cache, const BoxFacts& box,
                                   const SettingInfo& setting) {
    const uint8_t* byte = CachedByte(cache, box, setting);
    return byte != nullptr ? std::optional<uint8_t>(*byte) : std::nullopt;
}

const uint8_t* CachedByte(const StatusCache& cache, const BoxFacts& box,
                          const SettingInfo& setting) {
    if (setting.kind == SettingKind::Genlock) {
        return nullptr;
    }
    if (setting.group == protocol::kGroupSystem && setting.item == protocol::kItemSystemSetting) {
        return box.newerModel ? &cache.system[2] : &cache.system[1];
    }
    return SettingByte(cache, setting.group, setting.item);
}

void StoreWritten(StatusCache& cache, const BoxFacts& box, const PlannedWrite& write) {
    if (uint8_t* byte = CachedByte(cache, box, *write.setting)) {
        *byte = write.stored;
    }
}

Result<GenlockReading> ReadGenlock(DeviceLink& link, const SettingInfo& setting,
                                   bool* periodAnswered) {
    const Result<uint16_t> period = link.ReadGenlockValue(setting.periodItem);
    if (periodAnswered != nullptr) {
        *periodAnswered = period.ok();
    }
    if (!period) {
        return period.error();
    }
    const Result<uint16_t> delay = link.ReadGenlockValue(setting.readItem);
    if (!delay) {
        return delay.error();
    }
    return GenlockReading{*period, *delay};
}

std::optional<int> ShownGenlockFor(uint16_t delay, uint16_t period) {
    const int shown = GenlockShown(delay, period);
    return shown == ClampGenlock(shown, period) ? std::optional<int>(shown) : std::nullopt;
}

Result<PlannedWrite> PlanWrite(const SettingInfo& setting, const BoxFacts& box,
                               const SettingValue& value, uint16_t period) {
    if (auto refused = NotOfferedText(setting, box)) {
        return Error{.kind = ErrorKind::Invalid, .detail = *refused};
    }
    return PlanValue(setting, box, value, period);
}

Result<PlannedWrite> PlanValue(const SettingInfo& setting, const BoxFacts& box,
                               const SettingValue& value, uint16_t period) {
    const std::string given = std::holds_alternative<int>(value)
                                  ? ValueText(value)
                                  : QuotedValue(std::get<std::string>(value));
    if (setting.kind == SettingKind::Choice) {
        const std::vector<Choice> list = ChoicesFor(setting, box);
        const std::string accepted = "this box offers " + ChoicesText(list);
        const auto* text = std::get_if<std::string>(&value);
        if (text == nullptr) {
            return Refused(setting, given + " is not a choice", accepted);
        }
        const auto entry = FindChoice(list, *text);
        if (!entry) {
            return Refused(setting, "no choice " + given, accepted);
        }
        const Choice& c = list[static_cast<size_t>(*entry)];
        return PlannedWrite{&setting, std::string(c.text), c.sent, c.stored};
    }

    const bool genlock = setting.kind == SettingKind::Genlock;
    const GenlockRange range = GenlockRangeFor(period);
    const int minimum = genlock ? range.minimum : setting.minimum;
    const int maximum = genlock ? range.maximum : setting.maximum;
    const std::string accepted =
        std::string(setting.label) + " takes " + RangeText(minimum, maximum) +
        (genlock ? " (the box's period is " + std::to_string(period) + ")" : std::string{});
    const int* number = std::get_if<int>(&value);
    if (number == nullptr) {
        return Refused(setting, given + " is not a number", accepted);
    }
    if (*number < minimum || *number > maximum) {
        return Refused(setting, given + " is out of range", accepted);
    }
    if (genlock) {
        return PlannedWrite{&setting, *number, GenlockRegisterFor(*number, period), 0};
    }
    const uint8_t byte = ByteForShown(setting, *number);
    return PlannedWrite{&setting, *number, byte, byte};
}

}  // namespace kestrow
