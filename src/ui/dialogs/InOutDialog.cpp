#include "ui/dialogs/InOutDialog.h"

#include "ui/dialogs/InOutDialogTemplate.h"

namespace kestrow {

InOutDialog::InOutDialog(uint8_t port) : Dialog(ui::kInOutDialogTemplate), link_(port) {}

bool InOutDialog::OnInitDialog() {
    CenterOnParent();
    return true;
}

}  // namespace kestrow
