#include "ui/dialogs/ImageDialog.h"

#include "ui/dialogs/ImageDialogTemplate.h"

namespace kestrow {

namespace {

// In the order the dialog fills them: the lists, then the numbers.
constexpr RowLayout kRows[] = {
    {"bw-extension", {}, 1010, 1005},
    {"color-tone", {}, 1011, 1006},
    {"edge-enhance", {}, 1012, 1007},
    {"contrast", {1024, 1027, 1017, 1008}, 1002},
    {"brightness", {1026, 1028, 1018, 1021}, 1003},
    {"saturation", {1032, 1029, 1019, 1023}, 1004},
    {"hue", {1034, 1030, 1020, 1025}, 1009},
    {"sharpness", {1035, 1033, 1022, 1031}, 1013},
};

}  // namespace

ImageDialog::ImageDialog(const ComPort& port, std::span<uint8_t> image)
    : RowDialog(ui::kImageDialogTemplate, port, image, kRows) {}

}  // namespace kestrow
