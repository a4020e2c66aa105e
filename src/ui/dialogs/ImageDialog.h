// The Image dialog (template 203): contrast, brightness, saturation, hue and sharpness by
// number, B/W extension, colour tone and edge enhancement by list, one write per Apply.
#pragma once

#include <cstdint>
#include <span>

#include "ui/dialogs/RowDialog.h"

namespace kestrow {

class ImageDialog : public RowDialog {
  public:
    // `image`: the eight Image bytes of StatusCache, shown at start and updated by each
    // successful Apply.
    ImageDialog(const ComPort& port, std::span<uint8_t> image);
};

}  // namespace kestrow
