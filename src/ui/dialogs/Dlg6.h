// The Engineer Menu (template 206): noise-reduction and deinterlacing lists that start at their
// first entries every time. Nothing chosen here is sent or kept.
#pragma once

#include <cstdint>

#include "DeviceLink.h"
#include "Dialog.h"

namespace kestrow {

class Dlg6 : public ui::Dialog {
  public:
    explicit Dlg6(uint8_t port);

    [[nodiscard]] uint8_t Port() const { return static_cast<uint8_t>(link_.port()); }

  protected:
    bool OnInitDialog() override;

  private:
    DeviceLink link_;  // never opened
};

}  // namespace kestrow
