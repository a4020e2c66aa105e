// The Qt realisation of the application object: a QApplication, its event loop, and the event
// processing of the GUI thread's waits.
#include <QApplication>
#include <QEventLoop>
#include <chrono>
#include <thread>

#include "ui/dialogkit/Application.h"
#include "ui/dialogkit/DialogWindowQt.h"
#include "ui/dialogkit/SupportQt.h"

namespace kestrow::ui {

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

struct Application::Toolkit {
    std::unique_ptr<QApplication> app;
};

Application::Application(int& argc, char** argv) : toolkit_(std::make_unique<Toolkit>()) {
    if (!DisplayNamed()) {
        return;
    }
    toolkit_->app = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrow"));
    QApplication::setDesktopFileName(QStringLiteral("kestrow"));
    // The main window's closing command ends the program, not the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
}

Application::~Application() = default;

bool Application::Started() const {
    return toolkit_->app != nullptr;
}

int Application::Run(Dialog& mainWindow) {
    QObject::connect(&mainWindow.Window(), &QDialog::finished, toolkit_->app.get(),
                     [](int id) { QCoreApplication::exit(id); });
    return QApplication::exec();
}

void KeepWindowsPainted() {
    if (IsGuiThread()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void ServeOtherThreadsUntil(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace kestrow::ui
