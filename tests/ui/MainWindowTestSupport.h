// The fixture of the main window's tests: a simulated box linked as COM 3 in a private ports
// directory, the window with that entry selected, message boxes and dialog launches recorded,
// and what the window shows.
#pragma once

#include <QComboBox>
#include <QtTest>
#include <cstdint>
#include <memory>
#include <optional>

#include "tests/common/TestBox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MainWindowTemplate.h"

Q_DECLARE_METATYPE(kestrow::sim::BoxConfig)

namespace kestrow::test {

inline const QString kOpenFailure = QStringLiteral("Failed to open up the comms port\n");
inline const QString kClickRefresh = QStringLiteral("Please click refresh button");
inline const QStringList kUnrefreshed{"", kClickRefresh, "", kClickRefresh};  // at start

// A test class derives from it and calls InitWindowTest() and CleanupWindowTest() from its
// init() and cleanup(), InstallDeviceHooks() and RemoveDeviceHooks() from its initTestCase()
// and cleanupTestCase().
class MainWindowTest : public QObject {
  protected:
    using Ids = ui::MainWindowIds;

    std::unique_ptr<PortsDir> ports_;
    std::unique_ptr<MessageRecorder> messages_;
    std::unique_ptr<sim::BoxSim> box_;
    LaunchRecorder launches_;
    std::unique_ptr<MainWindow> dlg_;

    void InitWindowTest() {
        ports_ = std::make_unique<PortsDir>();
        messages_ = std::make_unique<MessageRecorder>();
    }
    void CleanupWindowTest() {
        dlg_.reset();
        launches_.seen.clear();
        box_.reset();
        messages_.reset();
        ports_.reset();
    }

    // A box on COM 3 whose every setting names its place (group * 16 + item; (4,1) and (1,1)
    // have names), or that keeps the memory it starts with, and a main window with its entry
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
        dlg_ = std::make_unique<MainWindow>(launches_.Launcher(), ports_->Roots());
        QVERIFY(dlg_->CreateModeless(nullptr));
        QVERIFY(QTest::qWaitForWindowExposed(&dlg_->Window()));
        dlg_->SetListSelection(Ids::kPortCombo, dlg_->FindListEntry(Ids::kPortCombo, "COM 3"));
        QCOMPARE(dlg_->SelectedPort(), std::optional(ports_->Port(3)));
    }
    // The four texts: input port and timing, output port and resolution.
    [[nodiscard]] QStringList Texts() const {
        QStringList texts;
        for (int id : {Ids::kInputPortText, Ids::kInputTimingText, Ids::kOutputPortText,
                       Ids::kOutputResolutionText}) {
            texts << QString::fromStdString(dlg_->ItemText(id));
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
};

}  // namespace kestrow::test
