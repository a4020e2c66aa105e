#include "ui/dialogkit/FileDialog.h"

namespace kestrow::ui {

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* owner, QFileDialog::AcceptMode mode,
                                            const QStringList& filters) {
    auto dialog = std::make_unique<QFileDialog>(owner);
    dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                        : QFileDialog::AnyFile);
    dialog->setAcceptMode(mode);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFilter(dialog->filter() & ~QDir::CaseSensitive);
    dialog->setNameFilters(filters);
    if (!filters.isEmpty()) {
        dialog->selectNameFilter(filters.front());
    }
    return dialog;
}

}  // namespace kestrow::ui
