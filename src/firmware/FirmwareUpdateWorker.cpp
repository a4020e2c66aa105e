#include "firmware/FirmwareUpdateWorker.h"

#include "device/DeviceLink.h"
#include "firmware/FirmwareTexts.h"
#include "ports/PortNaming.h"

namespace kestrow {
namespace {

namespace text = firmware_text;

// The file steps; true when the program is ready to be written.
bool PrepareFile(FirmwareRun& run) {
    const PrepareResult prepared = PrepareFirmware(run.image);
    if (prepared.fileSize) {
        run.view.SetFileSize(FileSizeText(*prepared.fileSize));
    }
    if (!prepared.reason.empty()) {
        run.view.ShowDetail(prepared.reason);
    }
    switch (prepared.outcome) {
        case PrepareOutcome::Ready:
            return true;
        case PrepareOutcome::CouldNotOpen:
            run.view.SetStatus(text::kPleaseLoadFile);
            return false;
        case PrepareOutcome::ConvertFailed:
            run.view.SetStatus(text::kConvertFailed);
            return false;
        case PrepareOutcome::NotCorrect:
            run.view.ShowMessage(text::kFileNotCorrect);
            return false;
    }
    return false;
}

}  // namespace

void FirmwareUpdateWorker(FirmwareRun& run) {
    if (ProbePortAccess(run.port) == PortAccess::Occupied) {
        run.view.ShowMessage(text::kPortOccupied);
        return;
    }
    if (!PrepareFile(run)) {
        return;
    }
    if (!OpenForLongReads(run.serial, run.port)) {
        run.view.SetStatus(text::kOpenFailed);
        return;
    }
    run.view.SetStatus(text::kConnected);
    run.view.ShowWaitCursor(true);

    const auto length = static_cast<std::int32_t>(run.image.data.size());
    const BootConnect connect =
        ConnectBootLoader(run.serial, length, run.image.targetDigit, &run.view);
    if (connect != BootConnect::Connected) {
        run.view.ShowWaitCursor(false);
        if (connect != BootConnect::Stopped) {  // a view that stopped the run says so itself
            run.view.SetStatus(text::kConnectFailed);
            if (connect == BootConnect::Silent) {
                run.view.ShowDetail(text::kNoAnswerDetail);
            }
            run.view.ShowMessage(text::kCheckVersion);
        }
        run.serial.Close();
        return;
    }

    run.view.SetStatus(text::kWriting);
    const bool written = WriteFlash(run.serial, run.image.data, run.view);
    run.serial.Close();
    if (written) {
        run.view.SetStatus(text::kUpdated);
        run.view.ShowWaitCursor(false);
    } else {
        run.view.ShowWaitCursor(false);
        run.view.SetStatus(text::kWriteFailed);
        // The Download was taken: a half-written flash keeps the box in its boot loader until
        // a whole program is written.
        run.view.ShowMessage(text::kBootLoaderWaits);
    }
}

}  // namespace kestrow
