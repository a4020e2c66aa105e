// What every platform shares of port naming: a port's name, the typed-text parse and the
// friendly-name parse of the port list.
#include <limits>

#include "device/PortNaming.h"

namespace kestrow {
namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

std::string ComPort::Name() const {
    return number >= 0 ? "COM " + std::to_string(number) : path;
}

std::optional<int> ParsePortText(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (text.size() >= 3 && upper(text[0]) == 'C' && upper(text[1]) == 'O' &&
        upper(text[2]) == 'M') {
        text.remove_prefix(3);
        if (!text.empty() && text.front() == ' ') {
            text.remove_prefix(1);
        }
    }
    if (text.empty() || text.size() > 3) {
        return std::nullopt;
    }
    int n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        n = n * 10 + (c - '0');
    }
    return n <= kMaxComPort ? std::optional<int>(n) : std::nullopt;
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
