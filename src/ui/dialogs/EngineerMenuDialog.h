// The Engineer Menu (template 206): noise-reduction and deinterlacing lists that start at their
// first entries every time. Nothing chosen here is sent or kept.
#pragma once

#include <cstdint>

#include "device/DeviceLink.h"
#include "ui/dialogkit/Dialog.h"

namespace kestrow {

class EngineerMenuDialog : public ui::Dialog {
  public:
    explicit EngineerMenuDialog(const ComPort& port);

    [[nodiscard]] const ComPort& Port() const { return link_.port(); }

  protected:
    bool OnInitDialog() override;

  private:
    DeviceLink link_;  // never opened
};

}  // namespace kestrow
