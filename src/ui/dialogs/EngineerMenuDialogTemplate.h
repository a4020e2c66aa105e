// Dialog template 206: the Engineer Menu (EngineerMenuDialog). Noise reduction on the left,
// deinterlacing on the right in two columns; every list is a drop-down combo with an edit field.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

inline constexpr uint32_t kEngineerList = kVScroll;

// The controls' ids by role; OK and Cancel are kIdOk and kIdCancel (MessageBox.h).
struct EngineerMenuIds {
    static constexpr int k3dnrSetList = 1005;
    static constexpr int k3dnrLevelEdit = 1034;
    static constexpr int kMosquitoNrList = 1006;
    static constexpr int kVd3dCombList = 1007;
    static constexpr int kCrossColorList = 1008;
    static constexpr int kDeintModeList = 1009;
    static constexpr int kEdgeAngleList = 1010;
    static constexpr int kMotionBorderList = 1011;
    static constexpr int kFastMotionList = 1012;
    static constexpr int kSlowMotionList = 1014;
    static constexpr int kZoomArtifactList = 1015;
    static constexpr int kNoiseRobustList = 1016;
    static constexpr int kFilmModeList = 1017;
    static constexpr int kFilmBadEditList = 1018;
    static constexpr int kInterAreaSetList = 1019;
};

inline constexpr ControlTemplate kEngineerMenuDialogControls[] = {
    {-1, ControlKind::GroupBox, "Noise Reduce", 7, 7, 138, 175},
    {-1, ControlKind::StaticText, "3DNR Set", 15, 30, 72, 8},
    {EngineerMenuIds::k3dnrSetList, ControlKind::ComboDropDown, "", 89, 27, 48, 60, kEngineerList},
    {-1, ControlKind::StaticText, "3DNR Level (0~60)", 15, 62, 72, 8},
    {EngineerMenuIds::k3dnrLevelEdit, ControlKind::Edit, "", 89, 59, 48, 14, kBorder},
    {-1, ControlKind::StaticText, "Mosquito NR", 15, 94, 72, 8},
    {EngineerMenuIds::kMosquitoNrList, ControlKind::ComboDropDown, "", 89, 91, 48, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "V/D 3D Comb", 15, 126, 72, 8},
    {EngineerMenuIds::kVd3dCombList, ControlKind::ComboDropDown, "", 89, 123, 48, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Cross Color", 15, 158, 72, 8},
    {EngineerMenuIds::kCrossColorList, ControlKind::ComboDropDown, "", 89, 155, 48, 60,
     kEngineerList},

    {-1, ControlKind::GroupBox, "Deinterlace", 152, 7, 270, 175},
    {-1, ControlKind::StaticText, "Deint Mode", 160, 30, 62, 8},
    {EngineerMenuIds::kDeintModeList, ControlKind::ComboDropDown, "", 224, 27, 56, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Edge Angle", 160, 62, 62, 8},
    {EngineerMenuIds::kEdgeAngleList, ControlKind::ComboDropDown, "", 224, 59, 56, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Motion Border", 160, 94, 62, 8},
    {EngineerMenuIds::kMotionBorderList, ControlKind::ComboDropDown, "", 224, 91, 56, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Fast Motion", 160, 126, 62, 8},
    {EngineerMenuIds::kFastMotionList, ControlKind::ComboDropDown, "", 224, 123, 56, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Slow Motion", 160, 158, 62, 8},
    {EngineerMenuIds::kSlowMotionList, ControlKind::ComboDropDown, "", 224, 155, 56, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Zoom Artifact", 292, 30, 62, 8},
    {EngineerMenuIds::kZoomArtifactList, ControlKind::ComboDropDown, "", 356, 27, 56, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Noise Robust", 292, 62, 62, 8},
    {EngineerMenuIds::kNoiseRobustList, ControlKind::ComboDropDown, "", 356, 59, 56, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Film Mode", 292, 94, 62, 8},
    {EngineerMenuIds::kFilmModeList, ControlKind::ComboDropDown, "", 356, 91, 56, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Film Bad Edit", 292, 126, 62, 8},
    {EngineerMenuIds::kFilmBadEditList, ControlKind::ComboDropDown, "", 356, 123, 56, 60,
     kEngineerList},
    {-1, ControlKind::StaticText, "Inter Area Set", 292, 158, 62, 8},
    {EngineerMenuIds::kInterAreaSetList, ControlKind::ComboDropDown, "", 356, 155, 56, 60,
     kEngineerList},

    {kIdOk, ControlKind::PushButton, "OK", 318, 184, 50, 10, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 372, 184, 50, 10, kHidden},
};

inline constexpr DialogTemplate kEngineerMenuDialogTemplate{
    206, "Engineer Menu", 429, 196, "MS Shell Dlg", 8, kEngineerMenuDialogControls};

}  // namespace kestrow::ui
