#include "ui/dialogs/AdjustmentDialog.h"

#include "ui/dialogs/AdjustmentDialogTemplate.h"

namespace kestrow {

namespace {

// In the order the dialog fills them: the lists, then the numbers.
constexpr RowLayout kRows[] = {
    {"aspect-ratio", {}, 1006, 1000},
    {"h-mirror", {}, 1007, 1001},
    {"v-mirror", {}, 1008, 1002},
    {"under-over-scan", {1012, 1027, 1003, 1021}, 1005},
    {"h-shift", {1013, 1028, 1004, 1034}, 1009},
    {"v-shift", {1014, 1029, 1011, 1035}, 1010},
};

}  // namespace

AdjustmentDialog::AdjustmentDialog(const ComPort& port, std::span<uint8_t> adjustment)
    : RowDialog(ui::kAdjustmentDialogTemplate, port, adjustment, kRows) {}

}  // namespace kestrow
