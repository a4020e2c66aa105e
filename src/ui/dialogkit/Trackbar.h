// A slider that tells its position whenever it changes (dragging, keys, or set by the program),
// so an edit box beside it can follow it. A repaint alone tells nothing: text typed into that
// edit box is not overwritten by a redraw.
#pragma once

#include <QSlider>

namespace kestrow::ui {

class Trackbar : public QSlider {
    Q_OBJECT
  public:
    explicit Trackbar(Qt::Orientation orientation, QWidget* parent = nullptr);

  signals:
    void positionShown(int position);
};

}  // namespace kestrow::ui
