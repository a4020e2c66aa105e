// A command's run on one box or on several at once: one thread per box, each box's lines
// tagged with its port name, one summary line per box at the end and the worst exit code.
// Also the JSON every command that takes --json prints for a failure.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/Cli.h"
#include "cli/Ports.h"
#include "ports/PortNaming.h"
#include "settings/SettingValues.h"

namespace kestrow::cli {

// What one box's run gave.
struct BoxResult {
    BoxResult() = default;
    BoxResult(Failure f) : failure(std::move(f)) {}  // NOLINT: implicit, as Outcome's

    std::optional<Failure> failure;  // none: done
    bool told = false;    // the failure's message is on stderr already (in the run's own words)
    std::string line;     // printed when done (one box: alone; several: as its summary)
    std::string summary;  // several boxes: what was done, when `line` is empty
    Json json = Json::object();  // --json: the result object
};

// {"number": 200, "name": "COM 200", "path": "..."}.
[[nodiscard]] Json PortJson(const ComPort& port);

// Prints the failure's message on stderr and, with --json, {"error": ..., "exit": N} (and
// `extra`'s fields) on stdout; gives the exit code.
[[nodiscard]] int Fail(const CommonOptions& options, const Failure& failure,
                       const Json& extra = Json::object());

using BoxWork = std::function<BoxResult(Box& box)>;

// Runs `work` on each box. One box: on this thread, its line or JSON object printed as the
// command always did. Several: each on its own thread under its port's tag, then one summary
// line per box in port order (--json: an array of the result objects, each with "port"). Each
// box's port is closed once its work is done. The exit code is the highest.
[[nodiscard]] int RunOnBoxes(const CommonOptions& options, std::vector<Box>& boxes,
                             const BoxWork& work);

}  // namespace kestrow::cli
