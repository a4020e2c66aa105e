// kestrowctl's side of reading a settings file: a path, or "-" for standard input, read whole.
#pragma once

#include <string>

#include "cli/Cli.h"

namespace kestrow::cli {

// The whole file at `path`; "-" reads standard input.
[[nodiscard]] Outcome<std::string> ReadWholeFile(const std::string& path);

}  // namespace kestrow::cli
