// Which port a command works on (--port, or a search like the panel's), what state each port is
// in (detect), and what the box on a port is (probe and the model question).
#pragma once

#include <string>

#include "cli/Cli.h"
#include "device/DeviceLink.h"
#include "settings/Settings.h"

namespace kestrow::cli {

struct Target {
    int number = 0;
    std::string name;  // "COM 200", or the device path when --port gave one without a number
    std::string path;  // the device it resolves to (may be empty when nothing is known)
};

// Which answers a search accepts.
enum class Search {
    Probe,              // the settings probe, as the panel's port search
    ProbeOrBootLoader,  // also a boot loader's acknowledge to Ping (a box waiting to be flashed)
};

// --port's text ("COM 5", "COM5", "5" or a device path), or when empty the first port of the
// port list that answers as `search` says.
[[nodiscard]] Outcome<Target> ChoosePort(const std::string& text, Search search);

enum class PortState { Answers, BootLoader, Silent, Busy, CannotOpen };
struct PortCheck {
    PortState state = PortState::Silent;
    std::string reason;  // CannotOpen: the system's reason
};
// Probes one port as the port search does (reports held back); a silent port is asked a boot
// loader Ping when `tryBootLoader`.
[[nodiscard]] PortCheck CheckPort(int number, bool tryBootLoader);
[[nodiscard]] const char* StateText(PortState state);

// The probe and the model question (4,4), exchanged as the status refresh does, under the open
// default time-outs: the box's port byte, model byte and whether it is a newer model.
[[nodiscard]] Outcome<BoxFacts> IdentifyBox(DeviceLink& link, const Target& target);

// "the box on COM 200 does not answer" and the like.
[[nodiscard]] Failure NoAnswer(const Target& target);
[[nodiscard]] Failure NotOpened(const Target& target);

}  // namespace kestrow::cli
