// The Win32 realisation of the application object: COM for the thread (apartment threaded, for
// the file dialogs), the common controls, the message loop of the modeless main window
// (accelerators, then the dialog keys), the work other threads hand to the GUI thread, and what
// the GUI thread does while the device layer waits.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "ui/dialogkit/Application.h"
#include "ui/dialogkit/DialogWindowWin32.h"
// COM's header after <windows.h> (DialogWindowWin32.h).
#include <objbase.h>

namespace kestrow::ui {

namespace {

// One piece of work for the GUI thread, and whether it has run (or will never run).
struct GuiWork {
    std::function<void()> run;
    bool done = false;
};

struct GuiThread {
    std::mutex mutex;
    std::condition_variable finished;
    std::deque<std::shared_ptr<GuiWork>> queue;
    DWORD thread = 0;       // the GUI thread's id; 0 without an application
    HWND window = nullptr;  // the message-only window that the wake message reaches
};

GuiThread& Gui() {
    static GuiThread gui;
    return gui;
}

// Runs the queued work, each piece outside the lock; its caller is told when it has run.
void RunGuiWork() {
    GuiThread& gui = Gui();
    for (;;) {
        std::shared_ptr<GuiWork> work;
        {
            const std::lock_guard lock(gui.mutex);
            if (gui.queue.empty()) {
                return;
            }
            work = gui.queue.front();
            gui.queue.pop_front();
        }
        work->run();
        {
            const std::lock_guard lock(gui.mutex);
            work->done = true;
        }
        gui.finished.notify_all();
    }
}

LRESULT CALLBACK WorkWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWakeMessage) {
        RunGuiWork();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

constexpr const wchar_t* kWorkWindowClass = L"KestrowGuiWork";

// Dispatches the queued messages of one kind (and range), at most `limit` of them.
void DispatchQueued(UINT first, UINT last, UINT flags, int limit) {
    MSG msg;
    for (int i = 0; i < limit && PeekMessageW(&msg, nullptr, first, last, PM_REMOVE | flags) != 0;
         ++i) {
        DispatchMessageW(&msg);
    }
}

// WM_SYSTIMER: the caret's blink.
constexpr UINT kSystemTimer = 0x0118;

}  // namespace

bool IsGuiThread() {
    const DWORD thread = Gui().thread;
    return thread != 0 && thread == GetCurrentThreadId();
}

void RunOnGuiThread(const std::function<void()>& f) {
    GuiThread& gui = Gui();
    if (IsGuiThread()) {
        f();
        return;
    }
    auto work = std::make_shared<GuiWork>();
    work->run = f;
    std::unique_lock lock(gui.mutex);
    if (gui.window == nullptr) {
        return;  // no application: nothing runs
    }
    gui.queue.push_back(work);
    PostMessageW(gui.window, kWakeMessage, 0, 0);
    gui.finished.wait(lock, [&work] { return work->done; });
}

struct Application::Toolkit {
    bool com = false;
};

Application::Application(int& /*argc*/, char** /*argv*/) : toolkit_(std::make_unique<Toolkit>()) {
    toolkit_->com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    // The trackbar (ICC_BAR_CLASSES), the progress bar, and the common controls 6 versions of
    // buttons, edits, statics and combo boxes.
    INITCOMMONCONTROLSEX classes{sizeof classes,
                                 ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);

    WNDCLASSEXW work{};
    work.cbSize = sizeof work;
    work.lpfnWndProc = WorkWindowProc;
    work.hInstance = ProgramInstance();
    work.lpszClassName = kWorkWindowClass;
    RegisterClassExW(&work);
    HWND window = CreateWindowExW(0, kWorkWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ProgramInstance(), nullptr);
    GuiThread& gui = Gui();
    const std::lock_guard lock(gui.mutex);
    gui.thread = GetCurrentThreadId();
    gui.window = window;
}

Application::~Application() {
    GuiThread& gui = Gui();
    HWND window = nullptr;
    {
        // Work that never ran is given up: its callers go on (a message box answers Cancel).
        const std::lock_guard lock(gui.mutex);
        for (const auto& work : gui.queue) {
            work->done = true;
        }
        gui.queue.clear();
        window = gui.window;
        gui.window = nullptr;
        gui.thread = 0;
    }
    gui.finished.notify_all();
    if (window != nullptr) {
        DestroyWindow(window);
    }
    UnregisterClassW(kWorkWindowClass, ProgramInstance());
    if (toolkit_->com) {
        CoUninitialize();
    }
}

bool Application::Started() const {
    return true;  // a Windows desktop always has a screen
}

int Application::Run(Dialog& mainWindow) {
    // The main window's end posts the quit message with its id: the loop's, and the program's,
    // result.
    mainWindow.Window().SetEndHandler([](int id) { PostQuitMessage(id); });
    if (mainWindow.Window().Handle() == nullptr) {
        return 0;
    }
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(msg.wParam);
        }
        if (got == -1) {
            continue;
        }
        HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
        if (DialogWindow::PreTranslate(root, msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void KeepWindowsPainted() {
    if (!IsGuiThread()) {
        return;
    }
    // Paint, the timers, and the work posted to the windows: never input, so no second
    // exchange can start while the device layer waits.
    DispatchQueued(0, 0, PM_QS_PAINT, 64);
    DispatchQueued(WM_TIMER, WM_TIMER, 0, 16);
    DispatchQueued(kSystemTimer, kSystemTimer, 0, 16);
    DispatchQueued(kWakeMessage, kWakeMessage, 0, 64);
}

void ServeOtherThreadsUntil(const std::function<bool()>& done) {
    while (!done()) {
        if (IsGuiThread()) {
            DispatchQueued(kWakeMessage, kWakeMessage, 0, 64);
        }
        Sleep(5);
    }
}

}  // namespace kestrow::ui
