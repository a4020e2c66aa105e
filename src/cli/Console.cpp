#include "cli/Console.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "device/SerialTypes.h"

namespace kestrow::cli {
namespace {

std::string ReportText(const SerialReport& report) {
    std::string text = report.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    if (!report.detail.empty()) {
        text += ": " + report.detail;
    }
    return text;
}

const std::chrono::steady_clock::time_point g_start = std::chrono::steady_clock::now();

extern "C" void OnQuestionInterrupt(int /*signal*/) {}

Answer ReadAnswer(std::string_view question, const sigset_t& waitMask);

}  // namespace

void PrintError(std::string_view message) {
    std::fflush(stdout);
    std::fprintf(stderr, "kestrowctl: %.*s\n", static_cast<int>(message.size()), message.data());
}

int Report(const Failure& failure) {
    if (!failure.message.empty()) {
        PrintError(failure.message);
    }
    return static_cast<int>(failure.code);
}

void InstallSerialReporter() {
    (void)SetSerialReporter([](const SerialReport& report) { PrintError(ReportText(report)); });
}

struct HeldReports::Held {
    std::mutex mutex;
    std::vector<SerialReport> reports;
};

HeldReports::HeldReports() : held_(std::make_shared<Held>()) {
    previous_ = SetSerialReporter([held = held_](const SerialReport& report) {
        std::lock_guard lock(held->mutex);
        held->reports.push_back(report);
    });
}

HeldReports::~HeldReports() {
    (void)SetSerialReporter(std::move(previous_));
}

std::string HeldReports::Take() {
    std::lock_guard lock(held_->mutex);
    std::string text = held_->reports.empty() ? std::string{} : ReportText(held_->reports.front());
    held_->reports.clear();
    return text;
}

bool StdinIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

bool StdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

Answer AskYesNo(std::string_view question) {
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
    const Answer answer = ReadAnswer(question, unblocked);
    if (catchHere) {
        sigaction(SIGINT, &previous, nullptr);
    }
    sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
    return answer;
}

namespace {

Answer ReadAnswer(std::string_view question, const sigset_t& waitMask) {
    std::printf("%.*s [y/N] ", static_cast<int>(question.size()), question.data());
    std::fflush(stdout);
    std::string line;
    for (;;) {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::ppoll(&in, 1, nullptr, &waitMask) < 0 && errno == EINTR) {
            std::printf("\n");
            return Answer::Interrupted;
        }
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0) {
            std::printf("\n");
            return Answer::No;
        }
        if (c == '\n') {
            break;
        }
        line += c;
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) {
        line.pop_back();
    }
    for (char& c : line) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    return line == "y" || line == "yes" ? Answer::Yes : Answer::No;
}

}  // namespace

std::string HexBytes(const unsigned char* bytes, size_t count) {
    std::string out;
    char hex[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += hex;
    }
    return out;
}

SerialTracer StderrTracer() {
    return [](TraceDirection direction, std::span<const uint8_t> bytes, uint32_t requested) {
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - g_start)
                .count();
        std::string line = HexBytes(bytes.data(), bytes.size());
        if (direction == TraceDirection::Received && bytes.size() < requested) {
            line += (line.empty() ? "(" : " (") + std::to_string(bytes.size()) + " of " +
                    std::to_string(requested) + " bytes)";
        }
        std::fprintf(stderr, "%10.1f ms  %s  %s\n", ms,
                     direction == TraceDirection::Sent ? "->" : "<-", line.c_str());
    };
}

}  // namespace kestrow::cli
