#include "ui/dialogkit/WindowsMapping.h"

#include <cstdlib>

namespace kestrow::ui::win {

namespace {

bool Has(uint32_t flags, ControlFlag f) {
    return (flags & f) != 0;
}

// MB_* values of winuser.h.
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbOkCancel = 0x1;
constexpr uint32_t kMbYesNoCancel = 0x3;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbRetryCancel = 0x5;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconQuestion = 0x20;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr uint32_t kMbTaskModal = 0x2000;

// ACCEL flags.
constexpr uint8_t kFVirtKey = 0x01;
constexpr uint8_t kFShift = 0x04;
constexpr uint8_t kFControl = 0x08;
constexpr uint8_t kFAlt = 0x10;

}  // namespace

ItemStyle ItemStyleOf(const ControlTemplate& c, const ControlTemplate* previous) {
    ItemStyle s;
    uint32_t style = kWsChild;
    if (!Has(c.flags, kHidden)) {
        style |= kWsVisible;
    }
    if (Has(c.flags, kDisabled)) {
        style |= kWsDisabled;
    }
    // Every control starts a group of its own but a radio button that follows another one:
    // the arrow keys move within a run of radio buttons, Tab reaches the run once.
    const bool radioRun = c.kind == ControlKind::RadioButton && previous != nullptr &&
                          previous->kind == ControlKind::RadioButton;
    if (!radioRun) {
        style |= kWsGroup;
    }
    switch (c.kind) {
        case ControlKind::PushButton:
            s.atom = kButtonAtom;
            style |= kWsTabStop | (Has(c.flags, kDefault) ? kBsDefPushButton : kBsPushButton);
            break;
        case ControlKind::RadioButton:
            s.atom = kButtonAtom;
            style |= kBsAutoRadioButton | (radioRun ? 0 : kWsTabStop);
            break;
        case ControlKind::CheckBox:
            s.atom = kButtonAtom;
            style |= kBsAutoCheckBox | kWsTabStop;
            break;
        case ControlKind::GroupBox:
            s.atom = kButtonAtom;
            style |= kBsGroupBox;
            break;
        case ControlKind::StaticText:
            // An ampersand in a text is shown, not taken for a mnemonic.
            s.atom = kStaticAtom;
            style |= kSsNoPrefix | (Has(c.flags, kBorder) ? kWsBorder : 0);
            break;
        case ControlKind::Picture:
            // Drawn by the dialog (WM_DRAWITEM); a click is STN_CLICKED, code 0.
            s.atom = kStaticAtom;
            style |= kSsOwnerDraw | kSsNotify;
            break;
        case ControlKind::Edit:
            s.atom = kEditAtom;
            style |= kWsTabStop;
            if (Has(c.flags, kMultiLine)) {
                style |= kEsMultiLine | kEsAutoVScroll;
            } else {
                style |= kEsAutoHScroll;
            }
            style |= (Has(c.flags, kReadOnly) ? kEsReadOnly : 0) |
                     (Has(c.flags, kDigitsOnly) ? kEsNumber : 0) |
                     (Has(c.flags, kVScroll) ? kWsVScroll : 0);
            s.exStyle = Has(c.flags, kBorder) ? kWsExClientEdge : 0;
            break;
        case ControlKind::ComboDropDown:
        case ControlKind::ComboList:
            s.atom = kComboBoxAtom;
            style |= kWsTabStop | kCbsAutoHScroll |
                     (c.kind == ControlKind::ComboDropDown ? kCbsDropDown : kCbsDropDownList) |
                     (Has(c.flags, kVScroll) ? kWsVScroll : 0);
            break;
        case ControlKind::Trackbar:
            s.className = kTrackbarClass;
            style |= kWsTabStop | (Has(c.flags, kVertical) ? kTbsVert : 0) |
                     (Has(c.flags, kNoTicks) ? kTbsNoTicks : kTbsAutoTicks);
            break;
        case ControlKind::ProgressBar:
            s.className = kProgressClass;
            style |= Has(c.flags, kBorder) ? kWsBorder : 0;
            break;
    }
    s.style = style;
    return s;
}

uint32_t DialogStyleOf(const DialogTemplate& t) {
    uint32_t style = kWsPopup | kWsCaption | kWsSysMenu | kDsModalFrame | kDsSetFont;
    if (t.fontFamily == "MS Shell Dlg") {
        style |= kDsFixedSys;  // with DS_SETFONT: DS_SHELLFONT, the system's dialog font
    }
    if (t.minimizeBox) {
        style |= kWsMinimizeBox;
    }
    return style;
}

bool IsCommand(int id, int code, bool fromControl) {
    if (!fromControl || id == kIdOk || id == kIdCancel) {
        return true;
    }
    return code == 0;  // BN_CLICKED, STN_CLICKED
}

Accelerator AcceleratorOf(const MenuCommand& m) {
    if (m.key < 'A' || m.key > 'Z') {
        return {0, 0, static_cast<uint16_t>(m.id)};
    }
    uint8_t flags = kFVirtKey;
    flags |= (m.modifiers & kCtrl) != 0 ? kFControl : 0;
    flags |= (m.modifiers & kShift) != 0 ? kFShift : 0;
    flags |= (m.modifiers & kAlt) != 0 ? kFAlt : 0;
    return {flags, static_cast<uint16_t>(m.key), static_cast<uint16_t>(m.id)};
}

std::string MenuItemText(const MenuCommand& m) {
    std::string text(m.text);
    if (m.key < 'A' || m.key > 'Z') {
        return text;
    }
    text += '\t';
    text += (m.modifiers & kCtrl) != 0 ? "Ctrl+" : "";
    text += (m.modifiers & kShift) != 0 ? "Shift+" : "";
    text += (m.modifiers & kAlt) != 0 ? "Alt+" : "";
    text += m.key;
    return text;
}

uint32_t MessageBoxStyle(MessageButtons buttons, MessageIcon icon, bool owned) {
    uint32_t style = kMbOk;
    switch (buttons) {
        case MessageButtons::Ok:
            style = kMbOk;
            break;
        case MessageButtons::OkCancel:
            style = kMbOkCancel;
            break;
        case MessageButtons::YesNo:
            style = kMbYesNo;
            break;
        case MessageButtons::YesNoCancel:
            style = kMbYesNoCancel;
            break;
        case MessageButtons::RetryCancel:
            style = kMbRetryCancel;
            break;
    }
    switch (icon) {
        case MessageIcon::None:
            break;
        case MessageIcon::Information:
            style |= kMbIconInformation;
            break;
        case MessageIcon::Warning:
            style |= kMbIconWarning;
            break;
        case MessageIcon::Error:
            style |= kMbIconError;
            break;
        case MessageIcon::Question:
            style |= kMbIconQuestion;
            break;
    }
    return owned ? style : style | kMbTaskModal;
}

std::string MessageBoxText(std::string_view text, std::string_view detail) {
    std::string out(text);
    if (!detail.empty()) {
        // One blank line between them, also after a text that ends its line itself (the
        // serial layer's "Failed in call to read\n").
        out += out.ends_with('\n') ? "\n" : "\n\n";
        out += detail;
    }
    return out;
}

std::string FilterString(std::span<const FileFilter> filters) {
    std::string out;
    for (const FileFilter& f : filters) {
        out.append(f.label).append(" (").append(f.patterns).append(")");
        out += '\0';
        out.append(f.patterns);
        out += '\0';
    }
    out += '\0';
    return out;
}

int SkinScaleFor(int dpi) {
    int best = kSkinScales[0];
    for (const int scale : kSkinScales) {
        // Distance in hundredths of a percent of 96 dpi: |dpi / 96 - scale / 100|.
        const int distance = std::abs(dpi * 100 - scale * 96);
        const int bestDistance = std::abs(dpi * 100 - best * 96);
        if (distance <= bestDistance) {
            best = scale;
        }
    }
    return best;
}

int BitmapResourceId(int picture, int scalePercent) {
    for (int k = 0; k < static_cast<int>(std::size(kSkinScales)); ++k) {
        if (kSkinScales[k] == scalePercent) {
            return picture + 1000 * k;
        }
    }
    return picture;
}

int GridPixels(int units, int base, int per, int dpi) {
    if (per <= 0) {
        return 0;
    }
    return static_cast<int>(static_cast<long long>(units) * base * dpi / (per * 96LL));
}

int ScaledPixels(int logical, int dpi) {
    return static_cast<int>((static_cast<long long>(logical) * dpi + 48) / 96);
}

}  // namespace kestrow::ui::win
