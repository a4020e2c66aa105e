// The Win32 realisation of the key state: GetKeyState, the state of the keyboard as of the
// message being handled (the click that asks for the Engineer Menu's chord).
#include "ui/dialogkit/KeyState.h"
#include "ui/dialogkit/SupportWin32.h"

namespace kestrow::ui {

bool KeyDown(Key key) {
    const int virtualKey = key == Key::Shift ? VK_SHIFT : VK_F7;
    return (GetKeyState(virtualKey) & 0x8000) != 0;
}

}  // namespace kestrow::ui
