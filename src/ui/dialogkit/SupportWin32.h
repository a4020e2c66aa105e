// Small helpers of the Win32 realisation: <windows.h> with the common controls, UTF-8 text as
// the wide strings of the W calls and back, handles that delete themselves, and the GUI thread
// (work for it from other threads, through the message that wakes it).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The common controls' header needs <windows.h> before it.
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/Utf8Text.h"

namespace kestrow::ui {

[[nodiscard]] inline std::wstring Wide(std::string_view utf8) {
    return WideFromUtf8(utf8);
}

[[nodiscard]] inline std::string Utf8(std::wstring_view wide) {
    return Utf8FromWide(wide);
}

// A GDI object (bitmap, font, brush) that is deleted with its owner.
struct GdiObjectDeleter {
    void operator()(void* object) const {
        if (object != nullptr) {
            DeleteObject(static_cast<HGDIOBJ>(object));
        }
    }
};
template <class H>
using UniqueGdi = std::unique_ptr<std::remove_pointer_t<H>, GdiObjectDeleter>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueBrush = UniqueGdi<HBRUSH>;

struct MemoryDcDeleter {
    void operator()(HDC dc) const {
        if (dc != nullptr) {
            DeleteDC(dc);
        }
    }
};
using UniqueMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;

// A bitmap selected into a memory DC for the object's lifetime; the DC's own comes back after.
class SelectedBitmap {
  public:
    SelectedBitmap(HDC reference, HBITMAP bitmap)
        : dc_(CreateCompatibleDC(reference)),
          old_(dc_ ? SelectObject(dc_.get(), bitmap) : nullptr) {}
    ~SelectedBitmap() {
        if (dc_ && old_ != nullptr) {
            SelectObject(dc_.get(), old_);
        }
    }
    SelectedBitmap(const SelectedBitmap&) = delete;
    SelectedBitmap& operator=(const SelectedBitmap&) = delete;
    [[nodiscard]] HDC Dc() const { return dc_.get(); }

  private:
    UniqueMemoryDc dc_;
    HGDIOBJ old_;
};

// The message that wakes a dialog (its posted work, Dialog::Post) or the application's work
// window (work for the GUI thread from other threads). It carries no pointer: the work waits in
// a queue guarded by a mutex.
inline constexpr UINT kWakeMessage = WM_APP + 0x4B;

// The module the resources (pictures, icon) are in.
[[nodiscard]] inline HINSTANCE ProgramInstance() {
    return GetModuleHandleW(nullptr);
}

// True on the thread that brought up the application (Application.h); false before.
[[nodiscard]] bool IsGuiThread();

// Runs `f` on the GUI thread: at once there; from another thread handed over and waited for.
// Without an application nothing runs.
void RunOnGuiThread(const std::function<void()>& f);

}  // namespace kestrow::ui
