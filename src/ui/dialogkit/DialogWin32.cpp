// The Win32 realisation of the dialog's runs and window operations, and of its window: the
// template built in memory and run by the dialog manager, the dialog procedure that routes
// commands, trackbar positions and posted work to the kit.
#include <algorithm>
#include <utility>
#include <vector>

#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/DialogTemplateEx.h"
#include "ui/dialogkit/DialogWindowWin32.h"
#include "ui/dialogkit/WindowsMapping.h"

namespace kestrow::ui {

namespace {

// The property that ties a window to its DialogWindow: only the kit's windows have it.
constexpr const wchar_t* kWindowProperty = L"KestrowDialogWindow";

std::u16string Utf16(std::string_view utf8) {
    const std::wstring wide = Wide(utf8);
    return {wide.begin(), wide.end()};
}

}  // namespace

// --- DialogWindow -------------------------------------------------------------------------------

DialogWindow::DialogWindow(Dialog& dialog) : dialog_(dialog), tmpl_(dialog.Template()) {}

DialogWindow::~DialogWindow() {
    if (HWND hwnd = Handle(); hwnd != nullptr) {
        // A modeless window still up when its dialog goes; it must not call back into it.
        RemovePropW(hwnd, kWindowProperty);
        DestroyWindow(hwnd);
    }
}

HWND DialogWindow::Handle() const {
    const std::lock_guard lock(mutex_);
    return hwnd_;
}

HWND DialogWindow::Control(int id) const {
    HWND hwnd = Handle();
    return id > 0 && hwnd != nullptr ? GetDlgItem(hwnd, id) : nullptr;
}

const ControlTemplate* DialogWindow::ControlEntry(int id) const {
    if (id <= 0) {
        return nullptr;
    }
    for (const ControlTemplate& c : tmpl_.controls) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

std::vector<uint32_t> DialogWindow::TemplateBytes() const {
    return win::BuildDialogTemplateEx(tmpl_, Utf16);
}

bool DialogWindow::CreateModeless(HWND owner) {
    if (Handle() != nullptr) {
        return true;
    }
    modal_ = false;
    const std::vector<uint32_t> bytes = TemplateBytes();
    HWND hwnd = CreateDialogIndirectParamW(ProgramInstance(),
                                           reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner,
                                           Proc, reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) {
        return false;
    }
    // A window of its own takes the show command the program was started with.
    ShowWindow(hwnd, owner == nullptr ? SW_SHOWDEFAULT : SW_SHOW);
    return true;
}

int DialogWindow::RunModal(HWND owner) {
    modal_ = true;
    const std::vector<uint32_t> bytes = TemplateBytes();
    const INT_PTR result =
        DialogBoxIndirectParamW(ProgramInstance(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                owner, Proc, reinterpret_cast<LPARAM>(this));
    return static_cast<int>(result);
}

void DialogWindow::End(int id) {
    HWND hwnd = Handle();
    if (hwnd == nullptr) {
        return;
    }
    if (modal_) {
        EndDialog(hwnd, id);
        return;
    }
    DestroyWindow(hwnd);
    if (onEnded_) {
        onEnded_(id);
    }
}

void DialogWindow::Post(std::function<void()> work) {
    HWND hwnd = nullptr;
    {
        const std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
        hwnd = hwnd_;
    }
    if (hwnd != nullptr) {
        PostMessageW(hwnd, kWakeMessage, 0, 0);
    }
}

void DialogWindow::RunPosted() {
    for (;;) {
        std::function<void()> work;
        {
            const std::lock_guard lock(mutex_);
            if (posted_.empty()) {
                return;
            }
            work = std::move(posted_.front());
            posted_.pop_front();
        }
        work();
    }
}

void DialogWindow::TellTrackbar(int id) {
    HWND control = Control(id);
    const auto told = toldPositions_.find(id);
    if (control == nullptr || told == toldPositions_.end()) {
        return;
    }
    const int position = static_cast<int>(SendMessageW(control, TBM_GETPOS, 0, 0));
    if (told->second != position) {
        told->second = position;
        dialog_.Notify(id, position);
    }
}

void DialogWindow::SetPicture(int id, int picture) {
    pictures_[id] = picture;
    if (HWND control = Control(id)) {
        InvalidateRect(control, nullptr, FALSE);
    }
}

std::optional<int> DialogWindow::PictureOf(int id) const {
    const auto it = pictures_.find(id);
    return it == pictures_.end() ? std::nullopt : std::optional<int>(it->second);
}

void DialogWindow::FitText(int id) {
    HWND hwnd = Handle();
    if (hwnd == nullptr || OnGrid()) {
        return;  // a grid's texts sit in the places its picture has for them
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    // Every control's place, in template order (the children's order).
    std::vector<std::pair<const ControlTemplate*, HWND>> controls;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (controls.size() < tmpl_.controls.size()) {
            controls.emplace_back(&tmpl_.controls[controls.size()], child);
        }
    }
    const auto placeOf = [hwnd](HWND control) {
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    for (const auto& [entry, control] : controls) {
        if (entry->kind != ControlKind::StaticText || (id != -1 && entry->id != id)) {
            continue;
        }
        const int length = GetWindowTextLengthW(control);
        if (length <= 0) {
            continue;
        }
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
        HDC dc = GetDC(control);
        const HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE extent{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        const RECT place = placeOf(control);
        if (extent.cx <= place.right - place.left) {
            continue;
        }
        LONG limit = client.right - 2;
        for (const auto& [otherEntry, other] : controls) {
            const RECT r = placeOf(other);
            const bool sameLine = r.top < place.bottom && r.bottom > place.top;
            if (other != control && sameLine && r.left >= place.right - 1) {
                limit = std::min(limit, r.left - 2);
            }
        }
        const LONG width = std::min<LONG>(extent.cx + 1, limit - place.left);
        if (width > place.right - place.left) {
            SetWindowPos(control, nullptr, 0, 0, width, place.bottom - place.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

void DialogWindow::CenterOnOwner() {
    HWND hwnd = Handle();
    if (hwnd == nullptr) {
        return;
    }
    RECT area{};
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner == nullptr || !GetWindowRect(owner, &area)) {
        // No owner: the work area of the screen the window is on.
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
            return;
        }
        area = monitor.rcWork;
    }
    RECT own{};
    GetWindowRect(hwnd, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

DialogWindow* DialogWindow::FromHandle(HWND hwnd) {
    return hwnd != nullptr ? static_cast<DialogWindow*>(GetPropW(hwnd, kWindowProperty)) : nullptr;
}

bool DialogWindow::PreTranslate(HWND root, MSG& msg) {
    DialogWindow* window = FromHandle(root);
    if (window == nullptr || window->modal_) {
        return false;  // a modal dialog's own loop does this
    }
    if (window->skin_ != nullptr && window->skin_->accelerators &&
        TranslateAcceleratorW(root, window->skin_->accelerators.get(), &msg) != 0) {
        return true;
    }
    return IsDialogMessageW(root, &msg) != 0;
}

void DialogWindow::OnInit(HWND hwnd) {
    SetPropW(hwnd, kWindowProperty, this);
    bool work = false;
    {
        const std::lock_guard lock(mutex_);
        hwnd_ = hwnd;
        work = !posted_.empty();
    }
    toldPositions_.clear();
    for (const ControlTemplate& c : tmpl_.controls) {
        if (c.kind == ControlKind::Trackbar && c.id > 0) {
            toldPositions_[c.id] = 0;  // a new trackbar stands at 0, as nobody was told
        } else if (c.kind == ControlKind::Picture && c.id > 0) {
            pictures_.try_emplace(c.id, c.picture);
        }
    }
    SetUpSkin();
    SetUpTips();
    dialog_.Initialize();
    FitText(-1);
    if (work) {
        PostMessageW(hwnd, kWakeMessage, 0, 0);
    }
}

void DialogWindow::OnGone() {
    tipWindow_ = nullptr;  // went with its owner
    droppedLists_.clear();
    const std::lock_guard lock(mutex_);
    if (hwnd_ != nullptr) {
        RemovePropW(hwnd_, kWindowProperty);
    }
    hwnd_ = nullptr;
}

std::optional<INT_PTR> DialogWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                               LRESULT& result) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (win::IsCommand(id, code, lParam != 0)) {
                dialog_.Command(id);
            }
            return TRUE;
        }
        case WM_CLOSE:
            dialog_.Command(IDCANCEL);  // the close box
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->hwndFrom == tipWindow_ && header->code == TTN_GETDISPINFOW) {
                FillTip(*reinterpret_cast<NMTTDISPINFOW*>(lParam));
                return TRUE;
            }
            const int id = static_cast<int>(header->idFrom);
            if (header->code == static_cast<UINT>(NM_CUSTOMDRAW) && toldPositions_.count(id)) {
                // A trackbar paints: tell its position if it moved; the drawing is its own.
                TellTrackbar(id);
                result = CDRF_DODEFAULT;
                return TRUE;
            }
            return std::nullopt;
        }
        case WM_HSCROLL:
        case WM_VSCROLL:
            if (lParam != 0) {
                TellTrackbar(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
                return TRUE;
            }
            return std::nullopt;
        case kWakeMessage:
            RunPosted();
            return TRUE;
        case WM_DPICHANGED:
            if (!OnGrid()) {
                // The dialog manager lays the template out anew at the new DPI; widen the
                // texts again once it has.
                Post([this] { FitText(-1); });
                return std::nullopt;
            }
            return HandleSkin(message, wParam, lParam, result);
        case WM_SETCURSOR:
            if (WaitCursorShown()) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                result = TRUE;
                return TRUE;
            }
            return std::nullopt;
        default:
            return HandleSkin(message, wParam, lParam, result);
    }
}

INT_PTR CALLBACK DialogWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* window = reinterpret_cast<DialogWindow*>(lParam);
        window->OnInit(hwnd);
        return TRUE;  // the dialog manager gives the first control with a tab stop the focus
    }
    DialogWindow* window = FromHandle(hwnd);
    if (window == nullptr) {
        return FALSE;
    }
    if (message == WM_DESTROY) {
        window->OnGone();
        return FALSE;
    }
    LRESULT result = 0;
    const std::optional<INT_PTR> handled = window->OnMessage(message, wParam, lParam, result);
    if (!handled) {
        return FALSE;
    }
    // WM_CTLCOLOR* return their brush itself; every other message its result in DWLP_MSGRESULT.
    const bool colour = message == WM_CTLCOLORSTATIC || message == WM_CTLCOLOREDIT ||
                        message == WM_CTLCOLORLISTBOX || message == WM_CTLCOLORBTN ||
                        message == WM_CTLCOLORDLG;
    if (colour) {
        return *handled;
    }
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return *handled;
}

// --- Dialog -------------------------------------------------------------------------------------

Dialog::Dialog(const DialogTemplate& tmpl)
    : tmpl_(tmpl), window_(std::make_unique<DialogWindow>(*this)) {}

Dialog::~Dialog() = default;

bool Dialog::CreateModeless(Dialog* owner) {
    return window_->CreateModeless(owner != nullptr ? owner->Window().Handle() : nullptr);
}

int Dialog::RunModal(Dialog* owner) {
    return window_->RunModal(owner != nullptr ? owner->Window().Handle() : nullptr);
}

void Dialog::EndDialog(int id) {
    window_->End(id);
}

void Dialog::CenterOnParent() {
    window_->CenterOnOwner();
}

void Dialog::SetClientSize(int width, int height) {
    window_->SetLogicalClientSize(width, height);
}

void Dialog::Post(std::function<void()> work) {
    window_->Post(std::move(work));
}

Dialog* ActiveDialog() {
    DialogWindow* window = DialogWindow::FromHandle(GetActiveWindow());
    return window != nullptr ? &window->Kit() : nullptr;
}

}  // namespace kestrow::ui
