#include "Cursors.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QThread>

namespace kestrow::ui {

namespace {

// Cursor changes belong to the GUI thread; a worker's request is carried out there.
template <class F>
void OnGuiThread(F f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    if (QThread::currentThread() == app->thread()) {
        f();
    } else {
        QMetaObject::invokeMethod(app, f, Qt::BlockingQueuedConnection);
    }
}

}  // namespace

void ShowWaitCursor() {
    OnGuiThread([] {
        if (QGuiApplication::overrideCursor() == nullptr) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        } else {
            QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
        }
    });
}

void ShowArrowCursor() {
    OnGuiThread([] {
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
