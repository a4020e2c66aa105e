// The whole-file writer on POSIX: mkstemp beside the target, fsync, rename over it.
#include "settings/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace kestrow {
namespace {

namespace fs = std::filesystem;

// A temporary file: its descriptor, and its name until it is renamed into place.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string pattern) : name_(pattern.begin(), pattern.end()) {
        name_.push_back('\0');
        fd_ = ::mkstemp(name_.data());
    }
    ~TemporaryFile() {
        Close();
        if (!renamed_) {
            ::unlink(name_.data());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    [[nodiscard]] int fd() const { return fd_; }
    [[nodiscard]] const char* name() const { return name_.data(); }
    // Closes the descriptor; false (errno set) when the close reported a lost write.
    bool Close() { return fd_ < 0 || ::close(std::exchange(fd_, -1)) == 0; }
    void Renamed() { renamed_ = true; }

  private:
    std::vector<char> name_;
    int fd_ = -1;
    bool renamed_ = false;
};

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

Result<void> ReplaceWholeFile(const std::string& path, const std::string& text) {
    // Through a link, the file it leads to is replaced, not the link.
    std::error_code ec;
    fs::path target(path);
    if (fs::is_symlink(target, ec)) {
        target = fs::weakly_canonical(target, ec);
    }
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    const auto failed = [existed, &path](int error) {
        return Error{.kind = ErrorKind::File,
                     .domain = ErrorDomain::Errno,
                     .code = error,
                     .detail = SystemErrorText(ErrorDomain::Errno, error) +
                               (existed ? "; the file is as it was" : std::string{}),
                     .path = path};
    };
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    TemporaryFile temp((dir / ("." + target.filename().string() + ".XXXXXX")).string());
    if (temp.fd() < 0) {
        return failed(errno);
    }
    // The old file's permissions and owner, or what a new file would get.
    mode_t mode = 0;
    if (existed) {
        mode = old.st_mode & 07777;
        (void)::fchown(temp.fd(), old.st_uid, old.st_gid);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(temp.fd(), mode) != 0 || !WriteAll(temp.fd(), text) || ::fsync(temp.fd()) != 0 ||
        !temp.Close() || ::rename(temp.name(), target.c_str()) != 0) {
        return failed(errno);
    }
    temp.Renamed();
    return {};
}

}  // namespace kestrow
