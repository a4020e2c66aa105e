// Feeds arbitrary bytes to the HEX conversion and the header check, the way a run treats a
// file: HEX text when it starts with ':', a binary image otherwise. Crashes, leaks, undefined
// behaviour and broken size rules abort.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "firmware/FirmwareImage.h"

using namespace kestrow;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FirmwareImage image;
    image.data.assign(data, data + size);
    if (LooksLikeHex(image)) {
        if (!ConvertHexToBinary(image)) {
            if (!image.data.empty()) {
                std::abort();  // a failed conversion releases the buffer
            }
            return 0;
        }
        if (image.data.size() > kMaxImageBytes) {
            std::abort();
        }
    }
    const std::size_t before = image.data.size();
    if (StripFirmwareHeader(image)) {
        if (image.data.size() + kFirmwareHeaderSize != before ||
            (image.targetDigit != '3' && image.targetDigit != '4')) {
            std::abort();
        }
    } else if (image.data.size() != before) {
        std::abort();
    }
    return 0;
}
