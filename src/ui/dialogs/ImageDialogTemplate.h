// Dialog template 203: the Image dialog (ImageDialog). Number rows: label, "<", trackbar, ">",
// edit, Apply; choice rows: label, list, Apply.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

inline constexpr uint32_t kImageEdit = kDigitsOnly | kBorder;

// The controls' ids by role; OK and Cancel are kIdOk and kIdCancel (MessageBox.h).
struct ImageIds {
    static constexpr int kContrastDown = 1024;
    static constexpr int kContrastTrackbar = 1027;
    static constexpr int kContrastUp = 1017;
    static constexpr int kContrastEdit = 1008;
    static constexpr int kContrastApply = 1002;
    static constexpr int kBrightnessDown = 1026;
    static constexpr int kBrightnessTrackbar = 1028;
    static constexpr int kBrightnessUp = 1018;
    static constexpr int kBrightnessEdit = 1021;
    static constexpr int kBrightnessApply = 1003;
    static constexpr int kSaturationDown = 1032;
    static constexpr int kSaturationTrackbar = 1029;
    static constexpr int kSaturationUp = 1019;
    static constexpr int kSaturationEdit = 1023;
    static constexpr int kSaturationApply = 1004;
    static constexpr int kHueDown = 1034;
    static constexpr int kHueTrackbar = 1030;
    static constexpr int kHueUp = 1020;
    static constexpr int kHueEdit = 1025;
    static constexpr int kHueApply = 1009;
    static constexpr int kBwExtensionList = 1005;
    static constexpr int kBwExtensionApply = 1010;
    static constexpr int kColorToneList = 1006;
    static constexpr int kColorToneApply = 1011;
    static constexpr int kEdgeEnhanceList = 1007;
    static constexpr int kEdgeEnhanceApply = 1012;
    static constexpr int kSharpnessDown = 1035;
    static constexpr int kSharpnessTrackbar = 1033;
    static constexpr int kSharpnessUp = 1022;
    static constexpr int kSharpnessEdit = 1031;
    static constexpr int kSharpnessApply = 1013;
};

inline constexpr ControlTemplate kImageDialogControls[] = {
    {-1, ControlKind::StaticText, "Contrast (0~255)", 19, 8, 73, 8},
    {ImageIds::kContrastDown, ControlKind::PushButton, "<", 93, 5, 13, 14},
    {ImageIds::kContrastTrackbar, ControlKind::Trackbar, "", 106, 5, 59, 14, kNoTicks},
    {ImageIds::kContrastUp, ControlKind::PushButton, ">", 166, 5, 13, 14},
    {ImageIds::kContrastEdit, ControlKind::Edit, "", 181, 5, 35, 14, kImageEdit},
    {ImageIds::kContrastApply, ControlKind::PushButton, "Apply", 222, 5, 36, 14},

    {-1, ControlKind::StaticText, "Brightness (0~255)", 19, 28, 73, 8},
    {ImageIds::kBrightnessDown, ControlKind::PushButton, "<", 93, 25, 13, 14},
    {ImageIds::kBrightnessTrackbar, ControlKind::Trackbar, "", 106, 25, 59, 14, kNoTicks},
    {ImageIds::kBrightnessUp, ControlKind::PushButton, ">", 166, 25, 13, 14},
    {ImageIds::kBrightnessEdit, ControlKind::Edit, "", 181, 25, 35, 14, kImageEdit},
    {ImageIds::kBrightnessApply, ControlKind::PushButton, "Apply", 222, 25, 36, 14},

    {-1, ControlKind::StaticText, "Saturation (0~255)", 19, 48, 73, 8},
    {ImageIds::kSaturationDown, ControlKind::PushButton, "<", 93, 45, 13, 14},
    {ImageIds::kSaturationTrackbar, ControlKind::Trackbar, "", 106, 45, 59, 14, kNoTicks},
    {ImageIds::kSaturationUp, ControlKind::PushButton, ">", 166, 45, 13, 14},
    {ImageIds::kSaturationEdit, ControlKind::Edit, "", 181, 45, 35, 14, kImageEdit},
    {ImageIds::kSaturationApply, ControlKind::PushButton, "Apply", 222, 45, 36, 14},

    {-1, ControlKind::StaticText, "Hue (0~255)", 19, 68, 73, 8},
    {ImageIds::kHueDown, ControlKind::PushButton, "<", 93, 65, 13, 14},
    {ImageIds::kHueTrackbar, ControlKind::Trackbar, "", 106, 65, 59, 14, kNoTicks},
    {ImageIds::kHueUp, ControlKind::PushButton, ">", 166, 65, 13, 14},
    {ImageIds::kHueEdit, ControlKind::Edit, "", 181, 65, 35, 14, kImageEdit},
    {ImageIds::kHueApply, ControlKind::PushButton, "Apply", 222, 65, 36, 14},

    {-1, ControlKind::StaticText, "B/W Extension", 19, 88, 84, 8},
    {ImageIds::kBwExtensionList, ControlKind::ComboDropDown, "", 104, 85, 62, 40, kVScroll},
    {ImageIds::kBwExtensionApply, ControlKind::PushButton, "Apply", 222, 85, 36, 14},

    {-1, ControlKind::StaticText, "Color Tone", 19, 106, 84, 8},
    {ImageIds::kColorToneList, ControlKind::ComboDropDown, "", 104, 103, 62, 48, kVScroll},
    {ImageIds::kColorToneApply, ControlKind::PushButton, "Apply", 222, 103, 36, 14},

    {-1, ControlKind::StaticText, "Edge Enhance", 19, 125, 84, 8},
    {ImageIds::kEdgeEnhanceList, ControlKind::ComboDropDown, "", 104, 122, 62, 56, kVScroll},
    {ImageIds::kEdgeEnhanceApply, ControlKind::PushButton, "Apply", 222, 122, 36, 14},

    {-1, ControlKind::StaticText, "Sharpness (0~127)", 19, 142, 73, 8},
    {ImageIds::kSharpnessDown, ControlKind::PushButton, "<", 93, 139, 13, 14},
    {ImageIds::kSharpnessTrackbar, ControlKind::Trackbar, "", 106, 139, 59, 14, kNoTicks},
    {ImageIds::kSharpnessUp, ControlKind::PushButton, ">", 166, 139, 13, 14},
    {ImageIds::kSharpnessEdit, ControlKind::Edit, "", 181, 139, 35, 14, kImageEdit},
    {ImageIds::kSharpnessApply, ControlKind::PushButton, "Apply", 222, 139, 36, 14},

    {kIdOk, ControlKind::PushButton, "OK", 7, 150, 50, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 61, 150, 50, 14, kHidden},
};

inline constexpr DialogTemplate kImageDialogTemplate{
    203, "Image", 262, 167, "MS Shell Dlg", 8, kImageDialogControls};

}  // namespace kestrow::ui
