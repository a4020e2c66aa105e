#include "ui/dialogkit/PictureButtonQt.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

#include "ui/skin/Pictures.h"

namespace kestrow::ui {

PictureButton::PictureButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TranslucentBackground);
}

PictureButton::~PictureButton() = default;

void PictureButton::SetPicture(int id) {
    picture_ = id;
    const QByteArray svg = QByteArray::fromStdString(PictureSvg(id));
    if (svg.isEmpty()) {
        renderer_.reset();
    } else {
        renderer_ = std::make_unique<QSvgRenderer>(svg);
    }
    update();
}

void PictureButton::SetCaption(const QString& caption) {
    caption_ = caption;
    setAccessibleName(caption);
    setToolTip(caption);
}

void PictureButton::paintEvent(QPaintEvent* /*event*/) {
    if (renderer_ && renderer_->isValid()) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer_->render(&painter, QRectF(rect()));
    }
    painted_ = picture_;
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
    }
    event->accept();
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click) {
        emit clicked();
    }
}

void PictureButton::mouseDoubleClickEvent(QMouseEvent* event) {
    pressed_ = false;
    event->accept();
}

}  // namespace kestrow::ui
