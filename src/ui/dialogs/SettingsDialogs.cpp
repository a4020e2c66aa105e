#include "ui/dialogs/SettingsDialogs.h"

#include <utility>

#include "ui/dialogs/AdjustmentDialog.h"
#include "ui/dialogs/EngineerMenuDialog.h"
#include "ui/dialogs/ImageDialog.h"
#include "ui/dialogs/InOutDialog.h"
#include "ui/dialogs/OutputSetupDialog.h"
#include "ui/dialogs/SystemClockDialog.h"
#include "ui/dialogs/SystemVersionDialog.h"

namespace kestrow {

namespace {

// Builds dialog D on this stack with `args`, runs it modally over `parent`, ignores its result.
template <class D, class... Args>
void Run(ui::Dialog* parent, Args&&... args) {
    D dlg(std::forward<Args>(args)...);
    (void)dlg.RunModal(parent);
}

}  // namespace

// Each dialog gets the port and the bytes it is lent.
void RunSettingsDialog(const LaunchRequest& r) {
    switch (r.templateId) {
        case 200:
            return Run<SystemVersionDialog>(r.parent, r.port, r.group, r.box);
        case 201:
            return Run<SystemClockDialog>(r.parent, r.port, r.group, r.box);
        case 202:
            return Run<InOutDialog>(r.parent, r.port);
        case 203:
            return Run<ImageDialog>(r.parent, r.port, r.group);
        case 204:
            return Run<OutputSetupDialog>(r.parent, r.port, r.group, r.box);
        case 205:
            return Run<AdjustmentDialog>(r.parent, r.port, r.group);
        case 206:
            return Run<EngineerMenuDialog>(r.parent, r.port);
        default:
            return;
    }
}

}  // namespace kestrow
