#include "ui/dialogs/SystemClockDialog.h"

#include "ui/dialogs/GenlockDialog.h"
#include "ui/dialogs/SystemClockDialogTemplate.h"

namespace kestrow {

namespace {

using Ids = ui::SystemClockIds;

// The clock mode is (4,2), the byte Apply writes: an older model's refresh keeps it in S[1], a
// newer model's in S[2] (its S[1] holds (4,3)). The list shows and Apply stores that byte.
constexpr RowLayout kRows[] = {
    {"clock-mode", {}, Ids::kClockModeApply, Ids::kClockModeList, 0, 1},
};
constexpr RowLayout kNewerModelRows[] = {
    {"clock-mode", {}, Ids::kClockModeApply, Ids::kClockModeList, 0, 2},
};

constexpr int kGenlockEntry = 2;  // "FrameLock B(Genlock)" when the list has three entries

// This dialog is the model-1 one whichever button opened it (the main window's hidden
// Enhancement button opens it for any model): it always offers the clock mode and resets with
// item 4.
BoxFacts Facts(const BoxFacts& box) {
    return {box.portByte, 1, box.newerModel};
}

}  // namespace

SystemClockDialog::SystemClockDialog(const ComPort& port, std::span<uint8_t> system,
                                     const BoxFacts& box)
    : SystemDialog(ui::kSystemClockDialogTemplate, port, system,
                   box.newerModel ? std::span<const RowLayout>(kNewerModelRows) : kRows,
                   Facts(box)) {
    static constexpr ui::CommandEntry<SystemClockDialog> kMap[] = {
        {Ids::kGetButton, &SystemClockDialog::OnGet}};
    MapCommands(this, kMap);
}

bool SystemClockDialog::OnInitDialog() {
    RowDialog::OnInitDialog();
    SetItemText(Ids::kInputTimingText, "Old");
    return true;
}

void SystemClockDialog::OnGet() {
    // A box that does not answer leaves S[0] as it was and shows "NA".
    const Result<uint8_t> code = Link().ReadSetting(4, 1);
    if (!code) {
        SetItemText(Ids::kInputTimingText, "NA");
        return;
    }
    if (uint8_t* cached = SystemByte(0)) {
        *cached = *code;
    }
    ShowInputTiming(*code);
}

void SystemClockDialog::ChoiceApplied(const RowLayout& /*row*/, int entry) {
    if (entry != kGenlockEntry) {
        return;
    }
    GenlockDialog genlock(Port());
    (void)genlock.RunModal(&ActiveOwner());
}

}  // namespace kestrow
