// Helpers for the GUI tests: message boxes answered and recorded instead of shown, launches
// of dialogs recorded instead of run, what a picture shows while the device layer waits, what a
// dialog's controls show, the window that opens next; and the main window's fixture.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "serial/SerialTypes.h"
#include "tests/common/TestBox.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/DeviceHooks.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogkit/TestAccessQt.h"
#include "ui/dialogs/SettingsDialogs.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MainWindowTemplate.h"

Q_DECLARE_METATYPE(kestrow::sim::BoxConfig)

namespace kestrow::test {

// The current row's value in column `name`, for a column read once (QFETCH names a local).
template <class T>
[[nodiscard]] const T& Column(const char* name) {
    return *static_cast<const T*>(QTest::qData(name, qMetaTypeId<T>()));
}

// UTF-8 text of the program as a QString.
[[nodiscard]] inline QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

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
            out << Text(whole ? r.caption + '|' + r.text + (r.owned ? " (owned)" : "") : r.text);
        }
        return out;
    }
    [[nodiscard]] QStringList boxes() const { return texts(true); }
    // The last box's detail lines.
    [[nodiscard]] QString detail() const {
        const auto all = requests();
        return all.empty() ? QString() : Text(all.back().detail);
    }
    void clear() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }

    std::atomic<int> answer;  // what the next boxes are answered with

  private:
    mutable std::mutex mutex_;
    std::vector<ui::MessageRequest> requests_;
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
    const QWidget* w = id == kDialogItself ? &dlg.Window() : ui::ControlOf(dlg, id);
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
    return Text(dlg.ItemText(id));
}

// Writes `bytes` to a new file at `path`.
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Calls `f` with the open popup menu, else the active modal window, once it is a T, while
// `context` lives: a context menu, a file dialog, the question a file dialog asks, a dialog
// (a ui::Dialog other than `under`).
template <class T>
void WhenShown(QObject* context, std::function<void(T*)> f, const ui::Dialog* under = nullptr,
               int tries = 500) {
    QTimer::singleShot(20, context, [=] {
        QWidget* top = QApplication::activePopupWidget();
        top = top != nullptr ? top : QApplication::activeModalWidget();
        T* shown = nullptr;
        if constexpr (std::is_same_v<T, ui::Dialog>) {
            shown = ui::DialogOf(top) != under ? ui::DialogOf(top) : nullptr;
        } else {
            shown = qobject_cast<T*>(top);
        }
        if (shown != nullptr) {
            f(shown);
        } else if (tries > 0) {
            WhenShown<T>(context, f, under, tries - 1);
        }
    });
}

inline const QString kOpenFailure = QStringLiteral("Failed to open up the comms port\n");
inline const QString kClickRefresh = QStringLiteral("Please click refresh button");
inline const QStringList kUnrefreshed{"", kClickRefresh, "", kClickRefresh};  // at start
inline const QByteArray kGenlockReads = "066c934904ae066c934902b0066c934905ad066c934903af";

// The main window's tests: a ports directory and message boxes recorded for each test function,
// the device hooks for the whole test; the window with launches recorded, a simulated box.
class MainWindowTest : public QObject {
    Q_OBJECT

  protected:
    using Ids = ui::MainWindowIds;

    std::unique_ptr<PortsDir> ports_;
    std::unique_ptr<MessageRecorder> messages_;
    std::unique_ptr<sim::BoxSim> box_;
    std::vector<LaunchRequest> launches_;
    std::unique_ptr<MainWindow> dlg_;

    // The window over `roots` (default: the ports directory and the machine's own ports),
    // shown; its settings dialogs recorded instead of run unless `launcher` is given.
    void OpenWindow(std::optional<DiscoveryRoots> roots = {}, DialogLauncher launcher = {}) {
        if (!launcher) {
            launcher = [this](const LaunchRequest& r) { launches_.push_back(r); };
        }
        dlg_ = std::make_unique<MainWindow>(launcher, roots.value_or(ports_->Roots()));
        QVERIFY(dlg_->CreateModeless(nullptr));
        QVERIFY(QTest::qWaitForWindowExposed(&dlg_->Window()));
    }
    // A box on COM 3 whose every setting names its place (group * 16 + item; (4,1) and (1,1)
    // have names), or that keeps the memory it starts with, and the window with its entry
    // selected (the machine's own ports may come first in the list).
    void Open(const sim::BoxConfig& config = {}, bool named = true) {
        box_ = StartLinkedBox(*ports_, 3, config);
        QVERIFY(box_);
        for (uint8_t g = 1; named && g <= 4; ++g) {
            for (uint8_t i = 1; i <= 8; ++i) {
                box_->SetSetting(g, i, static_cast<uint8_t>(g * 16 + i));
            }
        }
        if (named) {
            box_->SetSetting(4, 1, 116);  // "NO-SYNC"
            box_->SetSetting(1, 1, 36);   // "Bypass"
        }
        OpenWindow();
        dlg_->SetListSelection(Ids::kPortCombo, dlg_->FindListEntry(Ids::kPortCombo, "COM 3"));
        QCOMPARE(dlg_->SelectedPort(), std::optional(ports_->Port(3)));
    }
    // The four texts: input port and timing, output port and resolution.
    [[nodiscard]] QStringList Texts() const {
        QStringList texts;
        for (int id : {Ids::kInputPortText, Ids::kInputTimingText, Ids::kOutputPortText,
                       Ids::kOutputResolutionText}) {
            texts << Text(dlg_->ItemText(id));
        }
        return texts;
    }
    [[nodiscard]] ui::PictureButton* Picture(int id) const {
        return ui::ControlOf<ui::PictureButton>(*dlg_, id);
    }
    // Between commands: the Refresh picture at rest, no wait cursor, the port closed.
    void ExpectIdle() {
        QCOMPARE(Picture(Ids::kRefreshButton)->Picture(), 150);
        QVERIFY(!ui::WaitCursorShown());
        QVERIFY(!dlg_->statusLink.IsOpen());
    }

  protected slots:  // found by name; a test class may run its own around them
    void initTestCase() { ui::InstallDeviceHooks(); }
    void cleanupTestCase() { ui::RemoveDeviceHooks(); }
    void init() {
        ports_ = std::make_unique<PortsDir>();
        messages_ = std::make_unique<MessageRecorder>();
    }
    void cleanup() {
        dlg_.reset();
        launches_.clear();
        box_.reset();
        messages_.reset();
        ports_.reset();
    }
};

}  // namespace kestrow::test
