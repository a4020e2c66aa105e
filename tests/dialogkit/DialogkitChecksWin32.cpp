// Checks of dialogkit's Win32 realisation on the real dialog manager (under Wine, or on
// Windows): windows built from templates, the keyboard rules through IsDialogMessageW, which
// WM_COMMAND reaches the message map, texts in UTF-8 both ways, lists, trackbars that tell a
// move but not a repaint, focus leaving a control that is disabled, message boxes from other
// threads, work for a dialog that is gone, the idle hook that takes no input, the wait cursor,
// accelerators, and texts that widen their place. What the panel's checks show through
// kestrow.exe (Enter and Esc with OK and Cancel hidden, hidden and disabled controls, an edit's
// text, the close box, the Engineer Menu's key chord, the progress bar, work posted from a
// worker) is not checked again here. Prints one line a check and "dialogkit: N passed, M failed".
// Usage: kestrow-dialogkit-check.exe   (exit code 0 when every check passed)
#include <atomic>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/windows/WinCheck.h"
#include "ui/dialogkit/Application.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/Dialog.h"
#include "ui/dialogkit/DialogWindowWin32.h"
#include "ui/dialogkit/MessageBox.h"

using namespace kestrow::ui;

namespace {

kestrow::wincheck::Checker check("dialogkit");

namespace Ids {
constexpr int kApply = 1002, kEdit = 1008, kTrackbar = 1027, kCombo = 1005, kText = 1033,
              kNeighbour = 1034, kRadio1 = 1012, kRadio2 = 1013, kMenuCommand = 40001;
}  // namespace Ids

constexpr ControlTemplate kControls[] = {
    {Ids::kApply, ControlKind::PushButton, "Apply", 10, 10, 40, 14},
    {Ids::kEdit, ControlKind::Edit, "", 60, 10, 50, 12, kBorder},
    {Ids::kTrackbar, ControlKind::Trackbar, "", 10, 30, 100, 15, kNoTicks},
    {Ids::kCombo, ControlKind::ComboDropDown, "", 10, 50, 60, 60, kVScroll},
    {Ids::kText, ControlKind::StaticText, "short", 10, 70, 20, 8},
    {Ids::kNeighbour, ControlKind::StaticText, "next", 60, 70, 30, 8},
    {Ids::kRadio1, ControlKind::RadioButton, "16:9", 10, 100, 30, 10},
    {Ids::kRadio2, ControlKind::RadioButton, "4:3", 50, 100, 30, 10},
    {kIdOk, ControlKind::PushButton, "OK", 150, 100, 40, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 150, 120, 40, 14, kHidden},
};
constexpr MenuCommand kMenu[] = {{Ids::kMenuCommand, "Save settings...", 'S', kCtrl}};
// The caption reaches beyond Latin-1, as every text may.
constexpr DialogTemplate kTemplate{.id = 900,
                                   .caption = "Pr\u00FCfung \u8A2D\u5B9A",
                                   .width = 200,
                                   .height = 140,
                                   .fontFamily = "MS Shell Dlg",
                                   .controls = kControls,
                                   .contextMenu = kMenu};

// Records every command and trackbar position instead of acting on them.
class Probe : public Dialog {
  public:
    explicit Probe(const DialogTemplate& t) : Dialog(t) {
        for (const int id : {kIdOk, kIdCancel, Ids::kApply, Ids::kRadio1, Ids::kMenuCommand}) {
            MapCommand(id, [this, id] { commands.push_back(id); });
        }
        MapNotification(Ids::kTrackbar, [this](int position) { told.push_back(position); });
    }
    std::vector<int> commands;
    std::vector<int> told;
    [[nodiscard]] HWND Hwnd() const { return Window().Handle(); }
    [[nodiscard]] HWND Item(int id) const { return GetDlgItem(Hwnd(), id); }
};

// Carries out what the queue holds as the application's loop does.
void Pump() {
    MSG msg;
    for (int i = 0; i < 500 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != 0; ++i) {
        HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (!DialogWindow::PreTranslate(root, msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

std::string Commands(const std::vector<int>& ids) {
    std::string out;
    for (const int id : ids) {
        out += (out.empty() ? "" : ",") + std::to_string(id);
    }
    return out;
}

// Presses `key` on control `focus` (-1: whatever has the focus; with Ctrl when `ctrl`) and
// returns the commands it gave.
std::string Press(Probe& dlg, int focus, UINT key, bool ctrl = false) {
    dlg.commands.clear();
    if (focus >= 0) {
        // As Tab moves it: a push button with the focus is the default one meanwhile.
        SendMessageW(dlg.Hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dlg.Item(focus)), TRUE);
    }
    // The thread's key state: Ctrl held down or not, no other key; nothing held afterwards.
    BYTE keys[256] = {};
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(keys);
    HWND target = GetFocus();
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    Pump();
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    return Commands(dlg.commands);
}

// A key on a control, with Ctrl or not, and the commands it gives. Enter and Esc in an edit,
// with OK and Cancel hidden: the panel's checks (In/Out mode, Image, the main window).
void KeyboardRules(Probe& dlg) {
    for (const auto& [name, focus, key, ctrl, commands] :
         {std::tuple{"Enter on a push button gives its own command", Ids::kApply, UINT{VK_RETURN},
                     false, "1002"},
          {"Ctrl+S gives the context menu's command", Ids::kEdit, 'S', true, "40001"},
          {"S alone gives nothing", Ids::kApply, 'S', false, ""}}) {
        check.Equal(name, Press(dlg, focus, key, ctrl), commands);
    }
}

// A WM_COMMAND from control `id` with `code`, and the commands it gives. A click (code 0) is
// the radio button's below; the close box, the panel's close.
void CommandRouting(Probe& dlg) {
    for (const auto& [name, id, code, commands] :
         {std::tuple{"a double-click (code 1) is none", Ids::kApply, 1, ""},
          {"a list's selection change is none", Ids::kCombo, CBN_SELCHANGE, ""},
          {"Cancel with any code is a command", kIdCancel, 7, "2"}}) {
        dlg.commands.clear();
        SendMessageW(dlg.Hwnd(), WM_COMMAND, MAKEWPARAM(id, static_cast<WORD>(code)),
                     reinterpret_cast<LPARAM>(dlg.Item(id)));
        check.Equal(name, Commands(dlg.commands), commands);
    }
    // A real click on the radio button reaches the map as its command.
    dlg.commands.clear();
    SendMessageW(dlg.Item(Ids::kRadio1), BM_CLICK, 0, 0);
    check.Equal("a radio button's click is its command", Commands(dlg.commands), "1012");
    check.Expect("the automatic radio button checked itself",
                 SendMessageW(dlg.Item(Ids::kRadio1), BM_GETCHECK, 0, 0) == BST_CHECKED);
}

void TextsAndLists(Probe& dlg) {
    const std::string other = "Gr\u00F6\u00DFe \u8A2D\u5B9A \u201Cq\u201D";
    // A text set on a control, and what reads back.
    for (const auto& [name, id, text, readBack] :
         {std::tuple<const char*, int, std::string, std::string>{"a static text", Ids::kText, other,
                                                                 other},
          {"a push button's caption", Ids::kApply, "Burn", "Burn"},
          {"a drop-down combo box's field", Ids::kCombo, "COM 5", "COM 5"},
          {"a trackbar has none", Ids::kTrackbar, "5", ""},
          {"an id the template lacks reads empty", 4711, "x", ""}}) {
        dlg.SetItemText(id, text);
        check.Equal(std::string("text of ") + name, dlg.ItemText(id), readBack);
    }
    // The window's caption, in UTF-16 from the template's UTF-8.
    wchar_t caption[32] = {};
    GetWindowTextW(dlg.Hwnd(), caption, 32);
    check.Expect("the caption is the template's",
                 std::wstring(caption) == L"Pr\u00FCfung \u8A2D\u5B9A");

    const int list = Ids::kCombo;
    dlg.ResetList(list);
    for (const char* entry : {"On", "Off", "on", "\u201CAdj\u201D"}) {
        dlg.AddListEntry(list, entry, "tip");
    }
    check.Equal("entries are kept in the order added", dlg.ListCount(list), 4);
    check.Equal("an entry reads back in UTF-8", dlg.ListEntry(list, 3), "\u201CAdj\u201D");
    check.Equal("finding an entry counts letter case", dlg.FindListEntry(list, "on"), 2);
    check.Equal("an entry that is not there", dlg.FindListEntry(list, "ON"), -1);
    dlg.SetListSelection(list, 1);
    check.Equal("the selection", dlg.ListSelection(list), 1);
    check.Equal("the field shows the chosen entry", dlg.ItemText(list), "Off");
    dlg.SetListSelection(list, 9);
    check.Equal("an index beyond the list selects none", dlg.ListSelection(list), -1);
    check.Equal("and empties the field", dlg.ItemText(list), "");
    dlg.ResetList(list);
    check.Equal("reset empties the list", dlg.ListCount(list), 0);
    check.Equal("an entry of an empty list", dlg.ListEntry(list, 0), "");
}

void Trackbars(Probe& dlg) {
    const int bar = Ids::kTrackbar;
    const auto repaint = [&] {
        RedrawWindow(dlg.Item(bar), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    };
    // What is done, the positions told since the last row, the position then.
    const std::tuple<const char*, std::function<void()>, const char*, int> rows[] = {
        {"a range that keeps the position tells nothing",
         [&] { dlg.SetTrackbarRange(bar, -50, 50); }, "", 0},
        {"a new position is told at once", [&] { dlg.SetTrackbarPos(bar, -12); }, "-12", -12},
        {"the same position again tells nothing", [&] { dlg.SetTrackbarPos(bar, -12); }, "", -12},
        {"a repaint tells nothing", repaint, "", -12},
        {"a position beyond the range is held to it", [&] { dlg.SetTrackbarPos(bar, 500); }, "50",
         50},
        {"a range that moves the position tells it", [&] { dlg.SetTrackbarRange(bar, 0, 20); },
         "20", 20},
        {"a move by the operator is told when the trackbar paints",
         [&] {
             SendMessageW(dlg.Item(bar), TBM_SETPOS, TRUE, 7);
             repaint();
         },
         "7", 7},
        {"and a key's move through its scroll message",
         [&] {
             SendMessageW(dlg.Item(bar), TBM_SETPOS, FALSE, 8);
             SendMessageW(dlg.Hwnd(), WM_HSCROLL, TB_LINEDOWN,
                          reinterpret_cast<LPARAM>(dlg.Item(bar)));
         },
         "8", 8},
    };
    ShowWindow(dlg.Hwnd(), SW_SHOWNA);
    Pump();
    for (const auto& [name, act, told, position] : rows) {
        dlg.told.clear();
        act();
        Pump();
        check.Equal(std::string("trackbar: ") + name, Commands(dlg.told), told);
        check.Equal(std::string("trackbar: ") + name + " (position)", dlg.TrackbarPos(bar),
                    position);
    }
}

void FocusAndWideTexts(Probe& dlg) {
    SetActiveWindow(dlg.Hwnd());
    SetFocus(dlg.Item(Ids::kApply));
    dlg.EnableItem(Ids::kApply, false);
    HWND focus = GetFocus();
    check.Expect("a focused control that is disabled hands the focus on",
                 focus != nullptr && focus != dlg.Item(Ids::kApply) && IsChild(dlg.Hwnd(), focus));
    check.Equal("Esc still reaches the dialog then", Press(dlg, -1, VK_ESCAPE), "2");
    dlg.EnableItem(Ids::kApply, true);

    // A text wider than its place widens it up to the next control on its line, no further.
    RECT before{}, after{}, neighbour{};
    GetWindowRect(dlg.Item(Ids::kText), &before);
    dlg.SetItemText(Ids::kText, "a text far wider than twenty dialog units");
    GetWindowRect(dlg.Item(Ids::kText), &after);
    GetWindowRect(dlg.Item(Ids::kNeighbour), &neighbour);
    check.Expect("a wide text widens its place", after.right > before.right);
    check.Expect("up to the next control on its line", after.right <= neighbour.left);
}

void OtherThreads(Probe& dlg) {
    const DWORD gui = GetCurrentThreadId();
    // Work posted from another thread runs on the dialog's: the panel's Firmware Update run.
    std::atomic<DWORD> ranOn{0};
    DWORD hookThread = 0;
    SetMessageHook([&](const MessageRequest& r) {
        hookThread = GetCurrentThreadId();
        return r.caption == "Confirm" ? kIdCancel : kIdOk;
    });
    std::atomic<int> answer{0};
    std::thread worker(
        [&] { answer = ShowMessage(&dlg, "Are you sure?", "Confirm", MessageButtons::OkCancel); });
    // The worker waits for this thread: serve it as a wait in the device layer does.
    ServeOtherThreadsUntil([&] { return answer != 0; });
    worker.join();
    SetMessageHook(nullptr);
    check.Equal("a message box from a worker is answered", answer.load(), kIdCancel);
    check.Expect("on the GUI thread", hookThread == gui);

    // The idle hook: paint and posted work, never input.
    dlg.Post([&] { ranOn = GetCurrentThreadId(); });
    PostMessageW(dlg.Item(Ids::kEdit), WM_CHAR, 'x', 1);
    KeepWindowsPainted();
    check.Expect("the idle hook runs posted work", ranOn == gui);
    MSG msg;
    check.Expect("but leaves input queued",
                 PeekMessageW(&msg, dlg.Item(Ids::kEdit), WM_CHAR, WM_CHAR, PM_REMOVE) != 0);

    // Work posted to a dialog that is gone is dropped.
    bool ran = false;
    {
        Probe gone(kTemplate);
        if (gone.CreateModeless(nullptr)) {
            gone.EndDialog(1);
            gone.Post([&ran] { ran = true; });
        }
    }
    Pump();
    check.Expect("work for a dialog that is gone never runs", !ran);
}

void WaitCursor(Probe& dlg) {
    ShowWaitCursor();
    check.Expect("the wait cursor is on", WaitCursorShown());
    const LRESULT kept = SendMessageW(dlg.Item(Ids::kApply), WM_SETCURSOR,
                                      reinterpret_cast<WPARAM>(dlg.Item(Ids::kApply)),
                                      MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    check.Expect("the dialog keeps it over its controls",
                 kept != 0 && GetCursor() == LoadCursorW(nullptr, IDC_WAIT));
    ShowArrowCursor();
    check.Expect("the arrow is back",
                 !WaitCursorShown() && GetCursor() == LoadCursorW(nullptr, IDC_ARROW));
}

// A modal run ends with the id its handler ends it with; the owner is disabled meanwhile.
void ModalRun(Probe& owner) {
    Probe modal(kTemplate);
    bool ownerDisabled = false;
    Dialog* active = nullptr;
    // Once the modal dialog shows (the dialog manager shows it when its queue is first empty),
    // a thread of its own hands it the check.
    std::thread watcher([&] {
        kestrow::wincheck::WaitFor(5000, [&] {
            HWND hwnd = modal.Hwnd();
            return hwnd != nullptr && IsWindowVisible(hwnd) != 0;
        });
        modal.Post([&] {
            ownerDisabled = IsWindowEnabled(owner.Hwnd()) == 0;
            active = ActiveDialog();
            modal.EndDialog(7);
        });
    });
    check.Equal("a modal run returns the id it ended with", modal.RunModal(&owner), 7);
    watcher.join();
    check.Expect("its owner took no input meanwhile", ownerDisabled);
    check.Expect("the active dialog was the modal one", active == &modal);
    check.Expect("and does again", IsWindowEnabled(owner.Hwnd()) != 0);
}

}  // namespace

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    const std::pair<const char*, void (*)(Probe&)> groups[] = {
        {"keyboard", KeyboardRules},
        {"commands", CommandRouting},
        {"texts and lists", TextsAndLists},
        {"trackbars", Trackbars},
        {"focus and wide texts", FocusAndWideTexts},
        {"other threads", OtherThreads},
        {"wait cursor", WaitCursor},
        {"modal run", ModalRun},
    };
    // Each group on a dialog of its own, fresh from the template.
    for (const auto& [name, run] : groups) {
        check.Group(name);
        Probe dlg(kTemplate);
        if (check.Expect("the dialog is built from its template", dlg.CreateModeless(nullptr))) {
            run(dlg);
        }
    }
    return check.Finish();
}
