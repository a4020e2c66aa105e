// The Engineer Menu (template 206): noise-reduction and deinterlacing lists that start at their
// first entries every time. Nothing chosen here is sent or kept.
#pragma once

#include <cstdint>

#include "device/DeviceLink.h"
#include "ui/dialogkit/Dialog.h"

namespace kestrow {

class EngineerMenuDialog : public ui::Dialog {
  public:
    explicit EngineerMenuDialog(uint8_t port);

    [[nodiscard]] uint8_t Port() const { return static_cast<uint8_t>(link_.port()); }

  protected:
    bool OnInitDialog() override;

  private:
    DeviceLink link_;  // never opened
};

}  // namespace kestrow
