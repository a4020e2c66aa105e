// Dialog template 201: the System dialog of the model-1 box (SystemClockDialog).
#pragma once

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

// The controls' ids by role; OK and Cancel are kIdOk and kIdCancel (MessageBox.h).
struct SystemClockIds {
    static constexpr int kInputTimingText = 1033;
    static constexpr int kGetButton = 1004;
    static constexpr int kClockModeList = 1006;
    static constexpr int kClockModeApply = 1007;
    static constexpr int kFactoryResetButton = 1002;
    static constexpr int kFirmwareUpdateButton = 1003;
};

inline constexpr ControlTemplate kSystemClockDialogControls[] = {
    {-1, ControlKind::StaticText, "Input Res.Info:", 18, 10, 51, 8},
    {SystemClockIds::kInputTimingText, ControlKind::StaticText, "", 70, 10, 81, 8},
    {SystemClockIds::kGetButton, ControlKind::PushButton, "Get", 167, 6, 40, 14},
    {-1, ControlKind::StaticText, "Clock Mode", 18, 27, 37, 8},
    {SystemClockIds::kClockModeList, ControlKind::ComboDropDown, "", 68, 24, 85, 30, kVScroll},
    {SystemClockIds::kClockModeApply, ControlKind::PushButton, "Apply", 167, 24, 40, 14},
    {-1, ControlKind::StaticText, "Firmware Version:", 17, 43, 59, 11},
    {-1, ControlKind::StaticText, "V1.001", 81, 43, 32, 11},
    {SystemClockIds::kFactoryResetButton, ControlKind::PushButton, "Factory Reset", 16, 58, 64, 14},
    {SystemClockIds::kFirmwareUpdateButton, ControlKind::PushButton, "Firmware Update", 16, 75, 64,
     14},
    {kIdOk, ControlKind::PushButton, "OK", 122, 67, 50, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 107, 57, 50, 14, kHidden},
};

inline constexpr DialogTemplate kSystemClockDialogTemplate{
    201, "System", 223, 95, "MS Shell Dlg", 8, kSystemClockDialogControls};

}  // namespace kestrow::ui
