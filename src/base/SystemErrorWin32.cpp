#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <array>
#include <string>
#include <string_view>
#include <system_error>

#include "base/Result.h"
#include "base/Utf8Text.h"

namespace kestrow {
namespace {

// FormatMessageW's words for a Win32 or Winsock code (getaddrinfo's are Winsock codes too).
std::string WindowsText(int error) {
    std::array<wchar_t, 512> text{};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(error), 0, text.data(),
                                        static_cast<DWORD>(text.size()), nullptr);
    std::wstring_view words(text.data(), length);
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                              words.back() == L' ' || words.back() == L'.')) {
        words.remove_suffix(1);
    }
    if (words.empty()) {
        return "error " + std::to_string(error);
    }
    return Utf8FromWide(words);
}

}  // namespace

std::string SystemErrorText(ErrorDomain domain, int code) {
    switch (domain) {
        case ErrorDomain::None:
            return {};
        case ErrorDomain::Errno:
            return std::generic_category().message(code);
        case ErrorDomain::Win32:
        case ErrorDomain::Winsock:
        case ErrorDomain::AddrInfo:
            break;
    }
    return WindowsText(code);
}

}  // namespace kestrow
