// The Qt realisation of a picture control: shows one SVG picture of the skin (Pictures.h)
// scaled to its rectangle, reports a click (press and release inside) through clicked(); the
// second click of a double-click reports nothing. The cursor does not change and the control
// takes no focus. Its caption is its accessible name and tool tip.
#pragma once

#include <QWidget>
#include <memory>

class QSvgRenderer;

namespace kestrow::ui {

class PictureButton : public QWidget {
    Q_OBJECT
  public:
    explicit PictureButton(QWidget* parent = nullptr);
    ~PictureButton() override;

    // Shows picture `id`; an unknown id shows nothing.
    void SetPicture(int id);
    [[nodiscard]] int Picture() const { return picture_; }
    // The picture the last paint put on screen (0 before the first paint).
    [[nodiscard]] int PaintedPicture() const { return painted_; }

    void SetCaption(const QString& caption);
    [[nodiscard]] QString Caption() const { return caption_; }

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // The second press of a double-click is no click: its release runs nothing.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    std::unique_ptr<QSvgRenderer> renderer_;
    QString caption_;
    int picture_ = 0;
    int painted_ = 0;
    bool pressed_ = false;
};

}  // namespace kestrow::ui
