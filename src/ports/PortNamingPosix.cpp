// Port naming and discovery on Linux. Port n is a link COM<n> in the ports directory, or a
// device of the USB-serial, CDC-ACM or 8250 families; friendly names come from sysfs.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <utility>

#include "ports/PortNaming.h"
#include "ports/SysFilesPosix.h"

namespace kestrow {
namespace {

namespace fs = std::filesystem;

// A device family: port numbers first..first+count-1 are <devDir>/<prefix>0.. in order.
struct Family {
    const char* prefix;
    int first;
    int count;
    bool needsUart;  // only ports the kernel found a UART behind
};
constexpr Family kFamilies[] = {
    {"ttyUSB", 1, 64, false},
    {"ttyACM", 65, 64, false},
    {"ttyS", 129, 32, true},
};

std::string LinkName(int port) {
    return "COM" + std::to_string(port);
}

// The number of a "COM<n>" link name written without leading zeros, n in 0..255.
std::optional<int> LinkNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0) {
        return std::nullopt;
    }
    const std::string digits = name.substr(3);
    if (digits.find_first_not_of("0123456789") != std::string::npos ||
        (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    const int n = std::stoi(digits);
    return n <= kMaxComPort ? std::optional<int>(n) : std::nullopt;
}

// The product name of the USB device behind tty `name`, else its driver's name, else "".
std::string ProductOf(const fs::path& sysClassTty, const std::string& name) {
    std::error_code ec;
    const fs::path device = fs::canonical(sysClassTty / name / "device", ec);
    if (ec) {
        return {};
    }
    // ttyUSB: device is the port under the interface under the USB device; ttyACM: the interface.
    fs::path dir = device;
    for (int level = 0; level < 3 && dir.has_relative_path(); ++level, dir = dir.parent_path()) {
        const std::string product =
            PathPresent(dir / "product") ? FirstLineOf(dir / "product") : "";
        if (!product.empty()) {
            constexpr size_t kLongest = 200;  // a friendly name fits Windows' 256-byte buffer
            return product.substr(0, kLongest);
        }
        if (PathPresent(dir / "idVendor")) {
            break;  // the USB device itself has no product text
        }
    }
    // The first driver up the chain that is not the serial core's own ("port", "ctrl").
    dir = device;
    for (int level = 0; level < 3 && dir.has_relative_path(); ++level, dir = dir.parent_path()) {
        const fs::path driver = fs::read_symlink(dir / "driver", ec);
        if (!ec && driver.string().find("/serial-base/") == std::string::npos) {
            return driver.filename().string();
        }
    }
    return {};
}

// A ttyS device counts when sysfs reports a UART type other than 0 (unknown).
bool HasUart(const fs::path& sysClassTty, const std::string& name) {
    const fs::path type = sysClassTty / name / "type";
    if (!PathPresent(type)) {
        return false;
    }
    const std::string value = FirstLineOf(type);
    return !value.empty() && value != "0";
}

// "<product> (COM<n>)". A "COM" inside the product would be found first by the number parse,
// so it is written "Com" there.
std::string FriendlyName(std::string product, int number) {
    for (size_t at = product.find("COM"); at != std::string::npos; at = product.find("COM", at)) {
        product.replace(at, 3, "Com");
    }
    return product + " (" + LinkName(number) + ")";
}

ComPortInfo MakeInfo(int number, std::string path, std::string product, std::string label) {
    ComPortInfo info;
    info.friendlyName = FriendlyName(label, number);
    info.number = ParseComNumber(info.friendlyName).value_or(number);
    info.path = std::move(path);
    info.product = std::move(product);
    return info;
}

}  // namespace

std::string DefaultPortsDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        return std::string(runtime) + "/kestrow/ports";
    }
    return "/tmp/kestrow-" + std::to_string(::getuid()) + "/ports";
}

ComPort ResolvePort(int number, const std::string& portsDir) {
    ComPort port{number, {}};
    if (number < 0 || number > kMaxComPort) {
        return port;
    }
    const fs::path link = fs::path(portsDir) / LinkName(number);
    if (!portsDir.empty() && PathPresent(link)) {
        port.path = link.string();
        return port;
    }
    for (const Family& family : kFamilies) {
        if (number >= family.first && number < family.first + family.count) {
            port.path =
                "/dev/" + std::string(family.prefix) + std::to_string(number - family.first);
        }
    }
    return port;
}

std::vector<ComPortInfo> FindComPorts(const DiscoveryRoots& roots) {
    std::map<int, ComPortInfo> found;  // ascending port number, one entry a number
    const fs::path sys(roots.sysClassTty);
    for (const Family& family : kFamilies) {
        for (int k = 0; k < family.count; ++k) {
            const std::string name = family.prefix + std::to_string(k);
            const fs::path device = fs::path(roots.devDir) / name;
            if (!PathPresent(device) || (family.needsUart && !HasUart(sys, name))) {
                continue;
            }
            const std::string product = ProductOf(sys, name);
            const int number = family.first + k;
            found[number] =
                MakeInfo(number, device.string(), product, product.empty() ? name : product);
        }
    }
    // Links come last so that they win over a family device of the same number.
    std::error_code ec;
    for (auto it = fs::directory_iterator(roots.portsDir, ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::optional<int> number = LinkNumber(it->path().filename().string());
        if (!number || !PathPresent(it->path())) {
            continue;
        }
        std::error_code targetError;
        const fs::path target = fs::canonical(it->path(), targetError);
        const std::string targetName = targetError ? std::string{} : target.filename().string();
        std::string product;
        if (!targetName.empty() && PathPresent(sys / targetName)) {
            product = ProductOf(sys, targetName);
        }
        found[*number] = MakeInfo(*number, it->path().string(), product,
                                  product.empty() ? "Kestrow link" : product);
    }
    // The stable names: each by-id link by the device it leads to (the first in name order).
    std::map<fs::path, std::string> stable;
    for (auto it = fs::directory_iterator(roots.byIdDir, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        std::error_code targetError;
        const fs::path target = fs::canonical(it->path(), targetError);
        const std::string link = it->path().string();
        if (!targetError && (stable.count(target) == 0 || link < stable[target])) {
            stable[target] = link;
        }
    }
    std::vector<ComPortInfo> ports;
    for (auto& entry : found) {
        std::error_code targetError;
        const fs::path device = fs::canonical(entry.second.path, targetError);
        if (const auto s = stable.find(device); !targetError && s != stable.end()) {
            entry.second.stableName = s->second;
        }
        ports.push_back(std::move(entry.second));
    }
    return ports;
}

std::vector<PortHolder> FindPortHolders(const std::string& device, const std::string& procDir) {
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    if (ec) {
        return {};
    }
    const std::string self = std::to_string(::getpid());
    std::vector<PortHolder> holders;
    for (auto it = fs::directory_iterator(procDir, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (pid.empty() || pid.size() > 9 ||
            pid.find_first_not_of("0123456789") != std::string::npos || pid == self) {
            continue;
        }
        std::error_code fdError;  // another user's process: not readable, not seen
        for (auto fd = fs::directory_iterator(it->path() / "fd", fdError);
             !fdError && fd != fs::directory_iterator(); fd.increment(fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd->path(), linkError) == target && !linkError) {
                holders.push_back({std::stoi(pid), FirstLineOf(it->path() / "comm")});
                break;
            }
        }
    }
    std::sort(holders.begin(), holders.end(),
              [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return holders;
}

PortAccess ProbePortAccess(const ComPort& port) {
    if (port.IsNetwork()) {
        return PortAccess::Available;  // a server says whether it is busy when connected
    }
    if (port.path.empty()) {
        return PortAccess::Unavailable;
    }
    const int fd = ::open(port.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY ? PortAccess::Occupied : PortAccess::Unavailable;
    }
    const int lockError = ::flock(fd, LOCK_EX | LOCK_NB) != 0 ? errno : 0;
    ::close(fd);  // also lets go of the lock when this probe got it
    return lockError == EWOULDBLOCK ? PortAccess::Occupied : PortAccess::Available;
}

}  // namespace kestrow
