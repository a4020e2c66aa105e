#include "ui/dialogs/FirmwareUpdateDialog.h"

#include <optional>
#include <utility>

#include "firmware/FirmwareTexts.h"
#include "firmware/FirmwareUpdateWorker.h"
#include "ui/dialogkit/Application.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/FileDialog.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogs/FirmwareUpdateDialogTemplate.h"

namespace kestrow {
namespace {

using Ids = ui::FirmwareUpdateIds;

// BIN first: the open dialog starts with it.
constexpr ui::FileFilter kFileFilters[] = {
    {"BIN", "*.BIN"}, {"HEX", "*.HEX"}, {"All Files", "*.*"}};

std::string InstructionText() {
    std::string text;
    for (const char* line : firmware_text::kInstructionLines) {
        text += (text.empty() ? "" : firmware_text::kInstructionSeparator) + std::string(line);
    }
    return text;
}

}  // namespace

// The worker's view of the dialog: every call becomes work posted to the dialog's thread,
// except message boxes, which wait for the operator's answer there.
class FirmwareUpdateDialog::View : public FirmwareUpdateView {
  public:
    explicit View(FirmwareUpdateDialog& dialog) : dialog_(dialog) {}

    void SetStatus(std::string_view text) override {
        dialog_.Post([d = &dialog_, t = std::string(text)] {
            d->SetItemText(Ids::kStatusText, t);
            if (d->onStatusShown) {
                d->onStatusShown(t);
            }
        });
    }
    void SetFileSize(std::string_view text) override {
        dialog_.Post(
            [d = &dialog_, t = std::string(text)] { d->SetItemText(Ids::kFileSizeText, t); });
    }
    // The run's reason, if it gave one, is the detail line under the system's text.
    void ShowMessage(std::string_view text) override {
        (void)ui::ShowMessage(&dialog_, text, "", ui::MessageButtons::Ok, ui::MessageIcon::None,
                              std::exchange(detail_, {}));
    }
    void ShowDetail(std::string_view detail) override { detail_ = detail; }
    void ShowWaitCursor(bool wait) override {
        dialog_.Post([wait] { wait ? ui::ShowWaitCursor() : ui::ShowArrowCursor(); });
    }
    void SetRange(std::uint16_t minimum, std::uint16_t maximum) override {
        dialog_.Post([d = &dialog_, minimum, maximum] {
            d->SetProgressRange(Ids::kProgressBar, minimum, maximum);
        });
    }
    void SetPosition(std::uint16_t position) override {
        dialog_.Post([d = &dialog_, position] { d->SetProgressPos(Ids::kProgressBar, position); });
    }

  private:
    FirmwareUpdateDialog& dialog_;
    std::string detail_;  // worker thread only
};

FirmwareUpdateDialog::FirmwareUpdateDialog()
    : Dialog(ui::kFirmwareUpdateDialogTemplate), view_(std::make_unique<View>(*this)) {
    static constexpr ui::CommandEntry<FirmwareUpdateDialog> kMap[] = {
        {Ids::kLoadFileButton, &FirmwareUpdateDialog::OnLoadFile},
        {Ids::kBurnButton, &FirmwareUpdateDialog::OnBurn},
    };
    MapCommands(this, kMap);
    MapCommand(ui::kIdOk, [this] { OnClose(ui::kIdOk); });
    MapCommand(ui::kIdCancel, [this] { OnClose(ui::kIdCancel); });
    MapCommand(Ids::kHiddenCancelButton, [] {});
}

FirmwareUpdateDialog::~FirmwareUpdateDialog() {
    // Closing is refused during a run, so a run is only left here when the program ends under
    // it. Its message boxes wait for this thread, so serve them until the run has ended.
    ui::ServeOtherThreadsUntil([this] { return !worker_.joinable() || workerDone_; });
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool FirmwareUpdateDialog::OnInitDialog() {
    CenterOnParent();
    path_.clear();
    image_ = FirmwareImage{};
    SetItemText(Ids::kInstructionsEdit, InstructionText());
    return true;
}

void FirmwareUpdateDialog::OnClose(int id) {
    if (Running()) {
        return;  // the worker still uses the image and the port
    }
    image_.data.clear();
    image_.data.shrink_to_fit();
    EndDialog(id);
}

void FirmwareUpdateDialog::OnLoadFile() {
    ui::FileRequest request;
    request.filters = kFileFilters;
    if (const std::optional<std::string> chosen = ui::ChooseFile(ActiveOwner(), request)) {
        LoadFile(*chosen);
    }
}

void FirmwareUpdateDialog::LoadFile(const std::string& path) {
    const auto size = FirmwareFileSize(path);
    if (!size) {
        return;
    }
    SetItemText(Ids::kFileSizeText, FileSizeText(*size));
    path_ = path;
}

void FirmwareUpdateDialog::OnBurn() {
    if (Running()) {
        return;
    }
    EnableItem(Ids::kBurnButton, false);
    image_.path = path_;  // the run keeps this copy whatever Load File does meanwhile
    workerDone_ = false;
    worker_ = std::thread([this, runPort = port] {
        FirmwareRun run{runPort, image_, serial_, *view_};
        FirmwareUpdateWorker(run);
        Post([this] { FinishRun(); });
        workerDone_ = true;
    });
}

void FirmwareUpdateDialog::FinishRun() {
    if (worker_.joinable()) {
        worker_.join();
    }
    EnableItem(Ids::kBurnButton, true);
    if (onRunFinished) {
        onRunFinished();
    }
}

}  // namespace kestrow
