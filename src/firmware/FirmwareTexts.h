// Every text the firmware update shows the operator, in one place. The worker and the dialog
// use these constants only; tests compare against them.
#pragma once

namespace kestrow::firmware_text {

// Status line (control 1031).
inline constexpr const char* kPleaseLoadFile = "Please load file first!";
inline constexpr const char* kConvertFailed = "Fail to convert the input from hex to bin!";
inline constexpr const char* kOpenFailed = "Fail to open COM port!";
inline constexpr const char* kConnected = "COM port Connected!";
inline constexpr const char* kConnectFailed = "Fail to connect to device!";
inline constexpr const char* kWriting = "Writing flash ... !";
inline constexpr const char* kWriteFailed = "Fail to write flash!";
inline constexpr const char* kUpdated = "Firmware Updated!";

// Message boxes, all with an empty caption and an OK button.
inline constexpr const char* kPortOccupied = "COM port is occupied!";
inline constexpr const char* kFileNotCorrect = "Firmware file is not correct!";
inline constexpr const char* kCheckVersion = "Failed,check your device version!";

// Beside the system's texts, what this program adds to them. A detail line explains the
// failure shown after it; the hint is a message box after "Fail to write flash!" once the
// flash was touched, and the detail under "Failed,check your device version!" when the port
// went away after the box was asked into its boot loader.
inline constexpr const char* kNoAnswerDetail =
    "The box does not answer: no reply to the boot loader's Ping.";
inline constexpr const char* kBootLoaderWaits =
    "The box now waits in its boot loader. Burn the same file again to finish the update.";

// File size display (control 1014), a printf format with one int.
inline constexpr const char* kFileSizeFormat = "%d byte.";

// The instructions (control 1008), UTF-8 with curly quotes, shown joined by CR LF.
#define KESTROW_LQ "\xE2\x80\x9C"  // U+201C
#define KESTROW_RQ "\xE2\x80\x9D"  // U+201D
inline constexpr const char* kInstructionLines[] = {
    "The steps of firmware update.",
    "1.Please power OFF the scaler converter device",
    "2.Set the Dip Switch to ON [up]",
    "3.Power ON and connect the device to PC via USB to mini-USB cable",
    "4.Click " KESTROW_LQ "Load File" KESTROW_RQ " button to select the FW file",
    "5.Click " KESTROW_LQ "Burn" KESTROW_RQ " button to start the FW update process",
    "6.Unplug Mini-USB connector from device",
    "7.Set the Dip Switch to OFF [down]",
    "8.Completed FW update process",
};
#undef KESTROW_LQ
#undef KESTROW_RQ
inline constexpr const char* kInstructionSeparator = "\r\n";

}  // namespace kestrow::firmware_text
