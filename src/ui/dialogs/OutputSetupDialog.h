// The Output Setup dialog (template 204): output resolution, colour space, test pattern and
// the two audio settings. The lists and the rows shown follow the port byte of the last probe.
#pragma once

#include <cstdint>
#include <span>

#include "ui/dialogs/RowDialog.h"

namespace kestrow {

class OutputSetupDialog : public RowDialog {
  public:
    // `output`: the five Output bytes of StatusCache; `portByte`: the probe's port byte.
    OutputSetupDialog(uint8_t port, std::span<uint8_t> output, uint8_t portByte);
};

}  // namespace kestrow
