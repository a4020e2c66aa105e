// The dialog base: builds a window from a DialogTemplate, works its controls by id, routes
// commands by id to member handlers (the message map) and ends with an id. Text is UTF-8.
// The window itself is the realisation's (DialogWindow): one toolkit per build.
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
//   FirmwareUpdateDialog dlg; dlg.port = 3; int id = dlg.RunModal(ui::ActiveDialog());
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "ui/dialogkit/DialogTemplate.h"

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

class DialogWindow;  // the realisation's window

class Dialog {
  public:
    explicit Dialog(const DialogTemplate& tmpl);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Builds the controls (once), calls OnInitDialog (once), shows modeless over `owner` (null:
    // none). False when the window could not be built.
    [[nodiscard]] bool CreateModeless(Dialog* owner);
    // Builds, runs modally over `owner`, returns the id the dialog ended with (-1: not built).
    int RunModal(Dialog* owner);
    // Ends the dialog (modal or modeless) with `id` as its result.
    void EndDialog(int id);
    // Sends command `id` as a click would (tests use this too).
    void Command(int id);

    [[nodiscard]] const DialogTemplate& Template() const { return tmpl_; }
    [[nodiscard]] DialogWindow& Window() const { return *window_; }

    void CenterOnParent();
    // The client area in pixels, fixed from then on.
    void SetClientSize(int width, int height);
    // Runs `work` later on this dialog's thread; callable from any thread. Dropped when the
    // dialog is gone by then.
    void Post(std::function<void()> work);

    // Controls by id; an id the template lacks reads as empty and takes nothing.
    // The text of a control (a drop-down combo box: its edit field).
    void SetItemText(int id, std::string_view text);
    [[nodiscard]] std::string ItemText(int id) const;
    void EnableItem(int id, bool enabled);
    void ShowItem(int id, bool shown);

    // Combo boxes. An entry's tip shows when the pointer rests on it in the dropped list.
    void ResetList(int id);
    void AddListEntry(int id, std::string_view text, std::string_view tip = {});
    void SetListSelection(int id, int index);       // -1, or an index beyond the list: none
    [[nodiscard]] int ListSelection(int id) const;  // -1: none
    [[nodiscard]] int ListCount(int id) const;
    [[nodiscard]] std::string ListEntry(int id, int index) const;
    // The first entry whose text is `text`, letter case counting; -1: none.
    [[nodiscard]] int FindListEntry(int id, std::string_view text) const;

    // Trackbars (their notification: MapNotifications) and progress bars.
    void SetTrackbarRange(int id, int minimum, int maximum);
    void SetTrackbarPos(int id, int position);
    [[nodiscard]] int TrackbarPos(int id) const;
    void SetProgressRange(int id, int minimum, int maximum);
    void SetProgressPos(int id, int position);

    // Picture controls: show picture `picture` (Pictures.h); paint the control now, before
    // the thread goes on (a wait follows).
    void SetPicture(int id, int picture);
    void PaintNow(int id);

  protected:
    // Called once after the controls were built, before the dialog shows.
    virtual bool OnInitDialog() { return true; }

    // The message map: a static table of {id, &Derived::Handler}.
    template <class D, size_t N>
    void MapCommands(D* self, const CommandEntry<D> (&map)[N]) {
        for (const auto& e : map) {
            MapCommand(e.id, [self, h = e.handler] { (self->*h)(); });
        }
    }
    // One command routed to any callable (for handlers that share code through a table).
    void MapCommand(int id, std::function<void()> handler) { commands_[id] = std::move(handler); }

    template <class D, size_t N>
    void MapNotifications(D* self, const NotifyEntry<D> (&map)[N]) {
        for (const auto& e : map) {
            MapNotification(e.id, [self, h = e.handler](int pos) { (self->*h)(pos); });
        }
    }
    void MapNotification(int id, std::function<void(int)> handler) {
        notifications_[id] = std::move(handler);
    }

    // The owner for a modal dialog or message box this dialog opens: the active window when
    // it is one of the kit's dialogs, else this one.
    [[nodiscard]] Dialog& ActiveOwner();

  private:
    friend class DialogWindow;
    void Notify(int id, int position);
    void Initialize();

    const DialogTemplate& tmpl_;
    std::unique_ptr<DialogWindow> window_;
    bool initialized_ = false;
    std::map<int, std::function<void()>> commands_;
    std::map<int, std::function<void(int)>> notifications_;
};

// The currently active window when it is one of the kit's dialogs (the owner Windows gives a
// modal dialog run "from the active window"); null otherwise.
[[nodiscard]] Dialog* ActiveDialog();

}  // namespace kestrow::ui
