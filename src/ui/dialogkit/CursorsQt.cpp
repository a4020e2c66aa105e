#include "ui/dialogkit/Cursors.h"

#include <QCursor>
#include <QGuiApplication>

#include "ui/dialogkit/SupportQt.h"

namespace kestrow::ui {

void ShowWaitCursor() {
    RunOnGuiThread([] {
        if (QGuiApplication::overrideCursor() == nullptr) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        } else {
            QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
        }
    });
}

void ShowArrowCursor() {
    RunOnGuiThread([] {
        while (QGuiApplication::overrideCursor() != nullptr) {
            QGuiApplication::restoreOverrideCursor();
        }
    });
}

bool WaitCursorShown() {
    const QCursor* c = QGuiApplication::overrideCursor();
    return c != nullptr && c->shape() == Qt::WaitCursor;
}

}  // namespace kestrow::ui
