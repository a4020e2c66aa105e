// One firmware programming run, as the Burn button starts it: port probe, file steps, open,
// boot loader connect, flash write. Plain C++ on the calling thread; everything the operator
// sees goes through a FirmwareUpdateView, which the dialog carries over to its own thread.
#pragma once

#include <string_view>

#include "firmware/BootLoader.h"
#include "firmware/FirmwareImage.h"
#include "serial/SerialPort.h"

namespace kestrow {

// What a run shows. Called on the worker thread, in the order the operator is to see it.
class FirmwareUpdateView : public ProgressSink {
  public:
    virtual void SetStatus(std::string_view text) = 0;    // status line (1031)
    virtual void SetFileSize(std::string_view text) = 0;  // file size (1014)
    // A message box with an empty caption and an OK button; returns once it was answered.
    virtual void ShowMessage(std::string_view text) = 0;
    // Why the failure shown next happened, in words: the file's fault (which header field,
    // which size limit, which HEX line), firmware_text::kNoAnswerDetail, or
    // firmware_text::kBootLoaderWaits when the port went away after the box was asked into its
    // boot loader. A view may show it under the next message; by default it is dropped.
    virtual void ShowDetail(std::string_view /*detail*/) {}
    // The failure behind the status or message shown next, where one came from the port (it did
    // not open, the box went away): for a view that says more than the dialog's texts. By
    // default it is dropped.
    virtual void ShowError(const Error& /*error*/) {}
    virtual void ShowWaitCursor(bool wait) = 0;  // false: the arrow again
};

// The dialog's members a run works on. The dialog leaves them alone while the run lasts;
// image.path is the copy taken when Burn was pressed.
struct FirmwareRun {
    ComPort port;
    FirmwareImage& image;
    SerialPort& serial;  // closed again at the end of the run
    FirmwareUpdateView& view;
    // `serial` is open on `port` already (kestrowctl's search found the box on it): the run
    // goes on on that opening, stale input dropped, instead of opening the port itself.
    bool held = false;
};

// Carries out one run to its end. Never throws; every outcome is shown through run.view.
void FirmwareUpdateWorker(FirmwareRun& run);

}  // namespace kestrow
