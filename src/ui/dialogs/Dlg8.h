// The GenLock Sync Delay dialog (template 208): the horizontal and vertical sync delays, read
// from the box with their periods when the dialog opens, shown signed around zero, each written
// by its Apply. The arrows change only the screen; closing writes nothing.
#pragma once

#include <cstdint>

#include "RowDialog.h"

namespace kestrow {

class Dlg8 : public RowDialog {
    Q_OBJECT
  public:
    explicit Dlg8(uint8_t port);
};

}  // namespace kestrow
