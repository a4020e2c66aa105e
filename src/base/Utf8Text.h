// UTF-8 and the wide characters of the Win32 calls, one into the other (Windows only; the text
// of the program is UTF-8 everywhere). Bytes that are no UTF-8 and lone surrogates become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace kestrow {

[[nodiscard]] std::wstring WideFromUtf8(std::string_view text);
[[nodiscard]] std::string Utf8FromWide(std::wstring_view text);

}  // namespace kestrow
