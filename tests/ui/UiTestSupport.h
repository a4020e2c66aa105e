// Helpers for the GUI tests: message boxes answered and recorded instead of shown, launches
// of dialogs recorded instead of run, and what a picture shows while the device layer waits.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <mutex>
#include <set>
#include <vector>

#include "Cursors.h"
#include "DeviceHooks.h"
#include "DialogLaunchers.h"
#include "MessageBox.h"
#include "PictureButton.h"
#include "SerialTypes.h"

namespace kestrow::test {

// Installs a message hook for its lifetime; every box is recorded and answered with `answer`.
class MessageRecorder {
  public:
    explicit MessageRecorder(int answer = ui::kIdOk) {
        ui::SetMessageHook([this, answer](const ui::MessageRequest& r) {
            std::lock_guard lock(mutex_);
            requests_.push_back(r);
            return answer;
        });
    }
    ~MessageRecorder() { ui::SetMessageHook({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    [[nodiscard]] std::vector<ui::MessageRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    [[nodiscard]] QStringList texts() const {
        std::lock_guard lock(mutex_);
        QStringList out;
        for (const auto& r : requests_) {
            out << r.text;
        }
        return out;
    }
    // Each box as "caption|text", with " (owned)" when it had an owner window.
    [[nodiscard]] QStringList boxes() const {
        std::lock_guard lock(mutex_);
        QStringList out;
        for (const auto& r : requests_) {
            out << r.caption + QLatin1Char('|') + r.text +
                       (r.owned ? QStringLiteral(" (owned)") : QString());
        }
        return out;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<ui::MessageRequest> requests_;
};

// Records the launches of templates 200 to 208 for its lifetime instead of running dialogs;
// afterwards those templates have no launcher.
class LaunchRecorder {
  public:
    LaunchRecorder() {
        for (int id = 200; id <= 208; ++id) {
            RegisterDialogLauncher(id, [this](const LaunchRequest& r) { seen.push_back(r); });
        }
    }
    ~LaunchRecorder() {
        for (int id = 200; id <= 208; ++id) {
            RegisterDialogLauncher(id, {});
        }
    }
    LaunchRecorder(const LaunchRecorder&) = delete;
    LaunchRecorder& operator=(const LaunchRecorder&) = delete;
    std::vector<LaunchRequest> seen;
};

// For its lifetime the device layer's waits record what `button` holds and last painted and
// whether the wait cursor shows, and keep the window painted; then the usual hooks return.
class IdleWatch {
  public:
    explicit IdleWatch(const ui::PictureButton* button) {
        SetIdleHook([this, button] {
            held.insert(button->Picture());
            painted.insert(button->PaintedPicture());
            waitCursor = waitCursor && ui::WaitCursorShown();
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

}  // namespace kestrow::test
