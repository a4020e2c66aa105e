// The Win32 realisation's window of a ui::Dialog: a dialog of the Windows dialog manager built
// from an in-memory DLGTEMPLATEEX (DialogTemplateEx.h), its dialog procedure with the message
// map's routing, the work other threads post to it, and for a skinned template its background,
// pictures, colours, icon, context menu and accelerators at the window's DPI (SkinWin32.cpp).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "ui/dialogkit/Dialog.h"
#include "ui/dialogkit/PicturesWin32.h"
#include "ui/dialogkit/SupportWin32.h"

namespace kestrow::ui {

class DialogWindow {
  public:
    explicit DialogWindow(Dialog& dialog);
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    [[nodiscard]] Dialog& Kit() const { return dialog_; }
    // The window; null before it is created and after it is gone. Readable from any thread.
    [[nodiscard]] HWND Handle() const;
    // The control with this id, or null.
    [[nodiscard]] HWND Control(int id) const;
    // The control's entry in the template, or null.
    [[nodiscard]] const ControlTemplate* ControlEntry(int id) const;

    // Creates the window modeless over `owner` and shows it; false when it cannot be created.
    bool CreateModeless(HWND owner);
    // Runs the window modally over `owner`; the id it ended with, -1 when it was not created.
    int RunModal(HWND owner);
    // Ends a modal run with `id`, or destroys a modeless window and tells the end handler.
    void End(int id);
    // Called with the id a modeless window ended with (the application quits on its main
    // window's end).
    void SetEndHandler(std::function<void(int)> handler) { onEnded_ = std::move(handler); }
    // Queues `work` for this window's thread and wakes it; see Dialog::Post.
    void Post(std::function<void()> work);

    // The client area in logical pixels (96 dpi), kept at the window's DPI from then on.
    void SetLogicalClientSize(int width, int height);
    void CenterOnOwner();

    // Trackbars: the position moved since it was last told? Then tell it (Dialog::Notify).
    void TellTrackbar(int id);
    // Picture controls: the picture each shows.
    void SetPicture(int id, int picture);
    // Static texts: a text wider than its control widens it, as far as the next control on its
    // line and the dialog's edge allow (the templates were laid out for a narrower dialog font
    // than the system's); -1 fits every static text of the dialog.
    void FitText(int id);
    [[nodiscard]] std::optional<int> PictureOf(int id) const;
    // Combo boxes: each entry's tip (ids of a list -> tips in entry order), shown while the
    // pointer rests on the entry in the dropped list (TipsWin32.cpp).
    std::map<int, std::vector<std::string>> tips;

    // For the application's loop: accelerators, then the dialog keys (IsDialogMessageW), of
    // the modeless window `root` is; true when the message was used.
    static bool PreTranslate(HWND root, MSG& msg);
    // The kit's window behind `hwnd`, or null for any other window.
    [[nodiscard]] static DialogWindow* FromHandle(HWND hwnd);

  private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // One message; a value in `result` is the message's own result (DWLP_MSGRESULT).
    std::optional<INT_PTR> OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void OnInit(HWND hwnd);
    void SetUpTips();
    // TTN_GETDISPINFOW of the tips' tooltip: the tip of the entry under the pointer.
    void FillTip(NMTTDISPINFOW& info);
    void OnGone();
    void RunPosted();
    [[nodiscard]] std::vector<uint32_t> TemplateBytes() const;

    // The skin (SkinWin32.cpp): set up at initialisation, then its messages.
    [[nodiscard]] bool Skinned() const;
    [[nodiscard]] bool OnGrid() const;
    void SetUpSkin();
    void LayOutGrid();
    void ApplyLogicalClientSize();
    std::optional<INT_PTR> HandleSkin(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool PaintBackground(HDC dc);
    HBRUSH ColourControl(UINT message, HDC dc, HWND control);
    void DrawPicture(const DRAWITEMSTRUCT& item);
    void ShowContextMenu(LPARAM where);
    void OnDpiChanged(int dpi, const RECT& suggested);
    const PictureBitmap* Picture(int picture);
    HBITMAP Backdrop();

    Dialog& dialog_;
    const DialogTemplate& tmpl_;
    mutable std::mutex mutex_;  // guards hwnd_ and posted_
    HWND hwnd_ = nullptr;
    std::deque<std::function<void()>> posted_;
    bool modal_ = false;
    std::function<void(int)> onEnded_;
    std::map<int, int> toldPositions_;  // trackbar id -> the position last told
    std::map<int, int> pictures_;       // picture control id -> picture shown
    SIZE logicalClient_{};              // SetLogicalClientSize's; 0 x 0: the template's
    HWND tipWindow_ = nullptr;          // the tooltip of lists' entries and pictures; owned
    std::map<HWND, int> droppedLists_;  // a combo box's dropped list -> the combo box's id
    std::wstring tipText_;              // the text the tooltip shows now

    // What a skinned window keeps: its DPI and the pictures at its scale, the background at the
    // client area's size and its brush, the skin's colours, font, icons and accelerators.
    struct Skin {
        int dpi = 96;
        int scale = 100;
        std::map<int, PictureBitmap> pictures;  // by picture number, at `scale`
        UniqueBitmap backdrop;                  // the background picture at the client's size
        SIZE backdropSize{};
        UniqueBrush backdropBrush;  // a pattern of the backdrop: static texts draw over it
        UniqueBrush fieldBrush;     // the lists' fields
        UniqueFont font;            // the template's font at `dpi` (a window on the grid)
        UniqueIcon bigIcon;
        UniqueIcon smallIcon;
        std::unique_ptr<std::remove_pointer_t<HACCEL>, BOOL(WINAPI*)(HACCEL)> accelerators{
            nullptr, DestroyAcceleratorTable};
    };
    std::unique_ptr<Skin> skin_;
};

}  // namespace kestrow::ui
