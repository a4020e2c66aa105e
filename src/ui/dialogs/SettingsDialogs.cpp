#include "SettingsDialogs.h"

#include "DialogLaunchers.h"

namespace kestrow {

// Each launcher builds its dialog on its own stack with the port and the lent bytes, runs it
// modally over the active window and ignores its result.
void RegisterSettingsDialogs() {}

}  // namespace kestrow
