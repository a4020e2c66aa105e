// File names and environment values as the program's own text: UTF-8 everywhere. On Linux a
// name's bytes are taken as they are; on Windows they are turned into the wide characters the
// file system takes, so that a settings file in a folder named in any language opens.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace kestrow {

// The path a UTF-8 name stands for. Bytes that are no UTF-8 (Windows only) become U+FFFD; this
// never throws.
[[nodiscard]] std::filesystem::path PathFromUtf8(std::string_view name);

// A path as UTF-8 text, for messages and for names built from it.
[[nodiscard]] std::string Utf8FromPath(const std::filesystem::path& path);

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// fopen for a UTF-8 name; null (errno set) when the file cannot be opened.
[[nodiscard]] UniqueFile OpenFile(std::string_view name, const char* mode);

// The environment variable's value as UTF-8; empty when it is not set.
[[nodiscard]] std::string EnvironmentValue(const char* name);

}  // namespace kestrow
