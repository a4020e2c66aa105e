// A value the operator gave (on the command line, in a settings file, in a list of ports) as
// a message quotes it back: short, on one line, and always valid UTF-8, however long or odd the
// value was. Every message that quotes such a value goes through here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrow {

// A quote holds at most this many bytes of the value, escapes counted as written.
inline constexpr std::size_t kQuotedBytes = 60;

// `value` between two `mark`s ("\"5x\""); with mark '\0' without marks (a JSON value as
// written). Control characters and bytes that are no UTF-8 become \n, \t, \r or \xNN. A longer
// value is cut at a character's start, and "..." and its whole length follow:
// "\"xxxx...\" (20971520 bytes)".
[[nodiscard]] std::string QuotedValue(std::string_view value, char mark = '"');

}  // namespace kestrow
