// detect and status.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Reading.h"
#include "cli/Values.h"
#include "device/PortNaming.h"
#include "settings/NameTables.h"

namespace kestrow::cli {
namespace {

void PrintJson(const Json& json) {
    std::printf("%s\n", json.dump(2).c_str());
}

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

}  // namespace

int RunDetect(const CommonOptions& options) {
    std::vector<ComPortInfo> ports;
    if (!options.port.empty()) {
        const auto target = ChoosePort(options, Search::Probe);
        if (!target) {
            return Report(target.failure());
        }
        ports.push_back({*target, target->Name(), {}, {}});
    } else {
        DiscoveryRoots roots;
        roots.portsDir = options.portsDir;
        ports = FindComPorts(roots);
    }
    Json list = Json::array();
    bool any = false;
    for (const ComPortInfo& port : ports) {
        const PortCheck check = CheckPort(port, true, options);
        any = any || check.state == PortState::Answers;
        const std::string name = port.Name();
        if (options.json) {
            list.push_back({{"number", port.number},
                            {"name", name},
                            {"path", port.path},
                            {"product", port.product},
                            {"friendlyName", port.friendlyName},
                            {"answers", check.state == PortState::Answers},
                            {"state", StateText(check.state)}});
            if (!check.reason.empty()) {
                list.back()["reason"] = check.reason;
            }
        } else {
            std::printf("%-8s  %-40s  %-28s  %s%s\n", name.c_str(), port.path.c_str(),
                        port.product.empty() ? "-" : port.product.c_str(), StateText(check.state),
                        check.reason.empty() ? "" : (" (" + check.reason + ")").c_str());
        }
    }
    if (options.json) {
        PrintJson(list);
    }
    if (ports.empty()) {
        PrintError("no COM port found");
    } else if (!any) {
        PrintError("no box answers the probe");
    }
    return static_cast<int>(any ? Exit::Done : Exit::NoAnswer);
}

int RunStatus(const CommonOptions& options) {
    const auto target = ChoosePort(options, Search::Probe);
    if (!target) {
        return Report(target.failure());
    }
    DeviceLink link(*target, options.tracer);
    const auto reading = ReadBox(link, options);
    if (!reading) {
        return Report(reading.failure());
    }
    const BoxFacts& box = reading->box;
    const std::string inputPort = Name(VideoPortNames, box.portByte / 16u);
    const std::string outputPort = Name(VideoPortNames, box.portByte % 16u);
    const std::string timing = Name(InputTimingNames, reading->cache.system[0]);
    const std::string resolution = Name(OutputResolutionNames, reading->cache.output[0]);
    const char* model = box.newerModel ? "newer model" : "older model";

    if (options.json) {
        Json values = Json::array();
        for (const ReadValue& v : reading->values) {
            values.push_back({{"name", v.name},
                              {"group", v.group},
                              {"item", v.item},
                              {"raw", v.raw},
                              {"value", ToJson(Shown(v, box))}});
        }
        PrintJson({{"port",
                    {{"number", target->number}, {"name", target->Name()}, {"path", target->path}}},
                   {"portByte", box.portByte},
                   {"inputPort", inputPort},
                   {"outputPort", outputPort},
                   {"inputTiming", timing},
                   {"outputResolution", resolution},
                   {"modelByte", box.modelByte},
                   {"newerModel", box.newerModel},
                   {"values", values}});
        return 0;
    }
    if (target->number >= 0) {
        std::printf("port      %s  %s\n", target->Name().c_str(), target->path.c_str());
    } else {
        std::printf("port      %s\n", target->path.c_str());
    }
    std::printf("input     %s  %s\n", inputPort.c_str(), timing.c_str());
    std::printf("output    %s  %s\n", outputPort.c_str(), resolution.c_str());
    std::printf("model     %d  %s\n\n", box.modelByte, model);
    std::printf("%-20s %4s %4s  %s\n", "setting", "item", "raw", "value");
    for (const ReadValue& v : reading->values) {
        const auto shown = Shown(v, box);
        std::printf("%-20s %2d.%d %4d  %s\n", v.name.c_str(), v.group, v.item, v.raw,
                    shown ? ValueText(*shown).c_str() : "");
    }
    return 0;
}

}  // namespace kestrow::cli
