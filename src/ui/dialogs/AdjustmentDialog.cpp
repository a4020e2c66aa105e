#include "ui/dialogs/AdjustmentDialog.h"

#include "ui/dialogs/AdjustmentDialogTemplate.h"

namespace kestrow {

namespace {

using Ids = ui::AdjustmentIds;

// In the order the dialog fills them: the lists, then the numbers.
constexpr RowLayout kRows[] = {
    {"aspect-ratio", {}, Ids::kAspectRatioApply, Ids::kAspectRatioList},
    {"h-mirror", {}, Ids::kHMirrorApply, Ids::kHMirrorList},
    {"v-mirror", {}, Ids::kVMirrorApply, Ids::kVMirrorList},
    {"under-over-scan",
     {Ids::kUnderOverScanDown, Ids::kUnderOverScanTrackbar, Ids::kUnderOverScanUp,
      Ids::kUnderOverScanEdit},
     Ids::kUnderOverScanApply},
    {"h-shift",
     {Ids::kHShiftDown, Ids::kHShiftTrackbar, Ids::kHShiftUp, Ids::kHShiftEdit},
     Ids::kHShiftApply},
    {"v-shift",
     {Ids::kVShiftDown, Ids::kVShiftTrackbar, Ids::kVShiftUp, Ids::kVShiftEdit},
     Ids::kVShiftApply},
};

}  // namespace

AdjustmentDialog::AdjustmentDialog(const ComPort& port, std::span<uint8_t> adjustment)
    : RowDialog(ui::kAdjustmentDialogTemplate, port, adjustment, kRows) {}

}  // namespace kestrow
