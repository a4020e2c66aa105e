// Save settings... and Load settings... of the main window: the settings file of kestrowctl's
// dump and load, saved and loaded by the same run (settings/SettingsFileRun.h) on the box of the
// last refresh. Here: the file dialog, the cursor, and the one message box that reports it.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Utf8Paths.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsFileRun.h"
#include "settings/WholeFile.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/FileDialog.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/main/MainWindow.h"

namespace kestrow {

struct MainWindow::FileReport {
    FileReport(std::string said, ui::MessageIcon shownWith, std::string lines = {})
        : text(std::move(said)), icon(shownWith), detail(std::move(lines)) {}
    std::string text;
    ui::MessageIcon icon;
    std::string detail;  // one line each: settings left out, faults, differences
};

namespace {

using Icon = ui::MessageIcon;

constexpr std::string_view kSaveCaption = "Save settings";
constexpr std::string_view kLoadCaption = "Load settings";

// Settings files and All Files, the first selected.
constexpr ui::FileFilter kFileFilters[] = {{"Settings", "*.json"}, {"All Files", "*.*"}};

// The panel as a settings file names the program that wrote it.
std::string ProgramName() {
    return std::string("kestrow ") + KESTROW_VERSION;
}

// One bulleted line each, so that a long line that wraps is still told from the next one.
std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += (out.empty() ? "" : "\n") + std::string("\u2022 ") + line;
    }
    return out;
}

// The last part of a UTF-8 path, as the reports name the file.
std::string FileName(const std::string& path) {
    return Utf8FromPath(PathFromUtf8(path).filename());
}

}  // namespace

std::optional<std::string> MainWindow::ChooseSettingsFile(bool save) {
    ui::FileRequest request{.save = save,
                            .title = save ? kSaveCaption : kLoadCaption,
                            .filters = kFileFilters,
                            .startFile = settingsPath_,
                            .defaultSuffix = save ? "json" : ""};
    std::optional<std::string> chosen = ui::ChooseFile(ActiveOwner(), request);
    if (chosen) {
        settingsPath_ = *chosen;
    }
    return chosen;
}

// Save (`save`) or Load: after a refresh, on the selected port, with the file the operator
// picks; a close meanwhile waits until the operator has read the report.
void MainWindow::OnSettingsFile(bool save) {
    if (!RefreshedOrSay()) {
        return;
    }
    const std::optional<ComPort> port = SelectedPort();
    if (!port) {
        ReportNoPort();
        return;
    }
    const std::optional<std::string> path = ChooseSettingsFile(save);
    if (!path) {
        return;
    }
    const BusyScope busy(*this);
    const FileReport report = save ? SaveSettings(*port, *path) : LoadSettings(*port, *path);
    ui::ShowArrowCursor();
    (void)ui::ShowMessage(this, report.text, save ? kSaveCaption : kLoadCaption,
                          ui::MessageButtons::Ok, report.icon, report.detail);
}

// The values as the dialogs show them: the cache and the box's facts of the last refresh, the
// GenLock delays and the version text read now. The old file stays unless the new one is whole.
MainWindow::FileReport MainWindow::SaveSettings(const ComPort& port, const std::string& path) {
    const std::string name = FileName(path);
    statusLink.SetPort(port);
    ui::ShowWaitCursor();
    const Result<ComposedSettings> saved =
        ComposeSettingsFile({statusLink, statusCache, box}, ProgramName());
    if (!saved) {
        return {"The box stopped answering its GenLock reads; nothing was saved.", Icon::Warning};
    }
    if (Result<void> written = ReplaceWholeFile(path, saved->text); !written) {
        return {name + " could not be written: " + written.error().detail + ".", Icon::Error};
    }
    std::string said = SettingsCount(saved->settings) + " saved to " + name;
    if (!saved->notes.empty()) {
        said += ", " + std::to_string(saved->notes.size()) + " left out";
    }
    return {said + ".", Icon::Information, Lines(saved->notes)};
}

// The file checked whole against the box of the last refresh, every write kept in the cache as
// its dialog's Apply keeps it, then the read-back: the Refresh button's refresh, shown on the
// window, and the GenLock reads.
MainWindow::FileReport MainWindow::LoadSettings(const ComPort& port, const std::string& path) {
    const std::string name = FileName(path);
    const Result<std::string> text = ReadWholeFile(path);
    if (!text) {
        return {name + " cannot be read or is empty; nothing was written.", Icon::Error};
    }
    const Result<Json> parsed = ParseSettingsFile(*text);
    const auto refused = [&name](const Error& faults) {
        return FileReport{name + " was refused; nothing was written.", Icon::Warning,
                          Lines(DetailLines(faults))};
    };
    if (!parsed) {
        return refused(parsed.error());
    }
    statusLink.SetPort(port);
    ui::ShowWaitCursor();
    const auto refresh = [this, &port]() -> Result<void> {
        Result<void> read = RefreshFrom(port);
        if (read) {
            ui::ShowWaitCursor();  // the refresh ends with the arrow; the GenLock reads follow
        }
        return read;
    };
    const SettingsLoad loaded = LoadSettingsFile({statusLink, statusCache, box}, *parsed, refresh);
    const std::string said = LoadedText(loaded);
    if (!loaded.planned && loaded.end.error().kind == ErrorKind::Invalid) {
        return refused(loaded.end.error());
    }
    if (!loaded.planned) {
        return {"The box did not answer its GenLock reads; " + said + ".", Icon::Warning};
    }
    if (loaded.written < loaded.writes.size()) {
        return {said + ".", Icon::Error};
    }
    if (!loaded.end) {
        return {said + ", but the box did not answer the read-back.", Icon::Warning};
    }
    if (!loaded.differ.empty()) {
        return {said + ".", Icon::Warning, Lines(loaded.differ)};
    }
    return {said + ".", Icon::Information};
}

}  // namespace kestrow
