// The Output Setup dialog (template 204): output resolution, colour space, test pattern and
// the two audio settings. The lists and the rows shown follow the port byte of the last probe.
#pragma once

#include <cstdint>
#include <span>

#include "ui/dialogs/RowDialog.h"

namespace kestrow {

class OutputSetupDialog : public RowDialog {
  public:
    // `output`: the five Output bytes of StatusCache; `box`: its port byte (the probe's) decides
    // the lists and rows.
    OutputSetupDialog(const ComPort& port, std::span<uint8_t> output, const BoxFacts& box);
};

}  // namespace kestrow
