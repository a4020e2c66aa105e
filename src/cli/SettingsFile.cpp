// dump and load: the settings file (settings/SettingsFile.h) written from and put onto boxes.
#include <filesystem>
#include <system_error>
#include <utility>

#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Files.h"
#include "cli/Reading.h"
#include "cli/Values.h"
#include "settings/SettingsFile.h"

namespace kestrow::cli {
namespace {

namespace fs = std::filesystem;

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

// Each fault on a line of its own, then the refusal (exit 5); --json lists them.
BoxResult Refused(const std::string& path, const std::vector<std::string>& faults) {
    for (const std::string& fault : faults) {
        PrintError(path + ": " + fault);
    }
    BoxResult result{Failure{Exit::File, path + " refused; nothing was written"}};
    result.json["faults"] = faults;
    return result;
}

// The periods of the GenLock settings the file names and the box offers.
Outcome<GenlockPeriods> ReadPeriods(const Json& file, DeviceLink& link, const BoxFacts& box,
                                    const CommonOptions& options) {
    if (auto periods = ReadGenlockPeriods(link, file, box)) {
        return std::move(*periods);
    }
    return NoAnswer(link, options, "nothing was written");
}

// The file of one box in a folder of dumps: its COM name ("COM210.json"), for a port named by
// its device path the device's own name ("ttyUSB0.json"), for a network port its URL made safe
// as a file name on every system ("rfc2217_127.0.0.1_7000.json").
std::string FileInFolder(const std::string& folder, const ComPort& port) {
    return (fs::path(folder) / (PortFileName(port) + ".json")).string();
}

BoxResult DumpOnBox(const CommonOptions& options, const ComPort& port, const std::string& file,
                    bool named) {
    DeviceLink link(port, options.tracer);
    const auto reading = ReadBox(link, options);
    if (!reading) {
        return {reading.failure()};
    }
    const auto settings = ReadSettings(link, *reading, options);
    if (!settings) {
        return {settings.failure()};
    }
    const std::string text = SettingsFileText(reading->box, VersionTextFor(link, reading->box),
                                              *settings, ProgramVersion());
    if (file.empty() || file == "-") {
        Say(text);
        return {};
    }
    if (const auto written = ReplaceFile(file, text); !written) {
        return {written.failure()};
    }
    BoxResult result;
    // A file named by its port is named in the output, one named by the operator only with
    // several boxes.
    (named ? result.line : result.summary) = "settings written to " + file;
    return result;
}

BoxResult LoadOnBox(const CommonOptions& options, const ComPort& port, const Json& file,
                    const std::string& path) {
    DeviceLink link(port, options.tracer);
    const auto box = IdentifyBox(link, options);
    if (!box) {
        return {box.failure()};
    }
    const auto periods = ReadPeriods(file, link, *box, options);
    if (!periods) {
        return {periods.failure()};
    }
    const LoadPlan plan = PlanLoad(file, *box, *periods);
    if (!plan.faults.empty()) {
        return Refused(path, plan.faults);
    }

    BoxResult result;
    result.json = {{"port", PortJson(port)}, {"file", path}, {"written", Json::object()}};
    size_t written = 0;
    for (const PlannedWrite& write : plan.writes) {
        if (!WriteSettingValue(link, *write.setting, write.value)) {
            result.failure = WriteFailed(
                link, std::to_string(written) + " of " + SettingsCount(plan.writes.size()) +
                          " were written; " + std::string(write.setting->name) +
                          " and those after it were not");
            return result;
        }
        result.json["written"][std::string(write.setting->name)] = ToJson(write.shown);
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
        result.failure = now.failure();
        result.failure->message = SettingsCount(plan.writes.size()) + " written to " + port.Name() +
                                  ", but the read-back did not answer: " + now.failure().message;
        return result;
    }
    const std::vector<std::string> differ = ReadBackDifferences(plan.writes, *now);
    result.json["readBack"] = *now;
    result.json["differ"] = differ;
    for (const std::string& line : differ) {
        PrintError(line);
    }
    if (!differ.empty()) {
        result.failure = Failure{Exit::WriteFailed, std::to_string(differ.size()) + " of " +
                                                        std::to_string(plan.writes.size()) +
                                                        " settings read back different"};
        return result;
    }
    result.line =
        SettingsCount(plan.writes.size()) + " written to " + port.Name() + " and read back";
    return result;
}

}  // namespace

int RunDump(const CommonOptions& options, const std::string& file) {
    const auto ports = ChooseBoxes(options, Search::Probe, false);
    if (!ports) {
        return Fail(options, ports.failure());
    }
    std::error_code ec;
    const bool toOutput = file.empty() || file == "-";
    const bool folder =
        !toOutput && (fs::is_directory(file, ec) || file.back() == '/' || ports->size() > 1);
    if (ports->size() > 1 && (toOutput || (fs::exists(file, ec) && !folder))) {
        return Fail(options, {Exit::Usage, "dump of " + std::to_string(ports->size()) +
                                               " boxes writes a file for each: give a folder"});
    }
    if (folder && !fs::is_directory(file, ec) && !fs::create_directories(file, ec)) {
        return Fail(options, {Exit::File, file + ": the folder cannot be made: " + ec.message()});
    }
    return RunOnBoxes(options, *ports, [&](const ComPort& port) {
        return DumpOnBox(options, port, folder ? FileInFolder(file, port) : file, folder);
    });
}

int RunLoad(const CommonOptions& options, const std::string& source) {
    const std::string path = source == "-" ? "standard input" : source;
    const auto text = ReadWholeFile(source);
    if (!text) {
        return Fail(options, text.failure());
    }
    const ParsedSettingsFile parsed = ParseSettingsFile(*text);
    if (!parsed.faults.empty()) {
        const BoxResult refused = Refused(path, parsed.faults);
        return Fail(options, *refused.failure, refused.json);
    }
    const auto ports = ChooseBoxes(options, Search::Probe, true);
    if (!ports) {
        return Fail(options, ports.failure());
    }
    return RunOnBoxes(options, *ports, [&](const ComPort& port) {
        return LoadOnBox(options, port, parsed.file, path);
    });
}

}  // namespace kestrow::cli
