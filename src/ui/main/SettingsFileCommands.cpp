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
    const SaveResult saved =
        SaveSettingsFile({statusLink, statusCache, box}, ProgramName(), LocalPath(path));
    switch (saved.end) {
        case SaveEnd::Unanswered:
            return {
                QStringLiteral("The box stopped answering its GenLock reads; nothing was saved."),
                Icon::Warning};
        case SaveEnd::FileNotWritten:
            return {name + QStringLiteral(" could not be written: ") +
                        QString::fromStdString(saved.reason) + QLatin1Char('.'),
                    Icon::Error};
        case SaveEnd::Saved:
            break;
    }
    QString said =
        QString::fromStdString(SettingsCount(saved.settings)) + QStringLiteral(" saved to ") + name;
    if (!saved.notes.empty()) {
        said += QStringLiteral(", %1 left out").arg(saved.notes.size());
    }
    return {said + QLatin1Char('.'), Icon::Information, Lines(saved.notes)};
}

// The file checked whole against the box of the last refresh, every write kept in the cache as
// its dialog's Apply keeps it, then the read-back: the Refresh button's refresh, shown on the
// window, and the GenLock reads.
MainWindow::FileReport MainWindow::LoadSettings(const ComPort& port, const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const std::optional<std::string> text = ReadWholeFile(LocalPath(path));
    if (!text) {
        return {name + QStringLiteral(" cannot be read or is empty; nothing was written."),
                Icon::Error};
    }
    const ParsedSettingsFile parsed = ParseSettingsFile(*text);
    const auto refused = [&name](const std::vector<std::string>& faults) {
        return FileReport{name + QStringLiteral(" was refused; nothing was written."),
                          Icon::Warning, Lines(faults)};
    };
    if (!parsed.faults.empty()) {
        return refused(parsed.faults);
    }
    statusLink.SetPort(port);
    ui::ShowWaitCursor();
    const auto refresh = [this, &port] {
        if (RefreshFrom(port) != RefreshResult::Completed) {
            return false;
        }
        ui::ShowWaitCursor();  // the refresh ends with the arrow; the GenLock reads follow
        return true;
    };
    const LoadResult loaded =
        LoadSettingsFile({statusLink, statusCache, box}, parsed.file, refresh);
    const QString said = QString::fromStdString(LoadedText(loaded));
    switch (loaded.end) {
        case LoadEnd::PeriodsUnanswered:
            return {QStringLiteral("The box did not answer its GenLock reads; ") + said +
                        QLatin1Char('.'),
                    Icon::Warning};
        case LoadEnd::Refused:
            return refused(loaded.faults);
        case LoadEnd::WriteFailed:
            return {said + QLatin1Char('.'), Icon::Error};
        case LoadEnd::ReadBackUnanswered:
            return {said + QStringLiteral(", but the box did not answer the read-back."),
                    Icon::Warning};
        case LoadEnd::Differs:
            return {said + QLatin1Char('.'), Icon::Warning, Lines(loaded.differ)};
        case LoadEnd::ReadBack:
            break;
    }
    return {said + QLatin1Char('.'), Icon::Information};
}

}  // namespace kestrow
