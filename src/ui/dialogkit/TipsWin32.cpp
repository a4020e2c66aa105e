// The Win32 realisation of tips: one tooltip per dialog, over each combo box's dropped list and
// each picture control. Its text is asked for when it shows (TTN_GETDISPINFOW): the tip of the
// list entry under the pointer (moving to another entry hides it, so that it shows that entry's
// tip next), or the picture's caption (the search button's "Search ports").
#include "ui/dialogkit/DialogWindowWin32.h"

namespace kestrow::ui {

namespace {

// The entry of `list` under the pointer; -1 for none.
int EntryUnderPointer(HWND list) {
    POINT at{};
    GetCursorPos(&at);
    ScreenToClient(list, &at);
    const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(at.x, at.y));
    return HIWORD(hit) != 0 ? -1 : static_cast<int>(LOWORD(hit));
}

LRESULT CALLBACK WatchList(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                           DWORD_PTR tooltip) {
    if (message == WM_MOUSEMOVE) {
        const int entry = EntryUnderPointer(list);
        // The entry whose tip may be up, plus one (a property holds 0 when never set).
        const INT_PTR shown = reinterpret_cast<INT_PTR>(GetPropW(list, L"KestrowTipEntry"));
        if (entry + 1 != shown) {
            SetPropW(list, L"KestrowTipEntry",
                     reinterpret_cast<HANDLE>(static_cast<INT_PTR>(entry + 1)));
            SendMessageW(reinterpret_cast<HWND>(tooltip), TTM_POP, 0, 0);
        }
    } else if (message == WM_NCDESTROY) {
        RemovePropW(list, L"KestrowTipEntry");
        RemoveWindowSubclass(list, WatchList, 0);
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace

void DialogWindow::SetUpTips() {
    HWND hwnd = Handle();
    const auto addTool = [this, hwnd](HWND tool) {
        if (tipWindow_ == nullptr) {
            tipWindow_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                         WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                                         ProgramInstance(), nullptr);
            if (tipWindow_ == nullptr) {
                return false;
            }
            // A width makes the tooltip break its text at the line ends of a tip.
            SendMessageW(tipWindow_, TTM_SETMAXTIPWIDTH, 0, 600);
        }
        TOOLINFOW info{};
        info.cbSize = sizeof info;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = hwnd;
        info.uId = reinterpret_cast<UINT_PTR>(tool);
        info.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(tipWindow_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
        return true;
    };
    for (const ControlTemplate& c : tmpl_.controls) {
        HWND control = Control(c.id);
        if (control == nullptr) {
            continue;
        }
        if (c.kind == ControlKind::Picture) {
            addTool(control);
            continue;
        }
        COMBOBOXINFO combo{};
        combo.cbSize = sizeof combo;
        if ((c.kind != ControlKind::ComboDropDown && c.kind != ControlKind::ComboList) ||
            !GetComboBoxInfo(control, &combo) || combo.hwndList == nullptr ||
            !addTool(combo.hwndList)) {
            continue;
        }
        SetWindowSubclass(combo.hwndList, WatchList, 0, reinterpret_cast<DWORD_PTR>(tipWindow_));
        droppedLists_[combo.hwndList] = c.id;
    }
}

void DialogWindow::FillTip(NMTTDISPINFOW& info) {
    tipText_.clear();
    const auto tool = reinterpret_cast<HWND>(info.hdr.idFrom);
    const auto found = droppedLists_.find(tool);
    if (found == droppedLists_.end()) {
        // A picture: its caption.
        const int length = GetWindowTextLengthW(tool);
        tipText_.assign(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        tipText_.resize(static_cast<size_t>(
            GetWindowTextW(tool, tipText_.data(), static_cast<int>(tipText_.size()))));
    } else {
        const auto entries = tips.find(found->second);
        const int entry = EntryUnderPointer(tool);
        if (entries != tips.end() && entry >= 0 &&
            static_cast<size_t>(entry) < entries->second.size()) {
            tipText_ = Wide(entries->second[static_cast<size_t>(entry)]);
        }
    }
    info.lpszText = tipText_.data();  // empty: no tip
    info.hinst = nullptr;
}

}  // namespace kestrow::ui
