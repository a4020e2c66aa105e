// kestrowctl's edges with Windows: the console in UTF-8, the command line from its wide form,
// Ctrl+C and the console closing through one console control handler, and local time.
// The handler decides by what the program is doing: a flash notes the request (and, when the
// console closes, holds the process until the run has stopped between blocks), a question is
// interrupted, watch is told to stop; otherwise the system's default ends the process, as
// SIGINT does on Linux.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "base/UniqueHandleWin32.h"
#include "base/Utf8Text.h"
#include "cli/Platform.h"

namespace kestrow::cli {
namespace {

// What the handler sees; events made once, before the handler is installed.
struct ConsoleEvents {
    UniqueHandle question{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // a question interrupted
    UniqueHandle stop{CreateEventW(nullptr, FALSE, FALSE, nullptr)};     // watch asked to stop
    UniqueHandle runEnded{CreateEventW(nullptr, TRUE, TRUE, nullptr)};   // no flash in progress
    std::atomic<int> catchers{0};
    std::atomic<bool> interrupted{false};
    std::atomic<bool> hungUp{false};
    std::atomic<bool> asking{false};
    std::atomic<bool> holding{false};
};

ConsoleEvents& Events() {
    static ConsoleEvents events;
    return events;
}

// The console's output code page before this program set UTF-8, given back at exit.
class OutputCodePage {
  public:
    OutputCodePage() : previous_(GetConsoleOutputCP()) {
        if (previous_ != 0) {
            SetConsoleOutputCP(CP_UTF8);
        }
    }
    ~OutputCodePage() {
        if (previous_ != 0) {
            SetConsoleOutputCP(previous_);
        }
    }
    OutputCodePage(const OutputCodePage&) = delete;
    OutputCodePage& operator=(const OutputCodePage&) = delete;

  private:
    UINT previous_;
};

BOOL WINAPI OnConsoleEvent(DWORD type) {
    ConsoleEvents& e = Events();
    const bool hangUp =
        type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
    bool taken = false;
    if (e.asking) {
        SetEvent(e.question.get());
        taken = true;
    }
    if (e.holding) {
        SetEvent(e.stop.get());
        taken = true;
    }
    if (e.catchers > 0) {
        e.hungUp = e.hungUp || hangUp;
        e.interrupted = true;
        taken = true;
        if (hangUp) {
            // The system ends the process when this returns: the flash stops between two
            // blocks first (within the few seconds the system allows).
            WaitForSingleObject(e.runEnded.get(), INFINITE);
        }
    }
    return taken ? TRUE : FALSE;
}

HANDLE Input() {
    return GetStdHandle(STD_INPUT_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

bool QuestionInterrupted(DWORD waitMs) {
    return WaitForSingleObject(Events().question.get(), waitMs) == WAIT_OBJECT_0;
}

// A line typed on the console, echoed as it is typed. Ctrl+C ends the read with nothing read;
// the handler, on its own thread, says so a moment later.
Answer ReadConsoleAnswer(HANDLE in, bool& typed) {
    DWORD mode = 0;
    GetConsoleMode(in, &mode);
    SetConsoleMode(in, mode | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT);
    std::wstring line;
    Answer answer = Answer::No;
    for (;;) {
        std::wstring chunk(256, L'\0');
        DWORD got = 0;
        if (!ReadConsoleW(in, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) ||
            got == 0) {
            answer = QuestionInterrupted(200) ? Answer::Interrupted : Answer::No;
            break;
        }
        line.append(chunk.data(), got);
        if (const size_t end = line.find(L'\n'); end != std::wstring::npos) {
            line.resize(end);
            typed = true;
            answer = QuestionInterrupted(0) ? Answer::Interrupted : AnswerOf(Utf8FromWide(line));
            break;
        }
    }
    SetConsoleMode(in, mode);
    return answer;
}

// A line from a pipe or a file; a pipe is looked at in slices, so that Ctrl+C ends the wait.
Answer ReadOtherAnswer(HANDLE in, bool& typed) {
    const bool pipe = GetFileType(in) == FILE_TYPE_PIPE;
    std::string line;
    for (;;) {
        if (pipe) {
            DWORD waiting = 0;
            if (!PeekNamedPipe(in, nullptr, 0, nullptr, &waiting, nullptr)) {
                return Answer::No;  // the writer went away
            }
            if (waiting == 0) {
                if (QuestionInterrupted(20)) {
                    return Answer::Interrupted;
                }
                continue;
            }
        }
        char c = 0;
        DWORD got = 0;
        if (!ReadFile(in, &c, 1, &got, nullptr) || got == 0) {
            return Answer::No;
        }
        if (c == '\n') {
            typed = true;
            return AnswerOf(line);
        }
        line += c;
    }
}

}  // namespace

const char* const kDeviceNameHelp = "Windows' own name \\\\.\\COM12";

void PrepareProcess() {
    static const OutputCodePage utf8;
    (void)Events();
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::vector<std::string> CommandLineWords(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return {argv, argv + argc};
    }
    std::vector<std::string> words;
    for (int i = 0; i < count; ++i) {
        words.push_back(Utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    return words;
}

InterruptCatcher::InterruptCatcher() {
    ResetEvent(Events().runEnded.get());
    ++Events().catchers;
}

InterruptCatcher::~InterruptCatcher() {
    if (--Events().catchers == 0) {
        SetEvent(Events().runEnded.get());
    }
}

bool InterruptCatcher::Interrupted() {
    return Events().interrupted;
}

bool InterruptCatcher::HungUp() {
    return Events().hungUp;
}

void InterruptCatcher::ClearInterrupted() {
    Events().interrupted = false;
}

void HoldStopRequests() {
    Events().holding = true;
}

bool WaitForStopRequest(std::chrono::nanoseconds timeout) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
    const DWORD wait = static_cast<DWORD>(ms <= 0 ? 0 : ms >= INFINITE ? INFINITE - 1 : ms);
    return WaitForSingleObject(Events().stop.get(), wait) == WAIT_OBJECT_0;
}

std::tm LocalTime(std::time_t seconds) {
    std::tm local{};
    localtime_s(&local, &seconds);
    return local;
}

bool StdinIsTerminal() {
    return IsConsole(Input());
}

bool StdoutIsTerminal() {
    return IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
}

Answer AskYesNo(std::string_view question, bool onStderr) {
    std::FILE* out = onStderr ? stderr : stdout;
    std::fflush(stdout);
    std::fprintf(out, "%.*s [y/N] ", static_cast<int>(question.size()), question.data());
    std::fflush(out);
    ConsoleEvents& e = Events();
    ResetEvent(e.question.get());
    e.asking = true;
    const HANDLE in = Input();
    bool typed = false;  // a whole line came: its end was echoed
    const Answer answer = IsConsole(in) ? ReadConsoleAnswer(in, typed) : ReadOtherAnswer(in, typed);
    e.asking = false;
    if (!typed) {
        std::fputs("\n", out);
    }
    return answer;
}

}  // namespace kestrow::cli
