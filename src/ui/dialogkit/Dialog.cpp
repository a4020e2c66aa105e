// The toolkit-free part of the dialog base: the message map and the owner of what a dialog opens.
#include "ui/dialogkit/Dialog.h"

namespace kestrow::ui {

void Dialog::Command(int id) {
    if (auto it = commands_.find(id); it != commands_.end()) {
        it->second();
        return;
    }
    if (id == 1 || id == 2) {
        EndDialog(id);
    }
}

void Dialog::Notify(int id, int position) {
    if (auto it = notifications_.find(id); it != notifications_.end()) {
        it->second(position);
    }
}

void Dialog::Initialize() {
    if (!initialized_) {
        initialized_ = true;
        OnInitDialog();
    }
}

Dialog& Dialog::ActiveOwner() {
    Dialog* active = ActiveDialog();
    return active != nullptr ? *active : *this;
}

}  // namespace kestrow::ui
