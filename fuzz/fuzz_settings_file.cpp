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

    const ParsedSettingsFile parsed = ParseSettingsFile(text);
    if (!parsed.faults.empty()) {
        return 0;
    }
    GenlockPeriods periods;
    std::size_t at = 3;
    for (const SettingInfo* s : GenlockSettingsNamed(parsed.file, box)) {
        periods[std::string(s->name)] = period(at);
        at = 5;
    }
    const LoadPlan plan = PlanLoad(parsed.file, box, periods);
    if (!plan.faults.empty()) {
        return 0;
    }
    if (plan.writes.size() != parsed.file.at("settings").size()) {
        std::abort();  // every entry planned, or refused
    }
    Json values = Json::object();
    for (const PlannedWrite& w : plan.writes) {
        const auto p = periods.find(w.setting->name);
        const Plan again = PlanWrite(*w.setting, box, w.shown, p != periods.end() ? p->second : 0);
        if (!Offered(*w.setting, box) || !again || again.write->value != w.value ||
            (w.setting->kind != SettingKind::Genlock && w.value > 0xFF)) {
            std::abort();
        }
        values[std::string(w.setting->name)] = ToJson(w.shown);
    }
    const ParsedSettingsFile written =
        ParseSettingsFile(SettingsFileText(box, "V1.23.456", values, "kestrow-fuzz"));
    if (!written.faults.empty() || !PlanLoad(written.file, box, periods).faults.empty()) {
        std::abort();
    }
    return 0;
}
