// What every platform shares of port naming: how a port is shown, the parse of a typed port
// (number, path, URL), a port's file name, and the friendly-name parse of the port list.
#include <algorithm>
#include <limits>
#include <string>

#include "base/Quoting.h"
#include "ports/PortNaming.h"

namespace kestrow {
namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::string ComPort::Name(Style style) const {
    if (IsNetwork()) {
        if (label.empty()) {
            return path;
        }
        return style == Style::Short ? label : label + " (" + path + ")";
    }
    if (number < 0) {
        return path;
    }
    const std::string com = "COM " + std::to_string(number);
    return style == Style::Short || path.empty() ? com : com + " (" + path + ")";
}

Result<ComPort> ParsePortUrl(std::string_view text) {
    const auto fail = [](std::string reason) -> Result<ComPort> {
        return Error{.kind = ErrorKind::Invalid, .detail = std::move(reason)};
    };
    text = Trimmed(text);
    const size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos) {
        return fail({});
    }
    std::string scheme;
    for (const char c : text.substr(0, schemeEnd)) {
        scheme += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    ComPort port;
    if (scheme == "rfc2217") {
        port.form = PortForm::Rfc2217;
    } else if (scheme == "socket") {
        port.form = PortForm::Socket;
    } else {
        return fail(QuotedValue(scheme + "://") +
                    " is no kind of port; use rfc2217:// or socket://");
    }
    std::string_view rest = text.substr(schemeEnd + 3);
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);  // "socket://host:7000/" as some tools write it
    }
    std::string_view host;
    std::string_view portText;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            return fail(
                "an IPv6 address is written in brackets with the port after them, as in "
                "[::1]:7000");
        }
        host = rest.substr(1, close - 1);
        portText = rest.substr(close + 2);
        if (host.find_first_not_of("0123456789abcdefABCDEF:.%") != std::string_view::npos ||
            host.find(':') == std::string_view::npos) {
            return fail(QuotedValue(host) + " is no IPv6 address");
        }
    } else {
        const size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) {
            return fail("the URL names no TCP port: give HOST:PORT, as in " + scheme +
                        "://192.168.1.20:7000");
        }
        host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            return fail("an IPv6 address is written in brackets, as in " + scheme +
                        "://[::1]:7000");
        }
        const bool nameCharsOnly = std::all_of(host.begin(), host.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '.' || c == '_';
        });
        if (!nameCharsOnly) {
            return fail(QuotedValue(host) + " is no host name or address");
        }
    }
    if (host.empty()) {
        return fail("the URL names no host");
    }
    if (host.size() > 253) {
        return fail("the host name is longer than 253 characters");
    }
    uint32_t number = 0;
    if (portText.empty() || portText.size() > 5 ||
        portText.find_first_not_of("0123456789") != std::string_view::npos ||
        (number = static_cast<uint32_t>(std::stoul(std::string(portText)))) == 0 ||
        number > 65535) {
        return fail(QuotedValue(portText) + " is no TCP port: give 1 to 65535");
    }
    port.host = std::string(host);
    port.tcpPort = static_cast<uint16_t>(number);
    port.path = std::string(text);
    return port;
}

Result<ComPort> ParsePortName(std::string_view text, const std::string& portsDir) {
    const std::string_view trimmed = Trimmed(text);
    if (trimmed.find("://") != std::string_view::npos) {
        return ParsePortUrl(trimmed);
    }
    if (trimmed.starts_with("\\\\.\\")) {
        // The name Windows opens a port by: "\\.\COM12" is COM 12, any other a device.
        const std::string_view device = trimmed.substr(4);
        const std::optional<int> number = ParsePortText(device);
        if (number && device.size() > 3 && !(device[0] >= '0' && device[0] <= '9')) {
            return ResolvePort(*number, portsDir);
        }
        return ComPort{-1, std::string(trimmed)};
    }
    if (!trimmed.empty() && trimmed.front() == '/') {
        return ComPort{-1, std::string(trimmed)};  // a device path is opened as given
    }
    const std::optional<int> number = ParsePortText(trimmed);
    if (!number) {
        return Error{.kind = ErrorKind::Invalid};  // names no port
    }
    return ResolvePort(*number, portsDir);
}

std::string PortFileName(const ComPort& port) {
    if (!port.IsNetwork() && port.number >= 0) {
        return "COM" + std::to_string(port.number);
    }
    std::string name =
        port.IsNetwork() ? port.path : port.path.substr(port.path.find_last_of("/\\") + 1);
    for (char& c : name) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.';
        c = safe ? c : '_';
    }
    // "rfc2217___host_7000": the run of '_' that "://" and brackets leave is one.
    std::string out;
    for (const char c : name) {
        if (!(c == '_' && !out.empty() && out.back() == '_')) {
            out += c;
        }
    }
    while (!out.empty() && (out.back() == '_' || out.back() == '.')) {
        out.pop_back();  // Windows drops trailing dots
    }
    return out.empty() ? "port" : out;
}

std::optional<int> ParsePortText(std::string_view text) {
    text = Trimmed(text);
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
