// Save settings... and Load settings... of the main window: the settings file of kestrowctl's
// dump and load, saved and loaded by the same run (settings/SettingsFileRun.h) on the box of the
// last refresh. Here: the file dialog, the cursor, and the one message box that reports it.
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStringList>
#include <string>
#include <utility>
#include <vector>

#include "settings/SettingsFile.h"
#include "settings/SettingsFileRun.h"
#include "settings/WholeFile.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/FileDialog.h"
#include "ui/dialogkit/MessageBox.h"
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
    const Result<ComposedSettings> saved =
        ComposeSettingsFile({statusLink, statusCache, box}, ProgramName());
    if (!saved) {
        return {QStringLiteral("The box stopped answering its GenLock reads; nothing was saved."),
                Icon::Warning};
    }
    if (Result<void> written = ReplaceWholeFile(LocalPath(path), saved->text); !written) {
        return {name + QStringLiteral(" could not be written: ") +
                    QString::fromStdString(written.error().detail) + QLatin1Char('.'),
                Icon::Error};
    }
    QString said = QString::fromStdString(SettingsCount(saved->settings)) +
                   QStringLiteral(" saved to ") + name;
    if (!saved->notes.empty()) {
        said += QStringLiteral(", %1 left out").arg(saved->notes.size());
    }
    return {said + QLatin1Char('.'), Icon::Information, Lines(saved->notes)};
}

// The file checked whole against the box of the last refresh, every write kept in the cache as
// its dialog's Apply keeps it, then the read-back: the Refresh button's refresh, shown on the
// window, and the GenLock reads.
MainWindow::FileReport MainWindow::LoadSettings(const ComPort& port, const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const Result<std::string> text = ReadWholeFile(LocalPath(path));
    if (!text) {
        return {name + QStringLiteral(" cannot be read or is empty; nothing was written."),
                Icon::Error};
    }
    const Result<Json> parsed = ParseSettingsFile(*text);
    const auto refused = [&name](const Error& faults) {
        return FileReport{name + QStringLiteral(" was refused; nothing was written."),
                          Icon::Warning, Lines(DetailLines(faults))};
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
    const QString said = QString::fromStdString(LoadedText(loaded));
    if (!loaded.planned && loaded.end.error().kind == ErrorKind::Invalid) {
        return refused(loaded.end.error());
    }
    if (!loaded.planned) {
        return {
            QStringLiteral("The box did not answer its GenLock reads; ") + said + QLatin1Char('.'),
            Icon::Warning};
    }
    if (loaded.written < loaded.writes.size()) {
        return {said + QLatin1Char('.'), Icon::Error};
    }
    if (!loaded.end) {
        return {said + QStringLiteral(", but the box did not answer the read-back."),
                Icon::Warning};
    }
    if (!loaded.differ.empty()) {
        return {said + QLatin1Char('.'), Icon::Warning, Lines(loaded.differ)};
    }
    return {said + QLatin1Char('.'), Icon::Information};
}

}  // namespace kestrow
