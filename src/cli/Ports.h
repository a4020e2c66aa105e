// Which port a command works on (--port, or a search like the panel's), what state each port is
// in (detect), and what the box on a port is (probe and the model question).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Cli.h"
#include "device/DeviceLink.h"
#include "ports/PortNaming.h"
#include "settings/Settings.h"

namespace kestrow::cli {

// Which answers a search accepts.
enum class Search {
    Probe,              // the settings probe, as the panel's port search
    ProbeOrBootLoader,  // also a boot loader's acknowledge to Ping (a box waiting to be flashed)
};

// A box a command works on: its port and the link the run holds on it. A run opens each box's
// port once: the search's probe (where there was one), the identify exchange and the command's
// transactions all go over one opening, closed when the box is done with.
struct Box {
    Box(const ComPort& on, const CommonOptions& options);  // a held link, not open yet
    Box(const ComPort& on, std::unique_ptr<DeviceLink> held);
    ComPort port;
    std::unique_ptr<DeviceLink> link;
};

// A port as typed ("COM 5", "COM5", "5" or a device path, which is opened as given), resolved
// once; usage failures name where it came from (--port, KESTROW_PORT).
[[nodiscard]] Outcome<ComPort> ResolvePortText(const std::string& text,
                                               const CommonOptions& options);

// The one box a command works on: on the port given, or on the first port of the port list that
// answers as `search` says. Several ports given is a usage failure.
[[nodiscard]] Outcome<Box> ChoosePort(const CommonOptions& options, Search search);

// The ports a command that may work on several boxes works on: those given (each once), every
// port that answers (--all), or a search. A search for a writing command (`writing`) takes a
// box only when it is the one box that answers: with more it names them and fails (exit 2).
[[nodiscard]] Outcome<std::vector<Box>> ChooseBoxes(const CommonOptions& options, Search search,
                                                    bool writing);

enum class PortState { Answers, BootLoader, Silent, Busy, CannotOpen };
struct PortCheck {
    PortState state = PortState::Silent;
    std::string reason;                  // CannotOpen: the serial layer's report
    Error error{};                       // CannotOpen, Busy: why
    std::unique_ptr<DeviceLink> link{};  // held, and open where the port answered or was silent
};
// Probes one port as the port search does (reports held back); a silent port is asked a boot
// loader Ping on the same opening when `tryBootLoader`.
[[nodiscard]] PortCheck CheckPort(const ComPort& port, bool tryBootLoader,
                                  const CommonOptions& options);
[[nodiscard]] const char* StateText(PortState state);
// No port of a search answered: `what`, then for each port the user may not open the device,
// its group and the remedy. Exit 4 when a port was asked and stayed silent, 3 when none could
// be asked (each was refused or held by another program).
[[nodiscard]] Failure NoneAnswered(std::string what, const std::vector<ComPortInfo>& ports,
                                   const std::vector<PortCheck>& checks);

// The probe and the model question (4,4), exchanged as the status refresh does, under the open
// default time-outs: the box's port byte, model byte and whether it is a newer model. A port
// that does not open is a NotOpened failure.
[[nodiscard]] Outcome<BoxFacts> IdentifyBox(DeviceLink& link);

// "COM 201 (/dev/ttyUSB0)"; the path alone for a port named by its path.
[[nodiscard]] std::string PortText(const ComPort& port);

// Why the box on the link's port gave no answer (`error`, an exchange's failure), in words, with
// exit 4: the device went away (unplugged, switched off), the box waits in its boot loader (it
// answers the boot loader's Ping, asked on the link), or it does not answer; a server that
// refused the session at the first read is a port that did not open. `state` says what that
// leaves the box with.
[[nodiscard]] Failure NoAnswer(DeviceLink& link, const Error& error, std::string_view state = {});
// A write that did not go out whole, with exit 6: the device went away, or "Fail" (the dialogs'
// word). `state` as above.
[[nodiscard]] Failure WriteFailed(const ComPort& port, const Error& error,
                                  std::string_view state = {});
// A port that did not open (exit 3): for a permission refusal the device, its group and the
// command that lets the user in; the transport's own account where it has one (the detail of a
// network port's failure).
[[nodiscard]] Failure NotOpened(const ComPort& port, const Error& error);
// "COM 5 (/dev/ttyUSB0) went away: unplugged or switched off", or for a network port that the
// connection to its server was lost.
[[nodiscard]] std::string WentAway(const ComPort& port);
// The box on `port` waits in its boot loader; a flash finishes it (exit 4).
[[nodiscard]] Failure BootLoaderWaits(const ComPort& port);

}  // namespace kestrow::cli
