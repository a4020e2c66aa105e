// How a COM port number names a device, which ports are present, and whether another program
// holds a port. On Windows a port is "\\.\COM<n>"; on Linux see ResolvePort.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

namespace kestrow {

inline constexpr int kMaxComPort = 255;

// How a port is reached: a serial device of this machine, or a serial line behind a server on
// the network, spoken to with Telnet and RFC 2217 (rfc2217://) or as a raw byte stream
// (socket://).
enum class PortForm { Device, Rfc2217, Socket };

// A port as the operator named it, resolved once where it is named (the port list, a typed
// "COM n" or URL, kestrowctl --port): a COM number and the device it opens, or a network
// server's host and TCP port. The layers below pass this value on; nothing looks it up again.
struct ComPort {
    int number = -1;   // 0..255; -1 when the port was named by its device path or a URL
    std::string path;  // the device; for a network port the URL as the operator wrote it
    PortForm form = PortForm::Device;
    std::string host{};    // network: a name, an IPv4 address or an IPv6 address (no brackets)
    uint16_t tcpPort = 0;  // network: 1..65535
    std::string label{};   // network: the name the operator gave it in the network ports file

    [[nodiscard]] bool IsNetwork() const { return form != PortForm::Device; }
    // How the port is shown to the operator, the one place that decides it: "COM 5"; a device
    // path; a URL, or its label where it has one (Short). WithDevice adds what it opens:
    // "COM 5 (/dev/ttyUSB0)", "studio rack (rfc2217://10.0.0.5:7000)".
    enum class Style { Short, WithDevice };
    [[nodiscard]] std::string Name(Style style = Style::Short) const;
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

// A network port as serial tools write it: "rfc2217://HOST:PORT" or "socket://HOST:PORT", HOST a
// name, an IPv4 address or a bracketed IPv6 address ("[::1]"), PORT 1..65535; the scheme's case
// does not matter, blanks around it are dropped. Anything else is Invalid, its detail saying
// what is wrong (empty for text that is no URL at all).
[[nodiscard]] Result<ComPort> ParsePortUrl(std::string_view text);

// Any port as an operator names it: a URL (above), "COM n" or "n" (resolved in `portsDir`),
// Windows' own name of COM n "\\.\COMn", or a device path (from '/', or from "\\.\"), which
// is opened as given. Invalid when the text names none; its detail says what is wrong with a
// URL.
[[nodiscard]] Result<ComPort> ParsePortName(std::string_view text, const std::string& portsDir);

// A file name for a port's files (kestrowctl dump DIR) that is safe on every system: "COM5",
// the device's name, or the URL with every character other than letters, digits, '-' and '.'
// turned into '_' ("rfc2217_127.0.0.1_7000").
[[nodiscard]] std::string PortFileName(const ComPort& port);

// A port discovery found: the port itself, and how the machine names it.
struct ComPortInfo : ComPort {
    std::string friendlyName;  // "<product or driver> (COM<n>)"
    std::string product;       // product or driver name, may be empty
    // The name that stays the same whichever USB socket the adapter is in: a link in the by-id
    // directory (/dev/serial/by-id/usb-FTDI_..._A1B2C3-if00-port0) that leads to the port's
    // device; empty where there is none.
    std::string stableName;
    // The USB adapter's vendor and product ids, "0403:6001", where the system gives them
    // (Windows: the device's hardware id); empty otherwise.
    std::string usbId{};
};

// The file that lists network ports (NetworkPorts.h): $KESTROW_NETWORK_PORTS; otherwise
// network-ports in the kestrow folder of the configuration directory: $XDG_CONFIG_HOME, else
// ~/.config (on Windows %APPDATA%). Empty when none is known.
[[nodiscard]] std::string DefaultNetworkPortsFile();

// Where Linux discovery looks; tests build fake trees and pass their roots.
struct DiscoveryRoots {
    std::string portsDir = DefaultPortsDirectory();            // COM<n> links
    std::string devDir = "/dev";                               // ttyUSB*, ttyACM*, ttyS*
    std::string sysClassTty = "/sys/class/tty";                // device/driver/product/type facts
    std::string byIdDir = "/dev/serial/by-id";                 // udev's stable links to USB devices
    std::string networkPortsFile = DefaultNetworkPortsFile();  // FindPorts: network ports
};

// Present serial ports in ascending port number (Linux) or in SetupAPI order (Windows), there
// followed by the ports only the system's port list (HARDWARE\DEVICEMAP\SERIALCOMM) names, as
// some virtual port drivers add them, in ascending number.
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
