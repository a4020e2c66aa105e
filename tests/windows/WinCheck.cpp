#include "WinCheck.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX  // libstdc++ on MinGW may have defined it already
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>

#include "SerialTypes.h"

namespace kestrow::wincheck {
namespace {

// Wine's ntdll exports wine_get_version; Windows' does not.
bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string Shown(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

std::mutex reportsMutex;
std::string reports;

}  // namespace

Checker::Checker() : wine_(RunningUnderWine()) {
    std::printf("Running %s\n", wine_ ? "under Wine: checks Wine cannot show are skipped"
                                      : "on Windows: all checks");
}

void Checker::Group(const std::string& name) {
    group_ = name;
    std::printf("-- %s\n", name.c_str());
    std::fflush(stdout);
}

bool Checker::Expect(const std::string& name, bool ok, const std::string& detail) {
    ++(ok ? passed_ : failed_);
    std::printf("%s %s: %s%s%s\n", ok ? "ok  " : "FAIL", group_.c_str(), name.c_str(),
                detail.empty() ? "" : " -- ", detail.c_str());
    std::fflush(stdout);
    return ok;
}

bool Checker::Equal(const std::string& name, const std::string& got, const std::string& want) {
    return Expect(name, got == want,
                  got == want ? std::string{} : "got [" + got + "], want [" + want + "]");
}

bool Checker::SkipUnderWine(const std::string& name) {
    if (!wine_) {
        return false;
    }
    ++skipped_;
    std::printf("skip %s: %s (Wine cannot show this)\n", group_.c_str(), name.c_str());
    return true;
}

int Checker::Finish() const {
    std::printf("wincheck: %d passed, %d failed, %d skipped\n", passed_.load(), failed_.load(),
                skipped_.load());
    std::fflush(stdout);
    return failed_ == 0 && passed_ > 0 ? 0 : 1;
}

void Checker::StartWatchdog(int seconds) {
    std::thread([this, seconds] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        ++failed_;
        std::printf("FAIL watchdog: the run did not end within %d s\n", seconds);
        (void)Finish();
        std::_Exit(3);
    }).detach();
}

void InstallRecordingReporter() {
    SetSerialReporter([](const SerialReport& report) {
        std::lock_guard lock(reportsMutex);
        reports += (reports.empty() ? "" : "; ") + Shown(report.text) + "|" + report.caption;
    });
}

std::string TakeReports() {
    std::lock_guard lock(reportsMutex);
    return std::exchange(reports, {});
}

BoxLog::BoxLog(std::string path) : path_(std::move(path)), taken_(ReadFrames().size()) {}

std::vector<std::string> BoxLog::ReadFrames() const {
    std::vector<std::string> frames;
    std::ifstream in(path_);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("<- ", 0) == 0) {
            frames.push_back(line.substr(3));
        }
    }
    return frames;
}

std::string BoxLog::TakeFrames(size_t expected) {
    std::vector<std::string> frames = ReadFrames();
    for (int waited = 0; frames.size() < taken_ + expected && waited < 2000; waited += 20) {
        Sleep(20);
        frames = ReadFrames();
    }
    std::string out;
    for (size_t i = taken_; i < frames.size(); ++i) {
        out += (out.empty() ? "" : " | ") + frames[i];
    }
    taken_ = frames.size();
    return out;
}

bool ExpectWait(Checker& check, const std::string& name, int64_t tookMs, int64_t expectedMs) {
    // Wide margins: a loaded machine may be late, never early.
    const int64_t low = expectedMs * 9 / 10 - 30;
    const int64_t high = expectedMs * 13 / 10 + 500;
    return check.Expect(name + " takes " + std::to_string(expectedMs) + " ms",
                        tookMs >= low && tookMs <= high,
                        "took " + std::to_string(tookMs) + " ms, allowed " + std::to_string(low) +
                            " to " + std::to_string(high));
}

std::string Hex(const uint8_t* bytes, size_t count) {
    std::string out;
    char two[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(two, sizeof two, "%s%02X", i == 0 ? "" : " ", bytes[i]);
        out += two;
    }
    return out;
}

}  // namespace kestrow::wincheck
