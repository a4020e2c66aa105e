// Connects the device layer to the user interface: its waits keep the windows painted (the idle
// hook processes pending events except user input, on the GUI thread only), and its failure
// reports become message boxes (through ShowMessage, so tests answer them with a MessageHook).
#pragma once

namespace kestrow::ui {

// Installs both hooks; call once a QApplication exists.
void InstallDeviceHooks();
// Removes both (before the QApplication goes away).
void RemoveDeviceHooks();

}  // namespace kestrow::ui
