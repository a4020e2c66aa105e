// Small Qt helpers of the Qt realisation: work that belongs to the GUI thread, asked for from any
// thread, UTF-8 text as a QString and back, and window titles.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>
#include <QThread>
#include <string>
#include <string_view>

namespace kestrow::ui {

// True on the application's GUI thread; false without an application.
[[nodiscard]] inline bool IsGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// Runs `f` on the GUI thread: at once there, from another thread queued and waited for. Without
// an application nothing runs.
template <class F>
void RunOnGuiThread(F f) {
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

// The window title that shows `caption`. The platforms (X11, Wayland, Windows) put the
// application's name into an empty title; a lone space keeps an empty caption's title bar empty.
[[nodiscard]] inline QString WindowTitle(const QString& caption) {
    return caption.isEmpty() ? QStringLiteral(" ") : caption;
}

[[nodiscard]] inline QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

[[nodiscard]] inline std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace kestrow::ui
