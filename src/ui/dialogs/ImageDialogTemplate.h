// Dialog template 203: the Image dialog (ImageDialog). Number rows: label, "<", trackbar, ">",
// edit, Apply; choice rows: label, list, Apply.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

inline constexpr uint32_t kImageEdit = kDigitsOnly | kBorder;

inline constexpr ControlTemplate kImageDialogControls[] = {
    {-1, ControlKind::StaticText, "Contrast (0~255)", 19, 8, 73, 8},
    {1024, ControlKind::PushButton, "<", 93, 5, 13, 14},
    {1027, ControlKind::Trackbar, "", 106, 5, 59, 14, kNoTicks},
    {1017, ControlKind::PushButton, ">", 166, 5, 13, 14},
    {1008, ControlKind::Edit, "", 181, 5, 35, 14, kImageEdit},
    {1002, ControlKind::PushButton, "Apply", 222, 5, 36, 14},

    {-1, ControlKind::StaticText, "Brightness (0~255)", 19, 28, 73, 8},
    {1026, ControlKind::PushButton, "<", 93, 25, 13, 14},
    {1028, ControlKind::Trackbar, "", 106, 25, 59, 14, kNoTicks},
    {1018, ControlKind::PushButton, ">", 166, 25, 13, 14},
    {1021, ControlKind::Edit, "", 181, 25, 35, 14, kImageEdit},
    {1003, ControlKind::PushButton, "Apply", 222, 25, 36, 14},

    {-1, ControlKind::StaticText, "Saturation (0~255)", 19, 48, 73, 8},
    {1032, ControlKind::PushButton, "<", 93, 45, 13, 14},
    {1029, ControlKind::Trackbar, "", 106, 45, 59, 14, kNoTicks},
    {1019, ControlKind::PushButton, ">", 166, 45, 13, 14},
    {1023, ControlKind::Edit, "", 181, 45, 35, 14, kImageEdit},
    {1004, ControlKind::PushButton, "Apply", 222, 45, 36, 14},

    {-1, ControlKind::StaticText, "Hue (0~255)", 19, 68, 73, 8},
    {1034, ControlKind::PushButton, "<", 93, 65, 13, 14},
    {1030, ControlKind::Trackbar, "", 106, 65, 59, 14, kNoTicks},
    {1020, ControlKind::PushButton, ">", 166, 65, 13, 14},
    {1025, ControlKind::Edit, "", 181, 65, 35, 14, kImageEdit},
    {1009, ControlKind::PushButton, "Apply", 222, 65, 36, 14},

    {-1, ControlKind::StaticText, "B/W Extension", 19, 88, 84, 8},
    {1005, ControlKind::ComboDropDown, "", 104, 85, 62, 40, kVScroll},
    {1010, ControlKind::PushButton, "Apply", 222, 85, 36, 14},

    {-1, ControlKind::StaticText, "Color Tone", 19, 106, 84, 8},
    {1006, ControlKind::ComboDropDown, "", 104, 103, 62, 48, kVScroll},
    {1011, ControlKind::PushButton, "Apply", 222, 103, 36, 14},

    {-1, ControlKind::StaticText, "Edge Enhance", 19, 125, 84, 8},
    {1007, ControlKind::ComboDropDown, "", 104, 122, 62, 56, kVScroll},
    {1012, ControlKind::PushButton, "Apply", 222, 122, 36, 14},

    {-1, ControlKind::StaticText, "Sharpness (0~127)", 19, 142, 73, 8},
    {1035, ControlKind::PushButton, "<", 93, 139, 13, 14},
    {1033, ControlKind::Trackbar, "", 106, 139, 59, 14, kNoTicks},
    {1022, ControlKind::PushButton, ">", 166, 139, 13, 14},
    {1031, ControlKind::Edit, "", 181, 139, 35, 14, kImageEdit},
    {1013, ControlKind::PushButton, "Apply", 222, 139, 36, 14},

    {1, ControlKind::PushButton, "OK", 7, 150, 50, 14, kDefault | kHidden},
    {2, ControlKind::PushButton, "Cancel", 61, 150, 50, 14, kHidden},
};

inline constexpr DialogTemplate kImageDialogTemplate{
    203, "Image", 262, 167, "MS Shell Dlg", 8, kImageDialogControls};

}  // namespace kestrow::ui
