// doctor on Windows: each COM port the system lists, with its name and USB ids, and whether it
// opens; a port another program holds, or one that fails otherwise, with what to do about it.
#include <string>
#include <vector>

#include "cli/Console.h"
#include "cli/Doctor.h"
#include "cli/Ports.h"
#include "device/DeviceLink.h"
#include "ports/DeviceAccess.h"
#include "ports/PortNaming.h"

namespace kestrow::cli {
namespace {

void ExaminePort(const ComPortInfo& port, std::vector<Finding>& out) {
    const std::string name = PortText(port);
    out.push_back({false,
                   name + ": " + (port.friendlyName.empty() ? port.product : port.friendlyName) +
                       (port.usbId.empty() ? "" : ", USB " + port.usbId),
                   {}});
    HeldReports held;  // the reason is said here, once
    SerialPort serial;
    const Result<void> opened = OpenBoxPort(serial, port);
    if (opened) {
        serial.Close();
        out.push_back({false, name + ": opens", {}});
        return;
    }
    const Error& failure = opened.error();
    const std::string why = failure.domain == ErrorDomain::Win32
                                ? SystemErrorText(failure.domain, failure.code)
                                : held.Take();
    switch (failure.kind) {
        case ErrorKind::Busy:
            out.push_back({true,
                           name + ": in use by another program (CreateFile: " + why +
                               "); the box's replies go to that program",
                           "close the program that has the port open (a terminal program, the "
                           "Kestrow panel, another kestrowctl); if none is left, unplug the "
                           "adapter and plug it in again"});
            break;
        case ErrorKind::NoDevice:
            out.push_back({true, name + ": listed, but it does not open (CreateFile: " + why + ")",
                           "unplug the adapter and plug it in again; Device Manager (Ports) "
                           "shows whether its driver works"});
            break;
        default:
            out.push_back({true, name + ": does not open (CreateFile: " + why + ")",
                           "unplug the adapter and plug it in again; Device Manager (Ports) "
                           "shows whether its driver works"});
            break;
    }
}

}  // namespace

DoctorRoots DoctorRoots::Under(const std::string& root) {
    DoctorRoots roots;
    roots.root = root;
    return roots;
}

std::vector<Finding> Examine(const DoctorRoots& /*roots*/, const Identity& /*user*/) {
    std::vector<Finding> out;
    const std::vector<ComPortInfo> ports = FindComPorts();
    for (const ComPortInfo& port : ports) {
        ExaminePort(port, out);
    }
    if (ports.empty()) {
        out.push_back({true, "no COM port found",
                       "plug the box in and switch it on; Device Manager shows whether Windows "
                       "saw its adapter (under Ports (COM & LPT), or under Other devices when "
                       "its driver is missing)"});
    }
    return out;
}

}  // namespace kestrow::cli
