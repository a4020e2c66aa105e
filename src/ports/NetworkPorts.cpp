#include "ports/NetworkPorts.h"

#include <fstream>
#include <sstream>

#include "base/Quoting.h"
#include "base/Utf8Paths.h"

namespace kestrow {
namespace {

constexpr size_t kMaxFileBytes = 1 << 20;  // a list, not a data file: refuse anything larger
constexpr size_t kMaxLabel = 64;

std::string Env(const char* name) {
    return EnvironmentValue(name);
}

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

std::string DefaultNetworkPortsFile() {
    if (std::string named = Env("KESTROW_NETWORK_PORTS"); !named.empty()) {
        return named;
    }
#ifdef _WIN32
    const std::string base = Env("APPDATA");
    return base.empty() ? std::string{} : base + "\\kestrow\\network-ports";
#else
    std::string base = Env("XDG_CONFIG_HOME");
    if (base.empty() || base.front() != '/') {  // a relative value is ignored, as XDG says
        const std::string home = Env("HOME");
        if (home.empty()) {
            return {};
        }
        base = home + "/.config";
    }
    return base + "/kestrow/network-ports";
#endif
}

NetworkPortList ParseNetworkPorts(std::string_view text) {
    NetworkPortList list;
    size_t lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++lineNumber;
        while (!line.empty() && Blank(line.front())) {
            line.remove_prefix(1);
        }
        while (!line.empty() && Blank(line.back())) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        size_t urlEnd = 0;
        while (urlEnd < line.size() && !Blank(line[urlEnd])) {
            ++urlEnd;
        }
        std::string_view label = line.substr(urlEnd);
        while (!label.empty() && Blank(label.front())) {
            label.remove_prefix(1);
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        Result<ComPort> port = ParsePortUrl(line.substr(0, urlEnd));
        if (!port) {
            const std::string& why = port.error().detail;
            list.problems.push_back(where + QuotedValue(line.substr(0, urlEnd)) + " " +
                                    (why.empty() ? "is no rfc2217:// or socket:// URL" : why));
            continue;
        }
        bool printable = label.size() <= kMaxLabel;
        for (const char c : label) {
            printable = printable && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
        }
        if (!printable) {
            list.problems.push_back(where +
                                    "the label is longer than 64 characters or holds "
                                    "control characters");
            continue;
        }
        port->label = std::string(label);
        bool twice = false;
        for (const ComPort& known : list.ports) {
            twice = twice || (known.form == port->form && known.host == port->host &&
                              known.tcpPort == port->tcpPort);
        }
        if (twice) {
            list.problems.push_back(where + port->path + " is listed twice");
            continue;
        }
        list.ports.push_back(std::move(*port));
    }
    return list;
}

NetworkPortList ReadNetworkPorts(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in) {
        return {};
    }
    std::string text(kMaxFileBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxFileBytes) {
        return {{}, {path + " is larger than 1 MiB: it is not read"}};
    }
    return ParseNetworkPorts(text);
}

std::vector<ComPortInfo> FindPorts(const DiscoveryRoots& roots) {
    std::vector<ComPortInfo> ports = FindComPorts(roots);
    for (ComPort& port : ReadNetworkPorts(roots.networkPortsFile).ports) {
        ComPortInfo info;
        static_cast<ComPort&>(info) = std::move(port);
        info.friendlyName = info.Name(ComPort::Style::WithDevice);
        ports.push_back(std::move(info));
    }
    return ports;
}

}  // namespace kestrow
