// The Firmware Update dialog (template 207): Load File picks a firmware file, Burn starts one
// programming run on a worker thread. The worker changes the controls only through queued
// calls to this dialog's thread; the dialog cannot be closed while a run lasts.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "firmware/FirmwareImage.h"
#include "ports/PortNaming.h"
#include "serial/SerialPort.h"
#include "ui/dialogkit/Dialog.h"

class QFileDialog;

namespace kestrow {

class FirmwareUpdateDialog : public ui::Dialog {
    Q_OBJECT
  public:
    FirmwareUpdateDialog();
    ~FirmwareUpdateDialog() override;
    FirmwareUpdateDialog(const FirmwareUpdateDialog&) = delete;
    FirmwareUpdateDialog& operator=(const FirmwareUpdateDialog&) = delete;

    ComPort port;  // set by the creator before the dialog runs

    // What Load File does once the operator confirmed `path`: shows its size and remembers it.
    // A file that cannot be opened changes nothing.
    void LoadFile(const QString& path);
    [[nodiscard]] bool Running() const { return worker_.joinable(); }
    // Between runs: whether the dialog's port is still open (every run closes it again).
    // During a run the port is the worker's, and this is false.
    [[nodiscard]] bool PortOpen() const { return !Running() && serial_.IsOpen(); }

    // The open-file dialog of Load File: BIN, HEX and All Files, the first selected; names
    // match the patterns whatever their case.
    [[nodiscard]] static std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* owner);

  signals:
    void statusShown(const QString& text);  // every status line text, in order
    void runFinished();

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
