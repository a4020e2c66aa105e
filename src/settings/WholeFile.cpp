// What the platforms share of whole files: the reader. The writers are in WholeFilePosix.cpp
// and WholeFileWin32.cpp.
#include <fstream>
#include <sstream>

#include "base/Utf8Paths.h"
#include "settings/WholeFile.h"

namespace kestrow {

Result<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    std::ostringstream text;
    // An empty file moves no characters, which counts as a failed read: it holds no settings.
    if (!in || !(text << in.rdbuf())) {
        return Error{.kind = ErrorKind::File, .detail = "cannot be read or is empty", .path = path};
    }
    return text.str();
}

}  // namespace kestrow
