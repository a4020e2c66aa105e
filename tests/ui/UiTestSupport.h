// Helpers for the GUI tests: message boxes answered and recorded instead of shown, launches
// of dialogs recorded instead of run, what a picture shows while the device layer waits, what a
// dialog's controls show, and the modal dialog that opens next.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSlider>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "serial/SerialTypes.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/DeviceHooks.h"
#include "ui/dialogkit/Dialog.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogkit/PictureButton.h"
#include "ui/dialogs/SettingsDialogs.h"

namespace kestrow::test {

// Installs a message hook for its lifetime; every box is recorded and answered with `answer`.
class MessageRecorder {
  public:
    explicit MessageRecorder(int answerWith = ui::kIdOk) : answer(answerWith) {
        ui::SetMessageHook([this](const ui::MessageRequest& r) {
            std::lock_guard lock(mutex_);
            requests_.push_back(r);
            return answer.load();
        });
    }
    ~MessageRecorder() { ui::SetMessageHook({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    [[nodiscard]] std::vector<ui::MessageRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // Each box's text; or as "caption|text", with " (owned)" when it had an owner window.
    [[nodiscard]] QStringList texts(bool whole = false) const {
        QStringList out;
        for (const auto& r : requests()) {
            out << (whole ? r.caption + '|' + r.text + (r.owned ? " (owned)" : "") : r.text);
        }
        return out;
    }
    [[nodiscard]] QStringList boxes() const { return texts(true); }
    void clear() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }

    std::atomic<int> answer;  // what the next boxes are answered with

  private:
    mutable std::mutex mutex_;
    std::vector<ui::MessageRequest> requests_;
};

// A main window's launcher that records the requests instead of running dialogs.
class LaunchRecorder {
  public:
    [[nodiscard]] DialogLauncher Launcher() {
        return [this](const LaunchRequest& r) { seen.push_back(r); };
    }
    std::vector<LaunchRequest> seen;
};

// For its lifetime the device layer's waits record what `button` holds and last painted and
// whether the wait cursor shows, call `during` (the operator acting meanwhile), and keep the
// window painted; then the usual hooks return.
class IdleWatch {
  public:
    explicit IdleWatch(const ui::PictureButton* button, std::function<void()> during = {}) {
        SetIdleHook([this, button, during = std::move(during)] {
            held.insert(button->Picture());
            painted.insert(button->PaintedPicture());
            waitCursor = waitCursor && ui::WaitCursorShown();
            if (during) {
                during();
            }
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
        timer.start();
    }
    ~IdleWatch() { ui::InstallDeviceHooks(); }
    IdleWatch(const IdleWatch&) = delete;
    IdleWatch& operator=(const IdleWatch&) = delete;
    std::set<int> held;
    std::set<int> painted;
    bool waitCursor = true;
    QElapsedTimer timer;
};

// State's id of the dialog itself.
inline constexpr int kDialogItself = 0;

// What control `id` shows: "hidden", a list "text/entries", a trackbar "min..max@position", a
// check or radio button "on" or "off", anything else its text; kDialogItself: "open" or "closed".
inline QString State(const ui::Dialog& dlg, int id) {
    const QWidget* w = id == kDialogItself ? &dlg : dlg.Control(id);
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    if (w == nullptr) {
        return "missing";
    }
    if (id == kDialogItself || w->isHidden()) {
        return id != kDialogItself ? "hidden" : w->isVisible() ? "open" : "closed";
    }
    if (const auto* bar = qobject_cast<const QSlider*>(w)) {
        return QStringLiteral("%1..%2@%3")
            .arg(bar->minimum())
            .arg(bar->maximum())
            .arg(bar->value());
    }
    if (const auto* list = qobject_cast<const QComboBox*>(w)) {
        return list->currentText() + '/' + QString::number(list->count());
    }
    if (button != nullptr && button->isCheckable()) {
        return button->isChecked() ? "on" : "off";
    }
    return dlg.ControlText(id);
}

// Calls `f` with the open popup menu, else the active modal window, once it is a T, while
// `context` lives: a context menu, a file dialog, the question a file dialog asks.
template <class T>
void WhenShown(QObject* context, std::function<void(T*)> f, int tries = 500) {
    QTimer::singleShot(20, context, [=] {
        QWidget* top = QApplication::activePopupWidget();
        if (auto* shown =
                qobject_cast<T*>(top != nullptr ? top : QApplication::activeModalWidget())) {
            f(shown);
        } else if (tries > 0) {
            WhenShown<T>(context, f, tries - 1);
        }
    });
}

// Calls `f` with the first modal dialog other than `under` once it shows, while `context` lives.
inline void WhenModalOver(QObject* context, const QWidget* under,
                          std::function<void(ui::Dialog*)> f, int tries = 500) {
    QTimer::singleShot(20, context, [=] {
        auto* top = qobject_cast<ui::Dialog*>(QApplication::activeModalWidget());
        if (top != nullptr && top != under) {
            f(top);
        } else if (tries > 0) {
            WhenModalOver(context, under, f, tries - 1);
        }
    });
}

}  // namespace kestrow::test
