#include "ui/main/MainWindow.h"

#include "ports/NetworkPorts.h"
#include "serial/SerialTypes.h"
#include "ui/dialogkit/KeyState.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/main/MainWindowTemplate.h"

namespace kestrow {

namespace {

using Ids = ui::MainWindowIds;

constexpr int kClientWidth = 800;
constexpr int kClientHeight = 500;

}  // namespace

MainWindow::MainWindow(DialogLauncher launcher, DiscoveryRoots roots)
    : Dialog(ui::kMainWindowTemplate), launcher_(std::move(launcher)), roots_(std::move(roots)) {
    static constexpr ui::CommandEntry<MainWindow> kMap[] = {
        {Ids::kOutputSetupButton, &MainWindow::OnOutputSetup},
        {Ids::kImageButton, &MainWindow::OnImage},
        {Ids::kAdjustmentButton, &MainWindow::OnAdjustment},
        {Ids::kSystemButton, &MainWindow::OnSystem},
        {Ids::kEnhancementButton, &MainWindow::OnEnhancement},
        {Ids::kInOutModeButton, &MainWindow::OnInOutMode},
        {Ids::kRefreshButton, &MainWindow::OnRefresh},
        {Ids::kSearchPortsButton, &MainWindow::OnSearchPorts},
        {Ids::kSaveSettings, &MainWindow::OnSaveSettings},
        {Ids::kLoadSettings, &MainWindow::OnLoadSettings},
    };
    MapCommands(this, kMap);
    MapCommand(ui::kIdOk, [this] { CloseDialog(ui::kIdOk); });
    MapCommand(ui::kIdCancel, [this] { CloseDialog(ui::kIdCancel); });
    MapQuickCommands();
}

MainWindow::~MainWindow() {
    statusLink.Close();
}

bool MainWindow::OnInitDialog() {
    CenterOnParent();  // at the template's size, before the client area is set
    SetClientSize(kClientWidth, kClientHeight);
    FillPortList();
    refreshed = 0;
    return true;
}

void MainWindow::FillPortList() {
    comPorts = FindPorts(roots_);
    if (comPorts.size() > kMaxComPorts) {
        comPorts.resize(kMaxComPorts);
    }
    ResetList(Ids::kPortCombo);
    for (const ComPortInfo& info : comPorts) {
        // "COM 5", or a network port's label (its URL without one); the tip names the device.
        AddListEntry(Ids::kPortCombo, info.Name(),
                     info.path + (info.product.empty() ? "" : "\n" + info.product));
    }
    // Entry 0 when there is one; an empty list stays without selection.
    SetListSelection(Ids::kPortCombo, comPorts.empty() ? -1 : 0);
}

std::optional<ComPort> MainWindow::SelectedPort() const {
    const int index = ListSelection(Ids::kPortCombo);
    const std::string shown = ItemText(Ids::kPortCombo);
    if (index >= 0 && static_cast<size_t>(index) < comPorts.size() &&
        shown == ListEntry(Ids::kPortCombo, index)) {
        // A number the port byte cannot carry names no port (the dialogs get one byte).
        const ComPort& port = comPorts[static_cast<size_t>(index)];
        const bool named = port.IsNetwork() || (port.number >= 0 && port.number <= kMaxComPort);
        return named ? std::optional<ComPort>(port) : std::nullopt;
    }
    // No valid selection: the typed text may still name a port ("COM 5", "5" or a URL).
    Result<ComPort> typed = ParsePortName(shown, roots_.portsDir);
    return typed ? std::optional<ComPort>(std::move(*typed)) : std::nullopt;
}

void MainWindow::ReportNoPort() const {
    // The same report as for a port that does not open.
    ReportSerialFailure({"Failed to open up the comms port\n", "Error", ""});
}

void MainWindow::SetButtonPicture(int id, int picture, bool paintNow) {
    SetPicture(id, picture);
    if (paintNow) {
        PaintNow(id);
    }
}

void MainWindow::CloseDialog(int id) {
    if (busy_) {
        pendingClose_ = id;
        return;
    }
    statusLink.Close();
    EndDialog(id);
}

bool MainWindow::RefreshedOrSay() {
    if (refreshed == 0) {
        ui::ShowMessage(this, "Please refresh first !", "");
        return false;
    }
    return true;
}

void MainWindow::Launch(int templateId, std::span<uint8_t> group) {
    const std::optional<ComPort> port = SelectedPort();
    if (!port) {
        ReportNoPort();
        return;
    }
    if (launcher_) {
        launcher_({templateId, *port, group, box, &ActiveOwner()});
    }
}

void MainWindow::OnOutputSetup() {
    if (RefreshedOrSay()) {
        Launch(204, statusCache.output);
    }
}

void MainWindow::OnImage() {
    if (RefreshedOrSay()) {
        Launch(203, statusCache.image);
    }
}

void MainWindow::OnAdjustment() {
    if (!RefreshedOrSay()) {
        return;
    }
    if (ui::KeyDown(ui::Key::Shift) && ui::KeyDown(ui::Key::F7)) {
        Launch(206, {});
    } else {
        Launch(205, statusCache.adjustment);
    }
}

void MainWindow::OnSystem() {
    if (!RefreshedOrSay()) {
        return;
    }
    Launch(statusCache.system[3] == 1 ? 201 : 200, statusCache.system);
}

void MainWindow::OnEnhancement() {
    if (RefreshedOrSay()) {
        Launch(201, statusCache.system);
    }
}

void MainWindow::OnInOutMode() {
    if (RefreshedOrSay()) {
        Launch(202, {});
    }
}

}  // namespace kestrow
