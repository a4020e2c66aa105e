// The System dialog of every model but model 1 (template 200): the cached input timing (Get
// shows it again), the box's firmware version text, Factory Reset, Firmware Update, and for a
// newer model the auto-sleep time with Set. Its clock mode list is filled but never shown.
#pragma once

#include <cstdint>
#include <span>

#include "ui/dialogs/SystemDialog.h"

namespace kestrow {

class SystemVersionDialog : public SystemDialog {
  public:
    // `system`: the four System bytes of StatusCache; `box`: whether it is a newer model.
    SystemVersionDialog(const ComPort& port, std::span<uint8_t> system, const BoxFacts& box);

  protected:
    bool OnInitDialog() override;

  private:
    void OnGet();
};

}  // namespace kestrow
