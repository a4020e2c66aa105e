// The wait and arrow cursors of the application, as SetCursor gives them on Windows. Callable
// from any thread (a worker waits while the GUI thread changes the cursor).
#pragma once

namespace kestrow::ui {

void ShowWaitCursor();
void ShowArrowCursor();  // back to the normal cursor
[[nodiscard]] bool WaitCursorShown();

}  // namespace kestrow::ui
