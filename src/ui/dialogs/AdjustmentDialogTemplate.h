// Dialog template 205: the Adjustment dialog (AdjustmentDialog). Number rows: label, "<", trackbar,
// ">", edit, Apply; choice rows: label, list, Apply. Only the Under/Over Scan edit takes digits
// alone; the shift edits take any text.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

// The controls' ids by role; OK and Cancel are kIdOk and kIdCancel (MessageBox.h).
struct AdjustmentIds {
    static constexpr int kUnderOverScanDown = 1012;
    static constexpr int kUnderOverScanTrackbar = 1027;
    static constexpr int kUnderOverScanUp = 1003;
    static constexpr int kUnderOverScanEdit = 1021;
    static constexpr int kUnderOverScanApply = 1005;
    static constexpr int kAspectRatioList = 1000;
    static constexpr int kAspectRatioApply = 1006;
    static constexpr int kHMirrorList = 1001;
    static constexpr int kHMirrorApply = 1007;
    static constexpr int kVMirrorList = 1002;
    static constexpr int kVMirrorApply = 1008;
    static constexpr int kHShiftDown = 1013;
    static constexpr int kHShiftTrackbar = 1028;
    static constexpr int kHShiftUp = 1004;
    static constexpr int kHShiftEdit = 1034;
    static constexpr int kHShiftApply = 1009;
    static constexpr int kVShiftDown = 1014;
    static constexpr int kVShiftTrackbar = 1029;
    static constexpr int kVShiftUp = 1011;
    static constexpr int kVShiftEdit = 1035;
    static constexpr int kVShiftApply = 1010;
};

inline constexpr ControlTemplate kAdjustmentDialogControls[] = {
    {-1, ControlKind::StaticText, "Under/Over Scan -50%~50%", 19, 9, 103, 8},
    {AdjustmentIds::kUnderOverScanDown, ControlKind::PushButton, "<", 123, 6, 13, 14},
    {AdjustmentIds::kUnderOverScanTrackbar, ControlKind::Trackbar, "", 137, 6, 58, 14, kNoTicks},
    {AdjustmentIds::kUnderOverScanUp, ControlKind::PushButton, ">", 196, 6, 13, 14},
    {AdjustmentIds::kUnderOverScanEdit, ControlKind::Edit, "", 212, 6, 32, 14,
     kDigitsOnly | kBorder},
    {AdjustmentIds::kUnderOverScanApply, ControlKind::PushButton, "Apply", 249, 6, 39, 14},

    {-1, ControlKind::StaticText, "Aspect Ratio", 19, 30, 52, 8},
    {AdjustmentIds::kAspectRatioList, ControlKind::ComboDropDown, "", 72, 27, 73, 40, kVScroll},
    {AdjustmentIds::kAspectRatioApply, ControlKind::PushButton, "Apply", 249, 27, 39, 14},

    {-1, ControlKind::StaticText, "H-Mirror", 19, 46, 52, 8},
    {AdjustmentIds::kHMirrorList, ControlKind::ComboDropDown, "", 72, 43, 73, 40, kVScroll},
    {AdjustmentIds::kHMirrorApply, ControlKind::PushButton, "Apply", 249, 43, 39, 14},

    {-1, ControlKind::StaticText, "V-Mirror", 19, 65, 52, 8},
    {AdjustmentIds::kVMirrorList, ControlKind::ComboDropDown, "", 72, 62, 73, 40, kVScroll},
    {AdjustmentIds::kVMirrorApply, ControlKind::PushButton, "Apply", 249, 62, 39, 14},

    {-1, ControlKind::StaticText, "H-Shift (-100~100)", 19, 80, 103, 8},
    {AdjustmentIds::kHShiftDown, ControlKind::PushButton, "<", 123, 77, 13, 14},
    {AdjustmentIds::kHShiftTrackbar, ControlKind::Trackbar, "", 137, 77, 58, 14, kNoTicks},
    {AdjustmentIds::kHShiftUp, ControlKind::PushButton, ">", 196, 77, 13, 14},
    {AdjustmentIds::kHShiftEdit, ControlKind::Edit, "", 212, 77, 32, 14, kBorder},
    {AdjustmentIds::kHShiftApply, ControlKind::PushButton, "Apply", 249, 77, 39, 14},

    {-1, ControlKind::StaticText, "V-Shift (-50~50)", 19, 98, 103, 8},
    {AdjustmentIds::kVShiftDown, ControlKind::PushButton, "<", 123, 95, 13, 14},
    {AdjustmentIds::kVShiftTrackbar, ControlKind::Trackbar, "", 137, 95, 58, 14, kNoTicks},
    {AdjustmentIds::kVShiftUp, ControlKind::PushButton, ">", 196, 95, 13, 14},
    {AdjustmentIds::kVShiftEdit, ControlKind::Edit, "", 212, 95, 32, 14, kBorder},
    {AdjustmentIds::kVShiftApply, ControlKind::PushButton, "Apply", 249, 95, 39, 14},

    {kIdOk, ControlKind::PushButton, "OK", 150, 27, 45, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 150, 43, 45, 14, kHidden},
};

inline constexpr DialogTemplate kAdjustmentDialogTemplate{
    205, "Adjustment", 295, 112, "MS Shell Dlg", 8, kAdjustmentDialogControls};

}  // namespace kestrow::ui
