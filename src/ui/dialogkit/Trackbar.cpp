#include "ui/dialogkit/Trackbar.h"

namespace kestrow::ui {

Trackbar::Trackbar(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
    connect(this, &QSlider::valueChanged, this, &Trackbar::positionShown);
}

}  // namespace kestrow::ui
