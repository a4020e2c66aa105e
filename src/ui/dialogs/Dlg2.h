// The In/Out mode dialog (template 202): an under/over-scan field and an aspect-ratio choice
// that nothing reads. It sends nothing and stores nothing; closing it changes nothing.
#pragma once

#include <cstdint>

#include "DeviceLink.h"
#include "Dialog.h"

namespace kestrow {

class Dlg2 : public ui::Dialog {
  public:
    explicit Dlg2(uint8_t port);

    [[nodiscard]] uint8_t Port() const { return static_cast<uint8_t>(link_.port()); }

  protected:
    bool OnInitDialog() override;

  private:
    DeviceLink link_;  // never opened
};

}  // namespace kestrow
