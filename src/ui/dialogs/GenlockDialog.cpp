#include "ui/dialogs/GenlockDialog.h"

#include "ui/dialogs/GenlockDialogTemplate.h"

namespace kestrow {

namespace {

// H row first: its period and delay are read before the V row's.
constexpr RowLayout kRows[] = {
    {"genlock-h", {1026, 1028, 1018, 1021}, 1003},
    {"genlock-v", {1027, 1029, 1019, 1022}, 1004},
};

}  // namespace

GenlockDialog::GenlockDialog(const ComPort& port)
    : RowDialog(ui::kGenlockDialogTemplate, port, {}, kRows) {}

}  // namespace kestrow
