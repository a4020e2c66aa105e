#include "ui/dialogs/InOutDialog.h"

#include "ui/dialogs/InOutDialogTemplate.h"

namespace kestrow {

InOutDialog::InOutDialog(const ComPort& port) : Dialog(ui::kInOutDialogTemplate), link_(port) {}

bool InOutDialog::OnInitDialog() {
    CenterOnParent();
    return true;
}

}  // namespace kestrow
