// kestrow-paneldriver: drives the real kestrow.exe from outside, as an operator would, for
// scripts/windows-check. It reads one command a line on standard input and answers one line on
// standard output, so that the check (a bash coprocess) runs a case, then looks at what the
// simulated box received, at files and at screenshots before the next step.
//
// A line is fields separated by tabs; a field writes backslash, tab, CR and LF as \\, \t, \r,
// \n. The answer is "ok" and its fields, or "fail" and why. The commands act on the "current"
// window, chosen by caption among the panel's visible dialogs (class #32770); until attach has
// found the panel, every command but attach and quit fails. The commands are in kCommands.
// Every wait is bounded by its MS; a message is sent with a time-out, and anything that may
// open a modal loop is posted, so the driver never hangs on the panel.
#include <windows.h>
// The common controls' messages after <windows.h>.
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#include "base/UniqueHandleWin32.h"
#include "base/Utf8Text.h"
#include "tests/windows/WinCheck.h"

namespace {

using Fields = std::vector<std::string>;
using kestrow::wincheck::WaitFor;

// --- Text ---------------------------------------------------------------------------------------

using kestrow::Utf8FromWide;
using kestrow::WideFromUtf8;

// The characters a field escapes, and the letters that stand for them after a backslash.
constexpr std::string_view kEscaped = "\\\t\r\n", kEscapeLetters = "\\trn";

std::string Escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const size_t at = kEscaped.find(c);
        at == std::string_view::npos ? out += c : (out += '\\') += kEscapeLetters[at];
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t at = text[i] == '\\' && i + 1 < text.size() ? kEscapeLetters.find(text[++i])
                                                                 : std::string_view::npos;
        out += at == std::string_view::npos ? text[i] : kEscaped[at];
    }
    return out;
}

Fields Split(const std::string& line) {
    Fields fields;
    for (size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1) {
        tab = line.find('\t', start);
        fields.push_back(Unescape(line.substr(start, tab - start)));
    }
    return fields;
}

int Number(const std::string& text) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 0));
}

// --- Windows ------------------------------------------------------------------------------------

constexpr UINT kAnswerMs = 2000;  // how long a window may take to answer one message
constexpr int kDesktopWaitMs = 20000;

std::optional<LRESULT> Ask(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs, &result) ==
        0) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(result);
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

bool IsClass(HWND hwnd, std::wstring_view name) {
    return CompareStringOrdinal(ClassOf(hwnd).c_str(), -1, name.data(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// A top-level window's caption, without a message to it.
std::string Caption(HWND hwnd) {
    wchar_t text[512] = {};
    GetWindowTextW(hwnd, text, 512);
    return Utf8FromWide(text);
}

// A control's text by WM_GETTEXT (an edit control keeps its own), or with CB_GETLBTEXT a combo
// box's entry `index`: its length asked first.
std::optional<std::string> TextOf(HWND hwnd, UINT message = WM_GETTEXT, WPARAM index = 0) {
    const bool entry = message == CB_GETLBTEXT;
    const std::optional<LRESULT> length =
        Ask(hwnd, entry ? CB_GETLBTEXTLEN : WM_GETTEXTLENGTH, index);
    if (!length || *length < 0) {
        return std::nullopt;
    }
    std::wstring text(static_cast<size_t>(*length) + 1, L'\0');
    const std::optional<LRESULT> got =
        Ask(hwnd, message, entry ? index : text.size(), reinterpret_cast<LPARAM>(text.data()));
    if (!got || *got < 0) {
        return std::nullopt;
    }
    text.resize(static_cast<size_t>(*got));
    return Utf8FromWide(text);
}

// The visible top-level windows of process `pid` (0: any), or with a `parent` its visible
// descendants; of class `cls` when one is given.
std::vector<HWND> VisibleWindows(HWND parent, DWORD pid, std::wstring_view cls = {}) {
    struct Search {
        DWORD pid;
        std::wstring_view cls;
        std::vector<HWND> found;
    } search{pid, cls, {}};
    const WNDENUMPROC add = [](HWND hwnd, LPARAM lParam) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lParam);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if ((s->pid == 0 || owner == s->pid) && (s->cls.empty() || IsClass(hwnd, s->cls)) &&
            IsWindowVisible(hwnd)) {
            s->found.push_back(hwnd);
        }
        return TRUE;
    };
    const auto lParam = reinterpret_cast<LPARAM>(&search);
    parent != nullptr ? EnumChildWindows(parent, add, lParam) : EnumWindows(add, lParam);
    return search.found;
}

HWND FindDialog(DWORD pid, std::string_view caption) {
    for (HWND hwnd : VisibleWindows(nullptr, pid, L"#32770")) {
        if (Caption(hwnd) == caption) {
            return hwnd;
        }
    }
    return nullptr;
}

void PressKeys(const std::vector<WORD>& keys, bool down) {
    for (const WORD vk : keys) {
        const auto scan = static_cast<BYTE>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        keybd_event(static_cast<BYTE>(vk), scan, down ? 0 : KEYEVENTF_KEYUP, 0);
    }
}

// The name field of the common file dialog: edt1 in the old style, the edit in combo cmb13 in
// Explorer's; otherwise the first edit there is.
HWND FileNameField(HWND dialog) {
    for (const int id : {0x480 /* edt1 */, 0x47c /* cmb13 */}) {
        if (HWND control = GetDlgItem(dialog, id); control != nullptr && IsWindowVisible(control)) {
            HWND edit = IsClass(control, L"Edit")
                            ? control
                            : FindWindowExW(control, nullptr, L"Edit", nullptr);
            return edit != nullptr ? edit : control;
        }
    }
    const std::vector<HWND> edits = VisibleWindows(dialog, 0, L"Edit");
    return edits.empty() ? nullptr : edits.front();
}

// --- The driver ---------------------------------------------------------------------------------

class Driver {
  public:
    // The answer to one line: "ok..." or "fail...".
    std::string Run(const Fields& f);
    bool quit = false;

  private:
    using Handler = std::string (Driver::*)(const Fields&);
    struct Command {
        const char* name;
        size_t fields;  // the command's own fields, at least
        Handler run;
        bool onControl = false;  // the first field names a control of the current window
    };
    static const Command kCommands[];

    static std::string Ok(const Fields& fields = {}) {
        std::string out = "ok";
        for (const std::string& f : fields) {
            out += '\t' + Escape(f);
        }
        return out;
    }
    static std::string Fail(const std::string& why) { return "fail\t" + Escape(why); }

    HWND Control(const std::string& id) const {
        return current_ != nullptr ? GetDlgItem(current_, Number(id)) : nullptr;
    }

    std::string Main(const Fields&) {
        current_ = main_;
        return Ok();
    }
    std::string Quit(const Fields&) {
        quit = true;
        return Ok();
    }

    static bool WaitGone(HWND hwnd, const std::string& ms) {
        return WaitFor(Number(ms),
                       [&] { return IsWindow(hwnd) == 0 || IsWindowVisible(hwnd) == 0; });
    }

    // The panel's window with that caption (before attach: any program's) once it shows: for
    // attach its main window, which also gives the panel's process.
    std::string Use(const Fields& f) {
        const bool attach = f[0] == "attach";
        const std::string caption = attach ? "Kestrow" : f[1];
        HWND found = nullptr;
        WaitFor(Number(f[attach ? 1 : 2]),
                [&] { return (found = FindDialog(pid_, caption)) != nullptr; });
        if (found == nullptr) {
            return Fail("no window \"" + caption + "\"; " + Windows({}));
        }
        current_ = found;
        if (!attach) {
            return Ok();
        }
        main_ = found;
        GetWindowThreadProcessId(found, &pid_);
        process_.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid_));
        return Ok({std::to_string(pid_)});
    }

    std::string Gone(const Fields& f) {
        if (!WaitGone(current_, f[1])) {
            return Fail("still there: \"" + Caption(current_) + "\"");
        }
        current_ = main_;
        return Ok();
    }

    std::string Windows(const Fields&) {
        std::string list;
        for (HWND hwnd : VisibleWindows(nullptr, pid_)) {
            list += (list.empty() ? "" : " | ") + std::string("\"") + Caption(hwnd) + "\" (" +
                    Utf8FromWide(ClassOf(hwnd)) + ")";
        }
        return Ok({list});
    }

    std::string Text(const Fields& f) {
        if (Number(f[1]) == 0) {
            return Ok({Caption(current_)});
        }
        HWND control = Control(f[1]);
        const std::optional<std::string> text = control != nullptr ? TextOf(control) : std::nullopt;
        return text ? Ok({*text}) : Fail("no control " + f[1]);
    }

    // The text of a message box: its longest static text (the other one is the icon).
    std::string Message(const Fields&) {
        if (IsWindow(current_) == 0) {
            return Fail("no window");
        }
        std::string text;
        for (HWND child : VisibleWindows(current_, 0, L"Static")) {
            const std::optional<std::string> t = TextOf(child);
            if (t && t->size() > text.size()) {
                text = *t;
            }
        }
        return Ok({Caption(current_), text});
    }

    std::string WaitText(const Fields& f) {
        std::optional<std::string> last;
        if (!WaitFor(Number(f[3]), [&] { return (last = TextOf(control_)) == f[2]; })) {
            return Fail("shows \"" + last.value_or("(no answer)") + "\"");
        }
        return Ok();
    }

    // A button clicks itself; any other control, or none (a menu's command), is a WM_COMMAND.
    std::string Click(const Fields& f) {
        if (control_ != nullptr && IsClass(control_, L"Button")) {
            PostMessageW(control_, BM_CLICK, 0, 0);
        } else {
            PostMessageW(current_, WM_COMMAND, MAKEWPARAM(Number(f[1]), 0),
                         reinterpret_cast<LPARAM>(control_));
        }
        return Ok();
    }

    std::string Type(const Fields& f) {
        const std::wstring text = WideFromUtf8(f[2]);
        const std::optional<LRESULT> set =
            Ask(control_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return set ? Ok() : Fail("WM_SETTEXT not answered");
    }

    // "select" by index, "select-text" by the entry's exact text.
    std::string Select(const Fields& f) {
        const std::wstring text = WideFromUtf8(f[2]);
        const std::optional<LRESULT> index =
            f[0] == "select" ? Number(f[2])
                             : Ask(control_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(text.c_str()));
        if (!index || *index == CB_ERR) {
            return Fail("no entry \"" + f[2] + "\"");
        }
        if (!Ask(control_, CB_SETCURSEL, static_cast<WPARAM>(*index))) {
            return Fail("CB_SETCURSEL not answered");
        }
        PostMessageW(current_, WM_COMMAND, MAKEWPARAM(Number(f[1]), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(control_));
        return Ok();
    }

    std::string List(const Fields& f) {
        const std::optional<LRESULT> count = Ask(control_, CB_GETCOUNT);
        const std::optional<LRESULT> selected = count ? Ask(control_, CB_GETCURSEL) : std::nullopt;
        if (!selected) {
            return Fail("no list " + f[1]);
        }
        Fields out{std::to_string(*selected), std::to_string(*count)};
        for (WPARAM i = 0; i < static_cast<WPARAM>(*count); ++i) {
            out.push_back(TextOf(control_, CB_GETLBTEXT, i).value_or(""));
        }
        return Ok(out);
    }

    std::string Slide(const Fields& f) {
        const int position = Number(f[2]);
        if (!Ask(control_, TBM_SETPOS, TRUE, position)) {
            return Fail("TBM_SETPOS not answered");
        }
        // What a trackbar tells its dialog when the operator lets go of the thumb.
        PostMessageW(
            current_, WM_HSCROLL,
            MAKEWPARAM(TB_THUMBPOSITION, static_cast<WORD>(static_cast<int16_t>(position))),
            reinterpret_cast<LPARAM>(control_));
        PostMessageW(current_, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                     reinterpret_cast<LPARAM>(control_));
        return Ok();
    }

    // A trackbar's position, minimum and maximum; a progress bar's position; a combo box's
    // selection; a button's check.
    std::string Value(const Fields& f) {
        std::optional<LRESULT> value;
        if (IsClass(control_, TRACKBAR_CLASSW)) {
            const std::optional<LRESULT> low = Ask(control_, TBM_GETRANGEMIN);
            const std::optional<LRESULT> high = Ask(control_, TBM_GETRANGEMAX);
            value = Ask(control_, TBM_GETPOS);
            if (value && low && high) {
                return Ok({std::to_string(*value), std::to_string(static_cast<int>(*low)),
                           std::to_string(static_cast<int>(*high))});
            }
        } else if (IsClass(control_, PROGRESS_CLASSW)) {
            value = Ask(control_, PBM_GETPOS);
        } else if (IsClass(control_, L"ComboBox")) {
            value = Ask(control_, CB_GETCURSEL);
        } else if (IsClass(control_, L"Button")) {
            value = Ask(control_, BM_GETCHECK);
        }
        return value ? Ok({std::to_string(*value)}) : Fail("no value of " + f[1]);
    }

    std::string State(const Fields&) {
        return Ok({IsWindowVisible(control_) != 0 ? "1" : "0",
                   IsWindowEnabled(control_) != 0 ? "1" : "0"});
    }

    // Fills the name field and presses Open or Save, then waits until the dialog has gone (a file
    // it does not take keeps it open).
    std::string File(const Fields& f) {
        HWND dialog = nullptr;
        HWND name = nullptr;
        const bool shown = WaitFor(Number(f[3]), [&] {
            dialog = FindDialog(pid_, f[1]);
            name = dialog != nullptr ? FileNameField(dialog) : nullptr;
            return name != nullptr && IsWindowEnabled(dialog) != 0;
        });
        if (!shown) {
            return Fail("no file dialog \"" + f[1] + "\"; " + Windows({}));
        }
        const std::wstring path = WideFromUtf8(f[2]);
        if (!Ask(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()))) {
            return Fail("the file dialog's name field cannot be filled");
        }
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        if (!WaitGone(dialog, f[3])) {
            return Fail("the file dialog stays open; " + Windows({}));
        }
        return Ok();
    }

    std::string Keys(const Fields& f) {
        std::vector<WORD> keys;
        for (size_t i = 2; i < f.size(); ++i) {
            keys.push_back(static_cast<WORD>(Number(f[i])));
        }
        // "press": down and up at once. Letting go needs no window: the keys go where they
        // went down.
        if (f[1] != "up") {
            SetForegroundWindow(current_);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            PressKeys(keys, true);
        }
        if (f[1] != "down") {
            PressKeys(keys, false);
        }
        // Until the panel has taken them: its key state follows the messages it has read.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return Ok();
    }

    std::string Close(const Fields&) {
        PostMessageW(current_, WM_SYSCOMMAND, SC_CLOSE, 0);
        return Ok();
    }

    // "rect": the window's place on the screen and its size; "client": its client area's size.
    std::string Rect(const Fields& f) {
        RECT r{};
        const bool client = f[0] == "client";
        if ((client ? GetClientRect(current_, &r) : GetWindowRect(current_, &r)) == 0) {
            return Fail("no window");
        }
        Fields size{std::to_string(r.right - r.left), std::to_string(r.bottom - r.top)};
        if (!client) {
            size.insert(size.begin(), {std::to_string(r.left), std::to_string(r.top)});
        }
        return Ok(size);
    }

    // Watches a firmware run: whether BURN was seen disabled, the STATUS text at its end, the
    // BAR's maximum and the positions it went through.
    std::string WatchRun(const Fields& f) {
        HWND bar = Control(f[1]);
        HWND status = Control(f[2]);
        HWND burn = Control(f[3]);
        if (bar == nullptr || status == nullptr || burn == nullptr) {
            return Fail("no progress bar, status line or Burn button");
        }
        std::vector<LRESULT> positions;
        bool seenDisabled = false;
        const auto sample = [&] {
            if (const std::optional<LRESULT> p = Ask(bar, PBM_GETPOS);
                p && (positions.empty() || positions.back() != *p)) {
                positions.push_back(*p);
            }
            seenDisabled = seenDisabled || IsWindowEnabled(burn) == 0;
        };
        // The run starts when Burn is disabled; it has ended when Burn is enabled again.
        WaitFor(2000, [&] {
            sample();
            return seenDisabled;
        });
        const bool ended = WaitFor(Number(f[4]), [&] {
            sample();
            return IsWindowEnabled(burn) != 0;
        });
        if (!ended) {
            return Fail("the run did not end; status \"" + TextOf(status).value_or("") + "\"");
        }
        const std::optional<LRESULT> high = Ask(bar, PBM_GETRANGE, FALSE, 0);
        std::string seen;
        for (const LRESULT p : positions) {
            seen += (seen.empty() ? "" : ",") + std::to_string(p);
        }
        return Ok({seenDisabled ? "1" : "0", TextOf(status).value_or(""),
                   std::to_string(high.value_or(-1)), seen});
    }

    std::string ExitCode(const Fields& f) {
        if (!process_) {
            return Fail("not attached");
        }
        if (WaitForSingleObject(process_.get(), static_cast<DWORD>(Number(f[1]))) !=
            WAIT_OBJECT_0) {
            return Fail("still running");
        }
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return Ok({std::to_string(code)});
    }

    DWORD pid_ = 0;
    // The panel's process, held for its exit code.
    kestrow::UniqueHandle process_;
    HWND main_ = nullptr;
    HWND current_ = nullptr;
    HWND control_ = nullptr;  // the control the command's first field names
};

// Each command with its fields (MS: a wait's bound in milliseconds).
const Driver::Command Driver::kCommands[] = {
    {"attach", 1, &Driver::Use},       // MS: the panel's main window ("Kestrow") becomes current
    {"use", 2, &Driver::Use},          // CAPTION MS: the panel's dialog (or message box) with it
    {"main", 0, &Driver::Main},        // the main window again
    {"gone", 1, &Driver::Gone},        // MS: until the current window is gone or hidden
    {"windows", 0, &Driver::Windows},  // the visible top-level windows
    {"text", 1, &Driver::Text},        // ID: a control's text (0: the caption)
    {"message", 0, &Driver::Message},  // a message box's caption and text
    {"wait-text", 3, &Driver::WaitText, true},  // ID TEXT MS: until the control shows TEXT
    {"click", 1, &Driver::Click, true},         // ID: BM_CLICK, or WM_COMMAND (code 0)
    {"command", 1, &Driver::Click},             // ID: WM_COMMAND without a control (a menu's)
    {"type", 2, &Driver::Type, true},           // ID TEXT: WM_SETTEXT
    {"select", 2, &Driver::Select, true},       // ID INDEX: CB_SETCURSEL, then CBN_SELCHANGE
    {"select-text", 2, &Driver::Select, true},  // ID TEXT: the same for that entry
    {"list", 1, &Driver::List, true},           // ID: a combo box's selection, count, entries
    {"slide", 2, &Driver::Slide, true},         // ID POS: TBM_SETPOS, then WM_HSCROLL
    {"value", 1, &Driver::Value, true},         // ID: the control's value
    {"state", 1, &Driver::State, true},         // ID: visible and enabled, 1 or 0 each
    {"file", 3, &Driver::File},                 // CAPTION PATH MS: the common file dialog
    {"keys", 2, &Driver::Keys},                 // down|up|press VK...: hold, let go, both
    {"close", 0, &Driver::Close},               // the close box (SC_CLOSE)
    {"rect", 0, &Driver::Rect},                 // the window's place: x y width height
    {"client", 0, &Driver::Rect},               // its client area: width height
    {"watch-run", 4, &Driver::WatchRun},        // BAR STATUS BURN MS: a firmware run
    {"exit-code", 1, &Driver::ExitCode},        // MS: the panel's exit code once it ends
    {"quit", 0, &Driver::Quit},
};

std::string Driver::Run(const Fields& f) {
    for (const Command& c : kCommands) {
        if (f[0] == c.name) {
            if (f.size() < c.fields + 1) {
                return Fail(f[0] + " needs " + std::to_string(c.fields) + " fields");
            }
            if (current_ == nullptr && f[0] != "attach" && c.run != &Driver::Quit) {
                return Fail("not attached");
            }
            control_ = c.onControl ? Control(f[1]) : nullptr;
            if (c.onControl && control_ == nullptr) {
                return Fail("no control " + f[1]);
            }
            return (this->*c.run)(f);
        }
    }
    return Fail("no command " + f[0]);
}

}  // namespace

int main(int argc, char** argv) {
    // Window rectangles in the screen's own pixels, at any DPI.
    SetProcessDPIAware();
    // The panel may run on a desktop of its own (Wine's virtual desktop): look there. The
    // handle stays open while the thread uses the desktop.
    std::unique_ptr<std::remove_pointer_t<HDESK>, decltype(&CloseDesktop)> desktop{nullptr,
                                                                                   CloseDesktop};
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string_view(argv[i]) == "--desktop") {
            // Made by the program that starts the panel, perhaps a moment after the driver.
            WaitFor(kDesktopWaitMs, [&] {
                desktop.reset(
                    OpenDesktopW(WideFromUtf8(argv[i + 1]).c_str(), 0, FALSE, GENERIC_ALL));
                return desktop != nullptr;
            });
            if (!desktop || SetThreadDesktop(desktop.get()) == 0) {
                std::fprintf(stderr, "kestrow-paneldriver: cannot use desktop %s (error %lu)\n",
                             argv[i + 1], GetLastError());
                return 1;
            }
        }
    }
    _setmode(_fileno(stdout), _O_BINARY);
    Driver driver;
    std::string line;
    while (!driver.quit && std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            continue;
        }
        std::fputs((driver.Run(Split(line)) + "\n").c_str(), stdout);
        std::fflush(stdout);
    }
    return 0;
}
