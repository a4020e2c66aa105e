// flash: the Firmware Update dialog's run with a terminal for its window. A progress bar on a
// terminal, one line per 10 % otherwise. Ctrl+C before the flash is touched ends the run at
// once; during the write it asks first, since a half-written flash leaves the box in its boot
// loader. A hang-up (SIGHUP; on Windows the console window closed) counts as Ctrl+C without a
// terminal to ask on, and output that can no longer be written (SIGPIPE, ignored in main) never
// stops the run. Several boxes are
// flashed at once, one run each; Ctrl+C then stops each without asking: at once where the
// flash is untouched, between two blocks where it is being written.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Platform.h"
#include "cli/Ports.h"
#include "firmware/FirmwareTexts.h"
#include "firmware/FirmwareUpdateWorker.h"

namespace kestrow::cli {
namespace {

namespace text = firmware_text;

constexpr int kBarWidth = 40;

// How a run shows itself: a bar (one box on a terminal), 10 % lines, or nothing but failures
// (--json); whether Ctrl+C during the write asks (one box, a terminal on stdin).
struct ViewMode {
    bool bar = false;
    bool quiet = false;
    bool ask = false;
    bool one = false;  // the only box: Ctrl+C before the flash is touched ends the process
};

class TerminalView : public FirmwareUpdateView {
  public:
    TerminalView(std::string path, const ComPort& port, ViewMode mode)
        : path_(std::move(path)), port_(port), bar_(mode.bar), quiet_(mode.quiet), ask_(mode.ask) {}

    void SetStatus(std::string_view status) override {
        EndBar();
        if (status == text::kConnected || status == text::kWriting) {
            Show(status);
        } else if (status == text::kUpdated) {
            Show(status);
            outcome_ = status;
            exit_ = exit_.value_or(Exit::Done);
        } else if (status == text::kWriteFailed && stopped_) {
            PrintError(std::string(status) + " Stopped on request.");
            Outcome(std::string(status) + " Stopped on request.");
            exit_ = exit_.value_or(Exit::Stopped);
        } else {
            Failed(status);
        }
    }
    void SetFileSize(std::string_view size) override { Show("File Size: " + std::string(size)); }
    void ShowMessage(std::string_view message) override {
        EndBar();
        if (message == text::kBootLoaderWaits) {
            const std::string why = Gone() + Waits();
            PrintError(why);
            Outcome(why);
            return;
        }
        Failed(message);
    }
    void ShowDetail(std::string_view detail) override { detail_ = detail; }
    void ShowError(const Error& error) override { error_ = error; }
    void ShowWaitCursor(bool /*wait*/) override {}

    void SetRange(std::uint16_t /*minimum*/, std::uint16_t maximum) override {
        maximum_ = maximum;
        tenths_ = 0;
        drawn_ = -1;
    }
    void SetPosition(std::uint16_t position) override {
        const int percent = maximum_ > 0 ? position * 100 / maximum_ : 100;
        if (quiet_) {
            return;
        }
        if (bar_ && percent != drawn_) {
            drawn_ = percent;
            const int filled = percent * kBarWidth / 100;
            std::printf("\r[%s%s] %3d %%", std::string(static_cast<size_t>(filled), '#').c_str(),
                        std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(), percent);
            barOpen_ = true;
            if (percent == 100) {
                EndBar();
            }
            std::fflush(stdout);
        } else if (!bar_) {
            for (; tenths_ < percent / 10; ++tenths_) {
                Show("Writing flash: " + std::to_string((tenths_ + 1) * 10) + " %");
            }
        }
    }

    // Asked before Download and before each block. Before Download a stop leaves the flash as
    // it was; after it, the operator confirms.
    bool StopRequested() override {
        if (!downloadSent_) {
            if (InterruptCatcher::Interrupted()) {
                stopped_ = true;
                return true;
            }
            downloadSent_ = true;
            return false;
        }
        if (stopped_ || !InterruptCatcher::Interrupted()) {
            return stopped_;
        }
        EndBar();
        if (!ask_ || InterruptCatcher::HungUp()) {
            stopped_ = true;
            return true;
        }
        InterruptCatcher::ClearInterrupted();
        stopped_ = AskYesNo(
                       "Stop writing the flash? A half-written flash leaves the box in its "
                       "boot loader.") != Answer::No;
        return stopped_;
    }

    // Ctrl+C while nothing has touched the flash: end now.
    void LeaveIfInterrupted() const {
        if (InterruptCatcher::Interrupted() && !downloadSent_) {
            const char* stopped = "stopped; nothing was written to the flash";
            if (quiet_) {
                Say(JsonText(Json{{"error", stopped}, {"exit", static_cast<int>(Exit::Stopped)}}));
            }
            std::fflush(stdout);
            std::fprintf(stderr, "\nkestrowctl: %s\n", stopped);
            std::_Exit(static_cast<int>(Exit::Stopped));
        }
    }

    // A run that never said "Firmware Updated!" did not succeed.
    [[nodiscard]] Exit ExitCode() const { return exit_.value_or(Exit::WriteFailed); }
    // "Firmware Updated!", or the first failure's words.
    [[nodiscard]] const std::string& OutcomeText() const { return outcome_; }

  private:
    void Show(std::string_view line) const {
        if (!quiet_) {
            Say(line);
        }
    }
    void Outcome(std::string text) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        if (outcome_.empty()) {
            outcome_ = std::move(text);
        }
    }
    void EndBar() {
        if (barOpen_) {
            std::printf("\n");
            barOpen_ = false;
        }
    }
    // Where a box left in its boot loader stands, and what finishes the update.
    [[nodiscard]] std::string Waits() const {
        return "the box waits in its boot loader until a whole program is written; run "
               "\"kestrowctl flash " +
               path_ + "\" again to finish the update";
    }
    // "COM 210 (/dev/ttyUSB0) went away: unplugged or switched off; " when the port vanished.
    [[nodiscard]] std::string Gone() const {
        return error_ && error_->kind == ErrorKind::Gone ? WentAway(port_) + "; " : std::string{};
    }

    // The system's text, then why (the detail the run gave before it) on a line of its own.
    void Failed(std::string_view message) {
        const std::string said = message == text::kPleaseLoadFile
                                     ? std::string(message) + " (" + path_ + " cannot be opened)"
                                     : std::string(message);
        PrintError(said);
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
            why = message == text::kOpenFailed ? NotOpened(port_, error_.value_or(Error{})).message
                                               : why;
            code = Exit::Port;
        } else if (message == text::kCheckVersion && !Gone().empty()) {
            // Asked into its boot loader before the port went away, the box waits there.
            why = Gone() +
                  (why == text::kBootLoaderWaits ? Waits() : "nothing was written to the flash");
            code = Exit::NoAnswer;
        } else if (message == text::kCheckVersion && why == text::kNoAnswerDetail) {
            why = "the box on " + port_.Name() + " does not answer the boot loader's Ping";
            code = Exit::NoAnswer;  // as for every box that does not answer
        }
        if (!why.empty()) {
            PrintError(why);
        }
        Outcome(said.substr(0, said.find_last_not_of("\r\n") + 1) + (why.empty() ? "" : " " + why));
        exit_ = exit_.value_or(code);  // the first failure decides
    }

    std::string path_;
    ComPort port_;
    std::optional<Error> error_;  // the port's failure behind the next message
    std::string detail_;          // why the next failure happened
    bool bar_ = false;
    bool quiet_ = false;
    bool ask_ = false;
    std::string outcome_;
    bool barOpen_ = false;
    std::uint16_t maximum_ = 0;
    int tenths_ = 0;  // 10 % lines printed
    int drawn_ = -1;  // the percentage the bar shows
    bool downloadSent_ = false;
    bool stopped_ = false;
    std::optional<Exit> exit_;
};

BoxResult FlashOnBox(Box& box, const std::string& file, ViewMode mode) {
    const ComPort& port = box.port;
    FirmwareImage image;
    image.path = file;
    TerminalView view(file, port, mode);
    // The search's opening, where it found the box, is the run's.
    FirmwareRun run{port, image, box.link->Serial(), view, box.link->IsOpen()};
    if (mode.one) {
        SetIdleHook([&view] { view.LeaveIfInterrupted(); });
    }
    FirmwareUpdateWorker(run);
    SetIdleHook({});

    BoxResult result;
    result.json = {{"port", PortJson(port)}, {"file", file}};
    if (const auto bytes = FirmwareFileSize(file)) {
        result.json["fileBytes"] = *bytes;
    }
    result.json["outcome"] = view.OutcomeText();
    if (view.ExitCode() != Exit::Done) {
        result.failure = Failure{view.ExitCode(), view.OutcomeText()};
        result.told = true;
        return result;
    }
    result.json["programBytes"] = image.data.size();
    result.summary = view.OutcomeText();
    return result;
}

}  // namespace

int RunFlash(const CommonOptions& options, const std::string& file) {
    auto boxes = ChooseBoxes(options, Search::ProbeOrBootLoader, true);
    if (!boxes) {
        return Fail(options, boxes.failure());
    }
    const bool one = boxes->size() == 1;
    const ViewMode mode{one && !options.json && StdoutIsTerminal(), options.json,
                        one && StdinIsTerminal(), one};

    const InterruptCatcher interrupts;
    return RunOnBoxes(options, *boxes, [&](Box& box) { return FlashOnBox(box, file, mode); });
}

}  // namespace kestrow::cli
