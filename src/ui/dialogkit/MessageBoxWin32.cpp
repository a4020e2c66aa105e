// The Win32 realisation of message boxes: MessageBoxW on the GUI thread, with the exact text and
// caption, the detail under the text, and the owner's window.
#include <mutex>

#include "ui/dialogkit/DialogWindowWin32.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogkit/WindowsMapping.h"

namespace kestrow::ui {

namespace {

std::mutex gHookMutex;
MessageHook gHook;

int ShowOnGuiThread(HWND owner, const MessageRequest& request) {
    MessageHook hook;
    {
        const std::lock_guard lock(gHookMutex);
        hook = gHook;
    }
    if (hook) {
        return hook(request);
    }
    // An owner that went away meanwhile: the box is shown without one.
    const bool owned = owner != nullptr && IsWindow(owner) != 0;
    const UINT style = win::MessageBoxStyle(request.buttons, request.icon, owned);
    const int answer = MessageBoxW(owned ? owner : nullptr,
                                   Wide(win::MessageBoxText(request.text, request.detail)).c_str(),
                                   Wide(request.caption).c_str(), style);
    switch (answer) {
        case IDOK:
        case IDYES:
        case IDNO:
        case IDRETRY:
            return answer;  // the kit's ids are Windows' own
        default:
            return kIdCancel;  // Cancel, Esc, the close box, or no box at all
    }
}

}  // namespace

int ShowMessage(const Dialog* owner, std::string_view text, std::string_view caption,
                MessageButtons buttons, MessageIcon icon, std::string_view detail) {
    const MessageRequest request{
        std::string(text), std::string(caption), std::string(detail), buttons, icon,
        owner != nullptr};
    HWND ownerWindow = owner != nullptr ? owner->Window().Handle() : nullptr;
    int answer = kIdCancel;  // also without an application
    RunOnGuiThread([&] { answer = ShowOnGuiThread(ownerWindow, request); });
    return answer;
}

void SetMessageHook(MessageHook hook) {
    const std::lock_guard lock(gHookMutex);
    gHook = std::move(hook);
}

}  // namespace kestrow::ui
