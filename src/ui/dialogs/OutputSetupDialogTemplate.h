// Dialog template 204: the Output Setup dialog (OutputSetupDialog). One row per setting: label,
// list, Apply. The audio rows' labels carry ids so that they hide with their rows.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

inline constexpr ControlTemplate kOutputSetupDialogControls[] = {
    {-1, ControlKind::StaticText, "Output Resolution", 20, 21, 72, 8},
    {1005, ControlKind::ComboDropDown, "", 94, 18, 84, 120, kVScroll},
    {1002, ControlKind::PushButton, "Apply", 188, 18, 39, 14},

    {-1, ControlKind::StaticText, "Output Mode", 20, 41, 72, 8},
    {1006, ControlKind::ComboDropDown, "", 94, 38, 84, 48, kVScroll},
    {1003, ControlKind::PushButton, "Apply", 188, 38, 39, 14},

    {-1, ControlKind::StaticText, "Default Pattern", 20, 60, 72, 8},
    {1007, ControlKind::ComboDropDown, "", 94, 57, 84, 100, kVScroll},
    {1004, ControlKind::PushButton, "Apply", 188, 57, 39, 14},

    {1030, ControlKind::StaticText, "Audio Source", 20, 79, 72, 8},
    {1008, ControlKind::ComboDropDown, "", 94, 76, 84, 40, kVScroll},
    {1009, ControlKind::PushButton, "Apply", 188, 76, 39, 14},

    {1031, ControlKind::StaticText, "EDID Audio Ch#", 20, 98, 72, 8},
    {1010, ControlKind::ComboDropDown, "", 94, 95, 84, 40, kVScroll},
    {1011, ControlKind::PushButton, "Apply", 188, 95, 39, 14},

    {1, ControlKind::PushButton, "OK", 7, 104, 50, 14, kDefault | kHidden},
    {2, ControlKind::PushButton, "Cancel", 200, 104, 50, 14, kHidden},
};

inline constexpr DialogTemplate kOutputSetupDialogTemplate{
    204, "Output Setup", 257, 121, "MS Shell Dlg", 8, kOutputSetupDialogControls};

}  // namespace kestrow::ui
