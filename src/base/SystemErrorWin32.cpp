#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "base/SystemError.h"

namespace kestrow {

std::string SystemErrorText(int error) {
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
    const int wide = static_cast<int>(words.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, words.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, words.data(), wide, out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace kestrow
