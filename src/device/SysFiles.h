// Small reads of sysfs and procfs for port naming and the doctor. POSIX only.
#pragma once

#include <filesystem>
#include <string>

namespace kestrow {

// True when `path` leads to something that exists (a link only when its target does).
[[nodiscard]] bool PathPresent(const std::filesystem::path& path);

// The first line of a small file such as a sysfs attribute, trailing blanks removed; "" when it
// cannot be read.
[[nodiscard]] std::string FirstLineOf(const std::filesystem::path& file);

}  // namespace kestrow
