// For tests of the Qt realisation: the widgets behind a dialog, so that tests drive the real
// widgets as a user would. dlg.Window() is the dialog's QDialog; its controls are found by id.
#pragma once

#include <QWidget>

#include "ui/dialogkit/DialogWindowQt.h"
#include "ui/dialogkit/PictureButtonQt.h"

namespace kestrow::ui {

// The widget of control `id`, as a T; null when there is none or it is no T.
template <class T = QWidget>
[[nodiscard]] T* ControlOf(const Dialog& dlg, int id) {
    return dlg.Window().ControlAs<T>(id);
}

// The kit's dialog whose window `window` is; null for any other widget.
[[nodiscard]] inline Dialog* DialogOf(QWidget* window) {
    auto* w = qobject_cast<DialogWindow*>(window);
    return w != nullptr ? &w->Kit() : nullptr;
}

}  // namespace kestrow::ui
