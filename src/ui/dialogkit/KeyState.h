// Whether a key is held down, by the keyboard state the application has seen so far (as
// GetKeyState answers it): the Engineer Menu's chord is Shift and F7.
#pragma once

namespace kestrow::ui {

enum class Key { Shift, F7 };

[[nodiscard]] bool KeyDown(Key key);

}  // namespace kestrow::ui
