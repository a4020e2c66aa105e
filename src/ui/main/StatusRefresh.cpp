// Status refresh and port search of the main window (its Refresh and Search ports buttons).
#include "settings/StatusRefreshRun.h"

#include "settings/NameTables.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MainWindowTemplate.h"

namespace kestrow {

namespace {

using Ids = ui::MainWindowIds;

constexpr int kRefreshPicture = 150;
constexpr int kRefreshRunningPicture = 161;

}  // namespace

// Shows the refresh on the window as it goes: the running picture and the wait cursor once the
// port is open, the connector names after the probe, the two resolution names as they arrive.
class MainWindow::RefreshView : public RefreshObserver {
  public:
    explicit RefreshView(MainWindow& dlg) : dlg_(dlg) {}
    void Opened() override {
        opened = true;
        ui::ShowWaitCursor();
        dlg_.SetButtonPicture(Ids::kRefreshButton, kRefreshRunningPicture, true);
    }
    void ProbeAnswered(uint8_t portByte, uint8_t /*modelByte*/) override {
        dlg_.SetItemText(Ids::kOutputPortText, LookupName(VideoPortNames, portByte % 16u));
        dlg_.SetItemText(Ids::kInputPortText, LookupName(VideoPortNames, portByte / 16u));
    }
    void SettingRead(uint8_t group, uint8_t item, uint8_t value) override {
        if (group == 4 && item == 1) {
            dlg_.SetItemText(Ids::kInputTimingText, LookupName(InputTimingNames, value));
        } else if (group == 1 && item == 1) {
            dlg_.SetItemText(Ids::kOutputResolutionText, LookupName(OutputResolutionNames, value));
        }
    }

    bool opened = false;

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
    (void)RefreshFrom(*port);
}

Result<void> MainWindow::RefreshFrom(const ComPort& port) {
    statusLink.SetPort(port);
    RefreshView view(*this);
    Result<void> result = RunStatusRefresh(statusLink, statusCache, box, &view);
    if (!view.opened) {
        return result;  // the serial layer has reported it; nothing on screen changes
    }
    if (result) {
        refreshed = 1;
    }
    ui::ShowArrowCursor();
    SetButtonPicture(Ids::kRefreshButton, kRefreshPicture, false);
    return result;
}

void MainWindow::OnSearchPorts() {
    const BusyScope busy(*this);
    ui::ShowWaitCursor();
    FillPortList();
    for (size_t i = 0; i < comPorts.size(); ++i) {
        if (statusLink.ProbeForSearch(comPorts[i])) {
            SetListSelection(Ids::kPortCombo, static_cast<int>(i));
            break;
        }
    }
    ui::ShowArrowCursor();
}

}  // namespace kestrow
