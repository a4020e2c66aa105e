#include "cli/Ports.h"

#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "base/Quoting.h"
#include "cli/Console.h"
#include "device/Protocol.h"
#include "firmware/BootLoader.h"
#include "ports/DeviceAccess.h"
#include "ports/NetworkPorts.h"
#include "settings/StatusRefreshRun.h"

namespace kestrow::cli {
namespace {

// The boot loader's acknowledge to Ping, under the open default time-outs.
bool AnswersPing(DeviceLink& link) {
    std::array<uint8_t, 2> reply{};
    return link.ExchangeBytes(kPingPacket, reply) && reply == kAcknowledge;
}

}  // namespace

Box::Box(const ComPort& on, const CommonOptions& options)
    : port(on), link(std::make_unique<DeviceLink>(on, options.tracer)) {
    link->Hold();
}

Box::Box(const ComPort& on, std::unique_ptr<DeviceLink> held) : port(on), link(std::move(held)) {}

std::string PortText(const ComPort& port) {
    return port.Name(ComPort::Style::WithDevice);
}

Failure BootLoaderWaits(const ComPort& port) {
    return {Exit::NoAnswer, "the box on " + port.Name() +
                                " waits in its boot loader: a firmware update did not finish; "
                                "\"kestrowctl flash FILE\" writes the firmware and ends it"};
}

Failure NoAnswer(DeviceLink& link, const Error& error, std::string_view state) {
    const ComPort& port = link.port();
    const std::string then = state.empty() ? std::string{} : "; " + std::string(state);
    if (error.kind == ErrorKind::Gone) {
        return {Exit::NoAnswer, WentAway(port) + then};
    }
    if (error.NotOpened()) {  // also a server that refused the session at the first read
        return NotOpened(port, error);
    }
    HeldReports held;  // a port that has gone meanwhile was reported already
    if (AnswersPing(link)) {
        return BootLoaderWaits(port);
    }
    // Another program that has the device open (without a lock) takes the box's replies.
    std::string holders;
    for (const PortHolder& h : FindPortHolders(port.path)) {
        if (h.command != "kestrow-boxsim") {  // the simulated box holds its own line
            holders +=
                (holders.empty() ? "" : ", ") + std::to_string(h.pid) + " (" + h.command + ")";
        }
    }
    if (!holders.empty()) {
        std::error_code ec;
        const std::filesystem::path device = std::filesystem::canonical(port.path, ec);
        holders = "; " + (ec ? port.path : device.string()) + " is also open in process " +
                  holders + ", which may take its replies";
    }
    return {Exit::NoAnswer, "the box on " + port.Name() + " does not answer" + holders + then};
}

Failure WriteFailed(const ComPort& port, const Error& error, std::string_view state) {
    const std::string then = state.empty() ? std::string{} : "; " + std::string(state);
    if (error.kind == ErrorKind::Gone) {
        return {Exit::WriteFailed, WentAway(port) + then};
    }
    return {Exit::WriteFailed, "Fail" + then};
}

std::string WentAway(const ComPort& port) {
    return PortText(port) + (port.IsNetwork() ? " went away: the connection to its server was "
                                                "lost (the server stopped or the network failed)"
                                              : " went away: unplugged or switched off");
}

Failure NotOpened(const ComPort& port, const Error& error) {
    const std::string& reason = error.detail;  // the transport's own account, where it has one
    std::string why = error.Reason();
    std::string holders;
    if (reason.empty() && error.kind == ErrorKind::Busy) {
        for (const PortHolder& h : FindPortHolders(port.path)) {
            holders += (holders.empty() ? ": process " : ", ") + std::to_string(h.pid) + " (" +
                       h.command + ")";
        }
    }
    // Where the system explains a refusal itself (Windows: a port in use, a COM port that does
    // not exist), its words; a holder found by name goes first.
    const auto advice = error.kind == ErrorKind::Permission || !holders.empty()
                            ? std::nullopt
                            : RefusalAdvice(error);
    if (!reason.empty()) {
        why = reason;
    } else if (error.kind == ErrorKind::Permission) {
        const Advice permission = RefusalAdvice(error).value_or(Advice{});
        why = "permission denied" + (permission.why.empty() ? "" : "; " + permission.why) +
              (permission.fix.empty() ? "" : ": " + permission.fix);
    } else if (advice) {
        why = advice->why + (advice->fix.empty() ? "" : "; " + advice->fix);
    } else if (error.kind == ErrorKind::Busy) {
        why = "another program holds it" + holders;
    } else if (error.kind == ErrorKind::NoDevice) {
        why =
            "no such device (its adapter may be unplugged); \"kestrowctl detect\" lists the "
            "ports there are";
    }
    return {Exit::Port, PortText(port) + " cannot be opened" + (why.empty() ? "" : ": " + why)};
}

Failure NoneAnswered(std::string what, const std::vector<ComPortInfo>& ports,
                     const std::vector<PortCheck>& checks) {
    bool asked = false;
    for (size_t i = 0; i < ports.size() && i < checks.size(); ++i) {
        const PortCheck& check = checks[i];
        asked = asked || check.state == PortState::Silent || check.state == PortState::BootLoader;
        if (check.state == PortState::CannotOpen && check.error.kind == ErrorKind::Permission) {
            what += "; " + NotOpened(ports[i], check.error).message;
        }
    }
    return Failure{asked ? Exit::NoAnswer : Exit::Port, what};
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
        return {PortState::Busy, {}, Error{.kind = ErrorKind::Busy, .path = port.path}};
    }
    auto link = std::make_unique<DeviceLink>(port, options.tracer);
    link->Hold();  // the box found is served on this opening
    const Result<void> found = link->ProbeForSearch(port);
    if (found) {
        return {PortState::Answers, {}, {}, std::move(link)};
    }
    if (std::string reason = held.Take(); !reason.empty()) {
        return {PortState::CannotOpen, reason, found.error()};
    }
    if (tryBootLoader && AnswersPing(*link)) {
        return {PortState::BootLoader, {}, {}, std::move(link)};
    }
    return {PortState::Silent, {}, {}, std::move(link)};
}

Outcome<ComPort> ResolvePortText(const std::string& text, const CommonOptions& options) {
    const Result<ComPort> named = ParsePortName(text, options.portsDir);
    if (!named) {
        if (const std::string& why = named.error().detail; !why.empty()) {
            return Failure{Exit::Usage, options.portOrigin + ": " + QuotedValue(text) + ": " + why};
        }
        return Failure{Exit::Usage, options.portOrigin + ": " + QuotedValue(text) +
                                        " names no port; give \"COM 5\", \"COM5\", \"5\", a "
                                        "device path, rfc2217://HOST:PORT or socket://HOST:PORT"};
    }
    const ComPort& port = *named;
    if (port.path.empty()) {
        return Failure{Exit::Port, port.Name() + " names no device"};
    }
    return port;
}

namespace {

std::vector<ComPortInfo> PortList(const CommonOptions& options) {
    DiscoveryRoots roots;
    roots.portsDir = options.portsDir;
    roots.networkPortsFile = options.networkPortsFile;
    return FindPorts(roots);
}

bool Accepted(const PortCheck& check, Search search) {
    return check.state == PortState::Answers ||
           (check.state == PortState::BootLoader && search == Search::ProbeOrBootLoader);
}

// No port answered: which were tried and how, the ports the user may not open in words; a box
// waiting in its boot loader is named (with a probe search) rather than left among the silent.
Failure NoneAnswers(const std::vector<ComPortInfo>& ports, const std::vector<PortCheck>& checks,
                    Search search) {
    std::string tried;
    for (size_t i = 0; i < ports.size(); ++i) {
        const PortCheck& check = checks[i];
        if (check.state == PortState::BootLoader && search == Search::Probe) {
            return BootLoaderWaits(ports[i]);
        }
        tried += (tried.empty() ? "" : ", ") + ports[i].Name() + " " + StateText(check.state);
    }
    return NoneAnswered("no box answers on any COM port (" + tried + ")", ports, checks);
}

// Every port checked at once, each on its own thread: a silent port waits out its read.
std::vector<PortCheck> CheckPorts(const std::vector<ComPortInfo>& ports, bool tryBootLoader,
                                  const CommonOptions& options) {
    std::vector<PortCheck> checks(ports.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < ports.size(); ++i) {
        threads.emplace_back([&, i] {
            const BoxTag tag(ports[i].Name());  // --trace lines of each port apart
            checks[i] = CheckPort(ports[i], tryBootLoader, options);
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    return checks;
}

}  // namespace

Outcome<Box> ChoosePort(const CommonOptions& options, Search search) {
    if (options.ports.size() > 1) {
        return Failure{Exit::Usage, "this command works on one box; " + options.portOrigin +
                                        " is given " + std::to_string(options.ports.size()) +
                                        " times"};
    }
    if (!options.ports.empty()) {
        const auto port = ResolvePortText(options.ports.front(), options);
        if (!port) {
            return port.failure();
        }
        return Box(*port, options);
    }
    const std::vector<ComPortInfo> ports = PortList(options);
    if (ports.empty()) {
        return Failure{Exit::NoAnswer, "no COM port found; give --port"};
    }
    std::vector<PortCheck> checks;
    for (const ComPortInfo& port : ports) {
        checks.push_back(CheckPort(port, search == Search::ProbeOrBootLoader, options));
        if (Accepted(checks.back(), search)) {
            return Box(port, std::move(checks.back().link));
        }
    }
    // Nothing answered the probe: a box waiting in its boot loader is said to, not searched for
    // first, so that a search that finds a box takes no longer than the panel's.
    if (search == Search::Probe) {
        HeldReports held;
        for (PortCheck& check : checks) {
            if (check.state == PortState::Silent && AnswersPing(*check.link)) {
                check.state = PortState::BootLoader;
            }
        }
    }
    return NoneAnswers(ports, checks, search);
}

Outcome<std::vector<Box>> ChooseBoxes(const CommonOptions& options, Search search, bool writing) {
    std::vector<Box> chosen;
    if (!options.ports.empty()) {
        for (const std::string& text : options.ports) {
            auto port = ResolvePortText(text, options);
            if (!port) {
                return port.failure();
            }
            for (const Box& other : chosen) {
                if (other.port.path == port->path) {
                    return Failure{Exit::Usage,
                                   port->Name() + " is named twice; give each box once"};
                }
            }
            chosen.emplace_back(*port, options);
        }
        return chosen;
    }
    if (!options.all && !writing) {
        auto box = ChoosePort(options, search);
        if (!box) {
            return box.failure();
        }
        chosen.push_back(std::move(*box));
        return chosen;
    }
    const std::vector<ComPortInfo> ports = PortList(options);
    if (ports.empty()) {
        return Failure{Exit::NoAnswer, "no COM port found; give --port"};
    }
    std::vector<PortCheck> checks = CheckPorts(ports, true, options);
    std::string names;
    for (size_t i = 0; i < ports.size(); ++i) {
        if (Accepted(checks[i], search)) {
            chosen.emplace_back(ports[i], std::move(checks[i].link));
            names += (names.empty() ? "" : ", ") + ports[i].Name();
        }
    }
    if (chosen.empty()) {
        return NoneAnswers(ports, checks, search);
    }
    if (!options.all && chosen.size() > 1) {
        return Failure{Exit::Usage, "more than one box answers (" + names +
                                        "); a write goes only to boxes named: give --port for "
                                        "each, or --all for every one"};
    }
    return chosen;
}

Outcome<BoxFacts> IdentifyBox(DeviceLink& link) {
    if (Result<void> opened = link.OpenForExchanges(); !opened) {
        return NotOpened(link.port(), opened.error());
    }
    const Result<Reply> probe = link.Exchange(ProbeFrame());
    if (!probe) {
        link.EndExchanges(&probe.error());
        return NoAnswer(link, probe.error(), "nothing was written");
    }
    const Result<Reply> model = link.Exchange(ModelQueryFrame());
    link.EndExchanges(model ? nullptr : &model.error());
    // Silence is an older model; a port gone is no box to serve (a network port would otherwise
    // connect again, and its server take a write for a device it no longer has).
    if (!model && model.error().kind == ErrorKind::Gone) {
        return NoAnswer(link, model.error(), "nothing was written");
    }
    return BoxFacts{(*probe)[protocol::kReplyPortByte], (*probe)[protocol::kReplyModelByte],
                    IsNewerModelReply(model)};
}

}  // namespace kestrow::cli
