// The Qt realisation of message boxes: QMessageBox on the GUI thread.
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <mutex>

#include "ui/dialogkit/DialogWindowQt.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogkit/SupportQt.h"

namespace kestrow::ui {

namespace {

std::mutex gHookMutex;
MessageHook gHook;

QMessageBox::StandardButtons ToQt(MessageButtons b) {
    switch (b) {
        case MessageButtons::Ok:
            return QMessageBox::Ok;
        case MessageButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MessageButtons::RetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon ToQt(MessageIcon i) {
    switch (i) {
        case MessageIcon::None:
            return QMessageBox::NoIcon;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

int ToId(int qtButton) {
    switch (qtButton) {
        case QMessageBox::Ok:
            return kIdOk;
        case QMessageBox::Yes:
            return kIdYes;
        case QMessageBox::No:
            return kIdNo;
        case QMessageBox::Retry:
            return kIdRetry;
        default:
            return kIdCancel;  // Cancel, Esc or the close box
    }
}

// While a box is up the operator needs the arrow, also when a wait cursor is shown (Windows
// gives a message box its own arrow); the wait cursor comes back when the box closes.
class ArrowWhileShown {
  public:
    ArrowWhileShown() : active_(QGuiApplication::overrideCursor() != nullptr) {
        if (active_) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        }
    }
    ~ArrowWhileShown() {
        if (active_ && QGuiApplication::overrideCursor() != nullptr) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
    ArrowWhileShown(const ArrowWhileShown&) = delete;
    ArrowWhileShown& operator=(const ArrowWhileShown&) = delete;

  private:
    bool active_;
};

int ShowOnGuiThread(QWidget* owner, const MessageRequest& request) {
    MessageHook hook;
    {
        std::lock_guard lock(gHookMutex);
        hook = gHook;
    }
    const ArrowWhileShown arrow;
    if (hook) {
        return hook(request);
    }
    const QString caption = Utf8(request.caption);
    QMessageBox box(ToQt(request.icon), caption, Utf8(request.text), ToQt(request.buttons), owner);
    box.setWindowTitle(WindowTitle(caption));
    if (!request.detail.empty()) {
        box.setInformativeText(Utf8(request.detail));
    }
    return ToId(box.exec());
}

}  // namespace

int ShowMessage(const Dialog* owner, std::string_view text, std::string_view caption,
                MessageButtons buttons, MessageIcon icon, std::string_view detail) {
    const MessageRequest request{
        std::string(text), std::string(caption), std::string(detail), buttons, icon,
        owner != nullptr};
    const QPointer<QWidget> guardedOwner(owner != nullptr ? &owner->Window() : nullptr);
    int answer = kIdCancel;  // also without an application
    RunOnGuiThread([&] { answer = ShowOnGuiThread(guardedOwner.data(), request); });
    return answer;
}

void SetMessageHook(MessageHook hook) {
    std::lock_guard lock(gHookMutex);
    gHook = std::move(hook);
}

}  // namespace kestrow::ui
