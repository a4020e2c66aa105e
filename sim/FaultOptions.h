// kestrow-boxsim's fault options, read and written in one place: the program reads them, and
// the soak writes them out so that a box it played can be started again by hand.
#pragma once

#include <string>
#include <string_view>

#include "sim/BoxSim.h"

namespace kestrow::sim {

// The options' lines for --help.
extern const char* const kFaultOptionsHelp;

// True for the options below; each takes a value.
[[nodiscard]] bool IsFaultOption(std::string_view option);
// Applies one option to `plan`; false when the value is not one it takes.
[[nodiscard]] bool ParseFaultOption(std::string_view option, std::string_view value,
                                    FaultPlan& plan);
// The options that give `plan`, those left at their defaults omitted.
[[nodiscard]] std::string FaultOptionsText(const FaultPlan& plan);

}  // namespace kestrow::sim
