// What doctor does on every system: the network ports of the list, and the report. Examine,
// which looks at this machine's serial ports, is the system's own (Doctor.cpp for Linux,
// DoctorWin32.cpp for Windows).
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Doctor.h"
#include "device/DeviceLink.h"
#include "ports/NetworkPorts.h"
#include "ports/PortNaming.h"

namespace kestrow::cli {

std::vector<Finding> ExamineNetworkPorts(const std::string& file) {
    std::vector<Finding> out;
    const NetworkPortList list = ReadNetworkPorts(file);
    if (list.ports.empty() && list.problems.empty()) {
        return out;
    }
    out.push_back({false, "network ports listed in " + file, {}});
    for (const std::string& problem : list.problems) {
        out.push_back({true, file + ", " + problem, "correct or remove the line"});
    }
    for (const ComPort& port : list.ports) {
        HeldReports held;  // the reason is said here, once
        SerialPort serial;
        const std::string name = port.Name(ComPort::Style::WithDevice);
        const Result<void> opened = OpenBoxPort(serial, port);
        if (opened) {
            out.push_back({false,
                           name + ": the server answers" +
                               (port.form == PortForm::Rfc2217
                                    ? " and acknowledges 115200 8-N-1 (RFC 2217)"
                                    : "; its line must be set to 115200 8-N-1 on the server"),
                           {}});
            continue;
        }
        const Error& failure = opened.error();
        std::string fix;
        switch (failure.kind) {
            case ErrorKind::Busy:
                fix = "close the other program that is connected to this server port";
                break;
            case ErrorKind::Refused:
                if (failure.domain != ErrorDomain::None) {  // the connection, not the session
                    fix = "start the serial server (ser2net) on " + port.host +
                          ", or correct the TCP port in " + file;
                }
                break;
            case ErrorKind::TimedOut:
                fix = port.form == PortForm::Rfc2217
                          ? "check that the host is on the network; for RFC 2217 the server "
                            "must speak it (ser2net: accepter telnet(rfc2217),tcp,...), "
                            "otherwise list the port as socket://"
                          : "check that the host is on the network and its firewall lets the "
                            "connection through";
                break;
            case ErrorKind::NoDevice:
                fix = failure.domain == ErrorDomain::AddrInfo
                          ? "correct the host name in " + file + " or use its address"
                          : "on the server: the serial device is missing or held by another "
                            "program";
                break;
            default:
                break;
        }
        const std::string why = failure.detail.empty() ? held.Take() : failure.detail;
        out.push_back({true, name + ": " + why, fix});
    }
    return out;
}

int RunDoctor(const CommonOptions& options, const std::string& root) {
    DoctorRoots roots = root.empty() ? DoctorRoots{} : DoctorRoots::Under(root);
    if (root.empty()) {
        roots.ports = options.portsDir;
    }
    int problems = 0;
    std::vector<Finding> findings = Examine(roots, CurrentUser());
    if (root.empty()) {
        for (Finding& f : ExamineNetworkPorts(options.networkPortsFile)) {
            findings.push_back(std::move(f));
        }
    }
    for (const Finding& f : findings) {
        std::printf("%s %s\n", f.problem ? "problem:" : "        ", f.what.c_str());
        if (!f.fix.empty()) {
            std::printf("    fix: %s\n", f.fix.c_str());
        }
        problems += f.problem ? 1 : 0;
    }
    if (problems == 0) {
        std::printf("nothing wrong found\n");
        return static_cast<int>(Exit::Done);
    }
    std::fflush(stdout);
    return Report({Exit::Port, std::to_string(problems) +
                                   (problems == 1 ? " problem" : " problems") + " found"});
}

}  // namespace kestrow::cli
