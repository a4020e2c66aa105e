// dump and load: the settings file saved from and loaded onto boxes by the panel's run
// (settings/SettingsFileRun.h). Here: which boxes and files, the box read first, and the words
// on stdout, stderr and in --json.
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "base/Utf8Paths.h"
#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Files.h"
#include "cli/Reading.h"
#include "cli/Values.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsFileRun.h"
#include "settings/WholeFile.h"

namespace kestrow::cli {
namespace {

namespace fs = std::filesystem;

// Each line on stderr: the settings left out of a file, those that read back different.
void PrintLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        PrintError(line);
    }
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

// The file of one box in a folder of dumps: its COM name ("COM210.json"), for a port named by
// its device path the device's own name ("ttyUSB0.json"), for a network port its URL made safe
// as a file name on every system ("rfc2217_127.0.0.1_7000.json").
std::string FileInFolder(const std::string& folder, const ComPort& port) {
    return Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(PortFileName(port) + ".json"));
}

// The box read first, then saved as the panel saves the box of its last refresh.
BoxResult DumpOnBox(Box& on, const std::string& file, bool named) {
    DeviceLink& link = *on.link;
    auto reading = ReadBox(link);
    if (!reading) {
        return {reading.failure()};
    }
    const Result<ComposedSettings> composed =
        ComposeSettingsFile({link, reading->cache, reading->box}, ProgramVersion());
    if (!composed) {
        return {NoAnswer(link, composed.error())};
    }
    PrintLines(composed->notes);
    if (file.empty() || file == "-") {
        Say(composed->text);
        return {};
    }
    if (Result<void> written = ReplaceWholeFile(file, composed->text); !written) {
        return {Failure{Exit::File, file + ": cannot be written: " + written.error().detail}};
    }
    BoxResult result;
    // A file named by its port is named in the output, one named by the operator only with
    // several boxes.
    (named ? result.line : result.summary) = "settings written to " + file;
    return result;
}

// The box identified first; the read-back is a refresh of its own.
BoxResult LoadOnBox(Box& on, const Json& file, const std::string& path) {
    const ComPort& port = on.port;
    DeviceLink& link = *on.link;
    auto box = IdentifyBox(link);
    if (!box) {
        return {box.failure()};
    }
    StatusCache cache;  // kept up to date by the writes, read by the read-back
    std::optional<Failure> unread;
    const auto refresh = [&]() -> Result<void> {
        auto reading = ReadBox(link);
        if (!reading) {
            unread = reading.failure();
            return Error{.kind = ErrorKind::NoAnswer};  // said in `unread`'s words
        }
        cache = reading->cache;
        *box = reading->box;
        return {};
    };
    const SettingsLoad loaded = LoadSettingsFile({link, cache, *box}, file, refresh);
    if (!loaded.planned) {
        const Error& why = loaded.end.error();
        if (why.kind == ErrorKind::Invalid) {
            return Refused(path, DetailLines(why));
        }
        return {NoAnswer(link, why, LoadedText(loaded))};
    }

    BoxResult result;
    result.json = {{"port", PortJson(port)}, {"file", path}, {"written", Json::object()}};
    for (size_t i = 0; i < loaded.written; ++i) {
        const PlannedWrite& write = loaded.writes[i];
        result.json["written"][std::string(write.setting->name)] = ToJson(write.shown);
    }
    const std::string all = SettingsCount(loaded.writes.size());
    if (loaded.written < loaded.writes.size()) {
        result.failure = WriteFailed(port, loaded.end.error(), LoadedText(loaded));
        return result;
    }
    if (!loaded.end) {
        // Why the read-back got no answer, after the words that every write went out.
        const Failure why = unread ? *unread : NoAnswer(link, loaded.end.error());
        result.failure =
            Failure{why.code, all + " written to " + port.Name() +
                                  ", but the read-back did not answer: " + why.message};
        return result;
    }
    PrintLines(loaded.readBack.notes);
    PrintLines(loaded.differ);
    result.json["readBack"] = loaded.readBack.values;
    result.json["differ"] = loaded.differ;
    if (!loaded.differ.empty()) {
        result.failure = Failure{Exit::WriteFailed, LoadedText(loaded)};
        return result;
    }
    result.line = all + " written to " + port.Name() + " and read back";
    return result;
}

}  // namespace

int RunDump(const CommonOptions& options, const std::string& file) {
    auto boxes = ChooseBoxes(options, Search::Probe, false);
    if (!boxes) {
        return Fail(options, boxes.failure());
    }
    std::error_code ec;
    const bool toOutput = file.empty() || file == "-";
    const fs::path named = PathFromUtf8(file);  // UTF-8, in any language, on every system
    const bool separatorLast =
        !toOutput &&
        (file.back() == '/' || file.back() == static_cast<char>(fs::path::preferred_separator));
    const bool folder =
        !toOutput && (fs::is_directory(named, ec) || separatorLast || boxes->size() > 1);
    if (boxes->size() > 1 && (toOutput || (fs::exists(named, ec) && !folder))) {
        return Fail(options, {Exit::Usage, "dump of " + std::to_string(boxes->size()) +
                                               " boxes writes a file for each: give a folder"});
    }
    if (folder && !fs::is_directory(named, ec) && !fs::create_directories(named, ec)) {
        return Fail(options, {Exit::File, file + ": the folder cannot be made: " + ec.message()});
    }
    return RunOnBoxes(options, *boxes, [&](Box& box) {
        return DumpOnBox(box, folder ? FileInFolder(file, box.port) : file, folder);
    });
}

int RunLoad(const CommonOptions& options, const std::string& source) {
    const std::string path = source == "-" ? "standard input" : source;
    const auto text = ReadWholeFile(source);
    if (!text) {
        return Fail(options, text.failure());
    }
    const Result<Json> parsed = ParseSettingsFile(*text);
    if (!parsed) {
        const BoxResult refused = Refused(path, DetailLines(parsed.error()));
        return Fail(options, *refused.failure, refused.json);
    }
    auto boxes = ChooseBoxes(options, Search::Probe, true);
    if (!boxes) {
        return Fail(options, boxes.failure());
    }
    return RunOnBoxes(options, *boxes, [&](Box& box) { return LoadOnBox(box, *parsed, path); });
}

}  // namespace kestrow::cli
