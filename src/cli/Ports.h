// Which port a command works on (--port, or a search like the panel's), what state each port is
// in (detect), and what the box on a port is (probe and the model question).
#pragma once

#include <string>

#include "cli/Cli.h"
#include "device/DeviceLink.h"
#include "device/PortNaming.h"
#include "settings/Settings.h"

namespace kestrow::cli {

// Which answers a search accepts.
enum class Search {
    Probe,              // the settings probe, as the panel's port search
    ProbeOrBootLoader,  // also a boot loader's acknowledge to Ping (a box waiting to be flashed)
};

// --port's text ("COM 5", "COM5", "5" or a device path), resolved once; or when it is empty the
// first port of the port list that answers as `search` says.
[[nodiscard]] Outcome<ComPort> ChoosePort(const CommonOptions& options, Search search);

enum class PortState { Answers, BootLoader, Silent, Busy, CannotOpen };
struct PortCheck {
    PortState state = PortState::Silent;
    std::string reason;  // CannotOpen: the system's reason
};
// Probes one port as the port search does (reports held back); a silent port is asked a boot
// loader Ping when `tryBootLoader`.
[[nodiscard]] PortCheck CheckPort(const ComPort& port, bool tryBootLoader,
                                  const CommonOptions& options);
[[nodiscard]] const char* StateText(PortState state);

// The probe and the model question (4,4), exchanged as the status refresh does, under the open
// default time-outs: the box's port byte, model byte and whether it is a newer model.
[[nodiscard]] Outcome<BoxFacts> IdentifyBox(DeviceLink& link);

// "the box on COM 200 does not answer" and the like.
[[nodiscard]] Failure NoAnswer(const ComPort& port);
[[nodiscard]] Failure NotOpened(const ComPort& port);

}  // namespace kestrow::cli
