// kestrowctl's commands. Each returns the process's exit code (Cli.h) and prints its own
// report on stdout and its failures on stderr. status, set, dump, load, reset and flash work on
// every box chosen (Ports.h ChooseBoxes) at once.
#pragma once

#include <string>
#include <vector>

#include "cli/Cli.h"

namespace kestrow::cli {

// Every port discovery finds (in `byIdDir`'s stable names where there are any; empty: the
// system's), or those given, and what answers on each; `namesOnly`: the names --port takes,
// without asking any box (completion).
[[nodiscard]] int RunDetect(const CommonOptions& options, bool namesOnly,
                            const std::string& byIdDir);
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
// The settings table: names, labels, items, ranges and choices: every list by port, or with a
// port given the lists its box's dialogs show. `valuesOf`: that setting's choices, one a line
// (completion).
[[nodiscard]] int RunSettings(const CommonOptions& options, bool namesOnly,
                              const std::string& valuesOf);
// The input port and timing and the output resolution every `intervalSeconds`, a line (or a
// JSON object) per change, until Ctrl+C or SIGTERM (exit 0).
[[nodiscard]] int RunWatch(const CommonOptions& options, double intervalSeconds);

}  // namespace kestrow::cli
