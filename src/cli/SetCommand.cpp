// set: a setting by name, or a raw item G.I (checked against what a dialog would write).
#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>

#include "base/Quoting.h"
#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Ports.h"
#include "cli/Values.h"
#include "device/Protocol.h"

namespace kestrow::cli {
namespace {

// The System items the dialogs write beside those of the settings table: (4,2) clock mode or
// auto-sleep, (4,3), and the factory resets (4,4) and (4,5).
constexpr uint8_t kSystemItems[] = {protocol::kItemSystemSetting, protocol::kItemSettingNewer,
                                    protocol::kItemFactoryReset, protocol::kItemFactoryResetNewer};

// Why a raw write would put a byte where no dialog puts one: an item the box does not have, or
// a byte outside the named setting's range or list. None when a dialog could write it.
std::optional<Failure> RawRefusal(std::pair<uint8_t, uint8_t> address, int value) {
    const auto [group, item] = address;
    const std::string at = std::to_string(group) + "." + std::to_string(item);
    const std::string force = "; --force writes it anyway";
    const bool system =
        group == protocol::kGroupSystem &&
        std::find(std::begin(kSystemItems), std::end(kSystemItems), item) != std::end(kSystemItems);
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
    if (named == nullptr || group == protocol::kGroupSystem) {
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

BoxResult RawSetOnBox(Box& box, std::pair<uint8_t, uint8_t> address, uint8_t value) {
    const ComPort& port = box.port;
    DeviceLink& link = *box.link;
    // Raw access has no exchange that would find a port that does not open first.
    if (Result<void> opened = link.OpenForExchanges(); !opened) {
        return {NotOpened(port, opened.error())};
    }
    if (Result<void> sent = link.WriteSetting(address.first, address.second, value); !sent) {
        return {WriteFailed(port, sent.error(), "the byte may not have reached the box")};
    }
    BoxResult result;
    result.summary = std::to_string(address.first) + "." + std::to_string(address.second) +
                     " set to " + std::to_string(value);
    result.json = {{"port", PortJson(port)},
                   {"group", address.first},
                   {"item", address.second},
                   {"raw", value}};
    return result;
}

int RunRawSet(const CommonOptions& options, std::pair<uint8_t, uint8_t> address,
              const std::string& text, bool force) {
    const auto value = ParseInteger(text);
    if (!value || *value < 0 || *value > 255) {
        return Fail(options,
                    {Exit::Usage, QuotedValue(text) + ": a raw value is a byte, 0 to 255"});
    }
    if (auto refused = RawRefusal(address, *value); refused && !force) {
        return Fail(options, *refused);
    }
    auto boxes = ChooseBoxes(options, Search::Probe, true);
    if (!boxes) {
        return Fail(options, boxes.failure());
    }
    return RunOnBoxes(options, *boxes, [&](Box& box) {
        return RawSetOnBox(box, address, static_cast<uint8_t>(*value));
    });
}

BoxResult SetOnBox(Box& box, const SettingInfo& s, const std::string& value) {
    const ComPort& port = box.port;
    DeviceLink& link = *box.link;
    const auto facts = IdentifyBox(link);
    if (!facts) {
        return {facts.failure()};
    }
    uint16_t period = 0;
    if (s.kind == SettingKind::Genlock && Offered(s, *facts)) {
        const Result<uint16_t> read = link.ReadGenlockValue(s.periodItem);
        if (!read) {
            return {NoAnswer(link, read.error(), "nothing was written")};
        }
        period = *read;
    }
    const Result<PlannedWrite> plan = PlanWrite(s, *facts, ValueFromText(s, value), period);
    if (!plan) {
        return {Failure{Exit::Usage, plan.error().detail}};
    }
    if (Result<void> sent = WriteSettingValue(link, *plan->setting, plan->value); !sent) {
        return {
            WriteFailed(port, sent.error(), std::string(s.name) + " may not have reached the box")};
    }
    BoxResult result;
    result.summary = std::string(s.name) + " set to " + ValueText(plan->shown);
    result.json = {{"port", PortJson(port)}, {"name", s.name}};
    if (s.kind == SettingKind::Genlock) {
        result.json["register"] = s.item;
        result.json["period"] = period;
    } else {
        result.json["group"] = s.group;
        result.json["item"] = s.item;
    }
    result.json["raw"] = plan->value;
    result.json["value"] = ToJson(plan->shown);
    return result;
}

}  // namespace

int RunSet(const CommonOptions& options, const std::string& name, const std::string& value,
           bool force) {
    if (const auto address = ParseAddress(name)) {
        return RunRawSet(options, *address, value, force);
    }
    const auto setting = FindNamedSetting(name);
    if (!setting) {
        return Fail(options, setting.failure());
    }
    auto boxes = ChooseBoxes(options, Search::Probe, true);
    if (!boxes) {
        return Fail(options, boxes.failure());
    }
    return RunOnBoxes(options, *boxes, [&](Box& box) { return SetOnBox(box, **setting, value); });
}

}  // namespace kestrow::cli
