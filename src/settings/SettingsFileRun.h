// A settings file saved from a box and loaded onto one, step by step: the one sequence behind
// the panel's Save settings... and Load settings... and kestrowctl's dump and load. The front
// ends pick the file and the box and put the outcome in their own words; which steps run, in
// which order, and what each failure leaves behind are decided here. Nothing here shows or
// prints anything.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "settings/SettingsFile.h"

namespace kestrow {

// The box a run works on: the link to its port and what a status refresh of it read (the
// panel's last refresh; kestrowctl's own, run just before).
struct LinkedBox {
    DeviceLink& link;
    StatusCache& cache;  // a load keeps each write here, as the dialog's Apply does
    BoxFacts& box;
};

// A settings file made from the box: its text (ending in a line feed), how many settings it
// holds, and the settings left out, and why.
struct ComposedSettings {
    std::string text;
    size_t settings = 0;
    std::vector<std::string> notes;
};

// The settings as the dialogs show them (the refresh's bytes, the GenLock delays and the
// version text read now) in a file that names `program` as its writer; the front end writes it
// whole (ReplaceWholeFile) or puts it out itself. The link's failure when a GenLock read lost
// its reply, the port did not open or the device went away.
[[nodiscard]] Result<ComposedSettings> ComposeSettingsFile(const LinkedBox& on,
                                                           const std::string& program);

// How far a load got, and how it ended.
struct SettingsLoad {
    bool planned = false;              // the file was checked against the box and planned
    std::vector<PlannedWrite> writes;  // the plan, in table order
    size_t written = 0;                // how many of the writes went out, from the first
    ShownSettings readBack;            // once read back: what the dialogs show now
    std::vector<std::string> differ;   // "name: wrote X, reads back Y"
    // Success once every write went out and was read back (`differ` may still name some).
    // The failure: the file does not fit this box (a Refusal, nothing written), or the box's
    // Error where the GenLock periods, a write or the read-back did not come through.
    Result<void> end{};
};

// Puts a file ParseSettingsFile accepted onto the box: the GenLock periods it needs, the
// whole file checked against the box, every write as its dialog's Apply sends it, then the
// read-back. `refresh` reads the box again into `on.cache` and `on.box` (the front end's own
// refresh, shown its own way). The GenLock delays are read after it.
[[nodiscard]] SettingsLoad LoadSettingsFile(const LinkedBox& on, const Json& file,
                                            const std::function<Result<void>()>& refresh);

// What a load left on the box, in the words both front ends use: "nothing was written",
// "3 of 20 settings written; contrast and those after it were not", "20 settings written",
// "20 settings written; 2 of them read back different", "20 settings written and read back".
[[nodiscard]] std::string LoadedText(const SettingsLoad& load);

}  // namespace kestrow
