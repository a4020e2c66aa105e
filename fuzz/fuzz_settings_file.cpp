// Feeds arbitrary text, as a settings file for load (kestrowctl load, the panel's Load
// settings...), through the parse and every check, and plans it against a box whose facts and
// GenLock periods come from the first bytes. A file passed whole must plan one write per entry,
// each for a setting this box offers, each the write its own shown value plans again; a file
// written from those values must pass too. Crashes, undefined behaviour and broken rules abort.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/SettingsFile.h"

using namespace kestrow;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kHead = 7;  // port byte, model byte, newer, two periods
    if (size < kHead) {
        return 0;
    }
    const BoxFacts box{data[0], data[1], (data[2] & 1) != 0};
    const auto period = [data](std::size_t at) {
        return static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]);
    };
    const std::string text(reinterpret_cast<const char*>(data + kHead), size - kHead);

    const Result<Json> parsed = ParseSettingsFile(text);
    if (!parsed) {
        if (parsed.error().detail.empty()) {
            std::abort();  // a refusal names its faults
        }
        return 0;
    }
    GenlockPeriods periods;
    std::size_t at = 3;
    for (const SettingInfo* s : GenlockSettingsNamed(*parsed, box)) {
        periods[std::string(s->name)] = period(at);
        at = 5;
    }
    const Result<std::vector<PlannedWrite>> plan = PlanLoad(*parsed, box, periods);
    if (!plan) {
        return 0;
    }
    if (plan->size() != parsed->at("settings").size()) {
        std::abort();  // every entry planned, or refused
    }
    Json values = Json::object();
    for (const PlannedWrite& w : *plan) {
        const auto p = periods.find(w.setting->name);
        const Result<PlannedWrite> again =
            PlanWrite(*w.setting, box, w.shown, p != periods.end() ? p->second : 0);
        if (!Offered(*w.setting, box) || !again || again->value != w.value ||
            (w.setting->kind != SettingKind::Genlock && w.value > 0xFF)) {
            std::abort();
        }
        values[std::string(w.setting->name)] = ToJson(w.shown);
    }
    const Result<Json> written =
        ParseSettingsFile(SettingsFileText(box, "V1.23.456", values, "kestrow-fuzz"));
    if (!written || !PlanLoad(*written, box, periods)) {
        std::abort();
    }
    return 0;
}
