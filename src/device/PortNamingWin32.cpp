// Port naming and discovery on Windows: a port is "\\.\COM<n>", and the present ports are the
// devices of the Ports class that SetupAPI lists, numbered from their friendly names.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <setupapi.h>
// initguid.h makes devguid.h define GUID_DEVCLASS_PORTS here rather than only declare it.
#include <initguid.h>

#include <devguid.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "device/PortNaming.h"

namespace kestrow {
namespace {

std::string DevicePath(int port) {
    return "\\\\.\\COM" + std::to_string(port);
}

struct DeviceInfoSetCloser {
    void operator()(void* set) const { SetupDiDestroyDeviceInfoList(set); }
};
using DeviceInfoSet = std::unique_ptr<void, DeviceInfoSetCloser>;

struct HandleCloser {
    void operator()(void* handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

constexpr DWORD kFriendlyNameSize = 256;

// The device's friendly name, or nothing when it cannot be read or does not fit the buffer.
std::optional<std::string> FriendlyName(HDEVINFO set, SP_DEVINFO_DATA& info) {
    std::array<char, kFriendlyNameSize> buffer{};
    DWORD required = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE*>(buffer.data()),
                                           kFriendlyNameSize, &required)) {
        return std::nullopt;
    }
    // The stored text need not end in a NUL; never look past what was written.
    const size_t written = std::min<size_t>(required, buffer.size());
    return std::string(buffer.data(), strnlen(buffer.data(), written));
}

// "USB Serial Device (COM7)" -> "USB Serial Device".
std::string ProductOf(const std::string& friendlyName) {
    const size_t com = friendlyName.find("COM");
    if (com == std::string::npos) {
        return {};
    }
    const size_t open = friendlyName.rfind(" (", com);
    return open == std::string::npos ? std::string{} : friendlyName.substr(0, open);
}

}  // namespace

std::string DefaultPortsDirectory() {
    return {};  // Windows names every port itself
}

ComPort ResolvePort(int number, const std::string& /*portsDir*/) {
    ComPort port{number, {}};
    if (number >= 0 && number <= kMaxComPort) {
        port.path = DevicePath(number);
    }
    return port;
}

std::vector<ComPortInfo> FindComPorts(const DiscoveryRoots& /*roots*/) {
    std::vector<ComPortInfo> ports;
    HDEVINFO raw = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (raw == INVALID_HANDLE_VALUE) {
        return ports;
    }
    const DeviceInfoSet set(raw);

    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(SP_DEVINFO_DATA);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(raw, index, &info); ++index) {
        const std::optional<std::string> name = FriendlyName(raw, info);
        if (!name) {
            continue;
        }
        const std::optional<int> number = ParseComNumber(*name);
        if (!number) {
            continue;  // e.g. a printer port
        }
        ports.push_back(
            {{*number, DevicePath(*number)}, *name, ProductOf(*name), {}});  // no by-id names
    }
    return ports;
}

std::vector<PortHolder> FindPortHolders(const std::string& /*device*/,
                                        const std::string& /*procDir*/) {
    return {};
}

PortAccess ProbePortAccess(const ComPort& port) {
    if (port.IsNetwork()) {
        return PortAccess::Available;  // a server says whether it is busy when connected
    }
    if (port.path.empty()) {
        return PortAccess::Unavailable;
    }
    HANDLE raw = CreateFileA(port.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_ACCESS_DENIED ? PortAccess::Occupied
                                                     : PortAccess::Unavailable;
    }
    const UniqueHandle handle(raw);
    return PortAccess::Available;
}

}  // namespace kestrow
