// kestrowctl's commands. Each returns the process's exit code (Cli.h) and prints its own
// report on stdout and its failures on stderr.
#pragma once

#include <string>
#include <vector>

#include "cli/Cli.h"

namespace kestrow::cli {

[[nodiscard]] int RunDetect(const CommonOptions& options);
[[nodiscard]] int RunStatus(const CommonOptions& options);
[[nodiscard]] int RunGet(const CommonOptions& options, const std::string& name);
// A raw item (G.I) that no dialog writes, or a byte outside its setting's range, only with
// `force`.
[[nodiscard]] int RunSet(const CommonOptions& options, const std::string& name,
                         const std::string& value, bool force);
[[nodiscard]] int RunReset(const CommonOptions& options, bool yes);
[[nodiscard]] int RunDump(const CommonOptions& options, const std::string& file);
[[nodiscard]] int RunLoad(const CommonOptions& options, const std::string& file);
[[nodiscard]] int RunFlash(const CommonOptions& options, const std::string& file);
// What on this machine keeps a port from opening or answering, each with its fix; exit 3 when
// something is to be fixed. `root` (tests) stands for "/" in every path it reads.
[[nodiscard]] int RunDoctor(const CommonOptions& options, const std::string& root);
// The settings table: names, labels, items, ranges and choices (no box needed).
[[nodiscard]] int RunSettings(const CommonOptions& options, bool namesOnly);

}  // namespace kestrow::cli
