// The Adjustment dialog (template 205): under/over scan and the two shifts by number, shown
// signed (byte minus offset), aspect ratio and the two mirrors by list, one write per Apply.
#pragma once

#include <cstdint>
#include <span>

#include "ui/dialogs/RowDialog.h"

namespace kestrow {

class AdjustmentDialog : public RowDialog {
  public:
    // `adjustment`: the six Adjustment bytes of StatusCache, shown at start and updated by each
    // successful Apply.
    AdjustmentDialog(const ComPort& port, std::span<uint8_t> adjustment);
};

}  // namespace kestrow
