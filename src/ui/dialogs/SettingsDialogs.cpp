#include "SettingsDialogs.h"

#include <utility>

#include "DialogLaunchers.h"
#include "Dlg1.h"
#include "Dlg1_.h"
#include "Dlg2.h"
#include "Dlg3.h"
#include "Dlg4.h"
#include "Dlg5.h"
#include "Dlg6.h"

namespace kestrow {

namespace {

// Builds dialog D on this stack with `args`, runs it modally over `parent`, ignores its result.
template <class D, class... Args>
void Run(QWidget* parent, Args&&... args) {
    D dlg(std::forward<Args>(args)...);
    (void)dlg.RunModal(parent);
}

}  // namespace

// Each dialog gets the port and the bytes it is lent.
void RegisterSettingsDialogs() {
    // System: the four System bytes; template 201 also the probe's port byte.
    RegisterDialogLauncher(200, [](const LaunchRequest& r) {
        Run<Dlg1_>(r.parent, r.port, r.group, r.isNewModel.value_or(0) == 1);
    });
    RegisterDialogLauncher(201, [](const LaunchRequest& r) {
        Run<Dlg1>(r.parent, r.port, r.group, r.portByte.value_or(0));
    });
    // In/Out mode, Image, Output Setup, Adjustment, Engineer Menu.
    RegisterDialogLauncher(202, [](const LaunchRequest& r) { Run<Dlg2>(r.parent, r.port); });
    RegisterDialogLauncher(203,
                           [](const LaunchRequest& r) { Run<Dlg3>(r.parent, r.port, r.group); });
    RegisterDialogLauncher(204, [](const LaunchRequest& r) {
        Run<Dlg4>(r.parent, r.port, r.group, r.portByte.value_or(0));
    });
    RegisterDialogLauncher(205,
                           [](const LaunchRequest& r) { Run<Dlg5>(r.parent, r.port, r.group); });
    RegisterDialogLauncher(206, [](const LaunchRequest& r) { Run<Dlg6>(r.parent, r.port); });
}

}  // namespace kestrow
