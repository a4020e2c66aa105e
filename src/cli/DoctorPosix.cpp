// doctor on Linux: the serial devices, who may open them, what holds them, ModemManager and
// brltty, and each driver's latency settings.
#include "cli/Doctor.h"

#include <fcntl.h>
#ifdef __linux__
#include <linux/serial.h>
#endif
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Ports.h"
#include "device/DeviceLink.h"
#include "ports/NetworkPorts.h"
#include "ports/PortNaming.h"
#include "ports/SysFilesPosix.h"

namespace kestrow::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRulesFile = "/etc/udev/rules.d/99-kestrow.rules";

// A udev rule that gives the adapter to group dialout and keeps ModemManager away from it.
std::string UdevRule(const std::pair<std::string, std::string>& ids) {
    return "printf '%s\\n' 'SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"" + ids.first +
           "\", ATTRS{idProduct}==\"" + ids.second +
           "\", GROUP=\"dialout\", MODE=\"0660\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"' | sudo tee " +
           kRulesFile + " && sudo udevadm control --reload && sudo udevadm trigger";
}

bool ProcessRuns(const DoctorRoots& roots, const std::string& command) {
    std::error_code ec;
    for (auto it = fs::directory_iterator(roots.proc, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        if (FirstLineOf(it->path() / "comm") == command) {
            return true;
        }
    }
    return false;
}

// ModemManager leaves a device alone when udev marks it ID_MM_DEVICE_IGNORE; no value when
// udev's data on it cannot be read.
std::optional<bool> ModemManagerIgnores(const DoctorRoots& roots, const std::string& tty) {
    const std::string numbers = FirstLineOf(fs::path(roots.sys) / "class/tty" / tty / "dev");
    std::ifstream data(fs::path(roots.udev) / "data" / ("c" + numbers));
    if (numbers.empty() || !data) {
        return std::nullopt;
    }
    for (std::string line; std::getline(data, line);) {
        if (line == "E:ID_MM_DEVICE_IGNORE=1") {
            return true;
        }
    }
    return false;
}

bool BrlttyInstalled(const DoctorRoots& roots) {
    const fs::path root(roots.root);
    if (PathPresent(root / "usr/bin/brltty") || PathPresent(root / "bin/brltty")) {
        return true;
    }
    for (const char* dir : {"lib/udev/rules.d", "usr/lib/udev/rules.d", "etc/udev/rules.d"}) {
        std::error_code ec;
        for (auto it = fs::directory_iterator(root / dir, ec);
             !ec && it != fs::directory_iterator(); it.increment(ec)) {
            if (it->path().filename().string().find("brltty") != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

// The driver's low-latency flag (TIOCGSERIAL); no value where the driver has none.
std::optional<bool> LowLatency(const std::string& device) {
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    serial_struct s{};
    const bool known = ::ioctl(fd, TIOCGSERIAL, &s) == 0;
    ::close(fd);
    return known ? std::optional<bool>((static_cast<unsigned>(s.flags) & ASYNC_LOW_LATENCY) != 0)
                 : std::nullopt;
#else
    (void)device;
    return std::nullopt;
#endif
}

void ExaminePort(const DoctorRoots& roots, const Identity& user, const ComPortInfo& port,
                 bool modemManager, std::vector<Finding>& out) {
    const std::string name = PortText(port);
    const auto access = ExamineAccess(port.path, user);
    if (!access) {
        out.push_back({true, name + ": cannot be examined", {}});
        return;
    }
    const std::string tty = fs::path(access->device).filename().string();
    const auto ids = UsbIdsOf(roots.sys, tty);
    const bool usb = tty.starts_with("ttyUSB") || tty.starts_with("ttyACM");
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", access->mode);
    out.push_back({false,
                   name + ": " + access->device + ", group " + access->group + ", mode " + mode +
                       (ids.first.empty() ? "" : ", USB " + ids.first + ":" + ids.second),
                   {}});
    if (!access->mayOpen) {
        const Advice advice = AccessAdvice(*access);
        const bool ownerOnly = ((access->mode >> 3) & 06) != 06;
        const std::string fix = !ownerOnly          ? advice.fix
                                : ids.first.empty() ? "sudo chgrp dialout " + access->device +
                                                          " && sudo chmod 0660 " + access->device
                                                    : UdevRule(ids);
        out.push_back({true, name + ": you may not open it; " + advice.why, fix});
    }
    for (const PortHolder& h : FindPortHolders(access->device, roots.proc)) {
        const std::string who = "process " + std::to_string(h.pid) + " (" + h.command + ")";
        if (h.command == "kestrow-boxsim") {
            out.push_back({false, name + ": the simulated box, " + who, {}});
        } else {
            out.push_back({true, name + ": open in " + who + ", which takes the box's replies",
                           "close that program, or: kill " + std::to_string(h.pid)});
        }
    }
    if (modemManager && usb) {
        const auto ignored = ModemManagerIgnores(roots, tty);
        if (!ignored) {
            out.push_back({false, name + ": udev's data on it cannot be read", {}});
        } else if (!*ignored) {
            out.push_back({true,
                           name + ": ModemManager may probe it (no ID_MM_DEVICE_IGNORE in udev's "
                                  "data) and take the box's replies",
                           ids.first.empty()
                               ? "sudo systemctl stop ModemManager"
                               : UdevRule(ids) + "; or: sudo systemctl stop ModemManager"});
        }
    }
    if (const auto low = LowLatency(access->device)) {
        out.push_back({false,
                       name + (*low ? ": low latency on" : ": low latency off") +
                           " (kestrowctl and the panel ask for it on opening)",
                       {}});
    } else if (access->mayOpen) {
        out.push_back({false, name + ": the driver has no low-latency setting", {}});
    }
    const fs::path timer = fs::path(roots.sys) / "bus/usb-serial/devices" / tty / "latency_timer";
    if (PathPresent(timer)) {
        const std::string ms = FirstLineOf(timer);
        out.push_back(
            {false,
             name + ": latency timer " + ms +
                 " ms (low latency on opening brings it to 1 on FTDI adapters)",
             ms == "1" ? std::string{} : "to keep 1 ms: echo 1 | sudo tee " + timer.string()});
    }
}

}  // namespace

DoctorRoots DoctorRoots::Under(const std::string& root) {
    const fs::path r(root);
    return {root,
            (r / "dev").string(),
            (r / "sys").string(),
            (r / "proc").string(),
            (r / "run/udev").string(),
            (r / "ports").string()};
}

std::vector<Finding> Examine(const DoctorRoots& roots, const Identity& user) {
    std::vector<Finding> out;
    if (user.uid == 0) {
        out.push_back({false,
                       "running as root, who opens every device: run doctor as the user who "
                       "runs the panel",
                       {}});
    }
    out.push_back({false,
                   "ports directory " + roots.ports +
                       (PathPresent(roots.ports) ? "" : " (none yet; kestrow-boxsim makes it)"),
                   {}});
    const std::vector<ComPortInfo> ports =
        FindComPorts({roots.ports, roots.dev, (fs::path(roots.sys) / "class/tty").string(),
                      (fs::path(roots.dev) / "serial/by-id").string()});
    const bool modemManager = ProcessRuns(roots, "ModemManager");
    if (modemManager) {
        out.push_back({false, "ModemManager runs", {}});
    }
    for (const ComPortInfo& port : ports) {
        ExaminePort(roots, user, port, modemManager, out);
    }
    const bool anyUsb = std::any_of(ports.begin(), ports.end(), [](const ComPortInfo& p) {
        return p.path.find("ttyUSB") != std::string::npos;
    });
    if (BrlttyInstalled(roots)) {
        out.push_back({!anyUsb,
                       "brltty is installed; its udev rules claim common USB-serial adapters "
                       "(CH340, CP210x, FTDI), which then vanish",
                       anyUsb ? std::string{}
                              : "sudo apt-get remove brltty (unless a braille display is used)"});
    }
    if (ports.empty()) {
        out.push_back({true, "no serial port found",
                       "plug the box in and switch it on; \"sudo dmesg | tail\" shows whether "
                       "the kernel saw its adapter"});
    }
    return out;
}

}  // namespace kestrow::cli
