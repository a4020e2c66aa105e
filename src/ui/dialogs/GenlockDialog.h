// The GenLock Sync Delay dialog (template 208): the horizontal and vertical sync delays, read
// from the box with their periods when the dialog opens, shown signed around zero, each written
// by its Apply. The arrows change only the screen; closing writes nothing.
#pragma once

#include <cstdint>

#include "ui/dialogs/RowDialog.h"

namespace kestrow {

class GenlockDialog : public RowDialog {
  public:
    explicit GenlockDialog(const ComPort& port);
};

}  // namespace kestrow
