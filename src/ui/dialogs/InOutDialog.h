// The In/Out mode dialog (template 202): an under/over-scan field and an aspect-ratio choice
// that nothing reads. It sends nothing and stores nothing; closing it changes nothing.
#pragma once

#include <cstdint>

#include "device/DeviceLink.h"
#include "ui/dialogkit/Dialog.h"

namespace kestrow {

class InOutDialog : public ui::Dialog {
  public:
    explicit InOutDialog(const ComPort& port);

    [[nodiscard]] const ComPort& Port() const { return link_.port(); }

  protected:
    bool OnInitDialog() override;

  private:
    DeviceLink link_;  // never opened
};

}  // namespace kestrow
