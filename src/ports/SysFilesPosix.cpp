#include "ports/SysFilesPosix.h"

#include <fstream>
#include <system_error>

namespace kestrow {

bool PathPresent(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string FirstLineOf(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) {
        line.pop_back();
    }
    return line;
}

std::pair<std::string, std::string> UsbIdsOf(const std::filesystem::path& sys,
                                             const std::string& tty) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::canonical(sys / "class/tty" / tty / "device", ec);
    // ttyUSB: the port under the interface under the USB device; ttyACM: the interface.
    for (int level = 0; !ec && level < 4 && dir.has_relative_path();
         ++level, dir = dir.parent_path()) {
        if (PathPresent(dir / "idVendor")) {
            return {FirstLineOf(dir / "idVendor"), FirstLineOf(dir / "idProduct")};
        }
    }
    return {};
}

}  // namespace kestrow
