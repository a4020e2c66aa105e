#include "ui/dialogs/GenlockDialog.h"

#include "ui/dialogs/GenlockDialogTemplate.h"

namespace kestrow {

namespace {

using Ids = ui::GenlockIds;

// H row first: its period and delay are read before the V row's.
constexpr RowLayout kRows[] = {
    {"genlock-h",
     {Ids::kHDelayDown, Ids::kHDelayTrackbar, Ids::kHDelayUp, Ids::kHDelayEdit},
     Ids::kHDelayApply},
    {"genlock-v",
     {Ids::kVDelayDown, Ids::kVDelayTrackbar, Ids::kVDelayUp, Ids::kVDelayEdit},
     Ids::kVDelayApply},
};

}  // namespace

GenlockDialog::GenlockDialog(const ComPort& port)
    : RowDialog(ui::kGenlockDialogTemplate, port, {}, kRows) {}

}  // namespace kestrow
