// How a COM port number names a device, which ports are present, and whether another program
// holds a port. On Windows a port is "\\.\COM<n>"; on Linux see ResolvePortPath.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

inline constexpr int kMaxComPort = 255;

// The folder where COM<n> links live: $XDG_RUNTIME_DIR/kestrow/ports, or
// /tmp/kestrow-<uid>/ports where XDG_RUNTIME_DIR is unset. A process (a test) may override it.
[[nodiscard]] std::string PortsDirectory();
void SetPortsDirectoryOverride(std::string directory);  // empty: back to the default
// The ports directory without an override (on Windows there is none: empty).
[[nodiscard]] std::string DefaultPortsDirectory();

// Makes port n name the device at `path` for this process, ahead of the ports directory (a
// device given by its path, e.g. kestrowctl --port /dev/ttyUSB0). An empty path removes it.
void SetPortPathOverride(int port, std::string path);
[[nodiscard]] std::optional<std::string> PortPathOverride(int port);

// Device path of port n: an override above, else a link COM<n> in the ports directory, otherwise
// COM 1-64 = /dev/ttyUSB0-63, COM 65-128 = /dev/ttyACM0-63, COM 129-160 = /dev/ttyS0-31. On Windows
// "\\.\COM<n>". No value for a number outside 0..255 or without a device family.
[[nodiscard]] std::optional<std::string> ResolvePortPath(int port);

// Takes the port number out of a friendly name the way the Windows port list does: find the
// first "COM" (case-sensitive) and read the decimal number after it like atoi (blanks skipped,
// 0 without digits). No value when the name has no "COM".
[[nodiscard]] std::optional<int> ParseComNumber(std::string_view friendlyName);

// A COM port as an operator types it: "COM n", "COMn" or "n" with n in 0..255; blanks around it
// and the letters' case do not matter. No value for anything else.
[[nodiscard]] std::optional<int> ParsePortText(std::string_view text);

struct ComPortInfo {
    int number = 0;
    std::string path;          // device path (Linux) or "\\.\COM<n>"
    std::string friendlyName;  // "<product or driver> (COM<n>)"
    std::string product;       // product or driver name, may be empty
};

// Where Linux discovery looks; tests build fake trees and pass their roots.
struct DiscoveryRoots {
    std::string portsDir;                        // COM<n> links
    std::string devDir = "/dev";                 // ttyUSB*, ttyACM*, ttyS*
    std::string sysClassTty = "/sys/class/tty";  // device/driver/product/type facts
};

// Present serial ports in ascending port number (Linux) or in SetupAPI order (Windows).
[[nodiscard]] std::vector<ComPortInfo> FindComPorts(const DiscoveryRoots& roots);
[[nodiscard]] std::vector<ComPortInfo> FindComPorts();  // default roots

enum class PortAccess { Available, Occupied, Unavailable };

// Opens the port's device briefly, exclusively, without configuring or reporting anything:
// Occupied when another program holds it (EBUSY, a held lock, or Windows' access denied).
[[nodiscard]] PortAccess ProbePortAccess(int port);

}  // namespace kestrow
