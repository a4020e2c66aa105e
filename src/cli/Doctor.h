// doctor: what on this machine keeps the box's port from opening or answering, each finding
// with the command that fixes it (as "ddcutil environment" is for displays). Its inputs are
// the trees it reads, so that tests can give it a made-up machine.
#pragma once

#include <string>
#include <vector>

#include "ports/DeviceAccess.h"

namespace kestrow::cli {

// Where doctor looks; a root other than "/" prefixes every one of them (tests).
struct DoctorRoots {
    std::string root = "/";          // programs and udev rules: usr/bin, lib/udev/rules.d, ...
    std::string dev = "/dev";        // the serial devices
    std::string sys = "/sys";        // class/tty, bus/usb-serial
    std::string proc = "/proc";      // running processes and their open files
    std::string udev = "/run/udev";  // udev's data on each device
    std::string ports;               // the COM<n> links
    [[nodiscard]] static DoctorRoots Under(const std::string& root);
};

struct Finding {
    bool problem = false;  // something to fix; otherwise a fact worth knowing
    std::string what;
    std::string fix;  // the command that fixes it; empty for a fact
};

[[nodiscard]] std::vector<Finding> Examine(const DoctorRoots& roots, const Identity& user);

// Each network port of the file: its line is read, its host name resolves, the connection
// opens, and an RFC 2217 server acknowledges the line settings; each failure with its fix.
[[nodiscard]] std::vector<Finding> ExamineNetworkPorts(const std::string& file);

}  // namespace kestrow::cli
