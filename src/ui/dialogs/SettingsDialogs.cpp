#include "ui/dialogs/SettingsDialogs.h"

#include <utility>

#include "ui/dialogs/AdjustmentDialog.h"
#include "ui/dialogs/EngineerMenuDialog.h"
#include "ui/dialogs/ImageDialog.h"
#include "ui/dialogs/InOutDialog.h"
#include "ui/dialogs/OutputSetupDialog.h"
#include "ui/dialogs/SystemClockDialog.h"
#include "ui/dialogs/SystemVersionDialog.h"
#include "ui/main/DialogLaunchers.h"

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
        Run<SystemVersionDialog>(r.parent, r.port, r.group, r.isNewModel.value_or(0) == 1);
    });
    RegisterDialogLauncher(201, [](const LaunchRequest& r) {
        Run<SystemClockDialog>(r.parent, r.port, r.group, r.portByte.value_or(0));
    });
    // In/Out mode, Image, Output Setup, Adjustment, Engineer Menu.
    RegisterDialogLauncher(202, [](const LaunchRequest& r) { Run<InOutDialog>(r.parent, r.port); });
    RegisterDialogLauncher(
        203, [](const LaunchRequest& r) { Run<ImageDialog>(r.parent, r.port, r.group); });
    RegisterDialogLauncher(204, [](const LaunchRequest& r) {
        Run<OutputSetupDialog>(r.parent, r.port, r.group, r.portByte.value_or(0));
    });
    RegisterDialogLauncher(
        205, [](const LaunchRequest& r) { Run<AdjustmentDialog>(r.parent, r.port, r.group); });
    RegisterDialogLauncher(
        206, [](const LaunchRequest& r) { Run<EngineerMenuDialog>(r.parent, r.port); });
}

}  // namespace kestrow
