// A setting's value as the operator sees it (a signed number, an entry's text) and the frame
// its dialog's Apply sends for it; the refusals the dialog's range and lists imply.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "cli/Cli.h"
#include "device/DeviceLink.h"
#include "settings/Settings.h"

namespace kestrow::cli {

using SettingValue = std::variant<int, std::string>;
using Json = nlohmann::ordered_json;

[[nodiscard]] std::string ValueText(const SettingValue& value);
// A value as JSON: a number, a text, or null when there is none.
[[nodiscard]] Json ToJson(const std::optional<SettingValue>& value);
// A decimal integer with an optional sign and nothing else around it.
[[nodiscard]] std::optional<int> ParseInteger(std::string_view text);
// A command-line value: a number where the setting takes one and the text is one, else text.
[[nodiscard]] SettingValue ValueFromText(const SettingInfo& setting, const std::string& text);

// The setting of that name, or a usage failure naming it.
[[nodiscard]] Outcome<const SettingInfo*> FindNamedSetting(std::string_view name);
// A usage failure unless this box offers the setting (the panel reaches its row, Offered).
[[nodiscard]] std::optional<Failure> Unavailable(const SettingInfo& setting, const BoxFacts& box);
// "2.1" -> (2, 1); each part 0..255.
[[nodiscard]] std::optional<std::pair<uint8_t, uint8_t>> ParseAddress(std::string_view text);
// "0 to 255", "-100 to 100".
[[nodiscard]] std::string RangeText(int minimum, int maximum);

// What the dialog shows for a stored byte: the number within the label's range, or the text of
// the entry its list selects. None when the dialog could show neither.
[[nodiscard]] std::optional<SettingValue> ShownValueFor(const SettingInfo& setting,
                                                        const BoxFacts& box, uint8_t byte);
// A GenLock setting's period, then its delay, read as the GenLock dialog reads them; none when
// the box does not answer.
struct GenlockReading {
    uint16_t period = 0;
    uint16_t delay = 0;
};
[[nodiscard]] std::optional<GenlockReading> ReadGenlock(DeviceLink& link,
                                                        const SettingInfo& setting,
                                                        bool* periodAnswered = nullptr);
// A GenLock delay as shown, or none when it lies outside -period/2 .. period/2.
[[nodiscard]] std::optional<int> ShownGenlockFor(uint16_t delay, uint16_t period);

// One write as the dialog's Apply sends it.
struct PlannedWrite {
    const SettingInfo* setting = nullptr;
    SettingValue shown;  // the value as the dialog shows it after the write
    uint16_t value = 0;  // the byte sent, or the GenLock register value (WriteSettingValue)
};

// The write for `value`, or a usage failure naming the accepted range or choices. `period` is
// the GenLock period read from the box (GenLock settings only).
[[nodiscard]] Outcome<PlannedWrite> PlanWrite(const SettingInfo& setting, const BoxFacts& box,
                                              const SettingValue& value, uint16_t period = 0);
// The same without asking whether the box offers the setting: for a number's range and a
// fixed list it needs no box at all.
[[nodiscard]] Outcome<PlannedWrite> PlanValue(const SettingInfo& setting, const BoxFacts& box,
                                              const SettingValue& value, uint16_t period = 0);

}  // namespace kestrow::cli
