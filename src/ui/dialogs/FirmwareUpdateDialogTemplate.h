// Dialog template 207: the Firmware Update dialog (FirmwareUpdateDialog).
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

inline constexpr ControlTemplate kFirmwareUpdateDialogControls[] = {
    {1004, ControlKind::PushButton, "Load File", 19, 17, 50, 14},
    {1010, ControlKind::PushButton, "Burn", 73, 18, 50, 14},
    {1003, ControlKind::PushButton, "Cancel", 128, 18, 50, 14, kHidden},
    {1031, ControlKind::StaticText, "", 22, 40, 156, 8},
    {-1, ControlKind::StaticText, "File Size:", 183, 39, 29, 8},
    {1014, ControlKind::StaticText, "", 220, 39, 44, 8},
    {1008, ControlKind::Edit, "", 19, 53, 245, 77, kMultiLine | kReadOnly | kVScroll | kBorder},
    {1009, ControlKind::ProgressBar, "", 19, 136, 245, 14, kBorder},
    {1, ControlKind::PushButton, "OK", 217, 6, 50, 14, kDefault | kHidden},
    {2, ControlKind::PushButton, "Cancel", 182, 4, 50, 14, kHidden},
};

inline constexpr DialogTemplate kFirmwareUpdateDialogTemplate{
    207, "Firmware Update", 271, 154, "MS Shell Dlg", 8, kFirmwareUpdateDialogControls};

}  // namespace kestrow::ui
