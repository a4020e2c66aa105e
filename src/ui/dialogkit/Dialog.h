// The dialog base: builds a QDialog from a DialogTemplate, finds controls by id, routes
// commands by id to member handlers (the message map) and ends with an id.
//
// Keyboard and closing behave like a Windows dialog, whatever is hidden:
//   Enter          -> command of the focused push button, else of the kDefault button, else 1
//   Esc, close box -> command 2
// Commands 1 and 2 end the dialog with that id unless the map routes them elsewhere.
//
// A derived dialog:
//   class FirmwareUpdateDialog : public ui::Dialog {
//   public:
//       FirmwareUpdateDialog() : Dialog(kFirmwareUpdateDialogTemplate) {
//           static constexpr ui::CommandEntry<FirmwareUpdateDialog> kMap[] = {
//               {FirmwareUpdateIds::kLoadFileButton, &FirmwareUpdateDialog::OnLoadFile},
//               {FirmwareUpdateIds::kBurnButton, &FirmwareUpdateDialog::OnBurn}};
//           MapCommands(this, kMap);
//       }
//   protected:
//       bool OnInitDialog() override;  // controls exist; return value kept for symmetry
//   };
//   FirmwareUpdateDialog dlg; dlg.port = 3; int id = dlg.RunModal(ui::ActiveWindow());
#pragma once

#include <QDialog>
#include <cstddef>
#include <functional>
#include <map>

#include "ui/dialogkit/DialogTemplate.h"

class QCloseEvent;
class QKeyEvent;

namespace kestrow::ui {

template <class D>
struct CommandEntry {
    int id;
    void (D::*handler)();
};

// Trackbar notification: the trackbar's new position, whenever it changes.
template <class D>
struct NotifyEntry {
    int id;
    void (D::*handler)(int position);
};

class Dialog : public QDialog {
    Q_OBJECT
  public:
    explicit Dialog(const DialogTemplate& tmpl);
    ~Dialog() override;

    // Builds the controls (once), calls OnInitDialog, shows modeless. False when the window
    // could not be built.
    [[nodiscard]] bool CreateModeless(QWidget* parent);
    // Builds, runs modally with `parent` as owner, returns the id the dialog ended with.
    int RunModal(QWidget* parent);

    // The control with this id (its object name is the decimal id), or null.
    [[nodiscard]] QWidget* Control(int id) const;
    template <class T>
    [[nodiscard]] T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }
    void SetControlText(int id, const QString& text);
    [[nodiscard]] QString ControlText(int id) const;

    // Sends command `id` as a click would (tests use this too).
    void Command(int id);
    // Ends the dialog (modal or modeless) with `id` as its result.
    void EndDialog(int id);
    void CenterOnParent();

    [[nodiscard]] const DialogTemplate& Template() const { return tmpl_; }
    // Dialog units to pixels of this dialog.
    [[nodiscard]] int UnitsToPixelsX(int units) const;
    [[nodiscard]] int UnitsToPixelsY(int units) const;

  protected:
    // Called once after the controls were built, before the dialog shows.
    virtual bool OnInitDialog() { return true; }

    // The message map: a static table of {id, &Derived::Handler}.
    template <class D, size_t N>
    void MapCommands(D* self, const CommandEntry<D> (&map)[N]) {
        for (const auto& e : map) {
            commands_[e.id] = [self, h = e.handler] { (self->*h)(); };
        }
    }
    // One command routed to any callable (for handlers that share code through a table).
    void MapCommand(int id, std::function<void()> handler) { commands_[id] = std::move(handler); }

    template <class D, size_t N>
    void MapNotifications(D* self, const NotifyEntry<D> (&map)[N]) {
        for (const auto& e : map) {
            notifications_[e.id] = [self, h = e.handler](int pos) { (self->*h)(pos); };
        }
    }

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  public slots:
    void reject() override;  // Esc through Qt's own paths: command 2
    void accept() override;  // command 1

  private:
    bool Build();
    QWidget* MakeControl(const ControlTemplate& c);
    void Notify(int id, int position);
    bool HandleKey(QKeyEvent* event, QWidget* receiver);
    int DefaultCommandId() const;

    const DialogTemplate& tmpl_;
    bool built_ = false;
    bool initialized_ = false;
    int baseX_ = 0;
    int baseY_ = 0;
    std::map<int, std::function<void()>> commands_;
    std::map<int, std::function<void(int)>> notifications_;
};

// The currently active window, the owner Windows gives a modal dialog run "from the active
// window"; null when none is active.
[[nodiscard]] QWidget* ActiveWindow();

}  // namespace kestrow::ui
