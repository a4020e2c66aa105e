// The whole-file writer on Windows: the text goes into a new file beside the target, is flushed
// to the disk, and MoveFileExW puts it in the target's place in one step. Names are UTF-8,
// handed to the wide-character calls.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "base/Utf8Paths.h"
#include "serial/SerialTypes.h"
#include "settings/WholeFile.h"

namespace kestrow {
namespace {

namespace fs = std::filesystem;

constexpr int kNameTries = 100;
constexpr DWORD kChunk = 1 << 20;

// A new file of its own, deleted again unless it was moved into place.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    ~TemporaryFile() {
        Close();
        if (!name_.empty() && !moved_) {
            DeleteFileW(name_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Makes ".<name>.<n>.tmp" beside `target`; false (GetLastError set) when none can be made.
    bool Create(const fs::path& target) {
        static std::atomic<unsigned> counter{0};
        const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(L".");
        for (int attempt = 0; attempt < kNameTries; ++attempt) {
            const std::wstring suffix = L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                        std::to_wstring(counter++) + L".tmp";
            const fs::path name = dir / (L"." + target.filename().native() + suffix);
            HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                handle_ = h;
                name_ = name.native();
                return true;
            }
            if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
                return false;
            }
        }
        return false;
    }
    [[nodiscard]] HANDLE handle() const { return handle_; }
    [[nodiscard]] const std::wstring& name() const { return name_; }
    // False (GetLastError set) when the close failed.
    bool Close() {
        return handle_ == INVALID_HANDLE_VALUE ||
               CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE;
    }
    void Moved() { moved_ = true; }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::wstring name_;
    bool moved_ = false;
};

bool WriteAll(HANDLE handle, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, kChunk));
        DWORD written = 0;
        if (!WriteFile(handle, text.data() + done, chunk, &written, nullptr)) {
            return false;
        }
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

Result<void> ReplaceWholeFile(const std::string& path, const std::string& text) {
    // Through a link, the file it leads to is replaced, not the link.
    std::error_code ec;
    fs::path target = PathFromUtf8(path);
    if (fs::is_symlink(target, ec)) {
        target = fs::weakly_canonical(target, ec);
    }
    const bool existed = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    // "MoveFileEx: Access is denied; the file is as it was"
    const auto failed = [existed, &path](const char* call) {
        const int error = static_cast<int>(GetLastError());
        return Error{.kind = ErrorKind::File,
                     .domain = ErrorDomain::Win32,
                     .code = error,
                     .detail = std::string(call) + ": " +
                               SystemErrorText(ErrorDomain::Win32, error) +
                               (existed ? "; the file is as it was" : std::string{}),
                     .path = path};
    };
    TemporaryFile temp;
    if (!temp.Create(target)) {
        return failed("CreateFile");
    }
    if (!WriteAll(temp.handle(), text)) {
        return failed("WriteFile");
    }
    if (!FlushFileBuffers(temp.handle())) {
        return failed("FlushFileBuffers");
    }
    if (!temp.Close()) {
        return failed("CloseHandle");
    }
    if (!MoveFileExW(temp.name().c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return failed("MoveFileEx");
    }
    temp.Moved();
    return {};
}

}  // namespace kestrow
