#include "app/image_view.h"

#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>
#include <cstdlib>

#ifdef ZELK_X11
#include <xcb/xcb.h>
#include <QGuiApplication>
#endif

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

std::optional<QPoint> ImageView::DevicePointerFromServer() const {
#ifdef ZELK_X11
  // Qt gives the pointer in logical pixels, whole ones for QCursor::pos(): at a scale
  // factor of 2 every odd device position would read as its even neighbour. The
  // server knows the device pixel.
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  const QWidget* top = window();
  if (x11 == nullptr || x11->connection() == nullptr || top == nullptr || !top->internalWinId())
    return std::nullopt;
  xcb_connection_t* connection = x11->connection();
  const xcb_query_pointer_cookie_t cookie =
      xcb_query_pointer(connection, static_cast<xcb_window_t>(top->internalWinId()));
  xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(connection, cookie, nullptr);
  if (reply == nullptr) return std::nullopt;
  const QPoint in_window(reply->win_x, reply->win_y);
  const bool same_screen = reply->same_screen != 0;
  std::free(reply);
  if (!same_screen) return std::nullopt;
  // Widgets inside a window sit at whole logical pixels: their device offset is exact.
  const qreal dpr = devicePixelRatioF();
  const QPoint offset = mapTo(top, QPoint(0, 0));
  return QPoint(in_window.x() - static_cast<int>(std::lround(offset.x() * dpr)),
                in_window.y() - static_cast<int>(std::lround(offset.y() * dpr)));
#else
  return std::nullopt;
#endif
}

std::optional<QPoint> ImageView::KnownPointer() const {
  std::optional<QPoint> at = DevicePointerFromServer();
  if (!at) {
    if (last_pointer_.x() < 0) return std::nullopt;
    at = last_pointer_;
  }
  if (at->x() < 0 || at->y() < 0 || at->x() >= DeviceWidth() || at->y() >= DeviceHeight())
    return std::nullopt;
  return at;
}

QPoint ImageView::PointerInView() const {
  return KnownPointer().value_or(QPoint(DeviceWidth() / 2, DeviceHeight() / 2));
}

QPoint ImageView::EventPosition(const QPointF& logical) {
  QPoint at = ToDevice(logical);
  if (devicePixelRatioF() == 1.0) {
    // Whole logical pixels are device pixels: the event is exact.
  } else if (const std::optional<QPoint> exact = DevicePointerFromServer()) {
    // The server's position is later than the event's: take it only where it names
    // the same logical pixel, so a fast move is not reported ahead of its events.
    if (std::abs(exact->x() - at.x()) < 2 * devicePixelRatioF() &&
        std::abs(exact->y() - at.y()) < 2 * devicePixelRatioF())
      at = *exact;
  }
  last_pointer_ = at;
  return at;
}

void ImageView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (on_resize) on_resize();
}

void ImageView::leaveEvent(QEvent* event) {
  last_pointer_ = QPoint(-1, -1);
  QWidget::leaveEvent(event);
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
  const QPoint p = EventPosition(event->position());
  on_wheel(notches, p.x(), p.y());
}

QPoint ImageView::ToDevice(const QPointF& logical) const {
  const qreal dpr = devicePixelRatioF();
  return QPoint(static_cast<int>(std::floor(logical.x() * dpr)),
                static_cast<int>(std::floor(logical.y() * dpr)));
}

void ImageView::mousePressEvent(QMouseEvent* event) {
  const QPoint p = EventPosition(event->position());
  if (on_mouse_down) on_mouse_down(event->button(), p.x(), p.y());
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = EventPosition(event->position());
  if (!mouse_move_attached || !on_mouse_move) return;
  on_mouse_move(event->buttons(), p.x(), p.y());
}

}  // namespace zelk
