// The Firmware Update dialog (template 207): Load File picks a firmware file, Burn starts one
// programming run on a worker thread. The worker changes the controls only through work posted
// to the dialog's thread; the dialog cannot be closed while a run lasts.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "firmware/FirmwareImage.h"
#include "ports/PortNaming.h"
#include "serial/SerialPort.h"
#include "ui/dialogkit/Dialog.h"

namespace kestrow {

class FirmwareUpdateDialog : public ui::Dialog {
  public:
    FirmwareUpdateDialog();
    ~FirmwareUpdateDialog() override;
    FirmwareUpdateDialog(const FirmwareUpdateDialog&) = delete;
    FirmwareUpdateDialog& operator=(const FirmwareUpdateDialog&) = delete;

    ComPort port;  // set by the creator before the dialog runs

    // What Load File does once the operator chose `path` (UTF-8): shows its size and remembers
    // it. A file that cannot be opened changes nothing.
    void LoadFile(const std::string& path);
    [[nodiscard]] bool Running() const { return worker_.joinable(); }
    // Between runs: whether the dialog's port is still open (every run closes it again).
    // During a run the port is the worker's, and this is false.
    [[nodiscard]] bool PortOpen() const { return !Running() && serial_.IsOpen(); }

    // Followers of the runs, called on the dialog's thread: each status line text as it shows,
    // and the end of each run once Burn is enabled again.
    std::function<void(std::string_view)> onStatusShown;
    std::function<void()> onRunFinished;

  protected:
    bool OnInitDialog() override;

  private:
    class View;
    void OnClose(int id);
    void OnLoadFile();
    void OnBurn();
    void FinishRun();

    std::string path_;     // chosen with Load File; touched on this thread only
    FirmwareImage image_;  // the run's image; the worker's alone while a run lasts
    SerialPort serial_;
    std::unique_ptr<View> view_;
    std::thread worker_;  // joinable from Burn until the run's end has been handled
    std::atomic<bool> workerDone_{false};  // set by the worker as its last step
};

}  // namespace kestrow
