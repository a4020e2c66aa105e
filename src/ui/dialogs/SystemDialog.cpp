#include "ui/dialogs/SystemDialog.h"

#include "settings/NameTables.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogs/FirmwareUpdateDialog.h"
#include "ui/dialogs/SystemClockDialogTemplate.h"
#include "ui/dialogs/SystemVersionDialogTemplate.h"

namespace kestrow {

namespace {

// The controls both System templates have, at the same ids.
using Ids = ui::SystemVersionIds;
static_assert(Ids::kInputTimingText == ui::SystemClockIds::kInputTimingText &&
              Ids::kFactoryResetButton == ui::SystemClockIds::kFactoryResetButton &&
              Ids::kFirmwareUpdateButton == ui::SystemClockIds::kFirmwareUpdateButton);

}  // namespace

SystemDialog::SystemDialog(const ui::DialogTemplate& tmpl, const ComPort& port,
                           std::span<uint8_t> system, std::span<const RowLayout> rows,
                           const BoxFacts& box)
    : RowDialog(tmpl, port, system, rows, box) {
    static constexpr ui::CommandEntry<SystemDialog> kMap[] = {
        {Ids::kFactoryResetButton, &SystemDialog::OnFactoryReset},
        {Ids::kFirmwareUpdateButton, &SystemDialog::OnFirmwareUpdate},
    };
    MapCommands(this, kMap);
}

uint8_t* SystemDialog::SystemByte(size_t k) const {
    const std::span<uint8_t> system = Group();
    return k < system.size() ? &system[k] : nullptr;
}

void SystemDialog::ShowInputTiming(uint8_t code) {
    SetItemText(Ids::kInputTimingText, LookupName(InputTimingNames, code));
}

void SystemDialog::OnFactoryReset() {
    const int answer =
        ui::ShowMessage(this, "Are you sure you want to do factory-reset command? \r\n  ",
                        "Confirm", ui::MessageButtons::OkCancel, ui::MessageIcon::Question);
    if (answer != ui::kIdOk) {
        return;
    }
    // The cache is not touched: the next refresh reads what the reset left.
    (void)CheckWritten(Link().WriteSetting(4, FactoryResetItem(Box()), 1));
}

void SystemDialog::OnFirmwareUpdate() {
    FirmwareUpdateDialog dlg;
    dlg.port = Port();
    (void)dlg.RunModal(&ActiveOwner());
}

}  // namespace kestrow
