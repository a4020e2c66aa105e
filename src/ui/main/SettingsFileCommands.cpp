// Save settings... and Load settings... of the main window: the settings file of kestrowctl's
// dump and load (settings/SettingsFile.h), written from what the dialogs show and put onto the
// box with the frames their Applies send.
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStringList>
#include <string>
#include <utility>
#include <vector>

#include "settings/SettingsFile.h"
#include "settings/WholeFile.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/FileDialog.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogkit/QtSupport.h"
#include "ui/main/MainWindow.h"

namespace kestrow {

struct MainWindow::FileReport {
    FileReport(QString said, ui::MessageIcon shownWith, QString lines = {})
        : text(std::move(said)), icon(shownWith), detail(std::move(lines)) {}
    QString text;
    ui::MessageIcon icon;
    QString detail;  // one line each: settings left out, faults, differences
};

namespace {

using Icon = ui::MessageIcon;

const QString kSaveCaption = QStringLiteral("Save settings");
const QString kLoadCaption = QStringLiteral("Load settings");

// The panel as a settings file names the program that wrote it.
std::string ProgramName() {
    return std::string("kestrow ") + KESTROW_VERSION;
}

// One bulleted line each, so that a long line that wraps is still told from the next one.
QString Lines(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines) {
        out << QStringLiteral("\u2022 ") + QString::fromStdString(line);
    }
    return out.join(QLatin1Char('\n'));
}

QString Count(size_t settings) {
    return QString::fromStdString(SettingsCount(settings));
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The file dialog of Save settings... (`save`) or Load settings...: settings files and All
// Files, the first selected; a name saved without a suffix gets ".json".
std::unique_ptr<QFileDialog> MakeSettingsFileDialog(QWidget* owner, bool save) {
    auto dialog = ui::MakeFileDialog(
        owner, save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen,
        {QStringLiteral("Settings (*.json)"), QStringLiteral("All Files (*.*)")});
    dialog->setWindowTitle(save ? kSaveCaption : kLoadCaption);
    if (save) {
        dialog->setDefaultSuffix(QStringLiteral("json"));
    }
    return dialog;
}

}  // namespace

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(&saveSettings_);
    menu.addAction(&loadSettings_);
    (void)menu.exec(event->globalPos());
}

QString MainWindow::ChooseSettingsFile(bool save) {
    QWidget* owner = ui::ActiveWindow();
    const auto dialog = MakeSettingsFileDialog(owner != nullptr ? owner : this, save);
    if (!settingsPath_.isEmpty()) {
        dialog->selectFile(settingsPath_);
    }
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return {};
    }
    settingsPath_ = dialog->selectedFiles().front();
    return settingsPath_;
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
    const QString path = ChooseSettingsFile(save);
    if (path.isEmpty()) {
        return;
    }
    const BusyScope busy(*this);
    const FileReport report = save ? SaveSettings(*port, path) : LoadSettings(*port, path);
    ui::ShowArrowCursor();
    (void)ui::ShowMessage(this, report.text, save ? kSaveCaption : kLoadCaption,
                          ui::MessageButtons::Ok, report.icon, report.detail);
}

// The values as the dialogs show them: the cache and the box's facts of the last refresh, the
// GenLock delays and the version text read now. The old file stays unless the new one is whole.
MainWindow::FileReport MainWindow::SaveSettings(const ComPort& port, const QString& path) {
    const QString name = QFileInfo(path).fileName();
    statusLink.SetPort(port);
    ui::ShowWaitCursor();
    const std::optional<ShownSettings> shown = ReadShownSettings(statusLink, statusCache, box);
    if (!shown) {
        return {QStringLiteral("The box stopped answering its GenLock reads; nothing was saved."),
                Icon::Warning};
    }
    const std::string version = VersionTextFor(statusLink, box);
    const std::string text = SettingsFileText(box, version, shown->values, ProgramName());
    if (const auto reason = ReplaceWholeFile(LocalPath(path), text)) {
        return {name + QStringLiteral(" could not be written: ") + QString::fromStdString(*reason) +
                    QLatin1Char('.'),
                Icon::Error};
    }
    QString saved = Count(shown->values.size()) + QStringLiteral(" saved to ") + name;
    if (!shown->notes.empty()) {
        saved += QStringLiteral(", %1 left out").arg(shown->notes.size());
    }
    return {saved + QLatin1Char('.'), Icon::Information, Lines(shown->notes)};
}

// The file checked whole against the box of the last refresh, then every write as its dialog's
// Apply sends it and keeps it in the cache, then the read-back: the Refresh button's refresh and
// the GenLock reads.
MainWindow::FileReport MainWindow::LoadSettings(const ComPort& port, const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const auto refused = [&name](const std::vector<std::string>& faults) {
        return FileReport{name + QStringLiteral(" was refused; nothing was written."),
                          Icon::Warning, Lines(faults)};
    };
    const std::optional<std::string> text = ReadWholeFile(LocalPath(path));
    if (!text) {
        return {name + QStringLiteral(" cannot be read or is empty; nothing was written."),
                Icon::Error};
    }
    const ParsedSettingsFile parsed = ParseSettingsFile(*text);
    if (!parsed.faults.empty()) {
        return refused(parsed.faults);
    }
    statusLink.SetPort(port);
    ui::ShowWaitCursor();
    const std::optional<GenlockPeriods> periods = ReadGenlockPeriods(statusLink, parsed.file, box);
    if (!periods) {
        return {QStringLiteral("The box did not answer its GenLock reads; nothing was written."),
                Icon::Warning};
    }
    const LoadPlan plan = PlanLoad(parsed.file, box, *periods);
    if (!plan.faults.empty()) {
        return refused(plan.faults);
    }
    const QString all = Count(plan.writes.size());
    size_t written = 0;
    for (const PlannedWrite& write : plan.writes) {
        if (!WriteSettingValue(statusLink, *write.setting, write.value)) {
            return {QStringLiteral("%1 of %2 written; %3 and those after it were not.")
                        .arg(written)
                        .arg(all, ui::Utf8(write.setting->name)),
                    Icon::Error};
        }
        StoreWritten(statusCache, box, write);
        ++written;
    }

    std::optional<ShownSettings> now;
    if (RefreshFrom(port) == RefreshResult::Completed) {
        ui::ShowWaitCursor();  // the refresh ends with the arrow; the GenLock reads follow
        now = ReadShownSettings(statusLink, statusCache, box);
    }
    if (!now) {
        return {all + QStringLiteral(" written, but the box did not answer the read-back."),
                Icon::Warning};
    }
    const std::vector<std::string> differ = ReadBackDifferences(plan.writes, now->values);
    if (!differ.empty()) {
        return {
            all + QStringLiteral(" written; %1 of them read back different.").arg(differ.size()),
            Icon::Warning, Lines(differ)};
    }
    return {all + QStringLiteral(" written and read back."), Icon::Information};
}

}  // namespace kestrow
