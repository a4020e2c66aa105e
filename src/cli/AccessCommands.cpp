// get, set, reset and the settings list.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Ports.h"
#include "cli/Values.h"

namespace kestrow::cli {
namespace {

// The port, and the box on it, for a named setting.
struct Session {
    Session(const ComPort& port, const CommonOptions& options) : link(port, options.tracer) {}
    DeviceLink link;
    BoxFacts box;
};

Outcome<std::unique_ptr<Session>> OpenSession(const CommonOptions& options) {
    auto target = ChoosePort(options, Search::Probe);
    if (!target) {
        return target.failure();
    }
    auto session = std::make_unique<Session>(*target, options);
    const auto box = IdentifyBox(session->link, options);
    if (!box) {
        return box.failure();
    }
    session->box = *box;
    return session;
}

// The port for raw access: chosen and known to open.
Outcome<ComPort> RawTarget(const CommonOptions& options) {
    auto target = ChoosePort(options, Search::Probe);
    if (!target) {
        return target;
    }
    SerialPort port;
    if (!OpenBoxPort(port, *target)) {
        return NotOpened(*target, port.OpenError());
    }
    port.Close();
    return target;
}

int RunRawGet(const CommonOptions& options, std::pair<uint8_t, uint8_t> address) {
    const auto target = RawTarget(options);
    if (!target) {
        return Report(target.failure());
    }
    DeviceLink link(*target, options.tracer);
    const auto value = link.ReadSetting(address.first, address.second);
    if (!value) {
        return Report(NoAnswer(link, options, "nothing was written"));
    }
    if (options.json) {
        std::printf("%s\n",
                    Json{{"group", address.first}, {"item", address.second}, {"raw", *value}}
                        .dump(2)
                        .c_str());
    } else {
        std::printf("%d\n", *value);
    }
    return 0;
}

// The System items the dialogs write beside those of the settings table: (4,2) clock mode or
// auto-sleep, (4,3), and the factory resets (4,4) and (4,5).
constexpr uint8_t kSystemItems[] = {2, 3, 4, 5};

// Why a raw write would put a byte where no dialog puts one: an item the box does not have, or
// a byte outside the named setting's range or list. None when a dialog could write it.
std::optional<Failure> RawRefusal(std::pair<uint8_t, uint8_t> address, int value) {
    const auto [group, item] = address;
    const std::string at = std::to_string(group) + "." + std::to_string(item);
    const std::string force = "; --force writes it anyway";
    const bool system = group == 4 && std::find(std::begin(kSystemItems), std::end(kSystemItems),
                                                item) != std::end(kSystemItems);
    const SettingInfo* named = nullptr;
    for (const SettingInfo& s : AllSettings()) {
        if (s.kind != SettingKind::Genlock && s.group == group && s.item == item) {
            named = &s;
            break;
        }
    }
    if (named == nullptr && !system) {
        return Failure{Exit::Usage, at + ": the box has no item " + at +
                                        " (it has those of \"kestrowctl settings\" and the "
                                        "System items 4.2 to 4.5)" +
                                        force};
    }
    if (named == nullptr || group == 4) {
        return std::nullopt;  // the System items' bytes depend on the model
    }
    int minimum = named->minimum + named->offset;
    int maximum = named->maximum + named->offset;
    std::string what = std::string(named->label) + " takes bytes ";
    if (named->kind == SettingKind::Choice) {
        if (named->rule != ChoiceRule::Fixed) {
            return std::nullopt;  // the list depends on the box's ports
        }
        minimum = 0;
        maximum = static_cast<int>(ChoicesFor(*named, {}).size()) - 1;
        what = std::string(named->label) + " has entries ";
    }
    if (value < minimum || value > maximum) {
        return Failure{Exit::Usage, at + ": " + std::to_string(value) + " is outside " +
                                        std::string(named->name) + "; " + what +
                                        RangeText(minimum, maximum) + force};
    }
    return std::nullopt;
}

int RunRawSet(const CommonOptions& options, std::pair<uint8_t, uint8_t> address,
              const std::string& text, bool force) {
    const auto value = ParseInteger(text);
    if (!value || *value < 0 || *value > 255) {
        return Report({Exit::Usage, "\"" + text + "\": a raw value is a byte, 0 to 255"});
    }
    if (auto refused = RawRefusal(address, *value); refused && !force) {
        return Report(*refused);
    }
    const auto target = RawTarget(options);
    if (!target) {
        return Report(target.failure());
    }
    DeviceLink link(*target, options.tracer);
    if (!link.WriteSetting(address.first, address.second, static_cast<uint8_t>(*value))) {
        return Report(WriteFailed(link, "the byte may not have reached the box"));
    }
    return 0;
}

// The GenLock period of a delay setting, read from the box.
Outcome<uint16_t> ReadPeriod(Session& s, const SettingInfo& setting, const CommonOptions& options) {
    const auto period = s.link.ReadGenlockValue(setting.periodItem);
    if (!period) {
        return NoAnswer(s.link, options, "nothing was written");
    }
    return *period;
}

std::string ChoicesLine(const SettingInfo& s) {
    switch (s.rule) {
        case ChoiceRule::Fixed: {
            std::string out;
            for (const Choice& c : ChoicesFor(s, {})) {
                out += (out.empty() ? "" : ", ") + std::string(c.text);
            }
            return out;
        }
        case ChoiceRule::OutputResolution:
        case ChoiceRule::OutputMode:
            return "the list for the box's output port";
        case ChoiceRule::ClockMode:
            return "the list for the box's input port";
    }
    return {};
}

}  // namespace

int RunGet(const CommonOptions& options, const std::string& name) {
    if (const auto address = ParseAddress(name)) {
        return RunRawGet(options, *address);
    }
    const auto setting = FindNamedSetting(name);
    if (!setting) {
        return Report(setting.failure());
    }
    const SettingInfo& s = **setting;
    auto session = OpenSession(options);
    if (!session) {
        return Report(session.failure());
    }
    Session& ss = **session;
    if (auto refused = Unavailable(s, ss.box)) {
        return Report(*refused);
    }
    Json json{{"name", s.name}};
    std::optional<SettingValue> shown;
    int raw = 0;
    if (s.kind == SettingKind::Genlock) {
        const auto g = ReadGenlock(ss.link, s);
        if (!g) {
            return Report(NoAnswer(ss.link, options, "nothing was written"));
        }
        raw = g->delay;
        shown = GenlockShown(g->delay, g->period);
        json["register"] = s.readItem;
        json["period"] = g->period;
    } else {
        const auto byte = ss.link.ReadSetting(s.group, s.item);
        if (!byte) {
            return Report(NoAnswer(ss.link, options, "nothing was written"));
        }
        raw = *byte;
        shown = s.kind == SettingKind::Number ? SettingValue{ShownValue(s, *byte)}
                                              : ShownValueFor(s, ss.box, *byte);
        json["group"] = s.group;
        json["item"] = s.item;
    }
    json["raw"] = raw;
    if (!shown) {
        PrintError(std::string(s.name) + ": the box holds " + std::to_string(raw) +
                   ", which the dialog cannot show");
    }
    if (options.json) {
        json["value"] = ToJson(shown);
        std::printf("%s\n", json.dump(2).c_str());
    } else {
        std::printf("%s\n", shown ? ValueText(*shown).c_str() : "");
    }
    return 0;
}

int RunSet(const CommonOptions& options, const std::string& name, const std::string& value,
           bool force) {
    if (const auto address = ParseAddress(name)) {
        return RunRawSet(options, *address, value, force);
    }
    const auto setting = FindNamedSetting(name);
    if (!setting) {
        return Report(setting.failure());
    }
    const SettingInfo& s = **setting;
    auto session = OpenSession(options);
    if (!session) {
        return Report(session.failure());
    }
    Session& ss = **session;
    uint16_t period = 0;
    if (s.kind == SettingKind::Genlock && Offered(s, ss.box)) {
        const auto read = ReadPeriod(ss, s, options);
        if (!read) {
            return Report(read.failure());
        }
        period = *read;
    }
    const Plan plan = PlanWrite(s, ss.box, ValueFromText(s, value), period);
    if (!plan) {
        return Report({Exit::Usage, plan.refusal});
    }
    if (!WriteSettingValue(ss.link, *plan.write->setting, plan.write->value)) {
        return Report(WriteFailed(ss.link, std::string(s.name) + " may not have reached the box"));
    }
    return 0;
}

int RunReset(const CommonOptions& options, bool yes) {
    if (!yes && !StdinIsTerminal()) {
        return Report({Exit::Usage,
                       "reset asks on a terminal; give --yes to reset the box to "
                       "its factory settings"});
    }
    auto session = OpenSession(options);
    if (!session) {
        return Report(session.failure());
    }
    Session& ss = **session;
    if (!yes) {
        // The System dialog's question, without its trailing line break.
        const Answer answer = AskYesNo("Are you sure you want to do factory-reset command?");
        if (answer != Answer::Yes) {
            return Report({Exit::Stopped, "nothing was sent"});
        }
    }
    const uint8_t item = FactoryResetItem(ss.box);
    if (!ss.link.WriteSetting(4, item, 1)) {
        return Report(WriteFailed(ss.link, "the reset may not have reached the box"));
    }
    std::printf("factory reset sent to %s (4.%d = 1)\n", ss.link.port().Name().c_str(), item);
    return 0;
}

int RunSettings(const CommonOptions& options, bool namesOnly) {
    Json list = Json::array();
    for (const SettingInfo& s : AllSettings()) {
        const std::string name(s.name);
        const bool genlock = s.kind == SettingKind::Genlock;
        const std::string address = genlock
                                        ? "G" + std::to_string(s.item)
                                        : std::to_string(s.group) + "." + std::to_string(s.item);
        const std::string values = s.kind == SettingKind::Number ? RangeText(s.minimum, s.maximum)
                                   : genlock                     ? "-period/2 to period/2"
                                                                 : ChoicesLine(s);
        if (namesOnly) {
            std::printf("%s\n", name.c_str());
        } else if (options.json) {
            list.push_back({{"name", name},
                            {"label", s.label},
                            {"dialog", s.dialog},
                            {"address", address},
                            {"values", values}});
        } else {
            std::printf("%-18s %-4s %-26s %s\n", name.c_str(), address.c_str(),
                        std::string(s.label).c_str(), values.c_str());
        }
    }
    if (options.json && !namesOnly) {
        std::printf("%s\n", list.dump(2).c_str());
    }
    return 0;
}

}  // namespace kestrow::cli
