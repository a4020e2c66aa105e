// Connects the device layer to the user interface: its waits keep the windows painted (the idle
// hook, KeepWindowsPainted), and its failure reports become message boxes (through ShowMessage,
// so tests answer them with a MessageHook).
#pragma once

namespace kestrow::ui {

// Installs both hooks; call once the toolkit is up (Application, or a test's own).
void InstallDeviceHooks();
// Removes both (before the toolkit goes away).
void RemoveDeviceHooks();

}  // namespace kestrow::ui
