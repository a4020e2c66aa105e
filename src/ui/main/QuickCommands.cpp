// The output quick-selection panel: each picture sends one frame, showing its pressed picture
// for the 500 ms before the frame goes out.
#include <array>

#include "serial/SerialTypes.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MainWindowTemplate.h"

namespace kestrow {

struct MainWindow::QuickCommand {
    int id;
    int normal;
    int pressed;
    uint8_t length;
    uint8_t opcode;
    uint8_t b4;
    uint8_t b5;
    uint8_t b6;
};

namespace {

using Ids = ui::MainWindowIds;

constexpr uint32_t kPressMs = 500;

// The 8-byte frames write setting (1,1), the output resolution, with a resolution code.
constexpr std::array<MainWindow::QuickCommand, 7> kQuickCommands{{
    {Ids::kAspectRatioButton, 142, 158, 5, 0x04, 0, 0, 0},
    {Ids::kFreezeButton, 146, 160, 5, 0x02, 0, 0, 0},
    {Ids::kBlankButton, 143, 159, 5, 0x03, 0, 0, 0},
    {Ids::k1080p60Button, 140, 157, 8, 0x00, 1, 1, 12},  // "HD(1080p)60"
    {Ids::k1080i60Button, 139, 156, 8, 0x00, 1, 1, 9},   // "HD(1080i)60"
    {Ids::k720p60Button, 138, 155, 8, 0x00, 1, 1, 4},    // "HD(720p)60"
    {Ids::k480p60Button, 137, 154, 8, 0x00, 1, 1, 2},    // "SD(480p)60"
}};

}  // namespace

void MainWindow::MapQuickCommands() {
    for (const QuickCommand& command : kQuickCommands) {
        MapCommand(command.id, [this, &command] { OnQuickCommand(command); });
    }
}

void MainWindow::OnQuickCommand(const QuickCommand& command) {
    const BusyScope busy(*this);
    SetButtonPicture(command.id, command.pressed, true);
    SleepMs(kPressMs);
    if (const std::optional<ComPort> port = SelectedPort()) {
        statusLink.SetPort(*port);
        (void)statusLink.SendFrame(command.length, command.opcode, command.b4, command.b5,
                                   command.b6);
    } else {
        ReportNoPort();
    }
    SetButtonPicture(command.id, command.normal, false);
}

}  // namespace kestrow
