#include "cli/Files.h"

#include <iostream>
#include <sstream>

#include "settings/WholeFile.h"

namespace kestrow::cli {

Outcome<std::string> ReadWholeFile(const std::string& path) {
    if (path == "-") {
        // An empty input moves no characters, which counts as a failed read, as for a file.
        std::ostringstream text;
        if (!(text << std::cin.rdbuf())) {
            return Failure{Exit::File, "standard input cannot be read"};
        }
        return text.str();
    }
    if (auto text = kestrow::ReadWholeFile(path)) {
        return *text;
    }
    return Failure{Exit::File, path + ": cannot be read"};
}

}  // namespace kestrow::cli
