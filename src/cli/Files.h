// kestrowctl's files: reading a settings file (or standard input) whole, and writing one so that
// the file it replaces survives every failure.
#pragma once

#include <string>

#include "cli/Cli.h"

namespace kestrow::cli {

// The whole file at `path`; "-" reads standard input.
[[nodiscard]] Outcome<std::string> ReadWholeFile(const std::string& path);

// Writes `text` to a new file beside `path` (same directory, so the rename stays on one file
// system), flushes it to the disk and renames it over `path`. A failure (disk full, a file
// size limit) leaves the old file as it was and gives the system's reason.
[[nodiscard]] Outcome<bool> ReplaceFile(const std::string& path, const std::string& text);

}  // namespace kestrow::cli
