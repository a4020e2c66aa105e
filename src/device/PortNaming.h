// How a COM port number names a device, which ports are present, and whether another program
// holds a port. On Windows a port is "\\.\COM<n>"; on Linux see ResolvePort.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

inline constexpr int kMaxComPort = 255;

// A COM port as the operator named it, resolved once where it is named (the port list, a
// typed "COM n", kestrowctl --port): its number and the device it opens. The layers below
// pass this value on and open its path; nothing looks the path up again.
struct ComPort {
    int number = -1;   // 0..255; -1 when the port was named by its device path alone
    std::string path;  // the device; empty when the number names none
    // "COM 5", as the port list shows it; the device path when there is no number.
    [[nodiscard]] std::string Name() const;
    friend bool operator==(const ComPort&, const ComPort&) = default;
};

// The folder where COM<n> links live: $XDG_RUNTIME_DIR/kestrow/ports, or
// /tmp/kestrow-<uid>/ports where XDG_RUNTIME_DIR is unset (on Windows there is none: empty).
[[nodiscard]] std::string DefaultPortsDirectory();

// Port n: a link COM<n> in `portsDir`, otherwise COM 1-64 = /dev/ttyUSB0-63, COM 65-128 =
// /dev/ttyACM0-63, COM 129-160 = /dev/ttyS0-31; on Windows "\\.\COM<n>". The path is empty
// for a number outside 0..255 or without a device family.
[[nodiscard]] ComPort ResolvePort(int number, const std::string& portsDir);

// Takes the port number out of a friendly name the way the Windows port list does: find the
// first "COM" (case-sensitive) and read the decimal number after it like atoi (blanks skipped,
// 0 without digits). No value when the name has no "COM".
[[nodiscard]] std::optional<int> ParseComNumber(std::string_view friendlyName);

// A COM port as an operator types it: "COM n", "COMn" or "n" with n in 0..255; blanks around it
// and the letters' case do not matter. No value for anything else.
[[nodiscard]] std::optional<int> ParsePortText(std::string_view text);

// A port discovery found: the port itself, and how the machine names it.
struct ComPortInfo : ComPort {
    std::string friendlyName;  // "<product or driver> (COM<n>)"
    std::string product;       // product or driver name, may be empty
    // The name that stays the same whichever USB socket the adapter is in: a link in the by-id
    // directory (/dev/serial/by-id/usb-FTDI_..._A1B2C3-if00-port0) that leads to the port's
    // device; empty where there is none.
    std::string stableName;
};

// Where Linux discovery looks; tests build fake trees and pass their roots.
struct DiscoveryRoots {
    std::string portsDir = DefaultPortsDirectory();  // COM<n> links
    std::string devDir = "/dev";                     // ttyUSB*, ttyACM*, ttyS*
    std::string sysClassTty = "/sys/class/tty";      // device/driver/product/type facts
    std::string byIdDir = "/dev/serial/by-id";       // udev's stable links to USB devices
};

// Present serial ports in ascending port number (Linux) or in SetupAPI order (Windows).
[[nodiscard]] std::vector<ComPortInfo> FindComPorts(const DiscoveryRoots& roots = {});

// A process that has the port's device open, as far as the user may see: its id and command.
struct PortHolder {
    int pid = 0;
    std::string command;
    friend bool operator==(const PortHolder&, const PortHolder&) = default;
};

// The other processes that have `device` (or what it links to) open, found through the links
// in <procDir>/<pid>/fd; processes whose descriptors the user may not read are not seen. Empty
// on Windows, where a port has one holder and a second open fails.
[[nodiscard]] std::vector<PortHolder> FindPortHolders(const std::string& device,
                                                      const std::string& procDir = "/proc");

enum class PortAccess { Available, Occupied, Unavailable };

// Opens the port's device briefly, exclusively, without configuring or reporting anything:
// Occupied when another program holds it (EBUSY, a held lock, or Windows' access denied).
[[nodiscard]] PortAccess ProbePortAccess(const ComPort& port);

}  // namespace kestrow
