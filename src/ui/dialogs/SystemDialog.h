// What both System dialogs share: the four System bytes of StatusCache they are lent
// ([0] input timing code, [1] system setting A, [2] port byte or auto-sleep time, [3] model
// byte), the input timing text, Factory Reset and Firmware Update, at the same ids in both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ui/dialogs/RowDialog.h"

namespace kestrow {

class SystemDialog : public RowDialog {
  public:
    SystemDialog(const ui::DialogTemplate& tmpl, const ComPort& port, std::span<uint8_t> system,
                 std::span<const RowLayout> rows, const BoxFacts& box);

  protected:
    // System byte k of the lent group, or null when the group is shorter.
    [[nodiscard]] uint8_t* SystemByte(size_t k) const;
    // The input timing text: the name of an input timing code.
    void ShowInputTiming(uint8_t code);

  private:
    void OnFactoryReset();
    void OnFirmwareUpdate();
};

}  // namespace kestrow
