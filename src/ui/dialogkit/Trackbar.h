// A slider that tells the position it shows: positionShown() goes out on every paint and every
// change of value, the way a Windows trackbar notifies its parent whenever it draws.
#pragma once

#include <QSlider>

namespace kestrow::ui {

class Trackbar : public QSlider {
    Q_OBJECT
  public:
    explicit Trackbar(Qt::Orientation orientation, QWidget* parent = nullptr);

  signals:
    void positionShown(int position);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kestrow::ui
