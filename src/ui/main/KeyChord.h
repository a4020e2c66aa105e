// Whether Shift and F7 are both down, by the keyboard state the application has seen so far
// (as GetKeyState answers it). Qt cannot be asked for F7's state, so an application event
// filter follows F7's presses and releases, and Shift with every key and mouse event.
#pragma once

#include <QObject>

namespace kestrow {

class KeyChord : public QObject {
    Q_OBJECT
  public:
    explicit KeyChord(QObject* parent = nullptr);
    ~KeyChord() override;

    [[nodiscard]] bool ShiftF7Held() const { return shift_ && f7_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool shift_ = false;
    bool f7_ = false;
};

}  // namespace kestrow
