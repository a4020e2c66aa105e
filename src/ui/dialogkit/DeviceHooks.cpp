#include "ui/dialogkit/DeviceHooks.h"

#include <string>

#include "ports/DeviceAccess.h"
#include "serial/SerialTypes.h"
#include "ui/dialogkit/Application.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

namespace {

void ShowSerialFailure(const SerialReport& report) {
    // A port the user may not open: the reason names the device, its group and the command
    // that lets the user in.
    std::string detail = report.detail;
    if (const auto advice = RefusalAdvice(report.error)) {
        detail += "\n" + advice->why + (advice->fix.empty() ? "" : ":\n" + advice->fix);
    }
    // No owner window, OK only; ShowMessage carries a worker thread's report to the GUI thread.
    ShowMessage(nullptr, report.text, report.caption, MessageButtons::Ok, MessageIcon::None,
                detail);
}

}  // namespace

void InstallDeviceHooks() {
    SetIdleHook(KeepWindowsPainted);
    SetSerialReporter(ShowSerialFailure);
}

void RemoveDeviceHooks() {
    SetIdleHook(nullptr);
    SetSerialReporter(nullptr);
}

}  // namespace kestrow::ui
