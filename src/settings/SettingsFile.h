// The settings file that kestrowctl's dump and load and the panel's Save settings... and Load
// settings... write and read: every setting a dialog can write, in a JSON object a person can
// edit.
//
//   {
//     "format": "kestrow-settings", "version": 1, "program": "kestrowctl 1.0.0",
//     "model": 0, "newerModel": false, "versionText": "V1.23.456",
//     "settings": { "output-resolution": "1024x768p60", "contrast": 128, "h-shift": -3, ... }
//   }
//
// Numbers as the dialogs show them (signed, offsets taken off), choices by their list text.
// A file is checked whole before anything is written; nothing here shows or prints anything.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "device/DeviceLink.h"
#include "settings/SettingValues.h"

namespace kestrow {

inline constexpr const char* kSettingsFormat = "kestrow-settings";
inline constexpr int kSettingsFormatVersion = 1;

// The settings as the dialogs show them: from the bytes a refresh stored and, for the GenLock
// delays, from the box as the GenLock dialog reads them. `notes` says what was left out and why
// (a byte the dialog cannot show; a box that answers none of its GenLock reads).
struct ShownSettings {
    Json values = Json::object();  // name: value, in table order
    std::vector<std::string> notes;
};
// The link's failure when a GenLock reply was lost (the box answers some of those reads but
// not all), the port did not open or the device went away.
[[nodiscard]] Result<ShownSettings> ReadShownSettings(DeviceLink& link, const StatusCache& cache,
                                                      const BoxFacts& box);

// The firmware version text the System dialog shows for this box.
[[nodiscard]] std::string VersionTextFor(DeviceLink& link, const BoxFacts& box);

// The whole file, ending in a line feed.
[[nodiscard]] std::string SettingsFileText(const BoxFacts& box, const std::string& versionText,
                                           const Json& settings, const std::string& program);

// A file read and checked as far as it can be without the box: a parse error, a name given
// twice, the header's fields, and the entries' names, kinds of value, numbers' ranges and
// fixed lists. The file when it may go to a box; otherwise a Refusal listing every fault.
[[nodiscard]] Result<Json> ParseSettingsFile(const std::string& text);

// The GenLock settings a checked file names that this box offers: their periods are read from
// the box before the file is planned.
[[nodiscard]] std::vector<const SettingInfo*> GenlockSettingsNamed(const Json& file,
                                                                   const BoxFacts& box);
using GenlockPeriods = std::map<std::string, uint16_t, std::less<>>;  // by setting name
// Those periods, read from the box in table order; the link's failure when one of them does
// not answer.
[[nodiscard]] Result<GenlockPeriods> ReadGenlockPeriods(DeviceLink& link, const Json& file,
                                                        const BoxFacts& box);

// A checked file against the box: its model, and every entry against what this box offers.
// The writes in table order, or a Refusal listing every fault.
[[nodiscard]] Result<std::vector<PlannedWrite>> PlanLoad(const Json& file, const BoxFacts& box,
                                                         const GenlockPeriods& periods);

// After the writes: each setting that reads back different, "name: wrote X, reads back Y".
[[nodiscard]] std::vector<std::string> ReadBackDifferences(const std::vector<PlannedWrite>& writes,
                                                           const Json& now);

// "1 setting", "20 settings".
[[nodiscard]] std::string SettingsCount(size_t settings);

}  // namespace kestrow
