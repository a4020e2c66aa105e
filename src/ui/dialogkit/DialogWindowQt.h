// The Qt realisation's window of a ui::Dialog: a QDialog built from the template, with one
// widget per control (its object name the decimal id), the keyboard rules of a Windows dialog,
// and for a skinned template its background, colours, icon and context menu.
#pragma once

#include <QDialog>
#include <memory>

#include "ui/dialogkit/Dialog.h"

class QCloseEvent;
class QContextMenuEvent;
class QKeyEvent;
class QPaintEvent;
class QSvgRenderer;

namespace kestrow::ui {

class DialogWindow : public QDialog {
    Q_OBJECT
  public:
    explicit DialogWindow(Dialog& dialog);
    ~DialogWindow() override;

    [[nodiscard]] Dialog& Kit() const { return dialog_; }
    // Builds the controls once; false when a control could not be made.
    bool Build();
    // The control with this id, or null.
    [[nodiscard]] QWidget* Control(int id) const;
    template <class T>
    [[nodiscard]] T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }
    // Dialog units to pixels of this window.
    [[nodiscard]] int UnitsToPixelsX(int units) const;
    [[nodiscard]] int UnitsToPixelsY(int units) const;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  public slots:
    void reject() override;  // Esc through Qt's own paths: command 2
    void accept() override;  // command 1

  private:
    QWidget* MakeControl(const ControlTemplate& c);
    // A skinned template's background, icon and context menu (SkinQt.cpp).
    void Dress();
    void ApplySkin(QWidget* control) const;
    bool HandleKey(QKeyEvent* event, QWidget* receiver);
    [[nodiscard]] int DefaultCommandId() const;

    Dialog& dialog_;
    const DialogTemplate& tmpl_;
    bool built_ = false;
    int baseX_ = 0;
    int baseY_ = 0;
    std::unique_ptr<QSvgRenderer> background_;
};

// Starts following the keyboard for KeyDown (KeyState.h), once per application.
void WatchKeys();

}  // namespace kestrow::ui
