#include "ui/main/KeyChord.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace kestrow {

KeyChord::KeyChord(QObject* parent) : QObject(parent) {
    if (QCoreApplication* app = QCoreApplication::instance(); app != nullptr) {
        app->installEventFilter(this);
    }
}

KeyChord::~KeyChord() {
    if (QCoreApplication* app = QCoreApplication::instance(); app != nullptr) {
        app->removeEventFilter(this);
    }
}

bool KeyChord::eventFilter(QObject* watched, QEvent* event) {
    // An event may pass here once per widget on its way up to the parents; the updates below
    // give the same state each time.
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto* key = static_cast<const QKeyEvent*>(event);
            const bool down = event->type() == QEvent::KeyPress;
            if (key->key() == Qt::Key_F7) {
                if (!key->isAutoRepeat()) {
                    f7_ = down;
                }
            }
            if (key->key() == Qt::Key_Shift) {
                shift_ = down;
            } else {
                shift_ = key->modifiers().testFlag(Qt::ShiftModifier);
            }
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            shift_ =
                static_cast<const QMouseEvent*>(event)->modifiers().testFlag(Qt::ShiftModifier);
            break;
        case QEvent::ApplicationDeactivate:
            // Releases while another program has the keyboard never reach us.
            shift_ = false;
            f7_ = false;
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kestrow
