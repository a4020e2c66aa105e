#include "cli/Ports.h"

#include <vector>

#include "cli/Console.h"
#include "firmware/BootLoader.h"
#include "settings/StatusRefresh.h"

namespace kestrow::cli {
namespace {

// The boot loader's acknowledge to Ping, under the open default time-outs.
bool AnswersPing(const ComPort& port, const CommonOptions& options) {
    SerialPort serial;
    serial.SetTracer(options.tracer);
    if (!OpenBoxPort(serial, port)) {
        return false;
    }
    serial.DiscardInput();
    serial.Write(kPingPacket.data(), static_cast<uint32_t>(kPingPacket.size()));
    std::array<uint8_t, 2> reply{};
    const bool ack = serial.Read(reply.data(), 2) == 2 && reply == kAcknowledge;
    serial.Close();
    return ack;
}

}  // namespace

std::string PortText(const ComPort& port) {
    return port.number >= 0 ? port.Name() + " (" + port.path + ")" : port.path;
}

Failure NoAnswer(const DeviceLink& link, const CommonOptions& options, std::string_view state) {
    const ComPort& port = link.port();
    const std::string then = state.empty() ? std::string{} : "; " + std::string(state);
    if (link.Vanished()) {
        return {Exit::NoAnswer, PortText(port) + " went away: unplugged or switched off" + then};
    }
    HeldReports held;  // a port that has gone meanwhile was reported already
    if (AnswersPing(port, options)) {
        return {Exit::NoAnswer, "the box on " + port.Name() +
                                    " waits in its boot loader: a firmware update did not "
                                    "finish; \"kestrowctl flash FILE\" writes the firmware and "
                                    "ends it"};
    }
    return {Exit::NoAnswer, "the box on " + port.Name() + " does not answer" + then};
}

Failure WriteFailed(const DeviceLink& link, std::string_view state) {
    const std::string then = state.empty() ? std::string{} : "; " + std::string(state);
    if (link.Vanished()) {
        return {Exit::WriteFailed,
                PortText(link.port()) + " went away: unplugged or switched off" + then};
    }
    return {Exit::WriteFailed, "Fail" + then};
}

Failure NotOpened(const ComPort& port) {
    return {Exit::Port, port.Name() + " cannot be opened"};
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

PortCheck CheckPort(const ComPort& port, bool tryBootLoader, const CommonOptions& options) {
    HeldReports held;
    if (ProbePortAccess(port) == PortAccess::Occupied) {
        return {PortState::Busy, {}};
    }
    DeviceLink link(port, options.tracer);
    if (link.ProbeForSearch(port)) {
        return {PortState::Answers, {}};
    }
    if (std::string reason = held.Take(); !reason.empty()) {
        return {PortState::CannotOpen, reason};
    }
    if (tryBootLoader && AnswersPing(port, options)) {
        return {PortState::BootLoader, {}};
    }
    return {PortState::Silent, {}};
}

Outcome<ComPort> ChoosePort(const CommonOptions& options, Search search) {
    const std::string& text = options.port;
    if (!text.empty() && text.front() == '/') {
        return ComPort{-1, text};  // a device path is opened as given
    }
    if (!text.empty()) {
        const auto number = ParsePortText(text);
        if (!number) {
            return Failure{Exit::Usage, "--port: \"" + text +
                                            "\" names no port; give \"COM 5\", \"COM5\", \"5\" "
                                            "or a device path"};
        }
        ComPort port = ResolvePort(*number, options.portsDir);
        if (port.path.empty()) {
            return Failure{Exit::Port, port.Name() + " names no device"};
        }
        return port;
    }
    DiscoveryRoots roots;
    roots.portsDir = options.portsDir;
    const std::vector<ComPortInfo> ports = FindComPorts(roots);
    if (ports.empty()) {
        return Failure{Exit::NoAnswer, "no COM port found; give --port"};
    }
    std::string tried;
    for (const ComPortInfo& port : ports) {
        const PortState state = CheckPort(port, search == Search::ProbeOrBootLoader, options).state;
        if (state == PortState::Answers || state == PortState::BootLoader) {
            return ComPort(port);
        }
        tried += (tried.empty() ? "" : ", ") + port.Name() + " " + StateText(state);
    }
    return Failure{Exit::NoAnswer, "no box answers on any COM port (" + tried + ")"};
}

Outcome<BoxFacts> IdentifyBox(DeviceLink& link, const CommonOptions& options) {
    if (!link.OpenForExchanges()) {
        return NotOpened(link.port());
    }
    const auto probe = link.Exchange(ProbeFrame());
    if (!probe) {
        link.Close();
        return NoAnswer(link, options, "nothing was written");
    }
    const bool newer = IsNewerModelReply(link.Exchange(ModelQueryFrame()));
    link.Close();
    return BoxFacts{(*probe)[3], (*probe)[4], newer};
}

}  // namespace kestrow::cli
