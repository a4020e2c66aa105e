// The open and save file dialogs of the panel's windows. Names are UTF-8 both ways. A pattern
// such as "*.BIN" matches names whatever their letter case, as on Windows; the first filter is
// selected.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrow::ui {

class Dialog;

struct FileFilter {
    std::string_view label;     // "BIN"
    std::string_view patterns;  // "*.BIN", several separated by ';'
};

struct FileRequest {
    bool save = false;       // open: an existing file; save: any name (replacing one is asked)
    std::string_view title;  // empty: the platform's own
    std::span<const FileFilter> filters;
    std::string startFile;           // the name the dialog starts with; empty: none
    std::string_view defaultSuffix;  // given to a saved name without one ("json")
};

// Runs the file dialog modally over `owner`; the chosen name, or none when cancelled.
[[nodiscard]] std::optional<std::string> ChooseFile(Dialog& owner, const FileRequest& request);

}  // namespace kestrow::ui
