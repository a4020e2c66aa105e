// The network ports an operator uses often, listed in a small text file: one URL a line
// (rfc2217://HOST:PORT or socket://HOST:PORT), optionally followed by a label; blank lines and
// lines that start with '#' say nothing. The port list, the port search and kestrowctl detect
// take them after the COM ports.
//
//   # the studio rack
//   rfc2217://10.1.4.20:7000  Rack 1 scaler
//   socket://[fd00::20]:7001  Rack 2 scaler
#pragma once

#include <string>
#include <vector>

#include "ports/PortNaming.h"

namespace kestrow {

struct NetworkPortList {
    std::vector<ComPort> ports;         // in the file's order, each URL once
    std::vector<std::string> problems;  // "line 3: ..." for each line that names no port
};

// Reads the file; a file that does not exist is an empty list without problems.
[[nodiscard]] NetworkPortList ReadNetworkPorts(const std::string& path);
// The same from the file's text.
[[nodiscard]] NetworkPortList ParseNetworkPorts(std::string_view text);

// The COM ports present (FindComPorts), then the network ports of the file: the list the
// panel shows and searches, and kestrowctl detects.
[[nodiscard]] std::vector<ComPortInfo> FindPorts(const DiscoveryRoots& roots);

}  // namespace kestrow
