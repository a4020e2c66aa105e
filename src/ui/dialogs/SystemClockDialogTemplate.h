// Dialog template 201: the System dialog of the model-1 box (SystemClockDialog).
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

inline constexpr ControlTemplate kSystemClockDialogControls[] = {
    {-1, ControlKind::StaticText, "Input Res.Info:", 18, 10, 51, 8},
    {1033, ControlKind::StaticText, "", 70, 10, 81, 8},
    {1004, ControlKind::PushButton, "Get", 167, 6, 40, 14},
    {-1, ControlKind::StaticText, "Clock Mode", 18, 27, 37, 8},
    {1006, ControlKind::ComboDropDown, "", 68, 24, 85, 30, kVScroll},
    {1007, ControlKind::PushButton, "Apply", 167, 24, 40, 14},
    {-1, ControlKind::StaticText, "Firmware Version:", 17, 43, 59, 11},
    {-1, ControlKind::StaticText, "V1.001", 81, 43, 32, 11},
    {1002, ControlKind::PushButton, "Factory Reset", 16, 58, 64, 14},
    {1003, ControlKind::PushButton, "Firmware Update", 16, 75, 64, 14},
    {1, ControlKind::PushButton, "OK", 122, 67, 50, 14, kDefault | kHidden},
    {2, ControlKind::PushButton, "Cancel", 107, 57, 50, 14, kHidden},
};

inline constexpr DialogTemplate kSystemClockDialogTemplate{
    201, "System", 223, 95, "MS Shell Dlg", 8, kSystemClockDialogControls};

}  // namespace kestrow::ui
