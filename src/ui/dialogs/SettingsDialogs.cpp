#include "SettingsDialogs.h"

#include "DialogLaunchers.h"
#include "Dlg1.h"
#include "Dlg1_.h"
#include "Dlg2.h"
#include "Dlg3.h"
#include "Dlg4.h"
#include "Dlg5.h"
#include "Dlg6.h"

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
    // In/Out mode, Image, Output Setup, Adjustment, Engineer Menu.
    RegisterDialogLauncher(202, [](const LaunchRequest& r) {
        Dlg2 dlg(r.port);
        (void)dlg.RunModal(r.parent);
    });
    RegisterDialogLauncher(203, [](const LaunchRequest& r) {
        Dlg3 dlg(r.port, r.group);
        (void)dlg.RunModal(r.parent);
    });
    RegisterDialogLauncher(204, [](const LaunchRequest& r) {
        Dlg4 dlg(r.port, r.group, r.portByte.value_or(0));
        (void)dlg.RunModal(r.parent);
    });
    RegisterDialogLauncher(205, [](const LaunchRequest& r) {
        Dlg5 dlg(r.port, r.group);
        (void)dlg.RunModal(r.parent);
    });
    RegisterDialogLauncher(206, [](const LaunchRequest& r) {
        Dlg6 dlg(r.port);
        (void)dlg.RunModal(r.parent);
    });
}

}  // namespace kestrow
