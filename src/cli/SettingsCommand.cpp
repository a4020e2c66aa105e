// settings: the table of settings with the values each takes: every list by port without a
// box, the lists this box's dialogs show with --port.
#include <array>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Ports.h"
#include "cli/Values.h"
#include "settings/NameTables.h"

namespace kestrow::cli {
namespace {

// The port codes that name a port ("N/A" and the empty entry name none).
std::vector<uint8_t> PortCodes() {
    std::vector<uint8_t> codes;
    for (size_t code = 0; code < VideoPortNames.size(); ++code) {
        const std::string_view name = VideoPortNames[code];
        if (!name.empty() && name != "N/A") {
            codes.push_back(static_cast<uint8_t>(code));
        }
    }
    return codes;
}

std::vector<std::string> Texts(const std::vector<Choice>& list) {
    std::vector<std::string> texts;
    for (const Choice& c : list) {
        texts.emplace_back(c.text);
    }
    return texts;
}

// A box with these port codes: the lists hang on nothing else.
BoxFacts WithPorts(uint8_t input, uint8_t output) {
    return BoxFacts{static_cast<uint8_t>(input << 4 | output), 0, false};
}

// Each port's list of a choice whose list follows the box's output port (or for the clock
// mode, its input port).
Json ListsByPort(const SettingInfo& s) {
    const bool byInput = s.rule == ChoiceRule::ClockMode;
    Json lists = Json::array();
    for (const uint8_t code : PortCodes()) {
        const BoxFacts box = byInput ? WithPorts(code, 0) : WithPorts(0, code);
        lists.push_back({{"code", code},
                         {"port", LookupName(VideoPortNames, code)},
                         {"choices", Texts(ChoicesFor(s, box))}});
    }
    return lists;
}

// Every text any box's list has, in the order first met: what `set NAME` may take somewhere.
std::vector<std::string> AnyBoxTexts(const SettingInfo& s) {
    if (s.rule == ChoiceRule::Fixed) {
        return Texts(ChoicesFor(s, {}));
    }
    std::vector<std::string> texts;
    std::set<std::string> seen;
    for (const uint8_t code : PortCodes()) {
        const BoxFacts box =
            s.rule == ChoiceRule::ClockMode ? WithPorts(code, 0) : WithPorts(0, code);
        for (std::string& text : Texts(ChoicesFor(s, box))) {
            if (seen.insert(text).second) {
                texts.push_back(std::move(text));
            }
        }
    }
    return texts;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& t : texts) {
        out += (out.empty() ? "" : ", ") + t;
    }
    return out;
}

// The values column of the text list.
std::string ValuesText(const SettingInfo& s, const BoxFacts* box) {
    switch (s.kind) {
        case SettingKind::Number:
            return RangeText(s.minimum, s.maximum);
        case SettingKind::Genlock:
            return "-period/2 to period/2";
        case SettingKind::Choice:
            break;
    }
    if (box != nullptr || s.rule == ChoiceRule::Fixed) {
        return Joined(Texts(ChoicesFor(s, box != nullptr ? *box : BoxFacts{})));
    }
    return s.rule == ChoiceRule::ClockMode ? "the list for the box's input port"
                                           : "the list for the box's output port";
}

struct BoxLists {
    BoxFacts box;
    std::map<std::string, uint16_t> periods;  // GenLock settings offered: the box's period
};

// The box on the one port given: what it is, and the GenLock periods where it offers them.
Outcome<BoxLists> ReadBoxLists(const CommonOptions& options) {
    const auto chosen = ChoosePort(options, Search::Probe);
    if (!chosen) {
        return chosen.failure();
    }
    DeviceLink& link = *chosen->link;
    const auto box = IdentifyBox(link);
    if (!box) {
        return box.failure();
    }
    BoxLists lists{*box, {}};
    for (const SettingInfo& s : AllSettings()) {
        if (s.kind == SettingKind::Genlock && Offered(s, *box)) {
            const Result<uint16_t> period = link.ReadGenlockValue(s.periodItem);
            if (!period) {
                return NoAnswer(link, period.error());
            }
            lists.periods[std::string(s.name)] = *period;
        }
    }
    return lists;
}

Json SettingJson(const SettingInfo& s, const std::string& address, const BoxLists* lists) {
    const BoxFacts* box = lists != nullptr ? &lists->box : nullptr;
    Json json{{"name", s.name},
              {"label", s.label},
              {"dialog", s.dialog},
              {"address", address},
              {"values", ValuesText(s, box)}};
    if (box != nullptr) {
        json["offered"] = Offered(s, *box);
    }
    switch (s.kind) {
        case SettingKind::Number:
            json["kind"] = "number";
            json["minimum"] = s.minimum;
            json["maximum"] = s.maximum;
            break;
        case SettingKind::Genlock:
            json["kind"] = "genlock";
            if (lists != nullptr) {
                if (const auto p = lists->periods.find(std::string(s.name));
                    p != lists->periods.end()) {
                    json["period"] = p->second;
                    json["minimum"] = GenlockRangeFor(p->second).minimum;
                    json["maximum"] = GenlockRangeFor(p->second).maximum;
                }
            }
            break;
        case SettingKind::Choice:
            json["kind"] = "choice";
            if (box != nullptr || s.rule == ChoiceRule::Fixed) {
                json["choices"] = Texts(ChoicesFor(s, box != nullptr ? *box : BoxFacts{}));
            } else if (s.rule == ChoiceRule::ClockMode) {
                json["choicesByInputPort"] = ListsByPort(s);
            } else {
                json["choicesByOutputPort"] = ListsByPort(s);
            }
            break;
    }
    return json;
}

}  // namespace

int RunSettings(const CommonOptions& options, bool namesOnly, const std::string& valuesOf) {
    std::optional<BoxLists> lists;
    if (!options.ports.empty() && !namesOnly) {
        auto read = ReadBoxLists(options);
        if (!read) {
            return Fail(options, read.failure());
        }
        lists = *read;
    }
    if (!valuesOf.empty()) {  // for completion: the texts `set NAME` takes, one a line
        const auto setting = FindNamedSetting(valuesOf);
        if (!setting) {
            return Fail(options, setting.failure());
        }
        const SettingInfo& s = **setting;
        if (s.kind == SettingKind::Choice) {
            for (const std::string& text :
                 lists ? Texts(ChoicesFor(s, lists->box)) : AnyBoxTexts(s)) {
                Say(text);
            }
        }
        return 0;
    }
    Json list = Json::array();
    for (const SettingInfo& s : AllSettings()) {
        const bool genlock = s.kind == SettingKind::Genlock;
        const std::string address = genlock
                                        ? "G" + std::to_string(s.item)
                                        : std::to_string(s.group) + "." + std::to_string(s.item);
        if (namesOnly) {
            Say(s.name);
        } else if (options.json) {
            list.push_back(SettingJson(s, address, lists ? &*lists : nullptr));
        } else {
            std::array<char, 96> head{};
            std::snprintf(head.data(), head.size(), "%-18s %-4s %-26s ",
                          std::string(s.name).c_str(), address.c_str(),
                          std::string(s.label).c_str());
            const bool hidden = lists && !Offered(s, lists->box);
            Say(head.data() + (hidden ? std::string("(not offered by this box)")
                                      : ValuesText(s, lists ? &lists->box : nullptr)));
        }
    }
    if (options.json && !namesOnly) {
        Say(JsonText(list));
    }
    return 0;
}

}  // namespace kestrow::cli
