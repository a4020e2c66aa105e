// The file dialogs of the panel's windows: Qt's own dialog on every platform, so that a pattern
// such as "*.BIN" matches names whatever their case, as on Windows; the first filter selected.
// The window that asks runs it modally and reads selectedFiles(); tests find it as the active
// modal widget and answer it as a user would.
#pragma once

#include <QFileDialog>
#include <QStringList>
#include <memory>

namespace kestrow::ui {

// An open dialog takes an existing file, a save dialog any name (Qt asks before replacing a
// file). `filters` as "BIN (*.BIN)".
[[nodiscard]] std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* owner,
                                                          QFileDialog::AcceptMode mode,
                                                          const QStringList& filters);

}  // namespace kestrow::ui
