// How the kit's data maps onto the numbers of the Windows dialog manager: window and control
// styles, the classes of the controls, which WM_COMMAND is a command, accelerators, menu and
// message box flags, file dialog filters, and the skin's scales and bitmap resources.
// Plain C++ with the Windows SDK's values written out, so that the mapping is checked on every
// platform; the Win32 realisation checks the values against <windows.h>.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/FileDialog.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui::win {

// Window styles (WS_*, DS_*), extended styles (WS_EX_*) and control styles (BS_*, SS_*, ES_*,
// CBS_*, TBS_*), as winuser.h and commctrl.h define them.
inline constexpr uint32_t kWsPopup = 0x80000000;
inline constexpr uint32_t kWsChild = 0x40000000;
inline constexpr uint32_t kWsVisible = 0x10000000;
inline constexpr uint32_t kWsDisabled = 0x08000000;
inline constexpr uint32_t kWsCaption = 0x00C00000;
inline constexpr uint32_t kWsBorder = 0x00800000;
inline constexpr uint32_t kWsVScroll = 0x00200000;
inline constexpr uint32_t kWsSysMenu = 0x00080000;
inline constexpr uint32_t kWsGroup = 0x00020000;
inline constexpr uint32_t kWsMinimizeBox = 0x00020000;
inline constexpr uint32_t kWsTabStop = 0x00010000;
inline constexpr uint32_t kDsModalFrame = 0x80;
inline constexpr uint32_t kDsSetFont = 0x40;
inline constexpr uint32_t kDsFixedSys = 0x08;
inline constexpr uint32_t kWsExClientEdge = 0x200;
inline constexpr uint32_t kBsPushButton = 0x0;
inline constexpr uint32_t kBsDefPushButton = 0x1;
inline constexpr uint32_t kBsAutoCheckBox = 0x3;
inline constexpr uint32_t kBsGroupBox = 0x7;
inline constexpr uint32_t kBsAutoRadioButton = 0x9;
inline constexpr uint32_t kSsOwnerDraw = 0xD;
inline constexpr uint32_t kSsNoPrefix = 0x80;
inline constexpr uint32_t kSsNotify = 0x100;
inline constexpr uint32_t kEsMultiLine = 0x4;
inline constexpr uint32_t kEsAutoVScroll = 0x40;
inline constexpr uint32_t kEsAutoHScroll = 0x80;
inline constexpr uint32_t kEsReadOnly = 0x800;
inline constexpr uint32_t kEsNumber = 0x2000;
inline constexpr uint32_t kCbsDropDown = 0x2;
inline constexpr uint32_t kCbsDropDownList = 0x3;
inline constexpr uint32_t kCbsAutoHScroll = 0x40;
inline constexpr uint32_t kTbsAutoTicks = 0x1;
inline constexpr uint32_t kTbsVert = 0x2;
inline constexpr uint32_t kTbsNoTicks = 0x10;

// The predefined classes a template names by atom; the common controls by name.
inline constexpr uint16_t kButtonAtom = 0x80;
inline constexpr uint16_t kEditAtom = 0x81;
inline constexpr uint16_t kStaticAtom = 0x82;
inline constexpr uint16_t kComboBoxAtom = 0x85;
inline constexpr std::u16string_view kTrackbarClass = u"msctls_trackbar32";
inline constexpr std::u16string_view kProgressClass = u"msctls_progress32";

// A control's class and styles in the template.
struct ItemStyle {
    uint16_t atom = 0;                // a predefined class; 0: by name
    std::u16string_view className{};  // the common control's class when atom is 0
    uint32_t style = 0;
    uint32_t exStyle = 0;
};

// The class and styles of `c`; `previous` is the control before it in the template (null for
// the first), which decides whether a radio button starts a group.
[[nodiscard]] ItemStyle ItemStyleOf(const ControlTemplate& c, const ControlTemplate* previous);

// The dialog's own style: a popup with caption, system menu and modal frame, its font set
// (the shell's dialog font for "MS Shell Dlg"), a minimise box when the template asks for one.
// Hidden at first: the kit shows a modeless dialog once it is initialised.
[[nodiscard]] uint32_t DialogStyleOf(const DialogTemplate& t);

// Whether a WM_COMMAND with this control id and notification code, from a control (or from a
// menu or accelerator when `fromControl` is false), is the command `id` for the message map:
// a click (code 0), anything from OK and Cancel, every menu entry and accelerator.
[[nodiscard]] bool IsCommand(int id, int code, bool fromControl);

// An ACCEL entry (fVirt, key, cmd) for a context menu's shortcut; fVirt 0 when it has none.
struct Accelerator {
    uint8_t flags = 0;  // FVIRTKEY 0x01 | FSHIFT 0x04 | FCONTROL 0x08 | FALT 0x10
    uint16_t key = 0;
    uint16_t command = 0;
};
[[nodiscard]] Accelerator AcceleratorOf(const MenuCommand& m);

// The menu entry's text with its shortcut after a tab, as Windows menus show it:
// "Save settings...\tCtrl+S".
[[nodiscard]] std::string MenuItemText(const MenuCommand& m);

// MessageBoxW's uType: buttons, icon, and for a box without owner MB_TASKMODAL, so that no
// window of the program takes input while it is up (a device wait's report must not let a
// second exchange start under it).
[[nodiscard]] uint32_t MessageBoxStyle(MessageButtons buttons, MessageIcon icon, bool owned);

// The box's text: the text, and the detail under it after a blank line.
[[nodiscard]] std::string MessageBoxText(std::string_view text, std::string_view detail);

// OPENFILENAMEW's lpstrFilter, UTF-8: "label (patterns)\0patterns\0" for each filter and a
// closing "\0". Patterns keep their ';' (the dialog takes them so).
[[nodiscard]] std::string FilterString(std::span<const FileFilter> filters);

// The scales the skin's pictures are rendered at, in percent, and the one whose pictures a
// window at `dpi` shows: the nearest, the larger on a tie (sharp rather than blurred).
inline constexpr int kSkinScales[] = {100, 150, 200};
[[nodiscard]] int SkinScaleFor(int dpi);

// The bitmap resource of picture `picture` at `scalePercent` (one of kSkinScales): the picture
// number at 100 %, plus 1000 for each further scale. The build's resource script uses the same
// numbers.
[[nodiscard]] int BitmapResourceId(int picture, int scalePercent);

// A length on a window's fixed grid (DialogTemplate::fixedBaseUnits) in pixels at `dpi`:
// `units * base / per` at 96 dpi (per: 4 across, 8 down), scaled, rounded down.
[[nodiscard]] int GridPixels(int units, int base, int per, int dpi);

// A length of `logical` pixels at 96 dpi at `dpi`, rounded to the nearest pixel.
[[nodiscard]] int ScaledPixels(int logical, int dpi);

}  // namespace kestrow::ui::win
