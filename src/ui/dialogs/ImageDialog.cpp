#include "ui/dialogs/ImageDialog.h"

#include "ui/dialogs/ImageDialogTemplate.h"

namespace kestrow {

namespace {

using Ids = ui::ImageIds;

// In the order the dialog fills them: the lists, then the numbers.
constexpr RowLayout kRows[] = {
    {"bw-extension", {}, Ids::kBwExtensionApply, Ids::kBwExtensionList},
    {"color-tone", {}, Ids::kColorToneApply, Ids::kColorToneList},
    {"edge-enhance", {}, Ids::kEdgeEnhanceApply, Ids::kEdgeEnhanceList},
    {"contrast",
     {Ids::kContrastDown, Ids::kContrastTrackbar, Ids::kContrastUp, Ids::kContrastEdit},
     Ids::kContrastApply},
    {"brightness",
     {Ids::kBrightnessDown, Ids::kBrightnessTrackbar, Ids::kBrightnessUp, Ids::kBrightnessEdit},
     Ids::kBrightnessApply},
    {"saturation",
     {Ids::kSaturationDown, Ids::kSaturationTrackbar, Ids::kSaturationUp, Ids::kSaturationEdit},
     Ids::kSaturationApply},
    {"hue", {Ids::kHueDown, Ids::kHueTrackbar, Ids::kHueUp, Ids::kHueEdit}, Ids::kHueApply},
    {"sharpness",
     {Ids::kSharpnessDown, Ids::kSharpnessTrackbar, Ids::kSharpnessUp, Ids::kSharpnessEdit},
     Ids::kSharpnessApply},
};

}  // namespace

ImageDialog::ImageDialog(const ComPort& port, std::span<uint8_t> image)
    : RowDialog(ui::kImageDialogTemplate, port, image, kRows) {}

}  // namespace kestrow
