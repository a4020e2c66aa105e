// Start-up: the main window from template 129, modeless, and the event loop until it closes.
// The exit code is the command that closed the window: 1 (Enter) or 2 (Esc, close box), or 0
// when the window could not be created. The command line is ignored.
#include <QApplication>

#include "ui/dialogkit/DeviceHooks.h"
#include "ui/main/MainWindow.h"

namespace {

// Without a display to connect to, the toolkit would abort; the window cannot be created.
bool DisplayNamed() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!DisplayNamed()) {
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrow"));
    QApplication::setDesktopFileName(QStringLiteral("kestrow"));
    // The main window's closing command ends the program, not the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
    kestrow::ui::InstallDeviceHooks();

    int exitCode = 0;
    {
        kestrow::MainWindow dialog;
        QObject::connect(&dialog, &QDialog::finished, &app,
                         [](int id) { QCoreApplication::exit(id); });
        if (dialog.CreateModeless(nullptr)) {
            exitCode = QApplication::exec();
        }
    }
    kestrow::ui::RemoveDeviceHooks();
    return exitCode;
}
