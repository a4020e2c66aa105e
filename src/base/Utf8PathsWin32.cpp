// UTF-8 file names on Windows: converted to and from the wide characters of the file system's
// calls at this edge, so that nothing depends on the code page the system runs with.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "base/Utf8Paths.h"
#include "base/Utf8Text.h"

namespace kestrow {

std::filesystem::path PathFromUtf8(std::string_view name) {
    return std::filesystem::path(WideFromUtf8(name));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    return Utf8FromWide(path.native());
}

UniqueFile OpenFile(std::string_view name, const char* mode) {
    const std::wstring wideMode = WideFromUtf8(mode);
    return UniqueFile(_wfopen(WideFromUtf8(name).c_str(), wideMode.c_str()));
}

std::string EnvironmentValue(const char* name) {
    const wchar_t* value = _wgetenv(WideFromUtf8(name).c_str());
    return value == nullptr ? std::string{} : Utf8FromWide(value);
}

}  // namespace kestrow
