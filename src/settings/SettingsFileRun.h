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

enum class SaveEnd {
    Saved,           // the file holds the settings (or, with no path, `text` does)
    Unanswered,      // a GenLock read lost its reply or the port went away; nothing was saved
    FileNotWritten,  // `reason` says why; the old file is as it was
};

struct [[nodiscard]] SaveResult {
    SaveEnd end = SaveEnd::Saved;
    std::string text;                // the file's text (Saved, FileNotWritten)
    size_t settings = 0;             // how many settings it holds
    std::vector<std::string> notes;  // the settings left out, and why
    std::string reason;              // FileNotWritten: the system's reason
};

// The settings as the dialogs show them (the refresh's bytes, the GenLock delays and the
// version text read now) in a file that names `program` as its writer, written whole to
// `path`. An empty path writes nothing: the caller puts `text` out itself.
SaveResult SaveSettingsFile(const LinkedBox& on, const std::string& program,
                            const std::string& path);

enum class LoadEnd {
    ReadBack,            // every setting written and read back as written
    Differs,             // every setting written; `differ` names those that read back different
    ReadBackUnanswered,  // every setting written; the read-back did not finish
    WriteFailed,         // `written` settings went out; writes[written] and those after did not
    Refused,             // the file does not fit this box (`faults`); nothing was written
    PeriodsUnanswered,   // the GenLock periods the file needs did not come; nothing was written
};

struct [[nodiscard]] LoadResult {
    LoadEnd end = LoadEnd::ReadBack;
    std::vector<std::string> faults;   // Refused: every one, for one round of editing
    std::vector<PlannedWrite> writes;  // the plan, in table order (empty when refused)
    size_t written = 0;                // how many of the writes went out, from the first
    ShownSettings readBack;            // ReadBack, Differs: what the dialogs show now
    std::vector<std::string> differ;   // Differs: "name: wrote X, reads back Y"
};

// Puts a file ParseSettingsFile accepted onto the box: the GenLock periods it needs, the
// whole file checked against the box, every write as its dialog's Apply sends it, then the
// read-back. `refresh` reads the box again into `on.cache` and `on.box` (the front end's own
// refresh, shown its own way); false when it did not finish. The GenLock delays are read
// after it.
LoadResult LoadSettingsFile(const LinkedBox& on, const Json& file,
                            const std::function<bool()>& refresh);

// What a load left on the box, in the words both front ends use: "nothing was written",
// "3 of 20 settings written; contrast and those after it were not", "20 settings written",
// "20 settings written; 2 of them read back different", "20 settings written and read back".
[[nodiscard]] std::string LoadedText(const LoadResult& result);

}  // namespace kestrow
