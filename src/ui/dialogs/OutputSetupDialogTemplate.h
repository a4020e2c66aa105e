// Dialog template 204: the Output Setup dialog (OutputSetupDialog). One row per setting: label,
// list, Apply. The audio rows' labels carry ids so that they hide with their rows.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

// The controls' ids by role; OK and Cancel are kIdOk and kIdCancel (MessageBox.h).
struct OutputSetupIds {
    static constexpr int kOutputResolutionList = 1005;
    static constexpr int kOutputResolutionApply = 1002;
    static constexpr int kOutputModeList = 1006;
    static constexpr int kOutputModeApply = 1003;
    static constexpr int kDefaultPatternList = 1007;
    static constexpr int kDefaultPatternApply = 1004;
    static constexpr int kAudioSourceLabel = 1030;
    static constexpr int kAudioSourceList = 1008;
    static constexpr int kAudioSourceApply = 1009;
    static constexpr int kEdidAudioChLabel = 1031;
    static constexpr int kEdidAudioChList = 1010;
    static constexpr int kEdidAudioChApply = 1011;
};

inline constexpr ControlTemplate kOutputSetupDialogControls[] = {
    {-1, ControlKind::StaticText, "Output Resolution", 20, 21, 72, 8},
    {OutputSetupIds::kOutputResolutionList, ControlKind::ComboDropDown, "", 94, 18, 84, 120,
     kVScroll},
    {OutputSetupIds::kOutputResolutionApply, ControlKind::PushButton, "Apply", 188, 18, 39, 14},

    {-1, ControlKind::StaticText, "Output Mode", 20, 41, 72, 8},
    {OutputSetupIds::kOutputModeList, ControlKind::ComboDropDown, "", 94, 38, 84, 48, kVScroll},
    {OutputSetupIds::kOutputModeApply, ControlKind::PushButton, "Apply", 188, 38, 39, 14},

    {-1, ControlKind::StaticText, "Default Pattern", 20, 60, 72, 8},
    {OutputSetupIds::kDefaultPatternList, ControlKind::ComboDropDown, "", 94, 57, 84, 100,
     kVScroll},
    {OutputSetupIds::kDefaultPatternApply, ControlKind::PushButton, "Apply", 188, 57, 39, 14},

    {OutputSetupIds::kAudioSourceLabel, ControlKind::StaticText, "Audio Source", 20, 79, 72, 8},
    {OutputSetupIds::kAudioSourceList, ControlKind::ComboDropDown, "", 94, 76, 84, 40, kVScroll},
    {OutputSetupIds::kAudioSourceApply, ControlKind::PushButton, "Apply", 188, 76, 39, 14},

    {OutputSetupIds::kEdidAudioChLabel, ControlKind::StaticText, "EDID Audio Ch#", 20, 98, 72, 8},
    {OutputSetupIds::kEdidAudioChList, ControlKind::ComboDropDown, "", 94, 95, 84, 40, kVScroll},
    {OutputSetupIds::kEdidAudioChApply, ControlKind::PushButton, "Apply", 188, 95, 39, 14},

    {kIdOk, ControlKind::PushButton, "OK", 7, 104, 50, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 200, 104, 50, 14, kHidden},
};

inline constexpr DialogTemplate kOutputSetupDialogTemplate{
    204, "Output Setup", 257, 121, "MS Shell Dlg", 8, kOutputSetupDialogControls};

}  // namespace kestrow::ui
