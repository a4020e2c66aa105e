// Dialog template 208: the GenLock Sync Delay dialog (GenlockDialog).
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

inline constexpr ControlTemplate kGenlockDialogControls[] = {
    {-1, ControlKind::StaticText, "H-Sync Delay", 13, 12, 48, 9},
    {1026, ControlKind::PushButton, "<", 61, 9, 13, 14},
    {1028, ControlKind::Trackbar, "", 74, 8, 59, 15, kNoTicks},
    {1018, ControlKind::PushButton, ">", 134, 9, 13, 14},
    {1021, ControlKind::Edit, "", 149, 10, 35, 12, kDigitsOnly | kBorder},
    {1003, ControlKind::PushButton, "Apply", 190, 9, 36, 14},
    {-1, ControlKind::StaticText, "V-Sync Delay", 13, 30, 48, 9},
    {1027, ControlKind::PushButton, "<", 61, 27, 13, 14},
    {1029, ControlKind::Trackbar, "", 74, 26, 59, 15, kNoTicks},
    {1019, ControlKind::PushButton, ">", 134, 27, 13, 14},
    {1022, ControlKind::Edit, "", 149, 28, 35, 12, kDigitsOnly | kBorder},
    {1004, ControlKind::PushButton, "Apply", 190, 27, 36, 14},
    {1, ControlKind::PushButton, "OK", 11, 0, 50, 14, kDefault | kHidden},
    {2, ControlKind::PushButton, "Cancel", 96, 0, 50, 14, kHidden},
};

inline constexpr DialogTemplate kGenlockDialogTemplate{
    208, "GenLock Sync Delay", 233, 50, "MS Shell Dlg", 8, kGenlockDialogControls};

}  // namespace kestrow::ui
