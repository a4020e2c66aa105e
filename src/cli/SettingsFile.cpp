// dump and load: every setting a dialog can write, in a JSON file a person can edit.
//
//   {
//     "format": "kestrow-settings", "version": 1, "program": "kestrowctl 1.0.0",
//     "model": 0, "newerModel": false, "versionText": "V1.23.456",
//     "settings": { "output-resolution": "1024x768p60", "contrast": 128, "h-shift": -3, ... }
//   }
//
// Numbers as the dialogs show them (signed, offsets taken off), choices by their list text.
#include <cstdio>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Files.h"
#include "cli/Reading.h"
#include "cli/Values.h"

namespace kestrow::cli {
namespace {

constexpr const char* kFormat = "kestrow-settings";
constexpr int kFormatVersion = 1;
// What the template-201 System dialog shows as the firmware version: a fixed text.
constexpr const char* kFixedVersionText = "V1.001";

// The box's settings as shown, in table order. A value the dialog could not show (a byte out of
// its range or list) is left out with a warning; a load could not write it back.
Outcome<Json> ReadSettings(DeviceLink& link, const BoxReading& reading,
                           const CommonOptions& options) {
    Json settings = Json::object();
    // A box without GenLock answers none of its reads: the GenLock delays are left out and the
    // rest still counts. One that answers some of them and not others lost a reply: no file.
    bool genlockAnswered = false;
    std::vector<std::string> genlockMissing;
    for (const SettingInfo& s : AllSettings()) {
        if (!Offered(s, reading.box)) {
            continue;
        }
        std::optional<SettingValue> shown;
        std::string raw;
        if (s.kind == SettingKind::Genlock) {
            bool periodAnswered = false;
            const auto g = ReadGenlock(link, s, &periodAnswered);
            genlockAnswered = genlockAnswered || periodAnswered;
            if (!g && (link.Vanished() || genlockAnswered)) {
                return NoAnswer(link, options);
            }
            if (!g) {
                genlockMissing.emplace_back(s.name);
                continue;
            }
            shown = ShownGenlockFor(g->delay, g->period);
            raw = std::to_string(g->delay) + " (period " + std::to_string(g->period) + ")";
        } else if (const ReadValue* v = FindRead(reading, s.group, s.item)) {
            shown = ShownValueFor(s, reading.box, v->raw);
            raw = std::to_string(v->raw);
        }
        if (!shown) {
            PrintError(std::string(s.name) + ": the box holds " + raw +
                       ", which the dialog cannot show; left out");
        } else {
            settings[std::string(s.name)] = ToJson(shown);
        }
    }
    if (genlockAnswered && !genlockMissing.empty()) {
        return NoAnswer(link, options);
    }
    for (const std::string& name : genlockMissing) {
        PrintError(name + ": the box does not answer its GenLock reads; left out");
    }
    return settings;
}

std::string VersionText(DeviceLink& link, const BoxFacts& box) {
    if (box.modelByte == 1) {
        return kFixedVersionText;
    }
    std::string text = "NA";
    (void)link.ReadVersionText(!box.newerModel, text);
    return text;
}

// The header's faults: format, version, the model fields' types, unknown keys.
std::vector<std::string> HeaderFaults(const Json& file) {
    std::vector<std::string> faults;
    if (!file.is_object()) {
        return {"not a settings file (a JSON object is expected)"};
    }
    if (file.value("format", Json()) != kFormat) {
        faults.push_back("\"format\" must be \"" + std::string(kFormat) + "\"");
    }
    if (file.value("version", Json()) != kFormatVersion) {
        faults.push_back("\"version\" must be " + std::to_string(kFormatVersion));
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
            faults.push_back("unknown entry \"" + key + "\"");
        }
    }
    return faults;
}

// A whole number within int, or a text; anything else has no value a dialog takes.
std::optional<SettingValue> FromJson(const Json& value) {
    constexpr int64_t kMax = std::numeric_limits<int>::max();
    constexpr int64_t kMin = std::numeric_limits<int>::min();
    if (value.is_number_unsigned()) {
        const auto n = value.get<uint64_t>();
        return n <= static_cast<uint64_t>(kMax) ? std::optional<SettingValue>(static_cast<int>(n))
                                                : std::nullopt;
    }
    if (value.is_number_integer()) {
        const auto n = value.get<int64_t>();
        return n >= kMin ? std::optional<SettingValue>(static_cast<int>(n)) : std::nullopt;
    }
    if (value.is_string()) {
        return value.get<std::string>();
    }
    return std::nullopt;
}

// "1 setting", "20 settings".
std::string Count(size_t settings) {
    return std::to_string(settings) + (settings == 1 ? " setting" : " settings");
}

// Parses the file; a name given twice in one object goes to `named` (the parser would keep the
// last value without a word).
Json ParseKeepingDuplicates(const std::string& text, std::vector<std::string>& named) {
    std::vector<std::set<std::string>> open;  // the names of each object being read
    return Json::parse(text, [&](int /*depth*/, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            open.emplace_back();
        } else if (event == Json::parse_event_t::object_end && !open.empty()) {
            open.pop_back();
        } else if (event == Json::parse_event_t::key && !open.empty() &&
                   !open.back().insert(parsed.get<std::string>()).second) {
            named.push_back("\"" + parsed.get<std::string>() +
                            "\" is named twice in one object; give it once");
        }
        return true;
    });
}

int Refuse(const std::string& path, const std::vector<std::string>& faults) {
    for (const std::string& fault : faults) {
        PrintError(path + ": " + fault);
    }
    return Report({Exit::File, path + " refused; nothing was written"});
}

using Periods = std::map<std::string, uint16_t>;  // GenLock setting name -> period

// The periods of the GenLock settings the file names and the box offers.
Outcome<Periods> ReadPeriods(const Json& file, DeviceLink& link, const BoxFacts& box,
                             const CommonOptions& options) {
    Periods periods;
    for (const SettingInfo& s : AllSettings()) {
        if (s.kind != SettingKind::Genlock || !Offered(s, box) ||
            !file.at("settings").contains(std::string(s.name))) {
            continue;
        }
        const auto period = link.ReadGenlockValue(s.periodItem);
        if (!period) {
            return NoAnswer(link, options, "nothing was written");
        }
        periods[std::string(s.name)] = *period;
    }
    return periods;
}

// The file's model fields against the box.
void CheckModel(const Json& file, const BoxFacts& box, std::vector<std::string>& faults) {
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
}

// Every entry of "settings" checked; the writes in table order. With the box, against what it
// offers; without it (a file whose header is refused) only what needs no box: the names, the
// kinds of value, the numbers' ranges and the fixed lists.
std::vector<PlannedWrite> CheckSettings(const Json& settings, const BoxFacts* box,
                                        const Periods& periods, std::vector<std::string>& faults) {
    for (const auto& [name, value] : settings.items()) {
        if (FindSetting(name) == nullptr) {
            faults.push_back(FindNamedSetting(name).failure().message);
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
            faults.push_back(std::string(s.name) + ": " + entry->dump() +
                             " is neither a number nor a text the dialog takes");
            continue;
        }
        const bool needsBox = s.kind == SettingKind::Genlock ||
                              (s.kind == SettingKind::Choice && s.rule != ChoiceRule::Fixed);
        if (box == nullptr && needsBox) {
            continue;
        }
        const auto period = periods.find(std::string(s.name));
        const uint16_t p = period != periods.end() ? period->second : uint16_t{0};
        auto write = box != nullptr ? PlanWrite(s, *box, *value, p) : PlanValue(s, {}, *value);
        if (write) {
            writes.push_back(*write);
        } else {
            faults.push_back(write.failure().message);
        }
    }
    return writes;
}

}  // namespace

int RunDump(const CommonOptions& options, const std::string& file) {
    const auto target = ChoosePort(options, Search::Probe);
    if (!target) {
        return Report(target.failure());
    }
    DeviceLink link(*target, options.tracer);
    const auto reading = ReadBox(link, options);
    if (!reading) {
        return Report(reading.failure());
    }
    auto settings = ReadSettings(link, *reading, options);
    if (!settings) {
        return Report(settings.failure());
    }
    const Json out{{"format", kFormat},
                   {"version", kFormatVersion},
                   {"program", ProgramVersion()},
                   {"model", reading->box.modelByte},
                   {"newerModel", reading->box.newerModel},
                   {"versionText", VersionText(link, reading->box)},
                   {"settings", *settings}};
    const std::string text = out.dump(2) + "\n";
    if (file.empty() || file == "-") {
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    const auto written = ReplaceFile(file, text);
    return written ? 0 : Report(written.failure());
}

int RunLoad(const CommonOptions& options, const std::string& source) {
    const std::string path = source == "-" ? "standard input" : source;
    const auto text = ReadWholeFile(source);
    if (!text) {
        return Report(text.failure());
    }
    Json file;
    std::vector<std::string> named;  // names given twice in one object
    try {
        file = ParseKeepingDuplicates(*text, named);
    } catch (const Json::parse_error& e) {
        std::string what = e.what();
        return Refuse(path, {what.substr(what.find(']') + 2)});
    }
    if (auto faults = HeaderFaults(file); !faults.empty() || !named.empty()) {
        faults.insert(faults.begin(), named.begin(), named.end());
        const auto settings = file.is_object() ? file.find("settings") : file.end();
        if (file.is_object() && settings != file.end() && settings->is_object()) {
            (void)CheckSettings(*settings, nullptr, {}, faults);  // all faults at once
        }
        return Refuse(path, faults);
    }

    const auto target = ChoosePort(options, Search::Probe);
    if (!target) {
        return Report(target.failure());
    }
    DeviceLink link(*target, options.tracer);
    const auto box = IdentifyBox(link, options);
    if (!box) {
        return Report(box.failure());
    }
    const auto periods = ReadPeriods(file, link, *box, options);
    if (!periods) {
        return Report(periods.failure());
    }
    std::vector<std::string> faults;
    CheckModel(file, *box, faults);
    const std::vector<PlannedWrite> writes =
        CheckSettings(file.at("settings"), &*box, *periods, faults);
    if (!faults.empty()) {
        return Refuse(path, faults);
    }

    size_t written = 0;
    for (const PlannedWrite& write : writes) {
        if (!WriteSettingValue(link, *write.setting, write.value)) {
            return Report(WriteFailed(
                link, std::to_string(written) + " of " + Count(writes.size()) + " were written; " +
                          std::string(write.setting->name) + " and those after it were not"));
        }
        ++written;
    }

    // Read back what the dialogs would show now. A read-back without an answer still says
    // that every write went out.
    const auto readBack = [&]() -> Outcome<Json> {
        const auto reading = ReadBox(link, options);
        if (!reading) {
            return reading.failure();
        }
        return ReadSettings(link, *reading, options);
    };
    const auto now = readBack();
    if (!now) {
        Failure f = now.failure();
        f.message = Count(writes.size()) + " written to " + target->Name() +
                    ", but the read-back did not answer: " + f.message;
        return Report(f);
    }
    int differ = 0;
    for (const PlannedWrite& write : writes) {
        const std::string name(write.setting->name);
        const Json wrote = ToJson(write.shown);
        const Json read = now->value(name, Json());
        if (read != wrote) {
            PrintError(name + ": wrote " + wrote.dump() + ", reads back " +
                       (read.is_null() ? std::string("nothing shown") : read.dump()));
            ++differ;
        }
    }
    if (differ > 0) {
        return Report({Exit::WriteFailed, std::to_string(differ) + " of " +
                                              std::to_string(writes.size()) +
                                              " settings read back different"});
    }
    std::printf("%s written to %s and read back\n", Count(writes.size()).c_str(),
                target->Name().c_str());
    return 0;
}

}  // namespace kestrow::cli
