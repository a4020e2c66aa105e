// dump and load: the settings file (settings/SettingsFile.h) written from and put onto a box.
#include <cstdio>
#include <utility>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Files.h"
#include "cli/Reading.h"
#include "cli/Values.h"
#include "settings/SettingsFile.h"

namespace kestrow::cli {
namespace {

// The box's settings as shown; what was left out is said on stderr.
Outcome<Json> ReadSettings(DeviceLink& link, const BoxReading& reading,
                           const CommonOptions& options) {
    const auto shown = ReadShownSettings(link, reading.cache, reading.box);
    if (!shown) {
        return NoAnswer(link, options);
    }
    for (const std::string& note : shown->notes) {
        PrintError(note);
    }
    return shown->values;
}

int Refuse(const std::string& path, const std::vector<std::string>& faults) {
    for (const std::string& fault : faults) {
        PrintError(path + ": " + fault);
    }
    return Report({Exit::File, path + " refused; nothing was written"});
}

// The periods of the GenLock settings the file names and the box offers.
Outcome<GenlockPeriods> ReadPeriods(const Json& file, DeviceLink& link, const BoxFacts& box,
                                    const CommonOptions& options) {
    if (auto periods = ReadGenlockPeriods(link, file, box)) {
        return std::move(*periods);
    }
    return NoAnswer(link, options, "nothing was written");
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
    const auto settings = ReadSettings(link, *reading, options);
    if (!settings) {
        return Report(settings.failure());
    }
    const std::string text = SettingsFileText(reading->box, VersionTextFor(link, reading->box),
                                              *settings, ProgramVersion());
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
    const ParsedSettingsFile parsed = ParseSettingsFile(*text);
    if (!parsed.faults.empty()) {
        return Refuse(path, parsed.faults);
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
    const auto periods = ReadPeriods(parsed.file, link, *box, options);
    if (!periods) {
        return Report(periods.failure());
    }
    const LoadPlan plan = PlanLoad(parsed.file, *box, *periods);
    if (!plan.faults.empty()) {
        return Refuse(path, plan.faults);
    }

    size_t written = 0;
    for (const PlannedWrite& write : plan.writes) {
        if (!WriteSettingValue(link, *write.setting, write.value)) {
            return Report(WriteFailed(
                link, std::to_string(written) + " of " + SettingsCount(plan.writes.size()) +
                          " were written; " + std::string(write.setting->name) +
                          " and those after it were not"));
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
        f.message = SettingsCount(plan.writes.size()) + " written to " + target->Name() +
                    ", but the read-back did not answer: " + f.message;
        return Report(f);
    }
    const std::vector<std::string> differ = ReadBackDifferences(plan.writes, *now);
    for (const std::string& line : differ) {
        PrintError(line);
    }
    if (!differ.empty()) {
        return Report({Exit::WriteFailed, std::to_string(differ.size()) + " of " +
                                              std::to_string(plan.writes.size()) +
                                              " settings read back different"});
    }
    std::printf("%s written to %s and read back\n", SettingsCount(plan.writes.size()).c_str(),
                target->Name().c_str());
    return 0;
}

}  // namespace kestrow::cli
