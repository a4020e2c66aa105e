// UTF-8 file names on POSIX: a name's bytes are the file system's own.
#include <cstdlib>

#include "base/Utf8Paths.h"

namespace kestrow {

std::filesystem::path PathFromUtf8(std::string_view name) {
    return std::filesystem::path(name);
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    return path.string();
}

UniqueFile OpenFile(std::string_view name, const char* mode) {
    return UniqueFile(std::fopen(std::string(name).c_str(), mode));
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string{} : std::string(value);
}

}  // namespace kestrow
