// The Qt realisation of the key state. Qt cannot be asked whether F7 is down, so an application
// event filter follows F7's presses and releases, and Shift with every key and mouse event.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

#include "ui/dialogkit/DialogWindowQt.h"
#include "ui/dialogkit/KeyState.h"

namespace kestrow::ui {

namespace {

class KeyWatch : public QObject {
  public:
    using QObject::QObject;
    bool shift = false;
    bool f7 = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // An event may pass here once per widget on its way up to the parents; the updates
        // below give the same state each time.
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease: {
                const auto* key = static_cast<const QKeyEvent*>(event);
                const bool down = event->type() == QEvent::KeyPress;
                if (key->key() == Qt::Key_F7 && !key->isAutoRepeat()) {
                    f7 = down;
                }
                shift = key->key() == Qt::Key_Shift ? down
                                                    : key->modifiers().testFlag(Qt::ShiftModifier);
                break;
            }
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
                shift =
                    static_cast<const QMouseEvent*>(event)->modifiers().testFlag(Qt::ShiftModifier);
                break;
            case QEvent::ApplicationDeactivate:
                // Releases while another program has the keyboard never reach us.
                shift = false;
                f7 = false;
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }
};

QPointer<KeyWatch>& TheWatch() {
    static QPointer<KeyWatch> watch;
    return watch;
}

}  // namespace

void WatchKeys() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && TheWatch().isNull()) {
        TheWatch() = new KeyWatch(app);  // goes with the application
        app->installEventFilter(TheWatch().data());
    }
}

bool KeyDown(Key key) {
    const KeyWatch* watch = TheWatch().data();
    if (watch == nullptr) {
        return false;
    }
    return key == Key::Shift ? watch->shift : watch->f7;
}

}  // namespace kestrow::ui
