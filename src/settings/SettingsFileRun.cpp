#include "settings/SettingsFileRun.h"

#include <optional>
#include <utility>

#include "settings/WholeFile.h"

namespace kestrow {

SaveResult SaveSettingsFile(const LinkedBox& on, const std::string& program,
                            const std::string& path) {
    SaveResult result;
    std::optional<ShownSettings> shown = ReadShownSettings(on.link, on.cache, on.box);
    if (!shown) {
        result.end = SaveEnd::Unanswered;
        return result;
    }
    result.settings = shown->values.size();
    result.notes = std::move(shown->notes);
    result.text = SettingsFileText(on.box, VersionTextFor(on.link, on.box), shown->values, program);
    if (path.empty()) {
        return result;
    }
    if (auto reason = ReplaceWholeFile(path, result.text)) {
        result.end = SaveEnd::FileNotWritten;
        result.reason = std::move(*reason);
    }
    return result;
}

LoadResult LoadSettingsFile(const LinkedBox& on, const Json& file,
                            const std::function<bool()>& refresh) {
    LoadResult result;
    const std::optional<GenlockPeriods> periods = ReadGenlockPeriods(on.link, file, on.box);
    if (!periods) {
        result.end = LoadEnd::PeriodsUnanswered;
        return result;
    }
    LoadPlan plan = PlanLoad(file, on.box, *periods);
    if (!plan.faults.empty()) {
        result.end = LoadEnd::Refused;
        result.faults = std::move(plan.faults);
        return result;
    }
    result.writes = std::move(plan.writes);
    for (const PlannedWrite& write : result.writes) {
        if (!WriteSettingValue(on.link, *write.setting, write.value)) {
            result.end = LoadEnd::WriteFailed;
            return result;
        }
        StoreWritten(on.cache, on.box, write);
        ++result.written;
    }

    // The read-back: what the dialogs would show now.
    std::optional<ShownSettings> now;
    if (refresh()) {
        now = ReadShownSettings(on.link, on.cache, on.box);
    }
    if (!now) {
        result.end = LoadEnd::ReadBackUnanswered;
        return result;
    }
    result.readBack = std::move(*now);
    result.differ = ReadBackDifferences(result.writes, result.readBack.values);
    result.end = result.differ.empty() ? LoadEnd::ReadBack : LoadEnd::Differs;
    return result;
}

std::string LoadedText(const LoadResult& result) {
    const std::string all = SettingsCount(result.writes.size());
    switch (result.end) {
        case LoadEnd::ReadBack:
            return all + " written and read back";
        case LoadEnd::Differs:
            return all + " written; " + std::to_string(result.differ.size()) +
                   " of them read back different";
        case LoadEnd::ReadBackUnanswered:
            return all + " written";
        case LoadEnd::WriteFailed:
            return std::to_string(result.written) + " of " + all + " written; " +
                   std::string(result.writes[result.written].setting->name) +
                   " and those after it were not";
        case LoadEnd::Refused:
        case LoadEnd::PeriodsUnanswered:
            break;
    }
    return "nothing was written";
}

}  // namespace kestrow
