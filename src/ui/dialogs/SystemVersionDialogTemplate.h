// Dialog template 200: the System dialog of every other model (SystemVersionDialog). Its clock mode
// label, list and Set button are built but never shown.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

// The controls' ids by role; OK and Cancel are kIdOk and kIdCancel (MessageBox.h).
struct SystemVersionIds {
    static constexpr int kInputTimingText = 1033;
    static constexpr int kGetButton = 1004;
    static constexpr int kVersionText = 1035;
    static constexpr int kFactoryResetButton = 1002;
    static constexpr int kFirmwareUpdateButton = 1003;
    static constexpr int kAutoSleepLabel = 1034;
    static constexpr int kAutoSleepList = 1008;
    static constexpr int kAutoSleepSet = 1007;
    static constexpr int kClockModeList = 1006;
    static constexpr int kClockModeSet = 1009;
};

inline constexpr ControlTemplate kSystemVersionDialogControls[] = {
    {-1, ControlKind::StaticText, "Input Res.Info:", 18, 10, 51, 8},
    {SystemVersionIds::kInputTimingText, ControlKind::StaticText, "", 70, 10, 86, 8},
    {SystemVersionIds::kGetButton, ControlKind::PushButton, "Get", 167, 6, 40, 14},
    {-1, ControlKind::StaticText, "Firmware Version:", 17, 25, 59, 11},
    {SystemVersionIds::kVersionText, ControlKind::StaticText, "V1.001", 81, 25, 32, 11},
    {SystemVersionIds::kFactoryResetButton, ControlKind::PushButton, "Factory Reset", 16, 40, 64,
     14},
    {SystemVersionIds::kFirmwareUpdateButton, ControlKind::PushButton, "Firmware Update", 16, 57,
     64, 14},
    {SystemVersionIds::kAutoSleepLabel, ControlKind::StaticText, "Auto-Sleep Mode", 115, 56, 56, 8,
     kHidden},
    {SystemVersionIds::kAutoSleepList, ControlKind::ComboDropDown, "", 110, 69, 65, 53,
     kVScroll | kHidden},
    {SystemVersionIds::kAutoSleepSet, ControlKind::PushButton, "Set", 181, 69, 40, 14, kHidden},
    {-1, ControlKind::StaticText, "Clock Mode", 135, 29, 37, 8, kHidden},
    {SystemVersionIds::kClockModeList, ControlKind::ComboDropDown, "", 90, 40, 85, 30,
     kVScroll | kHidden},
    {SystemVersionIds::kClockModeSet, ControlKind::PushButton, "Set", 181, 39, 40, 14, kHidden},
    {kIdOk, ControlKind::PushButton, "OK", 0, 0, 50, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 0, 0, 50, 14, kHidden},
};

inline constexpr DialogTemplate kSystemVersionDialogTemplate{
    200, "System", 223, 94, "MS Shell Dlg", 8, kSystemVersionDialogControls};

}  // namespace kestrow::ui
