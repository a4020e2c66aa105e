// Status refresh (button 1025) and port search (button 1032) of the main window.
#include "settings/StatusRefresh.h"

#include <QComboBox>

#include "settings/NameTables.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/QtSupport.h"
#include "ui/main/MainWindow.h"

namespace kestrow {

namespace {

constexpr int kRefreshButton = 1025;
constexpr int kRefreshPicture = 150;
constexpr int kRefreshRunningPicture = 161;
constexpr int kInputPortText = 1028;
constexpr int kInputTimingText = 1026;
constexpr int kOutputPortText = 1029;
constexpr int kOutputResolutionText = 1027;

QString Name(NameTable table, unsigned code) {
    return ui::Utf8(LookupName(table, code));
}

}  // namespace

// Shows the refresh on the window as it goes: the running picture and the wait cursor once the
// port is open, the connector names after the probe, the two resolution names as they arrive.
class MainWindow::RefreshView : public RefreshObserver {
  public:
    explicit RefreshView(MainWindow& dlg) : dlg_(dlg) {}
    void Opened() override {
        ui::ShowWaitCursor();
        dlg_.SetButtonPicture(kRefreshButton, kRefreshRunningPicture, true);
    }
    void ProbeAnswered(uint8_t portByte, uint8_t /*modelByte*/) override {
        dlg_.SetControlText(kOutputPortText, Name(VideoPortNames, portByte % 16u));
        dlg_.SetControlText(kInputPortText, Name(VideoPortNames, portByte / 16u));
    }
    void SettingRead(uint8_t group, uint8_t item, uint8_t value) override {
        if (group == 4 && item == 1) {
            dlg_.SetControlText(kInputTimingText, Name(InputTimingNames, value));
        } else if (group == 1 && item == 1) {
            dlg_.SetControlText(kOutputResolutionText, Name(OutputResolutionNames, value));
        }
    }

  private:
    MainWindow& dlg_;
};

void MainWindow::OnRefresh() {
    const std::optional<ComPort> port = SelectedPort();
    if (!port) {
        ReportNoPort();
        return;
    }
    const BusyScope busy(*this);
    statusLink.SetPort(*port);
    RefreshView view(*this);
    const RefreshResult result = RunStatusRefresh(statusLink, statusCache, box, &view);
    if (result == RefreshResult::NotOpened) {
        return;  // the serial layer has reported it; nothing on screen changes
    }
    if (result == RefreshResult::Completed) {
        refreshed = 1;
    }
    ui::ShowArrowCursor();
    SetButtonPicture(kRefreshButton, kRefreshPicture, false);
}

void MainWindow::OnSearchPorts() {
    const BusyScope busy(*this);
    ui::ShowWaitCursor();
    FillPortList();
    auto* combo = ControlAs<QComboBox>(kPortCombo);
    for (size_t i = 0; i < comPorts.size(); ++i) {
        if (statusLink.ProbeForSearch(comPorts[i])) {
            if (combo != nullptr) {
                combo->setCurrentIndex(static_cast<int>(i));
            }
            break;
        }
    }
    ui::ShowArrowCursor();
}

}  // namespace kestrow
