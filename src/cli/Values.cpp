#include "cli/Values.h"

#include <charconv>
#include <vector>

namespace kestrow::cli {
namespace {

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

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

Failure Refused(const SettingInfo& s, const std::string& what, const std::string& accepted) {
    return {Exit::Usage, std::string(s.name) + ": " + what + "; " + accepted};
}

}  // namespace

std::string ValueText(const SettingValue& value) {
    if (const int* n = std::get_if<int>(&value)) {
        return std::to_string(*n);
    }
    return std::get<std::string>(value);
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

Outcome<const SettingInfo*> FindNamedSetting(std::string_view name) {
    if (const SettingInfo* s = FindSetting(name)) {
        return s;
    }
    return Failure{Exit::Usage,
                   "unknown setting " + Quoted(name) + "; \"kestrowctl settings\" lists the names"};
}

std::optional<Failure> Unavailable(const SettingInfo& setting, const BoxFacts& box) {
    if (Offered(setting, box)) {
        return std::nullopt;
    }
    const std::string_view when = setting.kind == SettingKind::Genlock
                                      ? WhenOffered(Availability::ClockMode)
                                      : WhenOffered(setting.availability);
    return Failure{Exit::Usage, std::string(setting.name) + ": this box does not offer " +
                                    std::string(setting.label) + " (only " + std::string(when) +
                                    ")"};
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

std::string RangeText(int minimum, int maximum) {
    return std::to_string(minimum) + " to " + std::to_string(maximum);
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

Json ToJson(const std::optional<SettingValue>& value) {
    if (!value) {
        return nullptr;
    }
    if (const int* n = std::get_if<int>(&*value)) {
        return *n;
    }
    return std::get<std::string>(*value);
}

std::optional<GenlockReading> ReadGenlock(DeviceLink& link, const SettingInfo& setting,
                                          bool* periodAnswered) {
    const auto period = link.ReadGenlockValue(setting.periodItem);
    if (periodAnswered != nullptr) {
        *periodAnswered = period.has_value();
    }
    const auto delay = period ? link.ReadGenlockValue(setting.readItem) : std::nullopt;
    if (!delay) {
        return std::nullopt;
    }
    return GenlockReading{*period, *delay};
}

std::optional<int> ShownGenlockFor(uint16_t delay, uint16_t period) {
    const int shown = GenlockShown(delay, period);
    return shown == ClampGenlock(shown, period) ? std::optional<int>(shown) : std::nullopt;
}

Outcome<PlannedWrite> PlanWrite(const SettingInfo& setting, const BoxFacts& box,
                                const SettingValue& value, uint16_t period) {
    if (auto refused = Unavailable(setting, box)) {
        return *refused;
    }
    return PlanValue(setting, box, value, period);
}

Outcome<PlannedWrite> PlanValue(const SettingInfo& setting, const BoxFacts& box,
                                const SettingValue& value, uint16_t period) {
    const std::string given = std::holds_alternative<int>(value)
                                  ? ValueText(value)
                                  : Quoted(std::get<std::string>(value));
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
        return PlannedWrite{&setting, std::string(c.text), c.sent};
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
        return PlannedWrite{&setting, *number, GenlockRegisterFor(*number, period)};
    }
    return PlannedWrite{&setting, *number, ByteForShown(setting, *number)};
}

}  // namespace kestrow::cli
