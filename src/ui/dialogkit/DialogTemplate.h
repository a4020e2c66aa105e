// Dialog templates as data: a dialog is a caption, a size, a font and a table of controls, each
// with its id, kind, text and place in dialog units; a skinned window adds its pictures, colours
// and context menu. Dialog (Dialog.h) builds the window from it.
// Each template names its controls' ids in a struct beside the table; the window and its tests
// use those names.
//
//   struct MyIds {
//       static constexpr int kLoadFileButton = 1004;
//   };
//   inline constexpr ControlTemplate kMyControls[] = {
//       {MyIds::kLoadFileButton, ControlKind::PushButton, "Load File", 19, 17, 50, 14},
//       {kIdOk, ControlKind::PushButton, "OK", 217, 6, 50, 14, kDefault | kHidden},
//   };
//   inline constexpr DialogTemplate kMyTemplate{207, "Firmware Update", 271, 154,
//                                                "MS Shell Dlg", 8, kMyControls};
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kestrow::ui {

enum class ControlKind : uint8_t {
    PushButton,     // a click is command `id`
    StaticText,     // text, wrapped at the control's width
    Edit,           // one line, or several with kMultiLine
    ComboDropDown,  // drop-down combo box with an edit field
    ComboList,      // drop-down list without edit field
    Trackbar,       // slider, horizontal unless kVertical; tells its position (MapNotifications)
    ProgressBar,    // without text
    RadioButton,    // automatic radio button; a click is command `id`
    CheckBox,       // automatic check box; a click is command `id`
    GroupBox,       // a frame with a title; holds no children
    Picture,        // shows picture `picture` (Pictures.h); a click is command `id`
};

// Control style flags; combine with |.
enum ControlFlag : uint32_t {
    kNoFlags = 0,
    kHidden = 1u << 0,      // built but never shown
    kDefault = 1u << 1,     // the dialog's default push button (Enter gives its command)
    kDigitsOnly = 1u << 2,  // edit accepts only the digits 0-9 from the keyboard
    kMultiLine = 1u << 3,   // edit with several lines
    kReadOnly = 1u << 4,    // edit the operator cannot change
    kVScroll = 1u << 5,     // vertical scroll bar (multi-line edit)
    kBorder = 1u << 6,      // framed edit/static/progress bar
    kDisabled = 1u << 7,    // starts disabled
    kVertical = 1u << 8,    // vertical trackbar
    kNoTicks = 1u << 9,     // trackbar without tick marks
};

struct ControlTemplate {
    int id = 0;  // 0 or negative: a control without id (never looked up)
    ControlKind kind = ControlKind::StaticText;
    std::string_view text;  // UTF-8 caption, initial text, or group title
    int x = 0;              // position and size in dialog units
    int y = 0;
    int w = 0;
    int h = 0;
    uint32_t flags = kNoFlags;
    int picture = 0;  // Picture: the picture id (Pictures.h)
};

// Fixed base units that replace the font's: pixels = x * baseX / 4, y * baseY / 8.
struct BaseUnits {
    int x = 0;
    int y = 0;
};

// Colours as 0xRRGGBB.
struct SkinColours {
    uint32_t field = 0;           // the lists' fields and dropped lists
    uint32_t face = 0;            // the lists' buttons
    uint32_t ink = 0;             // the text of static texts and lists
    uint32_t highlight = 0;       // a list's chosen entry
    uint32_t highlightedInk = 0;  // its text
};

enum KeyModifier : uint8_t { kNoModifier = 0, kCtrl = 1u << 0, kShift = 1u << 1, kAlt = 1u << 2 };

// An entry of a window's context menu; its key (with the modifiers) gives the same command
// anywhere in the window.
struct MenuCommand {
    int id = 0;  // the command, routed by the message map like a control's
    std::string_view text;
    char key = 0;  // 'A' to 'Z'; 0: none
    uint8_t modifiers = kNoModifier;
};

struct DialogTemplate {
    int id = 0;  // template number, e.g. 129 or 207
    std::string_view caption;
    int width = 0;  // in dialog units
    int height = 0;
    std::string_view fontFamily;  // "MS Shell Dlg" etc.; mapped to the desktop's sans font
    int fontPointSize = 8;
    std::span<const ControlTemplate> controls;
    BaseUnits fixedBaseUnits{};  // {0,0}: base units from the font
    bool minimizeBox = false;
    int icon = 0;                       // picture shown as the window's icon; 0: none of its own
    int background = 0;                 // picture over the whole client area; 0: the plain face
    const SkinColours* skin = nullptr;  // colours of the static texts and lists on the background
    std::span<const MenuCommand> contextMenu{};  // a right click's menu; empty: none
};

}  // namespace kestrow::ui
