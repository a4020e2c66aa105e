// The Qt realisation of the dialog's runs and window operations.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "ui/dialogkit/DialogWindowQt.h"

namespace kestrow::ui {

Dialog::Dialog(const DialogTemplate& tmpl)
    : tmpl_(tmpl), window_(std::make_unique<DialogWindow>(*this)) {}

Dialog::~Dialog() = default;

bool Dialog::CreateModeless(Dialog* owner) {
    DialogWindow& w = *window_;
    if (owner != nullptr) {
        w.setParent(&owner->Window(), w.windowFlags());
    }
    if (!w.Build()) {
        return false;
    }
    Initialize();
    w.show();
    return true;
}

int Dialog::RunModal(Dialog* owner) {
    DialogWindow& w = *window_;
    if (owner != nullptr && &owner->Window() != w.parentWidget()) {
        w.setParent(&owner->Window(), w.windowFlags());
    }
    if (!w.Build()) {
        return -1;
    }
    w.setWindowModality(Qt::ApplicationModal);
    Initialize();
    return w.exec();
}

void Dialog::EndDialog(int id) {
    window_->done(id);
}

void Dialog::CenterOnParent() {
    DialogWindow& w = *window_;
    QRect area;
    if (QWidget* p = w.parentWidget(); p != nullptr) {
        area = p->window()->frameGeometry();
    } else if (QScreen* s = w.screen(); s != nullptr) {
        area = s->availableGeometry();
    } else if (QScreen* primary = QGuiApplication::primaryScreen(); primary != nullptr) {
        area = primary->availableGeometry();
    }
    if (area.isValid()) {
        w.move(area.center() - QPoint(w.width() / 2, w.height() / 2));
    }
}

void Dialog::SetClientSize(int width, int height) {
    window_->setFixedSize(width, height);
}

void Dialog::Post(std::function<void()> work) {
    QMetaObject::invokeMethod(window_.get(), std::move(work), Qt::QueuedConnection);
}

Dialog* ActiveDialog() {
    QWidget* active = QApplication::activeModalWidget();
    if (active == nullptr) {
        active = QApplication::activeWindow();
    }
    auto* window = qobject_cast<DialogWindow*>(active);
    return window != nullptr ? &window->Kit() : nullptr;
}

}  // namespace kestrow::ui
