// Files read and written whole, so that a settings file is never left half written: the
// writer puts the text in a new file beside the old one and renames it over it.
#pragma once

#include <optional>
#include <string>

namespace kestrow {

// The whole file at `path`; none when it cannot be opened or read.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes `text` to a new file beside `path` (same directory, so the rename stays on one file
// system), flushes it to the disk and renames it over `path`, keeping the old file's mode and
// owner. None when the file was replaced; otherwise the system's reason ("File too large"),
// and the old file is as it was.
[[nodiscard]] std::optional<std::string> ReplaceWholeFile(const std::string& path,
                                                          const std::string& text);

}  // namespace kestrow
