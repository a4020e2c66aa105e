// detect and status.
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Reading.h"
#include "cli/Values.h"
#include "ports/NetworkPorts.h"
#include "ports/PortNaming.h"
#include "settings/NameTables.h"
#include "settings/SettingsFile.h"

namespace kestrow::cli {
namespace {

std::string Name(NameTable table, unsigned code) {
    return std::string(LookupName(table, code));
}

// What the report shows beside a value's raw byte; none for a byte without a shown form.
std::optional<SettingValue> Shown(const ReadValue& v, const BoxFacts& box) {
    if (v.name == "input-timing") {
        const std::string name = Name(InputTimingNames, v.raw);
        return name.empty() ? std::nullopt : std::optional<SettingValue>(name);
    }
    if (const SettingInfo* s = FindSetting(v.name)) {
        return ShownValueFor(*s, box, v.raw);
    }
    return std::nullopt;
}

// What a byte without a shown form is, in place of its value: never a blank.
std::string Unshown(const ReadValue& v) {
    if (v.name == "input-timing") {
        return "code " + std::to_string(v.raw) + " (no input timing has this code)";
    }
    if (const SettingInfo* s = FindSetting(v.name)) {
        return UnshownByteText(*s, v.raw);
    }
    return "code " + std::to_string(v.raw) + " (no dialog shows this System item)";
}

// A name from a table, or the code where the table has none.
std::string NameOrCode(const std::string& name, unsigned code) {
    return name.empty() ? "code " + std::to_string(code) : name;
}

std::string Line(const char* format, auto... values) {
    std::array<char, 256> line{};
    std::snprintf(line.data(), line.size(), format, values...);
    return line.data();
}

// One box's state, as the panel's Refresh reads it, and the version text the System dialog
// shows.
BoxResult StatusOnBox(const CommonOptions& options, Box& on) {
    const ComPort& port = on.port;
    DeviceLink& link = *on.link;
    const auto reading = ReadBox(link);
    if (!reading) {
        return {reading.failure()};
    }
    const BoxFacts& box = reading->box;
    const std::string version = VersionTextFor(link, box);
    const std::string inputPort = Name(VideoPortNames, box.portByte / 16u);
    const std::string outputPort = Name(VideoPortNames, box.portByte % 16u);
    const std::string timing = Name(InputTimingNames, reading->cache.system[0]);
    const std::string resolution = Name(OutputResolutionNames, reading->cache.output[0]);
    const char* model = box.newerModel ? "newer model" : "older model";

    BoxResult result;
    result.summary = inputPort + " " + timing + " in, " + outputPort + " " + resolution +
                     " out, model " + std::to_string(box.modelByte) + " (" + model +
                     "), firmware " + version;
    if (options.json) {
        Json values = Json::array();
        for (const ReadValue& v : reading->values) {
            const auto shown = Shown(v, box);
            values.push_back({{"name", v.name},
                              {"group", v.group},
                              {"item", v.item},
                              {"raw", v.raw},
                              {"value", ToJson(shown)}});
            if (!shown) {
                values.back()["note"] = Unshown(v);
            }
        }
        result.json = {{"port", PortJson(port)},     {"portByte", box.portByte},
                       {"inputPort", inputPort},     {"outputPort", outputPort},
                       {"inputTiming", timing},      {"outputResolution", resolution},
                       {"modelByte", box.modelByte}, {"newerModel", box.newerModel},
                       {"versionText", version},     {"values", values}};
        return result;
    }
    std::string report = port.Name() != port.path
                             ? "port      " + port.Name() + "  " + port.path + "\n"
                             : "port      " + port.path + "\n";
    report += "input     " + NameOrCode(inputPort, box.portByte / 16u) + "  " +
              NameOrCode(timing, reading->cache.system[0]) + "\n";
    report += "output    " + NameOrCode(outputPort, box.portByte % 16u) + "  " +
              NameOrCode(resolution, reading->cache.output[0]) + "\n";
    report += "model     " + std::to_string(box.modelByte) + "  " + model + "\n";
    report += "firmware  " + version + "\n\n";
    report += Line("%-20s %4s %4s  %s", "setting", "item", "raw", "value") + "\n";
    for (const ReadValue& v : reading->values) {
        const auto shown = Shown(v, box);
        report += Line("%-20s %2d.%d %4d  %s", v.name.c_str(), v.group, v.item, v.raw,
                       (shown ? ValueText(*shown) : Unshown(v)).c_str()) +
                  "\n";
    }
    Say(report);
    return result;
}

}  // namespace

int RunDetect(const CommonOptions& options, bool namesOnly, const std::string& byIdDir) {
    std::vector<ComPortInfo> ports;
    if (!options.ports.empty()) {
        for (const std::string& text : options.ports) {
            const auto target = ResolvePortText(text, options);
            if (!target) {
                return Fail(options, target.failure());
            }
            ports.push_back({*target, target->Name(), {}, {}});
        }
    } else {
        DiscoveryRoots roots;
        roots.portsDir = options.portsDir;
        roots.byIdDir = byIdDir.empty() ? roots.byIdDir : byIdDir;
        roots.networkPortsFile = options.networkPortsFile;
        ports = FindPorts(roots);
        for (const std::string& problem : ReadNetworkPorts(options.networkPortsFile).problems) {
            PrintError(options.networkPortsFile + ": " + problem + "; the line is left out");
        }
    }
    if (namesOnly) {  // for completion: what --port takes, without asking any box
        for (const ComPortInfo& port : ports) {
            Say(port.number >= 0 ? "COM" + std::to_string(port.number) : port.path);
            if (!port.stableName.empty()) {
                Say(port.stableName);
            }
        }
        return 0;
    }
    Json list = Json::array();
    bool any = false;
    std::vector<PortCheck> checks;
    for (const ComPortInfo& port : ports) {
        const PortCheck& check = checks.emplace_back(CheckPort(port, true, options));
        checks.back().link.reset();  // detect asks, and lets go at once
        any = any || check.state == PortState::Answers;
        const std::string name = port.Name();
        // A network port without a label shows its URL once, in the path column.
        const std::string shownName = port.IsNetwork() && port.label.empty() ? "-" : name;
        if (options.json) {
            list.push_back({{"number", port.number},
                            {"name", name},
                            {"path", port.path},
                            {"byId", port.stableName.empty() ? Json() : Json(port.stableName)},
                            {"product", port.product},
                            {"friendlyName", port.friendlyName},
                            {"answers", check.state == PortState::Answers},
                            {"state", StateText(check.state)}});
            if (!check.reason.empty()) {
                list.back()["reason"] = check.reason;
            }
        } else {
            Say(Line("%-8s  %-40s  %-28s  %s%s", shownName.c_str(), port.path.c_str(),
                     port.product.empty() ? "-" : port.product.c_str(), StateText(check.state),
                     check.reason.empty() ? "" : (" (" + check.reason + ")").c_str()));
            if (!port.stableName.empty()) {
                Say("          " + port.stableName);
            }
        }
    }
    if (ports.empty() || !any) {
        // Ports the user may not open are named with the remedy, as a search for a box does.
        const Failure none = ports.empty()
                                 ? Failure{Exit::NoAnswer, "no COM port found"}
                                 : NoneAnswered("no box answers the probe", ports, checks);
        return Fail(options, none, {{"ports", list}});
    }
    if (options.json) {
        Say(JsonText(list));
    }
    return 0;
}

int RunStatus(const CommonOptions& options) {
    auto boxes = ChooseBoxes(options, Search::Probe, false);
    if (!boxes) {
        return Fail(options, boxes.failure());
    }
    return RunOnBoxes(options, *boxes, [&options](Box& box) { return StatusOnBox(options, box); });
}

}  // namespace kestrow::cli
