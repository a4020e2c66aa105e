// The Win32 realisation of a skinned window: the background picture at the client area's size
// (a memory DC, StretchBlt once per size, BitBlt on WM_ERASEBKGND), the picture controls drawn
// over it with their transparent parts, the skin's colours on texts and lists, the icon, the
// context menu and its accelerators, and for a window on a fixed grid its layout and font at
// the window's DPI, again on WM_DPICHANGED.
#include <algorithm>
#include <cwchar>
#include <vector>

#include "ui/dialogkit/DialogWindowWin32.h"
#include "ui/dialogkit/WindowsMapping.h"

namespace kestrow::ui {

namespace {

// The DPI calls of newer Windows versions, looked up at run time so that the program still
// starts where one is missing (Wine has no per-monitor DPI changes).
struct DpiCalls {
    UINT(WINAPI* dpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
    int(WINAPI* metricsForDpi)(int, UINT) = nullptr;
    BOOL(WINAPI* dialogDpiChange)(HWND, int, int) = nullptr;
};

template <class F>
void LookUp(HMODULE module, const char* name, F& call) {
    // Through void (*)(): the cast between function types is meant.
    call = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const DpiCalls& Dpi() {
    static const DpiCalls calls = [] {
        DpiCalls c;
        if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
            LookUp(user32, "GetDpiForWindow", c.dpiForWindow);
            LookUp(user32, "AdjustWindowRectExForDpi", c.adjustForDpi);
            LookUp(user32, "GetSystemMetricsForDpi", c.metricsForDpi);
            LookUp(user32, "SetDialogDpiChangeBehavior", c.dialogDpiChange);
        }
        return c;
    }();
    return calls;
}

int WindowDpi(HWND hwnd) {
    if (Dpi().dpiForWindow != nullptr) {
        if (const UINT dpi = Dpi().dpiForWindow(hwnd); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int MetricForDpi(int index, int dpi) {
    return Dpi().metricsForDpi != nullptr ? Dpi().metricsForDpi(index, static_cast<UINT>(dpi))
                                          : GetSystemMetrics(index);
}

// The window's outer size for a client area of `width` x `height` pixels at `dpi`.
SIZE WindowSizeFor(HWND hwnd, int width, int height, int dpi) {
    RECT r{0, 0, width, height};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    if (Dpi().adjustForDpi != nullptr) {
        Dpi().adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi));
    } else {
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
    }
    return {r.right - r.left, r.bottom - r.top};
}

COLORREF Colour(uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Behind a window whose background picture is missing: the skin's darkest face.
constexpr uint32_t kMissingBackground = 0x1d2127;

BOOL CALLBACK NoteFamily(const LOGFONTW* /*font*/, const TEXTMETRICW* /*metrics*/, DWORD /*type*/,
                         LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;  // one is enough
}

// The template's typeface when the system has it, else Tahoma, which every Windows has (Wine
// lacks "Microsoft Sans Serif" and would take a wider face that the grid's places do not hold).
std::wstring InstalledFamily(std::string_view family) {
    LOGFONTW probe{};
    probe.lfCharSet = DEFAULT_CHARSET;
    const std::wstring wanted = Wide(family);
    wcsncpy(probe.lfFaceName, wanted.c_str(), LF_FACESIZE - 1);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &probe, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found ? wanted : std::wstring(L"Tahoma");
}

// DDC_DISABLE_ALL: the dialog manager neither resizes, moves nor refonts this window's controls
// when its DPI changes; the grid layout does that.
constexpr int kDialogDpiChangeDisableAll = 1;

}  // namespace

bool DialogWindow::OnGrid() const {
    return tmpl_.fixedBaseUnits.x > 0 && tmpl_.fixedBaseUnits.y > 0;
}

bool DialogWindow::Skinned() const {
    return OnGrid() || tmpl_.background != 0 || tmpl_.skin != nullptr || tmpl_.icon != 0 ||
           !tmpl_.contextMenu.empty();
}

void DialogWindow::SetUpSkin() {
    HWND hwnd = Handle();
    if (!Skinned() || hwnd == nullptr) {
        return;
    }
    skin_ = std::make_unique<Skin>();
    skin_->dpi = WindowDpi(hwnd);
    skin_->scale = win::SkinScaleFor(skin_->dpi);
    if (tmpl_.skin != nullptr) {
        skin_->fieldBrush.reset(CreateSolidBrush(Colour(tmpl_.skin->field)));
    }
    if (tmpl_.icon != 0) {
        skin_->bigIcon = LoadProgramIcon(tmpl_.icon, MetricForDpi(SM_CXICON, skin_->dpi));
        skin_->smallIcon = LoadProgramIcon(tmpl_.icon, MetricForDpi(SM_CXSMICON, skin_->dpi));
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(skin_->bigIcon.get()));
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL,
                     reinterpret_cast<LPARAM>(skin_->smallIcon.get()));
    }
    std::vector<ACCEL> table;
    for (const MenuCommand& m : tmpl_.contextMenu) {
        const win::Accelerator a = win::AcceleratorOf(m);
        if (a.flags != 0) {
            table.push_back({a.flags, a.key, a.command});
        }
    }
    if (!table.empty()) {
        skin_->accelerators.reset(
            CreateAcceleratorTableW(table.data(), static_cast<int>(table.size())));
    }
    if (OnGrid()) {
        if (Dpi().dialogDpiChange != nullptr) {
            Dpi().dialogDpiChange(hwnd, kDialogDpiChangeDisableAll, kDialogDpiChangeDisableAll);
        }
        LayOutGrid();
    }
}

void DialogWindow::LayOutGrid() {
    HWND hwnd = Handle();
    const int dpi = skin_->dpi;
    LOGFONTW font{};
    font.lfHeight = -MulDiv(tmpl_.fontPointSize > 0 ? tmpl_.fontPointSize : 8, dpi, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    const std::wstring family = InstalledFamily(tmpl_.fontFamily);
    wcsncpy(font.lfFaceName, family.c_str(), LF_FACESIZE - 1);
    skin_->font.reset(CreateFontIndirectW(&font));

    // The controls are the dialog's children in template order.
    const BaseUnits base = tmpl_.fixedBaseUnits;
    const bool exactScale = dpi * 100 == skin_->scale * 96;
    HWND child = GetWindow(hwnd, GW_CHILD);
    for (const ControlTemplate& c : tmpl_.controls) {
        if (child == nullptr) {
            break;
        }
        const int x = win::GridPixels(c.x, base.x, 4, dpi);
        const int y = win::GridPixels(c.y, base.y, 8, dpi);
        int width = win::GridPixels(c.w, base.x, 4, dpi);
        int height = win::GridPixels(c.h, base.y, 8, dpi);
        if (c.kind == ControlKind::Picture && exactScale) {
            // One to one: the control takes its picture's size, as a bitmap static does.
            if (const PictureBitmap* p = Picture(PictureOf(c.id).value_or(c.picture));
                p != nullptr && p->bitmap) {
                width = p->width;
                height = p->height;
            }
        }
        SetWindowPos(child, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(skin_->font.get()), FALSE);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    InvalidateRect(hwnd, nullptr, TRUE);
}

void DialogWindow::SetLogicalClientSize(int width, int height) {
    logicalClient_ = {width, height};
    ApplyLogicalClientSize();
}

void DialogWindow::ApplyLogicalClientSize() {
    HWND hwnd = Handle();
    if (hwnd == nullptr || logicalClient_.cx <= 0 || logicalClient_.cy <= 0) {
        return;
    }
    const int dpi = skin_ != nullptr ? skin_->dpi : WindowDpi(hwnd);
    const SIZE outer = WindowSizeFor(hwnd, win::ScaledPixels(logicalClient_.cx, dpi),
                                     win::ScaledPixels(logicalClient_.cy, dpi), dpi);
    SetWindowPos(hwnd, nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void DialogWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    HWND hwnd = Handle();
    skin_->dpi = dpi;
    skin_->scale = win::SkinScaleFor(dpi);
    skin_->pictures.clear();
    skin_->backdrop.reset();
    skin_->backdropBrush.reset();
    skin_->backdropSize = {};
    LayOutGrid();
    SIZE outer{suggested.right - suggested.left, suggested.bottom - suggested.top};
    if (logicalClient_.cx > 0 && logicalClient_.cy > 0) {
        outer = WindowSizeFor(hwnd, win::ScaledPixels(logicalClient_.cx, dpi),
                              win::ScaledPixels(logicalClient_.cy, dpi), dpi);
    }
    SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (tmpl_.icon != 0) {
        skin_->bigIcon = LoadProgramIcon(tmpl_.icon, MetricForDpi(SM_CXICON, dpi));
        skin_->smallIcon = LoadProgramIcon(tmpl_.icon, MetricForDpi(SM_CXSMICON, dpi));
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(skin_->bigIcon.get()));
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL,
                     reinterpret_cast<LPARAM>(skin_->smallIcon.get()));
    }
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

const PictureBitmap* DialogWindow::Picture(int picture) {
    if (skin_ == nullptr || picture == 0) {
        return nullptr;
    }
    auto it = skin_->pictures.find(picture);
    if (it == skin_->pictures.end()) {
        it = skin_->pictures.emplace(picture, LoadPictureBitmap(picture, skin_->scale)).first;
    }
    return &it->second;
}

HBITMAP DialogWindow::Backdrop() {
    HWND hwnd = Handle();
    RECT client{};
    GetClientRect(hwnd, &client);
    const SIZE size{client.right, client.bottom};
    if (skin_->backdrop && size.cx == skin_->backdropSize.cx && size.cy == skin_->backdropSize.cy) {
        return skin_->backdrop.get();
    }
    HDC screen = GetDC(hwnd);
    skin_->backdrop.reset(
        CreateCompatibleBitmap(screen, std::max<LONG>(size.cx, 1), std::max<LONG>(size.cy, 1)));
    skin_->backdropSize = size;
    {
        const SelectedBitmap target(screen, skin_->backdrop.get());
        const PictureBitmap* picture = Picture(tmpl_.background);
        if (picture != nullptr && picture->bitmap) {
            // One to one at the scales the skin is rendered at; smoothed between them.
            const SelectedBitmap source(screen, picture->bitmap.get());
            SetStretchBltMode(target.Dc(), HALFTONE);
            SetBrushOrgEx(target.Dc(), 0, 0, nullptr);
            StretchBlt(target.Dc(), 0, 0, size.cx, size.cy, source.Dc(), 0, 0, picture->width,
                       picture->height, SRCCOPY);
        } else {
            const UniqueBrush face(CreateSolidBrush(Colour(kMissingBackground)));
            FillRect(target.Dc(), &client, face.get());
        }
    }
    ReleaseDC(hwnd, screen);
    skin_->backdropBrush.reset(CreatePatternBrush(skin_->backdrop.get()));
    return skin_->backdrop.get();
}

bool DialogWindow::PaintBackground(HDC dc) {
    if (tmpl_.background == 0) {
        return false;
    }
    HBITMAP backdrop = Backdrop();
    const SelectedBitmap source(dc, backdrop);
    BitBlt(dc, 0, 0, skin_->backdropSize.cx, skin_->backdropSize.cy, source.Dc(), 0, 0, SRCCOPY);
    return true;
}

HBRUSH DialogWindow::ColourControl(UINT message, HDC dc, HWND control) {
    if (tmpl_.skin == nullptr) {
        return nullptr;
    }
    const SkinColours& colours = *tmpl_.skin;
    HWND hwnd = Handle();
    const ControlTemplate* entry =
        GetParent(control) == hwnd ? ControlEntry(GetDlgCtrlID(control)) : nullptr;
    const bool text = message == WM_CTLCOLORSTATIC &&
                      (entry == nullptr || entry->kind == ControlKind::StaticText);
    if (text && GetParent(control) == hwnd) {
        // A text on the background: the background itself behind it, aligned to the window.
        SetTextColor(dc, Colour(colours.ink));
        SetBkMode(dc, TRANSPARENT);
        if (tmpl_.background == 0) {
            return nullptr;
        }
        Backdrop();
        POINT origin{0, 0};
        MapWindowPoints(control, hwnd, &origin, 1);
        SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
        return skin_->backdropBrush.get();
    }
    if (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX ||
        message == WM_CTLCOLORSTATIC) {
        // The port list: its field and its dropped list.
        SetTextColor(dc, Colour(colours.ink));
        SetBkColor(dc, Colour(colours.field));
        return skin_->fieldBrush.get();
    }
    return nullptr;
}

void DialogWindow::DrawPicture(const DRAWITEMSTRUCT& item) {
    const int id = static_cast<int>(item.CtlID);
    const RECT& rc = item.rcItem;
    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    // Composed off screen: the background under the control, then the picture over it.
    const UniqueBitmap canvas(CreateCompatibleBitmap(item.hDC, width, height));
    const SelectedBitmap target(item.hDC, canvas.get());
    POINT origin{0, 0};
    MapWindowPoints(item.hwndItem, Handle(), &origin, 1);
    if (tmpl_.background != 0) {
        const SelectedBitmap backdrop(item.hDC, Backdrop());
        BitBlt(target.Dc(), 0, 0, width, height, backdrop.Dc(), origin.x, origin.y, SRCCOPY);
    } else {
        const RECT all{0, 0, width, height};
        FillRect(target.Dc(), &all, GetSysColorBrush(COLOR_BTNFACE));
    }
    if (const PictureBitmap* picture = Picture(PictureOf(id).value_or(0))) {
        BlendPicture(target.Dc(), RECT{0, 0, width, height}, *picture);
    }
    BitBlt(item.hDC, rc.left, rc.top, width, height, target.Dc(), 0, 0, SRCCOPY);
}

void DialogWindow::ShowContextMenu(LPARAM where) {
    HWND hwnd = Handle();
    const std::unique_ptr<std::remove_pointer_t<HMENU>, BOOL(WINAPI*)(HMENU)> menu(
        CreatePopupMenu(), DestroyMenu);
    if (!menu) {
        return;
    }
    for (const MenuCommand& m : tmpl_.contextMenu) {
        AppendMenuW(menu.get(), MF_STRING, static_cast<UINT_PTR>(m.id),
                    Wide(win::MenuItemText(m)).c_str());
    }
    POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
    if (where == -1) {
        // From the keyboard (Shift+F10, the menu key): at the window's top left corner.
        at = {0, 0};
        ClientToScreen(hwnd, &at);
    }
    // The chosen entry arrives as WM_COMMAND, as a menu's does.
    TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
}

std::optional<INT_PTR> DialogWindow::HandleSkin(UINT message, WPARAM wParam, LPARAM lParam,
                                                LRESULT& result) {
    if (skin_ == nullptr) {
        return std::nullopt;
    }
    switch (message) {
        case WM_ERASEBKGND:
            if (PaintBackground(reinterpret_cast<HDC>(wParam))) {
                result = TRUE;
                return TRUE;
            }
            return std::nullopt;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            if (HBRUSH brush = ColourControl(message, reinterpret_cast<HDC>(wParam),
                                             reinterpret_cast<HWND>(lParam))) {
                return reinterpret_cast<INT_PTR>(brush);
            }
            return std::nullopt;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->CtlType != ODT_STATIC) {
                return std::nullopt;
            }
            DrawPicture(*item);
            result = TRUE;
            return TRUE;
        }
        case WM_CONTEXTMENU:
            if (tmpl_.contextMenu.empty()) {
                return std::nullopt;
            }
            ShowContextMenu(lParam);
            return TRUE;
        case WM_DPICHANGED:
            if (!OnGrid()) {
                return std::nullopt;  // the dialog manager scales a template's dialog itself
            }
            OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return TRUE;
        default:
            return std::nullopt;
    }
}

}  // namespace kestrow::ui
