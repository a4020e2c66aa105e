#include "ui/dialogs/FirmwareUpdateDialog.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <chrono>
#include <utility>

#include "firmware/FirmwareTexts.h"
#include "firmware/FirmwareUpdateWorker.h"
#include "ui/dialogkit/Cursors.h"
#include "ui/dialogkit/FileDialog.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogkit/QtSupport.h"
#include "ui/dialogs/FirmwareUpdateDialogTemplate.h"

namespace kestrow {
namespace {

using Ids = ui::FirmwareUpdateIds;

QString InstructionText() {
    QStringList lines;
    for (const char* line : firmware_text::kInstructionLines) {
        lines << QString::fromUtf8(line);
    }
    return lines.join(QString::fromLatin1(firmware_text::kInstructionSeparator));
}

}  // namespace

// The worker's view of the dialog: every call becomes a queued call on the dialog's thread,
// except message boxes, which wait for the operator's answer there.
class FirmwareUpdateDialog::View : public FirmwareUpdateView {
  public:
    explicit View(FirmwareUpdateDialog& dialog) : dialog_(dialog) {}

    void SetStatus(std::string_view text) override {
        Post([d = &dialog_, t = ui::Utf8(text)] {
            d->SetControlText(Ids::kStatusText, t);
            emit d->statusShown(t);
        });
    }
    void SetFileSize(std::string_view text) override {
        Post([d = &dialog_, t = ui::Utf8(text)] { d->SetControlText(Ids::kFileSizeText, t); });
    }
    // The run's reason, if it gave one, is the detail line under the system's text.
    void ShowMessage(std::string_view text) override {
        (void)ui::ShowMessage(&dialog_, ui::Utf8(text), QString(), ui::MessageButtons::Ok,
                              ui::MessageIcon::None, std::exchange(detail_, {}));
    }
    void ShowDetail(std::string_view detail) override { detail_ = ui::Utf8(detail); }
    void ShowWaitCursor(bool wait) override {
        Post([wait] { wait ? ui::ShowWaitCursor() : ui::ShowArrowCursor(); });
    }
    void SetRange(std::uint16_t minimum, std::uint16_t maximum) override {
        Post([d = &dialog_, minimum, maximum] {
            if (auto* bar = d->ControlAs<QProgressBar>(Ids::kProgressBar)) {
                bar->setRange(minimum, maximum);
            }
        });
    }
    void SetPosition(std::uint16_t position) override {
        Post([d = &dialog_, position] {
            if (auto* bar = d->ControlAs<QProgressBar>(Ids::kProgressBar)) {
                bar->setValue(position);
            }
        });
    }

  private:
    template <class F>
    void Post(F&& f) {
        QMetaObject::invokeMethod(&dialog_, std::forward<F>(f), Qt::QueuedConnection);
    }
    FirmwareUpdateDialog& dialog_;
    QString detail_;  // worker thread only
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
    while (worker_.joinable() && !workerDone_) {
        QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool FirmwareUpdateDialog::OnInitDialog() {
    CenterOnParent();
    path_.clear();
    image_ = FirmwareImage{};
    SetControlText(Ids::kInstructionsEdit, InstructionText());
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

std::unique_ptr<QFileDialog> FirmwareUpdateDialog::MakeFileDialog(QWidget* owner) {
    QStringList filters;
    for (const char* f : firmware_text::kFileFilters) {
        filters << QString::fromLatin1(f);
    }
    return ui::MakeFileDialog(owner, QFileDialog::AcceptOpen, filters);
}

void FirmwareUpdateDialog::OnLoadFile() {
    QWidget* owner = ui::ActiveWindow();
    const auto dialog = MakeFileDialog(owner != nullptr ? owner : this);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return;
    }
    LoadFile(dialog->selectedFiles().front());
}

void FirmwareUpdateDialog::LoadFile(const QString& path) {
    const std::string chosen = path.toStdString();
    const auto size = FirmwareFileSize(chosen);
    if (!size) {
        return;
    }
    SetControlText(Ids::kFileSizeText, QString::fromStdString(FileSizeText(*size)));
    path_ = chosen;
}

void FirmwareUpdateDialog::OnBurn() {
    if (Running()) {
        return;
    }
    if (auto* burn = Control(Ids::kBurnButton)) {
        burn->setEnabled(false);
    }
    image_.path = path_;  // the run keeps this copy whatever Load File does meanwhile
    workerDone_ = false;
    worker_ = std::thread([this, runPort = port] {
        FirmwareRun run{runPort, image_, serial_, *view_};
        FirmwareUpdateWorker(run);
        QMetaObject::invokeMethod(
            this, [this] { FinishRun(); }, Qt::QueuedConnection);
        workerDone_ = true;
    });
}

void FirmwareUpdateDialog::FinishRun() {
    if (worker_.joinable()) {
        worker_.join();
    }
    if (auto* burn = Control(Ids::kBurnButton)) {
        burn->setEnabled(true);
    }
    emit runFinished();
}

}  // namespace kestrow
