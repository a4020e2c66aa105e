// The System dialog of the model-1 box (template 201): the input timing read on request (Get),
// the clock mode with Apply (the GenLock dialog follows the entry "FrameLock B(Genlock)"),
// Factory Reset and Firmware Update.
#pragma once

#include <cstdint>
#include <span>

#include "ui/dialogs/SystemDialog.h"

namespace kestrow {

class SystemClockDialog : public SystemDialog {
    Q_OBJECT
  public:
    // `system`: the four System bytes of StatusCache; `portByte`: the probe's port byte, whose
    // input code chooses the lock entry of the clock mode list.
    SystemClockDialog(uint8_t port, std::span<uint8_t> system, uint8_t portByte);

  protected:
    bool OnInitDialog() override;
    void ChoiceApplied(const RowLayout& row, int entry) override;

  private:
    void OnGet();
};

}  // namespace kestrow
