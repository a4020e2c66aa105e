// get: a setting by name, or a raw item G.I.
#include <nlohmann/json.hpp>

#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Ports.h"
#include "cli/Values.h"

namespace kestrow::cli {
namespace {

int RunRawGet(const CommonOptions& options, std::pair<uint8_t, uint8_t> address) {
    const auto target = ChoosePort(options, Search::Probe);
    if (!target) {
        return Fail(options, target.failure());
    }
    DeviceLink& link = *target->link;
    const Result<uint8_t> value = link.ReadSetting(address.first, address.second);
    if (!value) {
        return Fail(options, NoAnswer(link, value.error(), "nothing was written"));
    }
    Say(options.json
            ? JsonText(Json{{"group", address.first}, {"item", address.second}, {"raw", *value}})
            : std::to_string(*value));
    return 0;
}

}  // namespace

int RunGet(const CommonOptions& options, const std::string& name) {
    if (const auto address = ParseAddress(name)) {
        return RunRawGet(options, *address);
    }
    const auto setting = FindNamedSetting(name);
    if (!setting) {
        return Fail(options, setting.failure());
    }
    const SettingInfo& s = **setting;
    const auto target = ChoosePort(options, Search::Probe);
    if (!target) {
        return Fail(options, target.failure());
    }
    DeviceLink& link = *target->link;
    const auto box = IdentifyBox(link);
    if (!box) {
        return Fail(options, box.failure());
    }
    if (auto refused = Unavailable(s, *box)) {
        return Fail(options, *refused);
    }
    Json json{{"name", s.name}};
    std::optional<SettingValue> shown;
    int raw = 0;
    if (s.kind == SettingKind::Genlock) {
        const Result<GenlockReading> g = ReadGenlock(link, s);
        if (!g) {
            return Fail(options, NoAnswer(link, g.error(), "nothing was written"));
        }
        raw = g->delay;
        shown = GenlockShown(g->delay, g->period);
        json["register"] = s.readItem;
        json["period"] = g->period;
    } else {
        const Result<uint8_t> byte = link.ReadSetting(s.group, s.item);
        if (!byte) {
            return Fail(options, NoAnswer(link, byte.error(), "nothing was written"));
        }
        raw = *byte;
        shown = s.kind == SettingKind::Number ? SettingValue{ShownValue(s, *byte)}
                                              : ShownValueFor(s, *box, *byte);
        json["group"] = s.group;
        json["item"] = s.item;
    }
    json["raw"] = raw;
    if (!shown) {
        PrintError(std::string(s.name) + ": the box holds " + std::to_string(raw) +
                   ", which the dialog cannot show");
    }
    json["value"] = ToJson(shown);
    Say(options.json ? JsonText(json) : shown ? ValueText(*shown) : "");
    return 0;
}

}  // namespace kestrow::cli
