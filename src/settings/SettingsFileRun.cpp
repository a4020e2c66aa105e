#include "settings/SettingsFileRun.h"

#include <utility>

namespace kestrow {

Result<ComposedSettings> ComposeSettingsFile(const LinkedBox& on, const std::string& program) {
    Result<ShownSettings> shown = ReadShownSettings(on.link, on.cache, on.box);
    if (!shown) {
        return shown.error();
    }
    ComposedSettings composed;
    composed.settings = shown->values.size();
    composed.notes = std::move(shown->notes);
    composed.text =
        SettingsFileText(on.box, VersionTextFor(on.link, on.box), shown->values, program);
    return composed;
}

SettingsLoad LoadSettingsFile(const LinkedBox& on, const Json& file,
                              const std::function<Result<void>()>& refresh) {
    SettingsLoad load;
    const Result<GenlockPeriods> periods = ReadGenlockPeriods(on.link, file, on.box);
    if (!periods) {
        load.end = periods.error();
        return load;
    }
    Result<std::vector<PlannedWrite>> plan = PlanLoad(file, on.box, *periods);
    if (!plan) {
        load.end = plan.error();
        return load;
    }
    load.planned = true;
    load.writes = std::move(*plan);
    for (const PlannedWrite& write : load.writes) {
        if (Result<void> sent = WriteSettingValue(on.link, *write.setting, write.value); !sent) {
            load.end = sent;
            return load;
        }
        StoreWritten(on.cache, on.box, write);
        ++load.written;
    }

    // The read-back: what the dialogs would show now.
    if (Result<void> refreshed = refresh(); !refreshed) {
        load.end = refreshed;
        return load;
    }
    Result<ShownSettings> now = ReadShownSettings(on.link, on.cache, on.box);
    if (!now) {
        load.end = now.error();
        return load;
    }
    load.readBack = std::move(*now);
    load.differ = ReadBackDifferences(load.writes, load.readBack.values);
    return load;
}

std::string LoadedText(const SettingsLoad& load) {
    const std::string all = SettingsCount(load.writes.size());
    if (!load.planned) {
        return "nothing was written";
    }
    if (load.written < load.writes.size()) {
        return std::to_string(load.written) + " of " + all + " written; " +
               std::string(load.writes[load.written].setting->name) +
               " and those after it were not";
    }
    if (!load.end) {
        return all + " written";  // the read-back did not come
    }
    if (!load.differ.empty()) {
        return all + " written; " + std::to_string(load.differ.size()) +
               " of them read back different";
    }
    return all + " written and read back";
}

}  // namespace kestrow
