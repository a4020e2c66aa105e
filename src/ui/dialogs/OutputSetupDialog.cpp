#include "ui/dialogs/OutputSetupDialog.h"

#include "ui/dialogs/OutputSetupDialogTemplate.h"

namespace kestrow {

namespace {

using Ids = ui::OutputSetupIds;

constexpr RowLayout kRows[] = {
    {"output-resolution", {}, Ids::kOutputResolutionApply, Ids::kOutputResolutionList},
    {"output-mode", {}, Ids::kOutputModeApply, Ids::kOutputModeList},
    {"default-pattern", {}, Ids::kDefaultPatternApply, Ids::kDefaultPatternList},
    {"audio-source", {}, Ids::kAudioSourceApply, Ids::kAudioSourceList, Ids::kAudioSourceLabel},
    {"edid-audio-ch", {}, Ids::kEdidAudioChApply, Ids::kEdidAudioChList, Ids::kEdidAudioChLabel},
};

}  // namespace

OutputSetupDialog::OutputSetupDialog(const ComPort& port, std::span<uint8_t> output,
                                     const BoxFacts& box)
    : RowDialog(ui::kOutputSetupDialogTemplate, port, output, kRows,
                BoxFacts{.portByte = box.portByte}) {}

}  // namespace kestrow
