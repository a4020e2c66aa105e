#include "cli/Console.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <utility>

#include "cli/Platform.h"
#include "serial/SerialTypes.h"

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

// Every line goes out whole under this lock, stdout's and stderr's alike.
std::mutex g_output;
// The box this thread works on ("COM 210: "), and where its held reports go.
thread_local std::string t_tag;
thread_local std::vector<SerialReport>* t_held = nullptr;

void WriteLine(std::FILE* stream, const std::string& line) {
    std::lock_guard lock(g_output);
    if (stream == stderr) {
        std::fflush(stdout);
    }
    std::fputs(line.c_str(), stream);
}

}  // namespace

BoxTag::BoxTag(const std::string& portName) : previous_(std::exchange(t_tag, portName + ": ")) {}

BoxTag::~BoxTag() {
    t_tag = std::move(previous_);
}

void PrintError(std::string_view message) {
    WriteLine(stderr, "kestrowctl: " + t_tag + std::string(message) + "\n");
}

bool Say(std::string_view text) {
    std::string lines = text.empty() ? t_tag + "\n" : std::string{};
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines += t_tag + std::string(text.substr(0, end)) + "\n";
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    std::lock_guard lock(g_output);
    const bool written = std::fputs(lines.c_str(), stdout) >= 0;
    return std::fflush(stdout) == 0 && written;
}

int Report(const Failure& failure) {
    if (!failure.message.empty()) {
        PrintError(failure.message);
    }
    return static_cast<int>(failure.code);
}

// The serial layer reports on the thread whose call failed: that thread's tag and holder apply.
void InstallSerialReporter() {
    (void)SetSerialReporter([](const SerialReport& report) {
        if (t_held != nullptr) {
            t_held->push_back(report);
        } else {
            PrintError(ReportText(report));
        }
    });
}

HeldReports::HeldReports() : previous_(std::exchange(t_held, &reports_)) {}

HeldReports::~HeldReports() {
    t_held = previous_;
}

std::string HeldReports::Take() {
    std::string text = reports_.empty() ? std::string{} : ReportText(reports_.front());
    reports_.clear();
    return text;
}

Answer AnswerOf(std::string line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) {
        line.pop_back();
    }
    for (char& c : line) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    return line == "y" || line == "yes" ? Answer::Yes : Answer::No;
}

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
        std::array<char, 32> time{};
        std::snprintf(time.data(), time.size(), "%10.1f ms  ", ms);
        WriteLine(stderr, t_tag + time.data() +
                              (direction == TraceDirection::Sent ? "->  " : "<-  ") + line + "\n");
    };
}

}  // namespace kestrow::cli
