// Dialog template 200: the System dialog of every other model (SystemVersionDialog). Its clock mode
// label, list and Set button are built but never shown.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

inline constexpr ControlTemplate kSystemVersionDialogControls[] = {
    {-1, ControlKind::StaticText, "Input Res.Info:", 18, 10, 51, 8},
    {1033, ControlKind::StaticText, "", 70, 10, 86, 8},
    {1004, ControlKind::PushButton, "Get", 167, 6, 40, 14},
    {-1, ControlKind::StaticText, "Firmware Version:", 17, 25, 59, 11},
    {1035, ControlKind::StaticText, "V1.001", 81, 25, 32, 11},
    {1002, ControlKind::PushButton, "Factory Reset", 16, 40, 64, 14},
    {1003, ControlKind::PushButton, "Firmware Update", 16, 57, 64, 14},
    {1034, ControlKind::StaticText, "Auto-Sleep Mode", 115, 56, 56, 8, kHidden},
    {1008, ControlKind::ComboDropDown, "", 110, 69, 65, 53, kVScroll | kHidden},
    {1007, ControlKind::PushButton, "Set", 181, 69, 40, 14, kHidden},
    {-1, ControlKind::StaticText, "Clock Mode", 135, 29, 37, 8, kHidden},
    {1006, ControlKind::ComboDropDown, "", 90, 40, 85, 30, kVScroll | kHidden},
    {1009, ControlKind::PushButton, "Set", 181, 39, 40, 14, kHidden},
    {1, ControlKind::PushButton, "OK", 0, 0, 50, 14, kDefault | kHidden},
    {2, ControlKind::PushButton, "Cancel", 0, 0, 50, 14, kHidden},
};

inline constexpr DialogTemplate kSystemVersionDialogTemplate{
    200, "System", 223, 94, "MS Shell Dlg", 8, kSystemVersionDialogControls};

}  // namespace kestrow::ui
