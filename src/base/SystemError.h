// The operating system's words for one of its error numbers.
#pragma once

#include <string>

namespace kestrow {

// errno's text on POSIX; FormatMessageW's for a Win32 or Winsock code on Windows ("Access is
// denied"), without the trailing period. Safe from any thread.
[[nodiscard]] std::string SystemErrorText(int error);

}  // namespace kestrow
