// The Qt realisation of the file dialogs: Qt's own dialog on every platform, so that patterns
// match names whatever their case. Tests find it as the active modal widget and answer it as
// a user would.
#include <QFileDialog>
#include <QStringList>

#include "ui/dialogkit/DialogWindowQt.h"
#include "ui/dialogkit/FileDialog.h"
#include "ui/dialogkit/SupportQt.h"

namespace kestrow::ui {

std::optional<std::string> ChooseFile(Dialog& owner, const FileRequest& request) {
    QFileDialog dialog(&owner.Window());
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    QStringList filters;
    for (const FileFilter& f : request.filters) {
        filters << Utf8(f.label) + QStringLiteral(" (") +
                       Utf8(f.patterns).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) {
        dialog.selectNameFilter(filters.front());
    }
    if (!request.title.empty()) {
        dialog.setWindowTitle(Utf8(request.title));
    }
    if (!request.defaultSuffix.empty()) {
        dialog.setDefaultSuffix(Utf8(request.defaultSuffix));
    }
    if (!request.startFile.empty()) {
        dialog.selectFile(Utf8(request.startFile));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return Utf8(dialog.selectedFiles().front());
}

}  // namespace kestrow::ui
