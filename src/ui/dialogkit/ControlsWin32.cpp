// The Win32 realisation of the dialog's control operations: window texts and the messages of
// each control class, by control id.
#include <vector>

#include "ui/dialogkit/DialogWindowWin32.h"

namespace kestrow::ui {

namespace {

bool IsCombo(const ControlTemplate* c) {
    return c != nullptr &&
           (c->kind == ControlKind::ComboDropDown || c->kind == ControlKind::ComboList);
}

std::string WindowText(HWND control) {
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return Utf8(text);
}

std::string ComboEntry(HWND combo, int index) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length <= 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
    return Utf8(text);
}

}  // namespace

void Dialog::SetItemText(int id, std::string_view text) {
    HWND control = window_->Control(id);
    const ControlTemplate* entry = window_->ControlEntry(id);
    if (control == nullptr || entry == nullptr || entry->kind == ControlKind::ComboList ||
        entry->kind == ControlKind::Trackbar || entry->kind == ControlKind::ProgressBar) {
        return;  // a list without edit field, a trackbar and a progress bar have no text
    }
    SetWindowTextW(control, Wide(text).c_str());
    if (entry->kind == ControlKind::StaticText) {
        window_->FitText(id);
    }
}

std::string Dialog::ItemText(int id) const {
    HWND control = window_->Control(id);
    const ControlTemplate* entry = window_->ControlEntry(id);
    if (control == nullptr || entry == nullptr || entry->kind == ControlKind::Trackbar ||
        entry->kind == ControlKind::ProgressBar) {
        return {};
    }
    return WindowText(control);  // a combo box: its edit field, or the chosen entry
}

void Dialog::EnableItem(int id, bool enabled) {
    HWND control = window_->Control(id);
    if (control == nullptr) {
        return;
    }
    if (!enabled && GetFocus() == control) {
        // A disabled control keeps no focus; without one in the dialog the keys would reach
        // it as system keys, and Esc would not close it. The next control takes the focus.
        SendMessageW(window_->Handle(), WM_NEXTDLGCTL, 0, FALSE);
    }
    EnableWindow(control, enabled ? TRUE : FALSE);
}

void Dialog::ShowItem(int id, bool shown) {
    if (HWND control = window_->Control(id)) {
        ShowWindow(control, shown ? SW_SHOWNA : SW_HIDE);
    }
}

void Dialog::ResetList(int id) {
    if (HWND combo = window_->Control(id); combo != nullptr && IsCombo(window_->ControlEntry(id))) {
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        window_->tips.erase(id);
    }
}

void Dialog::AddListEntry(int id, std::string_view text, std::string_view tip) {
    HWND combo = window_->Control(id);
    if (combo == nullptr || !IsCombo(window_->ControlEntry(id))) {
        return;
    }
    const std::wstring wide = Wide(text);
    const LRESULT index =
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    // The dropped list is as wide as its longest entry, when that is wider than the box.
    HDC dc = GetDC(combo);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(combo, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(combo, dc);
    const LONG needed = extent.cx + GetSystemMetrics(SM_CXVSCROLL) + 8;
    if (needed > SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0)) {
        SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(needed), 0);
    }
    if (index >= 0) {
        std::vector<std::string>& tips = window_->tips[id];
        tips.resize(static_cast<size_t>(index) + 1);
        tips[static_cast<size_t>(index)] = std::string(tip);
    }
}

void Dialog::SetListSelection(int id, int index) {
    HWND combo = window_->Control(id);
    if (combo == nullptr || !IsCombo(window_->ControlEntry(id))) {
        return;
    }
    const int count = ListCount(id);
    // -1 clears the selection and, in a drop-down combo box, the edit field with it.
    const WPARAM chosen =
        index >= 0 && index < count ? static_cast<WPARAM>(index) : static_cast<WPARAM>(-1);
    SendMessageW(combo, CB_SETCURSEL, chosen, 0);
}

int Dialog::ListSelection(int id) const {
    HWND combo = window_->Control(id);
    if (combo == nullptr || !IsCombo(window_->ControlEntry(id))) {
        return -1;
    }
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

int Dialog::ListCount(int id) const {
    HWND combo = window_->Control(id);
    if (combo == nullptr || !IsCombo(window_->ControlEntry(id))) {
        return 0;
    }
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

std::string Dialog::ListEntry(int id, int index) const {
    HWND combo = window_->Control(id);
    if (combo == nullptr || !IsCombo(window_->ControlEntry(id)) || index < 0) {
        return {};
    }
    return ComboEntry(combo, index);
}

int Dialog::FindListEntry(int id, std::string_view text) const {
    // CB_FINDSTRINGEXACT ignores letter case; the kit's lists do not.
    const int count = ListCount(id);
    for (int i = 0; i < count; ++i) {
        if (ListEntry(id, i) == text) {
            return i;
        }
    }
    return -1;
}

void Dialog::SetTrackbarRange(int id, int minimum, int maximum) {
    HWND bar = window_->Control(id);
    if (bar == nullptr) {
        return;
    }
    SendMessageW(bar, TBM_SETRANGEMIN, FALSE, minimum);
    SendMessageW(bar, TBM_SETRANGEMAX, FALSE, maximum);
    // Some trackbars (Wine's) place the thumb anew only when the position changes: move it
    // away and back, unseen, so that it stands where the position is in the new range.
    const LRESULT position = SendMessageW(bar, TBM_GETPOS, 0, 0);
    SendMessageW(bar, TBM_SETPOS, FALSE, position == minimum ? maximum : minimum);
    SendMessageW(bar, TBM_SETPOS, TRUE, position);
    window_->TellTrackbar(id);  // a position the new range moved
}

void Dialog::SetTrackbarPos(int id, int position) {
    HWND bar = window_->Control(id);
    if (bar == nullptr) {
        return;
    }
    SendMessageW(bar, TBM_SETPOS, TRUE, position);
    window_->TellTrackbar(id);  // told now, as a move by the operator is; a repaint tells nothing
}

int Dialog::TrackbarPos(int id) const {
    HWND bar = window_->Control(id);
    return bar != nullptr ? static_cast<int>(SendMessageW(bar, TBM_GETPOS, 0, 0)) : 0;
}

void Dialog::SetProgressRange(int id, int minimum, int maximum) {
    if (HWND bar = window_->Control(id)) {
        SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
    }
}

void Dialog::SetProgressPos(int id, int position) {
    if (HWND bar = window_->Control(id)) {
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
}

void Dialog::SetPicture(int id, int picture) {
    const ControlTemplate* entry = window_->ControlEntry(id);
    if (entry != nullptr && entry->kind == ControlKind::Picture) {
        window_->SetPicture(id, picture);
    }
}

void Dialog::PaintNow(int id) {
    HWND control = window_->Control(id);
    if (control != nullptr && IsWindowVisible(control)) {
        RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
}

}  // namespace kestrow::ui
