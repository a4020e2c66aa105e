// The Win32 realisation of the wait and arrow cursors: SetCursor on the GUI thread, and while
// the wait cursor is on, the kit's windows keep it over them (their WM_SETCURSOR).
#include <atomic>

#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/SupportWin32.h"

namespace kestrow::ui {

namespace {

std::atomic<bool> gWaiting{false};

}  // namespace

void ShowWaitCursor() {
    RunOnGuiThread([] {
        gWaiting = true;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    });
}

void ShowArrowCursor() {
    RunOnGuiThread([] {
        gWaiting = false;
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    });
}

bool WaitCursorShown() {
    return gWaiting;
}

}  // namespace kestrow::ui
