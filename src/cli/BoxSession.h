// The box a get, set or reset works on: the link to its port and what the box is.
#pragma once

#include <memory>
#include <optional>

#include "cli/Cli.h"
#include "device/DeviceLink.h"
#include "settings/BoxFacts.h"

namespace kestrow::cli {

// The port, and the box on it, for a named setting.
struct BoxSession {
    BoxSession(const ComPort& port, const CommonOptions& options) : link(port, options.tracer) {}
    DeviceLink link;
    BoxFacts box;
};

// The link to `port` with the box on it identified (IdentifyBox); the failure that ends the
// command otherwise.
[[nodiscard]] Outcome<std::unique_ptr<BoxSession>> OpenSession(const CommonOptions& options,
                                                               const ComPort& port);

// A failure unless the port opens (raw access has no exchange that would find out first).
[[nodiscard]] std::optional<Failure> NotOpening(const ComPort& target);

}  // namespace kestrow::cli
