// Start-up: the main window from template 129, modeless, and the message loop until it closes.
// The exit code is the command that closed the window: 1 (Enter) or 2 (Esc, close box), or 0
// when the window could not be created. The command line is ignored.
#include "ui/dialogkit/Application.h"
#include "ui/dialogkit/DeviceHooks.h"
#include "ui/main/MainWindow.h"

int main(int argc, char* argv[]) {
    kestrow::ui::Application app(argc, argv);
    if (!app.Started()) {
        return 0;
    }
    kestrow::ui::InstallDeviceHooks();
    int exitCode = 0;
    {
        kestrow::MainWindow dialog;
        if (dialog.CreateModeless(nullptr)) {
            exitCode = app.Run(dialog);
        }
    }
    kestrow::ui::RemoveDeviceHooks();
    return exitCode;
}
