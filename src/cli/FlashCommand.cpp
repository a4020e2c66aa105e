// flash: the Firmware Update dialog's run with a terminal for its window. A progress bar on a
// terminal, one line per 10 % otherwise. Ctrl+C before the flash is touched ends the run at
// once; during the write it asks first, since a half-written flash leaves the box in its boot
// loader. A hang-up (SIGHUP) counts as Ctrl+C without a terminal to ask on, and output that can
// no longer be written (SIGPIPE, ignored in main) never stops the run.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Ports.h"
#include "firmware/FirmwareTexts.h"
#include "firmware/FirmwareUpdateWorker.h"

namespace kestrow::cli {
namespace {

namespace text = firmware_text;

volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_hungUp = 0;

extern "C" void OnInterrupt(int signal) {
    g_interrupted = 1;
    if (signal == SIGHUP) {
        g_hungUp = 1;
    }
}

constexpr int kBarWidth = 40;

// A line on stdout, at once: scripts follow the run as it goes.
void Say(std::string_view line) {
    std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stdout);
}

class TerminalView : public FirmwareUpdateView {
  public:
    TerminalView(std::string path, const ComPort& port, const SerialPort& serial, bool bar)
        : path_(std::move(path)), port_(port), serial_(serial), bar_(bar) {}

    void SetStatus(std::string_view status) override {
        EndBar();
        if (status == text::kConnected || status == text::kWriting) {
            Say(status);
        } else if (status == text::kUpdated) {
            Say(status);
            exit_ = exit_.value_or(Exit::Done);
        } else if (status == text::kWriteFailed && stopped_) {
            PrintError(std::string(status) + " Stopped on request.");
            exit_ = exit_.value_or(Exit::Stopped);
        } else {
            Failed(status);
        }
    }
    void SetFileSize(std::string_view size) override { Say("File Size: " + std::string(size)); }
    void ShowMessage(std::string_view message) override {
        EndBar();
        if (message == text::kBootLoaderWaits) {
            PrintError(Gone() +
                       "the box waits in its boot loader until a whole program is "
                       "written; run \"kestrowctl flash " +
                       path_ + "\" again to finish the update");
            return;
        }
        Failed(message);
    }
    void ShowDetail(std::string_view detail) override { detail_ = detail; }
    void ShowWaitCursor(bool /*wait*/) override {}

    void SetRange(std::uint16_t /*minimum*/, std::uint16_t maximum) override {
        maximum_ = maximum;
        tenths_ = 0;
        drawn_ = -1;
    }
    void SetPosition(std::uint16_t position) override {
        const int percent = maximum_ > 0 ? position * 100 / maximum_ : 100;
        if (bar_ && percent != drawn_) {
            drawn_ = percent;
            const int filled = percent * kBarWidth / 100;
            std::printf("\r[%s%s] %3d %%", std::string(static_cast<size_t>(filled), '#').c_str(),
                        std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(), percent);
            barOpen_ = true;
            if (percent == 100) {
                EndBar();
            }
        } else if (!bar_) {
            for (; tenths_ < percent / 10; ++tenths_) {
                std::printf("Writing flash: %d %%\n", (tenths_ + 1) * 10);
            }
        }
        std::fflush(stdout);
    }

    // Asked before Download and before each block. Before Download a stop leaves the flash as
    // it was; after it, the operator confirms.
    bool StopRequested() override {
        if (!downloadSent_) {
            if (g_interrupted != 0) {
                stopped_ = true;
                return true;
            }
            downloadSent_ = true;
            return false;
        }
        if (stopped_ || g_interrupted == 0) {
            return stopped_;
        }
        g_interrupted = 0;
        EndBar();
        if (!StdinIsTerminal() || g_hungUp != 0) {
            stopped_ = true;
            return true;
        }
        stopped_ = AskYesNo(
                       "Stop writing the flash? A half-written flash leaves the box in its "
                       "boot loader.") != Answer::No;
        return stopped_;
    }

    // Ctrl+C while nothing has touched the flash: end now.
    void LeaveIfInterrupted() const {
        if (g_interrupted != 0 && !downloadSent_) {
            std::fflush(stdout);
            std::fputs("\nkestrowctl: stopped; nothing was written to the flash\n", stderr);
            std::_Exit(static_cast<int>(Exit::Stopped));
        }
    }

    // A run that never said "Firmware Updated!" did not succeed.
    [[nodiscard]] int ExitCode() const {
        return static_cast<int>(exit_.value_or(Exit::WriteFailed));
    }

  private:
    void EndBar() {
        if (barOpen_) {
            std::printf("\n");
            barOpen_ = false;
        }
    }
    // "COM 210 (/dev/ttyUSB0) went away: unplugged or switched off; " when the port vanished.
    [[nodiscard]] std::string Gone() const {
        return serial_.Vanished() ? PortText(port_) + " went away: unplugged or switched off; "
                                  : std::string{};
    }

    // The system's text, then why (the detail the run gave before it) on a line of its own.
    void Failed(std::string_view message) {
        PrintError(message == text::kPleaseLoadFile
                       ? std::string(message) + " (" + path_ + " cannot be opened)"
                       : std::string(message));
        if (message == text::kConnectFailed) {
            return;  // the message after it says why, and decides the exit code
        }
        std::string why = std::exchange(detail_, {});
        Exit code = Exit::WriteFailed;
        if (message == text::kPleaseLoadFile) {
            code = Exit::File;
        } else if (message == text::kConvertFailed || message == text::kFileNotCorrect) {
            why = why.empty() ? why : path_ + ": " + why;
            code = Exit::File;
        } else if (message == text::kPortOccupied || message == text::kOpenFailed) {
            why =
                message == text::kOpenFailed ? NotOpened(port_, serial_.OpenError()).message : why;
            code = Exit::Port;
        } else if (message == text::kCheckVersion && !Gone().empty()) {
            why = Gone() + "nothing was written to the flash";
            code = Exit::NoAnswer;
        } else if (message == text::kCheckVersion && why == text::kNoAnswerDetail) {
            why = "the box on " + port_.Name() + " does not answer the boot loader's Ping";
            code = Exit::NoAnswer;  // as for every box that does not answer
        }
        if (!why.empty()) {
            PrintError(why);
        }
        exit_ = exit_.value_or(code);  // the first failure decides
    }

    std::string path_;
    ComPort port_;
    const SerialPort& serial_;
    std::string detail_;  // why the next failure happened
    bool bar_ = false;
    bool barOpen_ = false;
    std::uint16_t maximum_ = 0;
    int tenths_ = 0;  // 10 % lines printed
    int drawn_ = -1;  // the percentage the bar shows
    bool downloadSent_ = false;
    bool stopped_ = false;
    std::optional<Exit> exit_;
};

}  // namespace

int RunFlash(const CommonOptions& options, const std::string& file) {
    const auto target = ChoosePort(options, Search::ProbeOrBootLoader);
    if (!target) {
        return Report(target.failure());
    }
    FirmwareImage image;
    image.path = file;
    SerialPort serial;
    serial.SetTracer(options.tracer);
    TerminalView view(file, *target, serial, StdoutIsTerminal());
    FirmwareRun run{*target, image, serial, view};

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    struct sigaction previousHangUp {};
    sigaction(SIGINT, &action, &previous);
    sigaction(SIGHUP, &action, &previousHangUp);
    SetIdleHook([&view] { view.LeaveIfInterrupted(); });

    FirmwareUpdateWorker(run);

    SetIdleHook({});
    sigaction(SIGHUP, &previousHangUp, nullptr);
    sigaction(SIGINT, &previous, nullptr);
    return view.ExitCode();
}

}  // namespace kestrow::cli
