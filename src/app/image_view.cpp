#include "app/image_view.h"

#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace zelk {

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMinimumSize(1, 1);
}

int ImageView::DeviceWidth() const {
  return static_cast<int>(std::lround(width() * devicePixelRatioF()));
}

int ImageView::DeviceHeight() const {
  return static_cast<int>(std::lround(height() * devicePixelRatioF()));
}

std::optional<QPoint> ImageView::PointerPosition() const {
  const QPoint local = mapFromGlobal(QCursor::pos());
  if (!rect().contains(local)) return std::nullopt;
  return ToDevice(local);
}

void ImageView::RepaintNow() {
  repaint();
}

void ImageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.Width() == 0 || picture_.Height() == 0) {
    painter.fillRect(rect(), Qt::white);
    return;
  }
  const QImage image(reinterpret_cast<const uchar*>(picture_.Data()), picture_.Width(),
                     picture_.Height(), picture_.Width() * 4, QImage::Format_RGB32);
  QImage scaled_for_screen = image;
  scaled_for_screen.setDevicePixelRatio(devicePixelRatioF());
  painter.drawImage(QPointF(0, 0), scaled_for_screen);
  // Anything the picture does not cover (during a resize) shows the white background.
  const qreal dpr = devicePixelRatioF();
  const qreal pw = picture_.Width() / dpr, ph = picture_.Height() / dpr;
  if (pw < width()) painter.fillRect(QRectF(pw, 0, width() - pw, height()), Qt::white);
  if (ph < height()) painter.fillRect(QRectF(0, ph, pw, height() - ph), Qt::white);
  if (!hint_.isEmpty()) {
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawText(rect(), Qt::AlignCenter, hint_);
  }
}

void ImageView::SetHint(const QString& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  update();
}

void ImageView::wheelEvent(QWheelEvent* event) {
  // Touchpads send small angles: they add up to whole notches of 15 degrees.
  wheel_eighths_ += event->angleDelta().y();
  const int notches = wheel_eighths_ / 120;
  wheel_eighths_ -= notches * 120;
  event->accept();
  if (notches == 0 || !on_wheel) return;
  const QPoint p = ToDevice(event->position());
  on_wheel(notches, p.x(), p.y());
}

QPoint ImageView::ToDevice(const QPointF& logical) const {
  const qreal dpr = devicePixelRatioF();
  return QPoint(static_cast<int>(std::floor(logical.x() * dpr)),
                static_cast<int>(std::floor(logical.y() * dpr)));
}

void ImageView::mousePressEvent(QMouseEvent* event) {
  const QPoint p = ToDevice(event->position());
  if (on_mouse_down) on_mouse_down(event->button(), p.x(), p.y());
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
  if (!mouse_move_attached || !on_mouse_move) return;
  const QPoint p = ToDevice(event->position());
  on_mouse_move(event->buttons(), p.x(), p.y());
}

}  // namespace zelk
