// Dialog template 205: the Adjustment dialog (AdjustmentDialog). Number rows: label, "<", trackbar,
// ">", edit, Apply; choice rows: label, list, Apply. Only the Under/Over Scan edit takes digits
// alone; the shift edits take any text.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

inline constexpr ControlTemplate kAdjustmentDialogControls[] = {
    {-1, ControlKind::StaticText, "Under/Over Scan -50%~50%", 19, 9, 103, 8},
    {1012, ControlKind::PushButton, "<", 123, 6, 13, 14},
    {1027, ControlKind::Trackbar, "", 137, 6, 58, 14, kNoTicks},
    {1003, ControlKind::PushButton, ">", 196, 6, 13, 14},
    {1021, ControlKind::Edit, "", 212, 6, 32, 14, kDigitsOnly | kBorder},
    {1005, ControlKind::PushButton, "Apply", 249, 6, 39, 14},

    {-1, ControlKind::StaticText, "Aspect Ratio", 19, 30, 52, 8},
    {1000, ControlKind::ComboDropDown, "", 72, 27, 73, 40, kVScroll},
    {1006, ControlKind::PushButton, "Apply", 249, 27, 39, 14},

    {-1, ControlKind::StaticText, "H-Mirror", 19, 46, 52, 8},
    {1001, ControlKind::ComboDropDown, "", 72, 43, 73, 40, kVScroll},
    {1007, ControlKind::PushButton, "Apply", 249, 43, 39, 14},

    {-1, ControlKind::StaticText, "V-Mirror", 19, 65, 52, 8},
    {1002, ControlKind::ComboDropDown, "", 72, 62, 73, 40, kVScroll},
    {1008, ControlKind::PushButton, "Apply", 249, 62, 39, 14},

    {-1, ControlKind::StaticText, "H-Shift (-100~100)", 19, 80, 103, 8},
    {1013, ControlKind::PushButton, "<", 123, 77, 13, 14},
    {1028, ControlKind::Trackbar, "", 137, 77, 58, 14, kNoTicks},
    {1004, ControlKind::PushButton, ">", 196, 77, 13, 14},
    {1034, ControlKind::Edit, "", 212, 77, 32, 14, kBorder},
    {1009, ControlKind::PushButton, "Apply", 249, 77, 39, 14},

    {-1, ControlKind::StaticText, "V-Shift (-50~50)", 19, 98, 103, 8},
    {1014, ControlKind::PushButton, "<", 123, 95, 13, 14},
    {1029, ControlKind::Trackbar, "", 137, 95, 58, 14, kNoTicks},
    {1011, ControlKind::PushButton, ">", 196, 95, 13, 14},
    {1035, ControlKind::Edit, "", 212, 95, 32, 14, kBorder},
    {1010, ControlKind::PushButton, "Apply", 249, 95, 39, 14},

    {1, ControlKind::PushButton, "OK", 150, 27, 45, 14, kDefault | kHidden},
    {2, ControlKind::PushButton, "Cancel", 150, 43, 45, 14, kHidden},
};

inline constexpr DialogTemplate kAdjustmentDialogTemplate{
    205, "Adjustment", 295, 112, "MS Shell Dlg", 8, kAdjustmentDialogControls};

}  // namespace kestrow::ui
