#include "ui/dialogs/SystemVersionDialog.h"

#include <string>

#include "settings/NameTables.h"
#include "ui/dialogs/SystemVersionDialogTemplate.h"

namespace kestrow {

namespace {

using Ids = ui::SystemVersionIds;

// Auto-sleep, cached in S[2].
constexpr RowLayout kRows[] = {
    {"auto-sleep", {}, Ids::kAutoSleepSet, Ids::kAutoSleepList, Ids::kAutoSleepLabel, 2},
};

BoxFacts Facts(std::span<uint8_t> system, bool isNewModel) {
    BoxFacts box;
    box.portByte = system.size() > 2 ? system[2] : 0;
    box.modelByte = system.size() > 3 ? system[3] : 0;
    box.newerModel = isNewModel;
    return box;
}

}  // namespace

SystemVersionDialog::SystemVersionDialog(const ComPort& port, std::span<uint8_t> system,
                                         const BoxFacts& box)
    : SystemDialog(ui::kSystemVersionDialogTemplate, port, system, kRows,
                   Facts(system, box.newerModel)) {
    static constexpr ui::CommandEntry<SystemVersionDialog> kMap[] = {
        {Ids::kGetButton, &SystemVersionDialog::OnGet}};
    MapCommands(this, kMap);
}

bool SystemVersionDialog::OnInitDialog() {
    RowDialog::OnInitDialog();  // centres; fills, selects and shows or hides the auto-sleep row
    OnGet();
    for (std::string_view mode : LockModeListFixed) {  // the list stays hidden
        AddListEntry(Ids::kClockModeList, mode);
    }
    const uint8_t* mode = SystemByte(1);
    SetListSelection(Ids::kClockModeList, mode != nullptr ? *mode : -1);
    // A newer model keeps its version text in item 4, an older one in item 3. "NA" also when
    // the port does not open.
    const std::string version = Link().ReadVersionText(!Box().newerModel).value_or("NA");
    SetItemText(Ids::kVersionText, version);
    return true;
}

void SystemVersionDialog::OnGet() {
    const uint8_t* code = SystemByte(0);
    ShowInputTiming(code != nullptr ? *code : 0);
}

}  // namespace kestrow
