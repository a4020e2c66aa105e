#include "SettingsDialogs.h"

#include "DialogLaunchers.h"
#include "Dlg1.h"
#include "Dlg1_.h"

namespace kestrow {

// Each launcher builds its dialog on its own stack with the port and the lent bytes, runs it
// modally over the active window and ignores its result.
void RegisterSettingsDialogs() {
    // System: the four System bytes; template 201 also the probe's port byte.
    RegisterDialogLauncher(200, [](const LaunchRequest& r) {
        Dlg1_ dlg(r.port, r.group, r.isNewModel.value_or(0) == 1);
        (void)dlg.RunModal(r.parent);
    });
    RegisterDialogLauncher(201, [](const LaunchRequest& r) {
        Dlg1 dlg(r.port, r.group, r.portByte.value_or(0));
        (void)dlg.RunModal(r.parent);
    });
}

}  // namespace kestrow
