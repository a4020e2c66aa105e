#include "settings/SettingsFile.h"

#include <set>
#include <string_view>

#include "base/Quoting.h"

namespace kestrow {
namespace {

// What the template-201 System dialog shows as the firmware version: a fixed text.
constexpr const char* kFixedVersionText = "V1.001";

// The header's faults: format, version, the model fields' types, unknown keys.
std::vector<std::string> HeaderFaults(const Json& file) {
    std::vector<std::string> faults;
    if (!file.is_object()) {
        return {"not a settings file (a JSON object is expected)"};
    }
    if (file.value("format", Json()) != kSettingsFormat) {
        faults.push_back("\"format\" must be \"" + std::string(kSettingsFormat) + "\"");
    }
    if (file.value("version", Json()) != kSettingsFormatVersion) {
        faults.push_back("\"version\" must be " + std::to_string(kSettingsFormatVersion));
    }
    const Json model = file.value("model", Json());
    if (!model.is_number_integer() || model.get<int64_t>() < 0 || model.get<int64_t>() > 255) {
        faults.push_back("\"model\" must be the model byte, 0 to 255");
    }
    if (!file.value("newerModel", Json()).is_boolean()) {
        faults.push_back("\"newerModel\" must be true or false");
    }
    if (!file.value("settings", Json()).is_object()) {
        faults.push_back("\"settings\" must be an object of name: value");
    }
    for (const auto& [key, value] : file.items()) {
        const bool known = key == "format" || key == "version" || key == "program" ||
                           key == "model" || key == "newerModel" || key == "versionText" ||
                           key == "settings";
        if (!known) {
            faults.push_back("unknown entry " + QuotedValue(key));
        }
    }
    return faults;
}

// The parser's reason without its exception's name. The text it last read, quoted between
// single quotes, may be the rest of the file: it is quoted short.
std::string ParserReason(std::string_view what) {
    if (const size_t name = what.find("] "); name != std::string_view::npos) {
        what.remove_prefix(name + 2);
    }
    const size_t open = what.find('\'');
    size_t close = what.rfind("'; expected ");
    close = close == std::string_view::npos ? what.rfind('\'') : close;
    if (open == std::string_view::npos || close <= open) {
        return std::string(what);
    }
    return std::string(what.substr(0, open)) +
           QuotedValue(what.substr(open + 1, close - open - 1), '\'') +
           std::string(what.substr(close + 1));
}

// Parses the file; a name given twice in one object goes to `faults` (the parser would keep
// the last value without a word). A text that is no JSON gives the parser's reason.
std::optional<Json> ParseKeepingDuplicates(const std::string& text,
                                           std::vector<std::string>& faults) {
    std::vector<std::set<std::string>> open;  // the names of each object being read
    const auto callback = [&](int /*depth*/, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            open.emplace_back();
        } else if (event == Json::parse_event_t::object_end && !open.empty()) {
            open.pop_back();
        } else if (event == Json::parse_event_t::key && !open.empty() &&
                   !open.back().insert(parsed.get<std::string>()).second) {
            faults.push_back(QuotedValue(parsed.get<std::string>()) +
                             " is named twice in one object; give it once");
        }
        return true;
    };
    try {
        return Json::parse(text, callback);
    } catch (const Json::exception& e) {  // a syntax error, or a number beyond a double
        faults.push_back(ParserReason(e.what()));
        return std::nullopt;
    }
}

// Every entry of "settings" checked; the writes in table order. With the box, against what it
// offers; without it only what needs no box: the names, the kinds of value, the numbers'
// ranges and the fixed lists.
std::vector<PlannedWrite> CheckSettings(const Json& settings, const BoxFacts* box,
                                        const GenlockPeriods& periods,
                                        std::vector<std::string>& faults) {
    for (const auto& [name, value] : settings.items()) {
        if (FindSetting(name) == nullptr) {
            faults.push_back(UnknownSettingText(name));
        }
    }
    std::vector<PlannedWrite> writes;
    for (const SettingInfo& s : AllSettings()) {
        const auto entry = settings.find(std::string(s.name));
        if (entry == settings.end()) {
            continue;
        }
        const auto value = FromJson(*entry);
        if (!value) {
            faults.push_back(std::string(s.name) + ": " + QuotedValue(entry->dump(), '\0') +
                             " is neither a number nor a text the dialog takes");
            continue;
        }
        const bool needsBox = s.kind == SettingKind::Genlock ||
                              (s.kind == SettingKind::Choice && s.rule != ChoiceRule::Fixed);
        if (box == nullptr && needsBox) {
            continue;
        }
        const auto period = periods.find(s.name);
        const uint16_t p = period != periods.end() ? period->second : uint16_t{0};
        const Result<PlannedWrite> plan =
            box != nullptr ? PlanWrite(s, *box, *value, p) : PlanValue(s, {}, *value);
        if (plan) {
            writes.push_back(*plan);
        } else {
            faults.push_back(plan.error().detail);
        }
    }
    return writes;
}

}  // namespace

Result<ShownSettings> ReadShownSettings(DeviceLink& link, const StatusCache& cache,
                                        const BoxFacts& box) {
    ShownSettings shown;
    // A box without GenLock answers none of its reads: the GenLock delays are left out and the
    // rest still counts. One that answers some of them and not others lost a reply.
    bool genlockAnswered = false;
    std::vector<std::string> genlockMissing;
    std::optional<Error> genlockLost;
    for (const SettingInfo& s : AllSettings()) {
        if (!Offered(s, box)) {
            continue;
        }
        std::optional<SettingValue> value;
        std::string raw;
        if (s.kind == SettingKind::Genlock) {
            bool periodAnswered = false;
            const Result<GenlockReading> g = ReadGenlock(link, s, &periodAnswered);
            genlockAnswered = genlockAnswered || periodAnswered;
            // A port gone or not opened says nothing of GenLock: the reads end there.
            if (!g &&
                (g.error().kind == ErrorKind::Gone || g.error().NotOpened() || genlockAnswered)) {
                return g.error();
            }
            if (!g) {
                genlockMissing.emplace_back(s.name);
                genlockLost = g.error();
                continue;
            }
            value = ShownGenlockFor(g->delay, g->period);
            raw = std::to_string(g->delay) + " (period " + std::to_string(g->period) + ")";
        } else if (const auto byte = CachedValue(cache, box, s)) {
            value = ShownValueFor(s, box, *byte);
            raw = std::to_string(*byte);
        }
        if (!value) {
            shown.notes.push_back(std::string(s.name) + ": the box holds " + raw +
                                  ", which the dialog cannot show; left out");
        } else {
            shown.values[std::string(s.name)] = ToJson(value);
        }
    }
    if (genlockAnswered && genlockLost) {
        return *genlockLost;
    }
    for (const std::string& name : genlockMissing) {
        shown.notes.push_back(name + ": the box does not answer its GenLock reads; left out");
    }
    return shown;
}

std::string VersionTextFor(DeviceLink& link, const BoxFacts& box) {
    if (box.modelByte == 1) {
        return kFixedVersionText;
    }
    return link.ReadVersionText(!box.newerModel).value_or("NA");
}

std::string SettingsFileText(const BoxFacts& box, const std::string& versionText,
                             const Json& settings, const std::string& program) {
    const Json out{{"format", kSettingsFormat},    {"version", kSettingsFormatVersion},
                   {"program", program},           {"model", box.modelByte},
                   {"newerModel", box.newerModel}, {"versionText", versionText},
                   {"settings", settings}};
    return JsonText(out) + "\n";
}

Result<Json> ParseSettingsFile(const std::string& text) {
    std::vector<std::string> faults;
    std::optional<Json> file = ParseKeepingDuplicates(text, faults);
    if (!file) {
        return Refusal(faults);
    }
    std::vector<std::string> header = HeaderFaults(*file);
    faults.insert(faults.end(), header.begin(), header.end());
    if (faults.empty()) {
        return std::move(*file);
    }
    if (file->is_object()) {
        // The entries' own faults too, so that one round of editing mends them all.
        const auto settings = file->find("settings");
        if (settings != file->end() && settings->is_object()) {
            (void)CheckSettings(*settings, nullptr, {}, faults);
        }
    }
    return Refusal(faults);
}

std::vector<const SettingInfo*> GenlockSettingsNamed(const Json& file, const BoxFacts& box) {
    std::vector<const SettingInfo*> named;
    for (const SettingInfo& s : AllSettings()) {
        if (s.kind == SettingKind::Genlock && Offered(s, box) &&
            file.at("settings").contains(std::string(s.name))) {
            named.push_back(&s);
        }
    }
    return named;
}

Result<GenlockPeriods> ReadGenlockPeriods(DeviceLink& link, const Json& file, const BoxFacts& box) {
    GenlockPeriods periods;
    for (const SettingInfo* s : GenlockSettingsNamed(file, box)) {
        const Result<uint16_t> period = link.ReadGenlockValue(s->periodItem);
        if (!period) {
            return period.error();
        }
        periods[std::string(s->name)] = *period;
    }
    return periods;
}

Result<std::vector<PlannedWrite>> PlanLoad(const Json& file, const BoxFacts& box,
                                           const GenlockPeriods& periods) {
    std::vector<std::string> faults;
    const int model = file.at("model").get<int>();
    const bool newer = file.at("newerModel").get<bool>();
    if (model != box.modelByte) {
        faults.push_back("the file is for model byte " + std::to_string(model) +
                         ", this box reports " + std::to_string(box.modelByte));
    }
    if (newer != box.newerModel) {
        faults.push_back(std::string("the file is for ") + (newer ? "a newer" : "an older") +
                         " model, this box is " + (box.newerModel ? "a newer" : "an older") +
                         " one");
    }
    std::vector<PlannedWrite> writes = CheckSettings(file.at("settings"), &box, periods, faults);
    if (!faults.empty()) {
        return Refusal(faults);
    }
    return writes;
}

std::vector<std::string> ReadBackDifferences(const std::vector<PlannedWrite>& writes,
                                             const Json& now) {
    std::vector<std::string> differ;
    for (const PlannedWrite& write : writes) {
        const std::string name(write.setting->name);
        const Json wrote = ToJson(write.shown);
        const Json read = now.value(name, Json());
        if (read != wrote) {
            differ.push_back(name + ": wrote " + JsonText(wrote, -1) + ", reads back " +
                             (read.is_null() ? std::string("nothing shown") : JsonText(read, -1)));
        }
    }
    return differ;
}

std::string SettingsCount(size_t settings) {
    return std::to_string(settings) + (settings == 1 ? " setting" : " settings");
}

}  // namespace kestrow
