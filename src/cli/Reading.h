// The box's state read with the panel's status refresh, exchange for exchange, and the names
// its values go by.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Ports.h"
#include "settings/StatusCache.h"
#include "settings/StatusRefreshRun.h"

namespace kestrow::cli {

struct ReadValue {
    uint8_t group = 0;
    uint8_t item = 0;
    uint8_t raw = 0;
    std::string name;  // the settings table's name, "input-timing" or "system-setting-a"
};

struct BoxReading {
    StatusCache cache;
    BoxFacts box;  // probe port byte, model byte, newer model
    // Every value the refresh read, by (group, item): groups 1 to 3, then (4,1), (4,2) and, for
    // a newer model, (4,3); each as the refresh last stored it.
    std::vector<ReadValue> values;
};

// Runs the refresh on the link's port. A box that does not answer every query before the
// model question is a failure, never a half-filled reading.
[[nodiscard]] Outcome<BoxReading> ReadBox(DeviceLink& link);

}  // namespace kestrow::cli
