// Dialog template 129: the main window. Laid out on the fixed grid of its 800 x 500 skin
// (x * 7 / 4, y * 15 / 8 pixels), so every control sits on its place in picture 136.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

inline constexpr ControlTemplate kMainWindowControls[] = {
    {1005, ControlKind::ComboDropDown, "", 324, 20, 106, 72, kVScroll},
    {1028, ControlKind::StaticText, "", 26, 137, 43, 9},
    {1026, ControlKind::StaticText, "Please click refresh button", 94, 138, 87, 8},
    {1029, ControlKind::StaticText, "", 26, 187, 43, 9},
    {1027, ControlKind::StaticText, "Please click refresh button", 94, 187, 87, 8},
    {1006, ControlKind::Picture, "Output Setup", 8, 61, 103, 25, kNoFlags, 149},
    {1007, ControlKind::Picture, "Image", 121, 61, 102, 25, kNoFlags, 147},
    {1008, ControlKind::Picture, "Adjustment", 236, 61, 102, 25, kNoFlags, 141},
    {1009, ControlKind::Picture, "System", 349, 61, 102, 25, kNoFlags, 152},
    {1010, ControlKind::Picture, "Aspect Ratio", 236, 123, 58, 29, kNoFlags, 142},
    {1012, ControlKind::Picture, "Freeze", 306, 123, 58, 29, kNoFlags, 146},
    {1013, ControlKind::Picture, "Blank", 376, 123, 58, 29, kNoFlags, 143},
    {1014, ControlKind::Picture, "1080p60", 272, 164, 58, 29, kNoFlags, 140},
    {1015, ControlKind::Picture, "1080i60", 343, 164, 58, 29, kNoFlags, 139},
    {1017, ControlKind::Picture, "720p60", 272, 203, 58, 29, kNoFlags, 138},
    {1018, ControlKind::Picture, "480p60", 343, 203, 58, 29, kNoFlags, 137},
    {1025, ControlKind::Picture, "Refresh", 108, 231, 70, 12, kNoFlags, 150},
    {1032, ControlKind::Picture, "Search ports", 437, 18, 17, 15, kNoFlags, 162},
    {1011, ControlKind::PushButton, "Enhancement", 114, 18, 62, 14, kHidden},
    {1016, ControlKind::PushButton, "In/Out mode", 190, 18, 67, 14, kHidden},
    {1019, ControlKind::PushButton, "Factory Reset", 403, 255, 55, 13, kHidden},
    {-1, ControlKind::StaticText, "", 26, 210, 42, 9, kHidden},
    {-1, ControlKind::StaticText, "", 94, 210, 60, 8, kHidden},
};

inline constexpr DialogTemplate kMainWindowTemplate{
    129, "Kestrow", 459, 268, "Microsoft Sans Serif", 9, kMainWindowControls, {7, 15}, true};

}  // namespace kestrow::ui
