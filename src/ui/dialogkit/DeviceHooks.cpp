#include "DeviceHooks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include "MessageBox.h"
#include "SerialTypes.h"

namespace kestrow::ui {

namespace {

void KeepPainted() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() == app->thread()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void ShowSerialFailure(const SerialReport& report) {
    // No owner window, OK only; ShowMessage carries a worker thread's report to the GUI thread.
    ShowMessage(nullptr, QString::fromStdString(report.text),
                QString::fromStdString(report.caption), MessageButtons::Ok, MessageIcon::None,
                QString::fromStdString(report.detail));
}

}  // namespace

void InstallDeviceHooks() {
    SetIdleHook(KeepPainted);
    SetSerialReporter(ShowSerialFailure);
}

void RemoveDeviceHooks() {
    SetIdleHook(nullptr);
    SetSerialReporter(nullptr);
}

}  // namespace kestrow::ui
