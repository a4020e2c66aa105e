#include "ui/main/DialogLaunchers.h"

#include <map>

namespace kestrow {

namespace {
std::map<int, DialogLauncher>& Launchers() {
    static std::map<int, DialogLauncher> launchers;
    return launchers;
}
}  // namespace

void RegisterDialogLauncher(int templateId, DialogLauncher launcher) {
    if (launcher) {
        Launchers()[templateId] = std::move(launcher);
    } else {
        Launchers().erase(templateId);
    }
}

bool LaunchDialog(const LaunchRequest& request) {
    auto it = Launchers().find(request.templateId);
    if (it == Launchers().end()) {
        return false;
    }
    // A copy: the dialog may register or remove launchers while it runs.
    DialogLauncher launcher = it->second;
    launcher(request);
    return true;
}

}  // namespace kestrow
