#include "firmware/FirmwareUpdateWorker.h"

#include "device/DeviceLink.h"
#include "firmware/FirmwareTexts.h"
#include "ports/PortNaming.h"

namespace kestrow {
namespace {

namespace text = firmware_text;

// The file steps; true when the program is ready to be written.
bool PrepareFile(FirmwareRun& run) {
    const Result<void> prepared = PrepareFirmware(run.image);
    if (run.image.fileSize) {
        run.view.SetFileSize(FileSizeText(*run.image.fileSize));
    }
    if (prepared) {
        return true;
    }
    const Error& why = prepared.error();
    if (!why.detail.empty()) {
        run.view.ShowDetail(why.detail);
    }
    switch (why.kind) {
        case ErrorKind::Malformed:
            run.view.SetStatus(text::kConvertFailed);
            break;
        case ErrorKind::Invalid:
            run.view.ShowMessage(text::kFileNotCorrect);
            break;
        default:  // the file cannot be opened or read
            run.view.SetStatus(text::kPleaseLoadFile);
            break;
    }
    return false;
}

// Opens the port under the long reads, or goes on on the opening the caller holds.
Result<void> OpenPort(FirmwareRun& run) {
    if (!run.held) {
        return OpenForLongReads(run.serial, run.port);
    }
    run.serial.SetReadTimeouts(ReadTimeouts::LongRead);
    return run.serial.DiscardInput();
}

}  // namespace

void FirmwareUpdateWorker(FirmwareRun& run) {
    // A port the caller holds is occupied by this run itself.
    if (!run.held && ProbePortAccess(run.port) == PortAccess::Occupied) {
        run.view.ShowMessage(text::kPortOccupied);
        return;
    }
    if (!PrepareFile(run)) {
        run.serial.Close();
        return;
    }
    if (Result<void> opened = OpenPort(run); !opened) {
        run.serial.Close();
        run.view.ShowError(opened.error());
        run.view.SetStatus(text::kOpenFailed);
        return;
    }
    run.view.SetStatus(text::kConnected);
    run.view.ShowWaitCursor(true);

    const auto length = static_cast<std::int32_t>(run.image.data.size());
    const Result<void> connected =
        ConnectBootLoader(run.serial, length, run.image.targetDigit, &run.view);
    if (!connected) {
        const Error& why = connected.error();
        run.view.ShowWaitCursor(false);
        if (why.kind != ErrorKind::Stopped) {  // a view that stopped the run says so itself
            run.view.SetStatus(text::kConnectFailed);
            if (!why.call.empty()) {
                run.view.ShowDetail(why.call);  // the Ping that got no acknowledge
            }
            run.view.ShowError(why);
            run.view.ShowMessage(text::kCheckVersion);
        }
        run.serial.Close();
        return;
    }

    run.view.SetStatus(text::kWriting);
    const Result<void> written = WriteFlash(run.serial, run.image.data, run.view);
    run.serial.Close();
    if (written) {
        run.view.SetStatus(text::kUpdated);
        run.view.ShowWaitCursor(false);
    } else {
        run.view.ShowWaitCursor(false);
        run.view.ShowError(written.error());
        run.view.SetStatus(text::kWriteFailed);
        // The Download was taken: a half-written flash keeps the box in its boot loader until
        // a whole program is written.
        run.view.ShowMessage(text::kBootLoaderWaits);
    }
}

}  // namespace kestrow
