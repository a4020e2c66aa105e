// The settings dialogs the main window's launchers open, by template number. The program
// registers them once at start-up; tests that start the program's wiring call the same.
#pragma once

namespace kestrow {

void RegisterSettingsDialogs();

}  // namespace kestrow
