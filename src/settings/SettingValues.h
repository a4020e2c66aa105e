// A setting's value as the operator sees it (a signed number, an entry's text), the byte its
// dialog's Apply sends for it, and the refusals the dialog's range and lists imply. kestrowctl
// and the panel's settings files both go through these.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "device/DeviceLink.h"
#include "settings/Settings.h"
#include "settings/StatusCache.h"

namespace kestrow {

using SettingValue = std::variant<int, std::string>;
using Json = nlohmann::ordered_json;

// JSON as text for output: a string that is not UTF-8 (a file name, a typed value) is written
// with U+FFFD in its place, never thrown as an error.
[[nodiscard]] inline std::string JsonText(const Json& json, int indent = 2) {
    return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

[[nodiscard]] std::string ValueText(const SettingValue& value);
// A value as JSON: a number, a text, or null when there is none.
[[nodiscard]] Json ToJson(const std::optional<SettingValue>& value);
// A whole number within int, or a text; anything else has no value a dialog takes.
[[nodiscard]] std::optional<SettingValue> FromJson(const Json& value);
// A decimal integer with an optional sign and nothing else around it.
[[nodiscard]] std::optional<int> ParseInteger(std::string_view text);
// A typed value: a number where the setting takes one and the text is one, else text.
[[nodiscard]] SettingValue ValueFromText(const SettingInfo& setting, const std::string& text);
// "0 to 255", "-100 to 100".
[[nodiscard]] std::string RangeText(int minimum, int maximum);
// "unknown setting "brightnes"; ..." for a name the settings table lacks.
[[nodiscard]] std::string UnknownSettingText(std::string_view name);
// Why this box does not offer the setting (its dialog hides the row, or the panel cannot reach
// the dialog); none when it does.
[[nodiscard]] std::optional<std::string> NotOfferedText(const SettingInfo& setting,
                                                        const BoxFacts& box);

// What the dialog shows for a stored byte: the number within the label's range, or the text of
// the entry its list selects. None when the dialog could show neither.
[[nodiscard]] std::optional<SettingValue> ShownValueFor(const SettingInfo& setting,
                                                        const BoxFacts& box, uint8_t byte);
// What such a byte is, for a report that shows every byte it read: "code 0 (SD(480i)60, not in
// this output port's list)", "byte 200 (shows as 200, outside 0 to 127)".
[[nodiscard]] std::string UnshownByteText(const SettingInfo& setting, uint8_t byte);
// The byte a refresh stored for a setting of groups 1 to 4 (the System group's (4,2) where
// this model keeps it); none for a GenLock setting.
[[nodiscard]] std::optional<uint8_t> CachedValue(const StatusCache& cache, const BoxFacts& box,
                                                 const SettingInfo& setting);
// Where that byte lives in the cache; null for a GenLock setting.
[[nodiscard]] const uint8_t* CachedByte(const StatusCache& cache, const BoxFacts& box,
                                        const SettingInfo& setting);
[[nodiscard]] inline uint8_t* CachedByte(StatusCache& cache, const BoxFacts& box,
                                         const SettingInfo& setting) {
    return const_cast<uint8_t*>(CachedByte(std::as_const(cache), box, setting));
}

// A GenLock setting's period, then its delay, read as the GenLock dialog reads them; the link's
// failure when the box does not answer (periodAnswered says whether the period came).
struct GenlockReading {
    uint16_t period = 0;
    uint16_t delay = 0;
};
[[nodiscard]] Result<GenlockReading> ReadGenlock(DeviceLink& link, const SettingInfo& setting,
                                                 bool* periodAnswered = nullptr);
// A GenLock delay as shown, or none when it lies outside -period/2 .. period/2.
[[nodiscard]] std::optional<int> ShownGenlockFor(uint16_t delay, uint16_t period);

// One write as the dialog's Apply sends it.
struct PlannedWrite {
    const SettingInfo* setting = nullptr;
    SettingValue shown;  // the value as the dialog shows it after the write
    uint16_t value = 0;  // the byte sent, or the GenLock register value (WriteSettingValue)
    uint8_t stored = 0;  // the byte the dialog keeps in the cache after the write (not GenLock)
};

// After a write went out: the cache holds what the dialog's Apply keeps there.
void StoreWritten(StatusCache& cache, const BoxFacts& box, const PlannedWrite& write);

// The write for `value` on this box; Invalid, naming the accepted range or choices, when the
// value does not fit or the box does not offer the setting. `period` is the GenLock period
// read from the box (GenLock settings only).
[[nodiscard]] Result<PlannedWrite> PlanWrite(const SettingInfo& setting, const BoxFacts& box,
                                             const SettingValue& value, uint16_t period = 0);
// The same without asking whether the box offers the setting: for a number's range and a
// fixed list it needs no box at all.
[[nodiscard]] Result<PlannedWrite> PlanValue(const SettingInfo& setting, const BoxFacts& box,
                                             const SettingValue& value, uint16_t period = 0);

}  // namespace kestrow
