// The Qt realisation of the dialog's control operations, on the widgets of its window.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

#include "ui/dialogkit/DialogWindowQt.h"
#include "ui/dialogkit/PictureButtonQt.h"
#include "ui/dialogkit/SupportQt.h"

namespace kestrow::ui {

void Dialog::SetItemText(int id, std::string_view text) {
    QWidget* w = window_->Control(id);
    const QString t = Utf8(text);
    if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(t);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(t);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(t);
    } else if (auto* m = qobject_cast<QPlainTextEdit*>(w)) {
        m->setPlainText(t);
    } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
        if (cb->isEditable()) {
            cb->setEditText(t);
        }
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(t);
    } else if (auto* p = qobject_cast<PictureButton*>(w)) {
        p->SetCaption(t);
    }
}

std::string Dialog::ItemText(int id) const {
    QWidget* w = window_->Control(id);
    QString t;
    if (auto* l = qobject_cast<QLabel*>(w)) {
        t = l->text();
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        t = b->text();
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        t = e->text();
    } else if (auto* m = qobject_cast<QPlainTextEdit*>(w)) {
        t = m->toPlainText();
    } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
        t = cb->currentText();
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        t = g->title();
    } else if (auto* p = qobject_cast<PictureButton*>(w)) {
        t = p->Caption();
    }
    return Utf8(t);
}

void Dialog::EnableItem(int id, bool enabled) {
    if (QWidget* w = window_->Control(id)) {
        w->setEnabled(enabled);
    }
}

void Dialog::ShowItem(int id, bool shown) {
    if (QWidget* w = window_->Control(id)) {
        w->setVisible(shown);
    }
}

void Dialog::ResetList(int id) {
    if (auto* cb = window_->ControlAs<QComboBox>(id)) {
        cb->clear();
    }
}

void Dialog::AddListEntry(int id, std::string_view text, std::string_view tip) {
    if (auto* cb = window_->ControlAs<QComboBox>(id)) {
        cb->addItem(Utf8(text));
        if (!tip.empty()) {
            cb->setItemData(cb->count() - 1, Utf8(tip), Qt::ToolTipRole);
        }
    }
}

void Dialog::SetListSelection(int id, int index) {
    if (auto* cb = window_->ControlAs<QComboBox>(id)) {
        cb->setCurrentIndex(index >= 0 && index < cb->count() ? index : -1);
    }
}

int Dialog::ListSelection(int id) const {
    const auto* cb = window_->ControlAs<QComboBox>(id);
    return cb != nullptr ? cb->currentIndex() : -1;
}

int Dialog::ListCount(int id) const {
    const auto* cb = window_->ControlAs<QComboBox>(id);
    return cb != nullptr ? cb->count() : 0;
}

std::string Dialog::ListEntry(int id, int index) const {
    const auto* cb = window_->ControlAs<QComboBox>(id);
    return cb != nullptr ? Utf8(cb->itemText(index)) : std::string();
}

int Dialog::FindListEntry(int id, std::string_view text) const {
    const auto* cb = window_->ControlAs<QComboBox>(id);
    return cb != nullptr ? cb->findText(Utf8(text), Qt::MatchExactly | Qt::MatchCaseSensitive) : -1;
}

void Dialog::SetTrackbarRange(int id, int minimum, int maximum) {
    if (auto* bar = window_->ControlAs<QSlider>(id)) {
        bar->setRange(minimum, maximum);
    }
}

void Dialog::SetTrackbarPos(int id, int position) {
    if (auto* bar = window_->ControlAs<QSlider>(id)) {
        bar->setValue(position);
    }
}

int Dialog::TrackbarPos(int id) const {
    const auto* bar = window_->ControlAs<QSlider>(id);
    return bar != nullptr ? bar->value() : 0;
}

void Dialog::SetProgressRange(int id, int minimum, int maximum) {
    if (auto* bar = window_->ControlAs<QProgressBar>(id)) {
        bar->setRange(minimum, maximum);
    }
}

void Dialog::SetProgressPos(int id, int position) {
    if (auto* bar = window_->ControlAs<QProgressBar>(id)) {
        bar->setValue(position);
    }
}

void Dialog::SetPicture(int id, int picture) {
    if (auto* p = window_->ControlAs<PictureButton>(id)) {
        p->SetPicture(picture);
    }
}

void Dialog::PaintNow(int id) {
    if (QWidget* w = window_->Control(id); w != nullptr && w->isVisible()) {
        w->repaint();
    }
}

}  // namespace kestrow::ui
