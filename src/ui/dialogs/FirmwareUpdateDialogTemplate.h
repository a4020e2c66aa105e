// Dialog template 207: the Firmware Update dialog (FirmwareUpdateDialog).
#pragma once

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

// The controls' ids by role; OK and Cancel are kIdOk and kIdCancel (MessageBox.h).
struct FirmwareUpdateIds {
    static constexpr int kLoadFileButton = 1004;
    static constexpr int kBurnButton = 1010;
    static constexpr int kHiddenCancelButton = 1003;
    static constexpr int kStatusText = 1031;
    static constexpr int kFileSizeText = 1014;
    static constexpr int kInstructionsEdit = 1008;
    static constexpr int kProgressBar = 1009;
};

inline constexpr ControlTemplate kFirmwareUpdateDialogControls[] = {
    {FirmwareUpdateIds::kLoadFileButton, ControlKind::PushButton, "Load File", 19, 17, 50, 14},
    {FirmwareUpdateIds::kBurnButton, ControlKind::PushButton, "Burn", 73, 18, 50, 14},
    {FirmwareUpdateIds::kHiddenCancelButton, ControlKind::PushButton, "Cancel", 128, 18, 50, 14,
     kHidden},
    {FirmwareUpdateIds::kStatusText, ControlKind::StaticText, "", 22, 40, 156, 8},
    {-1, ControlKind::StaticText, "File Size:", 183, 39, 29, 8},
    {FirmwareUpdateIds::kFileSizeText, ControlKind::StaticText, "", 220, 39, 44, 8},
    {FirmwareUpdateIds::kInstructionsEdit, ControlKind::Edit, "", 19, 53, 245, 77,
     kMultiLine | kReadOnly | kVScroll | kBorder},
    {FirmwareUpdateIds::kProgressBar, ControlKind::ProgressBar, "", 19, 136, 245, 14, kBorder},
    {kIdOk, ControlKind::PushButton, "OK", 217, 6, 50, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 182, 4, 50, 14, kHidden},
};

inline constexpr DialogTemplate kFirmwareUpdateDialogTemplate{
    207, "Firmware Update", 271, 154, "MS Shell Dlg", 8, kFirmwareUpdateDialogControls};

}  // namespace kestrow::ui
