// Port naming and discovery on Windows: a port is "\\.\COM<n>", and the present ports are the
// devices of the Ports class that SetupAPI lists, numbered from their friendly names, with
// their USB ids, and the ports that only the system's port list (SERIALCOMM) names.
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
#include <cwchar>
#include <memory>
#include <type_traits>

#include "base/UniqueHandleWin32.h"
#include "base/Utf8Text.h"
#include "ports/PortNaming.h"

namespace kestrow {
namespace {

std::string DevicePath(int port) {
    return "\\\\.\\COM" + std::to_string(port);
}

struct DeviceInfoSetCloser {
    void operator()(void* set) const { SetupDiDestroyDeviceInfoList(set); }
};
using DeviceInfoSet = std::unique_ptr<void, DeviceInfoSetCloser>;

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

constexpr DWORD kPropertyBytes = 2048;

// A text property of the device (one string, or the first strings of a list, ';' between
// them) as UTF-8; nothing when it cannot be read.
std::optional<std::string> DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
    std::array<wchar_t, kPropertyBytes / sizeof(wchar_t) + 2> buffer{};  // room for two NULs
    DWORD required = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &info, property, nullptr,
                                           reinterpret_cast<BYTE*>(buffer.data()), kPropertyBytes,
                                           &required)) {
        return std::nullopt;
    }
    // The stored text need not end in a NUL; never look past what was written.
    const size_t written = std::min<size_t>(required, kPropertyBytes) / sizeof(wchar_t);
    std::wstring text(buffer.data(), written);
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    std::replace(text.begin(), text.end(), L'\0', L';');
    return Utf8FromWide(text);
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

// The four hex digits after `tag` ("VID_") in a hardware id, in lower case; empty without.
std::string IdAfter(const std::string& hardwareIds, const char* tag) {
    const size_t at = hardwareIds.find(tag);
    if (at == std::string::npos || at + 8 > hardwareIds.size()) {
        return {};
    }
    std::string id = hardwareIds.substr(at + 4, 4);
    for (char& c : id) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) {
            return {};
        }
        c = (c >= 'A' && c <= 'F') ? static_cast<char>(c + 32) : c;
    }
    return id;
}

// "USB\VID_0403&PID_6001&REV_0600" (or an adapter driver's "FTDIBUS\COMPORT&VID_0403&PID_6001")
// -> "0403:6001".
std::string UsbIdOf(const std::string& hardwareIds) {
    const std::string vendor = IdAfter(hardwareIds, "VID_");
    const std::string product = IdAfter(hardwareIds, "PID_");
    return vendor.empty() || product.empty() ? std::string{} : vendor + ":" + product;
}

// The ports the system's port list names: value "\Device\Serial0" = "COM1", ascending.
std::vector<ComPortInfo> SerialCommPorts() {
    std::vector<ComPortInfo> ports;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &raw) !=
        ERROR_SUCCESS) {
        return ports;
    }
    const UniqueKey key(raw);
    for (DWORD index = 0;; ++index) {
        std::array<wchar_t, 256> name{};
        std::array<wchar_t, 64> data{};
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataBytes = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        DWORD type = 0;
        const LONG result = RegEnumValueW(raw, index, name.data(), &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        const std::string value = Utf8FromWide(
            std::wstring_view(data.data(), wcsnlen(data.data(), dataBytes / sizeof(wchar_t))));
        const std::optional<int> number = ParsePortText(value);
        if (!number || value.find_first_of("Cc") != 0) {
            continue;
        }
        std::string device = Utf8FromWide(std::wstring_view(name.data(), nameSize));
        device = device.substr(device.rfind('\\') + 1);  // "Serial0"
        ports.push_back({{*number, DevicePath(*number)},
                         device + " (COM" + std::to_string(*number) + ")",
                         device,
                         {}});
    }
    std::sort(ports.begin(), ports.end(),
              [](const ComPortInfo& a, const ComPortInfo& b) { return a.number < b.number; });
    return ports;
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
    HDEVINFO raw = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (raw != INVALID_HANDLE_VALUE) {
        const DeviceInfoSet set(raw);
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof(SP_DEVINFO_DATA);
        for (DWORD index = 0; SetupDiEnumDeviceInfo(raw, index, &info); ++index) {
            const std::optional<std::string> name = DeviceProperty(raw, info, SPDRP_FRIENDLYNAME);
            if (!name) {
                continue;
            }
            const std::optional<int> number = ParseComNumber(*name);
            if (!number || *number < 0 || *number > kMaxComPort) {
                continue;  // e.g. a printer port
            }
            ComPortInfo port{{*number, DevicePath(*number)}, *name, ProductOf(*name), {}};
            port.usbId = UsbIdOf(DeviceProperty(raw, info, SPDRP_HARDWAREID).value_or(""));
            ports.push_back(std::move(port));  // no by-id names
        }
    }
    for (ComPortInfo& port : SerialCommPorts()) {
        const bool listed = std::any_of(ports.begin(), ports.end(), [&](const ComPortInfo& p) {
            return p.number == port.number;
        });
        if (!listed) {
            ports.push_back(std::move(port));
        }
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
