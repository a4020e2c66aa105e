// kestrowctl's edges with a POSIX system: signals, the terminal, local time.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "cli/Platform.h"

namespace kestrow::cli {
namespace {

volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_hungUp = 0;

extern "C" void OnInterrupt(int signal) {
    g_interrupted = 1;
    if (signal == SIGHUP) {
        g_hungUp = 1;
    }
}

extern "C" void OnQuestionInterrupt(int /*signal*/) {}

// The handlers an InterruptCatcher replaced.
struct sigaction g_previous {};
struct sigaction g_previousHangUp {};

sigset_t StopSignals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    return stop;
}

Answer ReadAnswer(std::string_view question, std::FILE* out, const sigset_t& waitMask) {
    std::fflush(stdout);
    std::fprintf(out, "%.*s [y/N] ", static_cast<int>(question.size()), question.data());
    std::fflush(out);
    std::string line;
    for (;;) {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::ppoll(&in, 1, nullptr, &waitMask) < 0 && errno == EINTR) {
            std::fputs("\n", out);
            return Answer::Interrupted;
        }
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0) {
            std::fputs("\n", out);
            return Answer::No;
        }
        if (c == '\n') {
            break;
        }
        line += c;
    }
    return AnswerOf(std::move(line));
}

}  // namespace

const char* const kDeviceNameHelp = "a device path such as /dev/ttyUSB0 or /dev/serial/by-id/...";

void PrepareProcess() {
    // Output that cannot be written (a reader that went away, a file past its size limit) makes
    // the write fail instead of ending the process: a flash in progress must run to its end.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

std::vector<std::string> CommandLineWords(int argc, char** argv) {
    return {argv, argv + argc};
}

InterruptCatcher::InterruptCatcher() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_previous);
    sigaction(SIGHUP, &action, &g_previousHangUp);
}

InterruptCatcher::~InterruptCatcher() {
    sigaction(SIGHUP, &g_previousHangUp, nullptr);
    sigaction(SIGINT, &g_previous, nullptr);
}

bool InterruptCatcher::Interrupted() {
    return g_interrupted != 0;
}

bool InterruptCatcher::HungUp() {
    return g_hungUp != 0;
}

void InterruptCatcher::ClearInterrupted() {
    g_interrupted = 0;
}

void HoldStopRequests() {
    const sigset_t stop = StopSignals();
    sigprocmask(SIG_BLOCK, &stop, nullptr);
}

bool WaitForStopRequest(std::chrono::nanoseconds timeout) {
    const sigset_t stop = StopSignals();
    const auto ns = timeout.count() > 0 ? timeout.count() : 0;
    const timespec wait{static_cast<time_t>(ns / 1'000'000'000),
                        static_cast<long>(ns % 1'000'000'000)};
    return sigtimedwait(&stop, nullptr, &wait) > 0;
}

std::tm LocalTime(std::time_t seconds) {
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

bool StdinIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

Answer AskYesNo(std::string_view question, bool onStderr) {
    // Ctrl+C while waiting is Interrupted rather than the end of the process, also where the
    // shell started it with SIGINT ignored; a handler already in place (flash's) is kept.
    // SIGINT stays blocked except inside the wait, so one that comes between the question and
    // the wait still ends the wait.
    sigset_t interrupt;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigset_t unblocked;
    sigprocmask(SIG_BLOCK, &interrupt, &unblocked);
    sigdelset(&unblocked, SIGINT);
    struct sigaction previous {};
    sigaction(SIGINT, nullptr, &previous);
    const bool catchHere = previous.sa_handler == SIG_DFL || previous.sa_handler == SIG_IGN;
    if (catchHere) {
        struct sigaction wake {};
        wake.sa_handler = OnQuestionInterrupt;
        sigemptyset(&wake.sa_mask);
        sigaction(SIGINT, &wake, nullptr);
    }
    const Answer answer = ReadAnswer(question, onStderr ? stderr : stdout, unblocked);
    if (catchHere) {
        sigaction(SIGINT, &previous, nullptr);
    }
    sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
    return answer;
}

}  // namespace kestrow::cli
