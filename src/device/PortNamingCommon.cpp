// What every platform shares of port naming: the ports directory override and the
// friendly-name parse of the port list.
#include <limits>
#include <mutex>
#include <utility>

#include "PortNaming.h"

namespace kestrow {
namespace {

std::mutex& OverrideMutex() {
    static std::mutex m;
    return m;
}
std::string& DirectoryOverride() {
    static std::string directory;
    return directory;
}

}  // namespace

std::string PortsDirectory() {
    {
        std::lock_guard lock(OverrideMutex());
        if (!DirectoryOverride().empty()) {
            return DirectoryOverride();
        }
    }
    return DefaultPortsDirectory();
}

void SetPortsDirectoryOverride(std::string directory) {
    std::lock_guard lock(OverrideMutex());
    DirectoryOverride() = std::move(directory);
}

std::optional<int> ParseComNumber(std::string_view friendlyName) {
    const size_t com = friendlyName.find("COM");
    if (com == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = friendlyName.substr(com + 3);
    // Blanks as atoi skips them.
    while (!rest.empty() &&
           (rest.front() == ' ' || (rest.front() >= '\t' && rest.front() <= '\r'))) {
        rest.remove_prefix(1);
    }
    int value = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') {
            break;
        }
        const int digit = c - '0';
        if (value > (std::numeric_limits<int>::max() - digit) / 10) {
            return std::numeric_limits<int>::max();  // far outside any port number
        }
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace kestrow
