// Dialog template 129: the main window. Laid out on the fixed grid of its 800 x 500 skin
// (x * 7 / 4, y * 15 / 8 pixels), so every control sits on its place in picture 136; its texts
// and port list in the skin's colours; icon 128; a context menu for the settings files.
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

// The controls' ids by role.
struct MainWindowIds {
    static constexpr int kPortCombo = 1005;
    static constexpr int kInputPortText = 1028;
    static constexpr int kInputTimingText = 1026;
    static constexpr int kOutputPortText = 1029;
    static constexpr int kOutputResolutionText = 1027;
    static constexpr int kOutputSetupButton = 1006;
    static constexpr int kImageButton = 1007;
    static constexpr int kAdjustmentButton = 1008;
    static constexpr int kSystemButton = 1009;
    static constexpr int kAspectRatioButton = 1010;
    static constexpr int kFreezeButton = 1012;
    static constexpr int kBlankButton = 1013;
    static constexpr int k1080p60Button = 1014;
    static constexpr int k1080i60Button = 1015;
    static constexpr int k720p60Button = 1017;
    static constexpr int k480p60Button = 1018;
    static constexpr int kRefreshButton = 1025;
    static constexpr int kSearchPortsButton = 1032;
    static constexpr int kEnhancementButton = 1011;
    static constexpr int kInOutModeButton = 1016;
    static constexpr int kFactoryResetButton = 1019;
    // Context menu commands.
    static constexpr int kSaveSettings = 40001;
    static constexpr int kLoadSettings = 40002;
};

inline constexpr ControlTemplate kMainWindowControls[] = {
    {MainWindowIds::kPortCombo, ControlKind::ComboDropDown, "", 324, 20, 106, 72, kVScroll},
    {MainWindowIds::kInputPortText, ControlKind::StaticText, "", 26, 137, 43, 9},
    {MainWindowIds::kInputTimingText, ControlKind::StaticText, "Please click refresh button", 94,
     138, 87, 8},
    {MainWindowIds::kOutputPortText, ControlKind::StaticText, "", 26, 187, 43, 9},
    {MainWindowIds::kOutputResolutionText, ControlKind::StaticText, "Please click refresh button",
     94, 187, 87, 8},
    {MainWindowIds::kOutputSetupButton, ControlKind::Picture, "Output Setup", 8, 61, 103, 25,
     kNoFlags, 149},
    {MainWindowIds::kImageButton, ControlKind::Picture, "Image", 121, 61, 102, 25, kNoFlags, 147},
    {MainWindowIds::kAdjustmentButton, ControlKind::Picture, "Adjustment", 236, 61, 102, 25,
     kNoFlags, 141},
    {MainWindowIds::kSystemButton, ControlKind::Picture, "System", 349, 61, 102, 25, kNoFlags, 152},
    {MainWindowIds::kAspectRatioButton, ControlKind::Picture, "Aspect Ratio", 236, 123, 58, 29,
     kNoFlags, 142},
    {MainWindowIds::kFreezeButton, ControlKind::Picture, "Freeze", 306, 123, 58, 29, kNoFlags, 146},
    {MainWindowIds::kBlankButton, ControlKind::Picture, "Blank", 376, 123, 58, 29, kNoFlags, 143},
    {MainWindowIds::k1080p60Button, ControlKind::Picture, "1080p60", 272, 164, 58, 29, kNoFlags,
     140},
    {MainWindowIds::k1080i60Button, ControlKind::Picture, "1080i60", 343, 164, 58, 29, kNoFlags,
     139},
    {MainWindowIds::k720p60Button, ControlKind::Picture, "720p60", 272, 203, 58, 29, kNoFlags, 138},
    {MainWindowIds::k480p60Button, ControlKind::Picture, "480p60", 343, 203, 58, 29, kNoFlags, 137},
    {MainWindowIds::kRefreshButton, ControlKind::Picture, "Refresh", 108, 231, 70, 12, kNoFlags,
     150},
    {MainWindowIds::kSearchPortsButton, ControlKind::Picture, "Search ports", 437, 18, 17, 15,
     kNoFlags, 162},
    {MainWindowIds::kEnhancementButton, ControlKind::PushButton, "Enhancement", 114, 18, 62, 14,
     kHidden},
    {MainWindowIds::kInOutModeButton, ControlKind::PushButton, "In/Out mode", 190, 18, 67, 14,
     kHidden},
    {MainWindowIds::kFactoryResetButton, ControlKind::PushButton, "Factory Reset", 403, 255, 55, 13,
     kHidden},
    {-1, ControlKind::StaticText, "", 26, 210, 42, 9, kHidden},
    {-1, ControlKind::StaticText, "", 94, 210, 60, 8, kHidden},
};

inline constexpr MenuCommand kMainWindowMenu[] = {
    {MainWindowIds::kSaveSettings, "Save settings...", 'S', kCtrl},
    {MainWindowIds::kLoadSettings, "Load settings...", 'O', kCtrl},
};

// A dark field with light text, the skin's blue for the chosen entry.
inline constexpr SkinColours kMainWindowSkin{0x101317, 0x2e3238, 0xeef2f7, 0x1565c0, 0xffffff};

inline constexpr DialogTemplate kMainWindowTemplate{.id = 129,
                                                    .caption = "Kestrow",
                                                    .width = 459,
                                                    .height = 268,
                                                    .fontFamily = "Microsoft Sans Serif",
                                                    .fontPointSize = 9,
                                                    .controls = kMainWindowControls,
                                                    .fixedBaseUnits = {7, 15},
                                                    .minimizeBox = true,
                                                    .icon = 128,
                                                    .background = 136,
                                                    .skin = &kMainWindowSkin,
                                                    .contextMenu = kMainWindowMenu};

}  // namespace kestrow::ui
