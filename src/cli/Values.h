// kestrowctl's side of a setting's value: finding a setting by the name typed, a raw G.I
// address, and the usage failures for what the dialog would refuse. The values themselves
// (shown forms, planned writes) are the settings module's (settings/SettingValues.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "cli/Cli.h"
#include "settings/SettingValues.h"

namespace kestrow::cli {

// The setting of that name, or a usage failure naming it.
[[nodiscard]] Outcome<const SettingInfo*> FindNamedSetting(std::string_view name);
// A usage failure unless this box offers the setting (the panel reaches its row, Offered).
[[nodiscard]] std::optional<Failure> Unavailable(const SettingInfo& setting, const BoxFacts& box);
// "2.1" -> (2, 1); each part 0..255.
[[nodiscard]] std::optional<std::pair<uint8_t, uint8_t>> ParseAddress(std::string_view text);

}  // namespace kestrow::cli
