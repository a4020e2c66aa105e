// The main window: port selector, information panel, settings launchers, status refresh,
// port search and quick commands, on the skin of template 129.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/DeviceLink.h"
#include "ports/PortNaming.h"
#include "settings/BoxFacts.h"
#include "settings/StatusCache.h"
#include "settings/StatusRefreshRun.h"
#include "ui/dialogkit/Dialog.h"
#include "ui/dialogs/SettingsDialogs.h"

namespace kestrow {

inline constexpr size_t kMaxComPorts = 31;

class MainWindow : public ui::Dialog {
  public:
    // `launcher` opens the settings dialogs (tests record the requests instead); discovery
    // looks where `roots` say.
    explicit MainWindow(DialogLauncher launcher = RunSettingsDialog, DiscoveryRoots roots = {});
    ~MainWindow() override;

    uint8_t refreshed = 0;
    StatusCache statusCache;
    // What the last refresh learnt of the box: the probe's own port byte (a newer model's
    // System byte [2] holds (4,2) instead), the model byte, whether it is a newer model.
    BoxFacts box;
    DeviceLink statusLink;
    std::vector<ComPortInfo> comPorts;  // entry i belongs to combo entry i; at most 31

    // The port the next operation uses: the combo's selected entry, or the typed port text.
    [[nodiscard]] std::optional<ComPort> SelectedPort() const;

    // Ends the program's window with `id`, the program's exit code. A close that
    // arrives while a device operation waits (the window manager's close box) is carried out
    // when the operation has finished.
    void CloseDialog(int id);

    // One row of the quick-command table (QuickCommands.cpp).
    struct QuickCommand;

  protected:
    bool OnInitDialog() override;

  private:
    // Marks a device operation in progress for its lifetime; runs a deferred close at its end.
    class BusyScope;
    void FillPortList();
    void ReportNoPort() const;
    void SetButtonPicture(int id, int picture, bool paintNow);

    // Launchers.
    void OnOutputSetup();
    void OnImage();
    void OnAdjustment();
    void OnSystem();
    void OnEnhancement();
    void OnInOutMode();
    bool RefreshedOrSay();
    void Launch(int templateId, std::span<uint8_t> group);

    // Status refresh and port search (StatusRefresh.cpp).
    void OnRefresh();
    // The Refresh button's refresh of `port`, shown on the window as it goes.
    Result<void> RefreshFrom(const ComPort& port);
    void OnSearchPorts();
    class RefreshView;

    // Settings files (SettingsFileCommands.cpp): the context menu's commands, also Ctrl+S and
    // Ctrl+O. Each ends in one message box that says what became of the file and the box.
    struct FileReport;
    void OnSaveSettings() { OnSettingsFile(true); }
    void OnLoadSettings() { OnSettingsFile(false); }
    void OnSettingsFile(bool save);
    // The file the operator picks in the settings file dialog (UTF-8); none when cancelled.
    std::optional<std::string> ChooseSettingsFile(bool save);
    FileReport SaveSettings(const ComPort& port, const std::string& path);
    FileReport LoadSettings(const ComPort& port, const std::string& path);

    // Quick commands (QuickCommands.cpp).
    void MapQuickCommands();
    void OnQuickCommand(const QuickCommand& command);

    DialogLauncher launcher_;
    DiscoveryRoots roots_;
    bool busy_ = false;
    int pendingClose_ = 0;
    std::string settingsPath_;  // the last settings file chosen, where the next dialog starts
};

class MainWindow::BusyScope {
  public:
    explicit BusyScope(MainWindow& dlg) : dlg_(dlg) { dlg_.busy_ = true; }
    ~BusyScope() {
        dlg_.busy_ = false;
        if (dlg_.pendingClose_ != 0) {
            dlg_.CloseDialog(std::exchange(dlg_.pendingClose_, 0));
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    MainWindow& dlg_;
};

}  // namespace kestrow
