// Files read and written whole, so that a settings file is never left half written: the
// writer puts the text in a new file beside the old one and renames it over it.
#pragma once

#include <string>

#include "base/Result.h"

namespace kestrow {

// The whole file at `path`; a File failure when it cannot be opened or read, or is empty.
[[nodiscard]] Result<std::string> ReadWholeFile(const std::string& path);

// Writes `text` to a new file beside `path` (same directory, so the rename stays on one file
// system), flushes it to the disk and renames it over `path`, keeping the old file's mode and
// owner. Otherwise a File failure whose detail is the system's reason ("File too large"), and
// the old file is as it was.
[[nodiscard]] Result<void> ReplaceWholeFile(const std::string& path, const std::string& text);

}  // namespace kestrow
