#include "cli/Ports.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "cli/Console.h"
#include "device/PortNaming.h"
#include "firmware/BootLoader.h"
#include "settings/StatusRefresh.h"

namespace kestrow::cli {
namespace {

namespace fs = std::filesystem;

std::string ComName(int number) {
    return "COM " + std::to_string(number);
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::canonical(path, ec);
    return ec ? std::string{} : p.string();
}

// A device path: the COM number that already resolves to it, else port 0 made to name it.
Outcome<Target> TargetForPath(const std::string& path) {
    const std::string device = Canonical(path);
    if (device.empty()) {
        return Failure{Exit::Port, path + ": no such device"};
    }
    for (int n = 0; n <= kMaxComPort; ++n) {
        const auto resolved = ResolvePortPath(n);
        if (resolved && Canonical(*resolved) == device) {
            return Target{n, ComName(n), *resolved};
        }
    }
    SetPortPathOverride(0, path);
    return Target{0, path, path};
}

// The boot loader's acknowledge to Ping, under the open default time-outs.
bool AnswersPing(int number) {
    SerialPort port;
    if (!OpenBoxPort(port, number)) {
        return false;
    }
    port.DiscardInput();
    port.Write(kPingPacket.data(), static_cast<uint32_t>(kPingPacket.size()));
    std::array<uint8_t, 2> reply{};
    const bool ack = port.Read(reply.data(), 2) == 2 && reply == kAcknowledge;
    port.Close();
    return ack;
}

}  // namespace

Failure NoAnswer(const Target& target) {
    return {Exit::NoAnswer, "the box on " + target.name + " does not answer"};
}

Failure NotOpened(const Target& target) {
    return {Exit::Port, target.name + " cannot be opened"};
}

const char* StateText(PortState state) {
    switch (state) {
        case PortState::Answers:
            return "answers";
        case PortState::BootLoader:
            return "boot loader";
        case PortState::Silent:
            return "no answer";
        case PortState::Busy:
            return "busy";
        case PortState::CannotOpen:
            return "cannot open";
    }
    return "";
}

PortCheck CheckPort(int number, bool tryBootLoader) {
    HeldReports held;
    if (ProbePortAccess(number) == PortAccess::Occupied) {
        return {PortState::Busy, {}};
    }
    DeviceLink link(number);
    if (link.ProbeForSearch(number)) {
        return {PortState::Answers, {}};
    }
    if (std::string reason = held.Take(); !reason.empty()) {
        return {PortState::CannotOpen, reason};
    }
    if (tryBootLoader && AnswersPing(number)) {
        return {PortState::BootLoader, {}};
    }
    return {PortState::Silent, {}};
}

Outcome<Target> ChoosePort(const std::string& text, Search search) {
    if (!text.empty() && text.front() == '/') {
        return TargetForPath(text);
    }
    if (!text.empty()) {
        const auto number = ParsePortText(text);
        if (!number) {
            return Failure{Exit::Usage, "--port: \"" + text +
                                            "\" names no port; give \"COM 5\", \"COM5\", \"5\" "
                                            "or a device path"};
        }
        const auto path = ResolvePortPath(*number);
        if (!path) {
            return Failure{Exit::Port, ComName(*number) + " names no device"};
        }
        return Target{*number, ComName(*number), *path};
    }
    const std::vector<ComPortInfo> ports = FindComPorts();
    if (ports.empty()) {
        return Failure{Exit::NoAnswer, "no COM port found; give --port"};
    }
    std::string tried;
    for (const ComPortInfo& port : ports) {
        const PortState state = CheckPort(port.number, search == Search::ProbeOrBootLoader).state;
        if (state == PortState::Answers || state == PortState::BootLoader) {
            return Target{port.number, ComName(port.number), port.path};
        }
        tried += (tried.empty() ? "" : ", ") + ComName(port.number) + " " + StateText(state);
    }
    return Failure{Exit::NoAnswer, "no box answers on any COM port (" + tried + ")"};
}

Outcome<BoxFacts> IdentifyBox(DeviceLink& link, const Target& target) {
    link.SetPort(target.number);
    link.Close();
    if (!OpenBoxPort(link.serial(), target.number)) {
        return NotOpened(target);
    }
    const auto probe = link.Exchange(ProbeFrame());
    if (!probe) {
        link.Close();
        return NoAnswer(target);
    }
    const bool newer = IsNewerModelReply(link.Exchange(ModelQueryFrame()));
    link.Close();
    return BoxFacts{(*probe)[3], (*probe)[4], newer};
}

}  // namespace kestrow::cli
