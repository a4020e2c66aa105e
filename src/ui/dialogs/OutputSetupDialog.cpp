#include "ui/dialogs/OutputSetupDialog.h"

#include "ui/dialogs/OutputSetupDialogTemplate.h"

namespace kestrow {

namespace {

constexpr RowLayout kRows[] = {
    {"output-resolution", {}, 1002, 1005},   {"output-mode", {}, 1003, 1006},
    {"default-pattern", {}, 1004, 1007},     {"audio-source", {}, 1009, 1008, 1030},
    {"edid-audio-ch", {}, 1011, 1010, 1031},
};

}  // namespace

OutputSetupDialog::OutputSetupDialog(const ComPort& port, std::span<uint8_t> output,
                                     const BoxFacts& box)
    : RowDialog(ui::kOutputSetupDialogTemplate, port, output, kRows,
                BoxFacts{.portByte = box.portByte}) {}

}  // namespace kestrow
