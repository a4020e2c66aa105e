// The System dialog of the model-1 box (template 201): the input timing read on request (Get),
// the clock mode with Apply (the GenLock dialog follows the entry "FrameLock B(Genlock)"),
// Factory Reset and Firmware Update.
#pragma once

#include <cstdint>
#include <span>

#include "ui/dialogs/SystemDialog.h"

namespace kestrow {

class SystemClockDialog : public SystemDialog {
  public:
    // `system`: the four System bytes of StatusCache; `box`: its port byte (the probe's), whose
    // input code chooses the lock entry of the clock mode list.
    SystemClockDialog(const ComPort& port, std::span<uint8_t> system, const BoxFacts& box);

  protected:
    bool OnInitDialog() override;
    void ChoiceApplied(const RowLayout& row, int entry) override;

  private:
    void OnGet();
};

}  // namespace kestrow
