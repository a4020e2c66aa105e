// Small reads of sysfs and procfs for port naming and the doctor. POSIX only.
#pragma once

#include <filesystem>
#include <string>
#include <utility>

namespace kestrow {

// True when `path` leads to something that exists (a link only when its target does).
[[nodiscard]] bool PathPresent(const std::filesystem::path& path);

// The first line of a small file such as a sysfs attribute, trailing blanks removed; "" when it
// cannot be read.
[[nodiscard]] std::string FirstLineOf(const std::filesystem::path& file);

// The USB vendor and product ids ("0403", "6001") of the device behind tty `tty` ("ttyUSB0"),
// from `sys`/class/tty; empty when it has none (a ttyS port, a pseudo-terminal).
[[nodiscard]] std::pair<std::string, std::string> UsbIdsOf(const std::filesystem::path& sys,
                                                           const std::string& tty);

}  // namespace kestrow
