#include "Dlg2.h"

#include "Template202.h"

namespace kestrow {

Dlg2::Dlg2(uint8_t port) : Dialog(ui::kTemplate202), link_(port) {}

bool Dlg2::OnInitDialog() {
    CenterOnParent();
    return true;
}

}  // namespace kestrow
