#pragma once
// The view control. Its picture is a ViewImage of the control's size in
// device pixels, painted 1:1, so one view pixel is one physical screen pixel also on
// HiDPI screens. Mouse positions are reported in the same device pixels.

#include <QWidget>
#include <functional>
#include <optional>

#include "core/view_image.h"

namespace zelk {

class ImageView final : public QWidget {
  Q_OBJECT
 public:
  explicit ImageView(QWidget* parent = nullptr);

  // The control's size in device pixels (what the picture must be).
  int DeviceWidth() const;
  int DeviceHeight() const;

  ViewImage& Picture() { return picture_; }
  const ViewImage& Picture() const { return picture_; }
  // Where the pointer is over the view, in device pixels: on X11 asked of the server
  // (exact at any scale factor), elsewhere where it last moved over the view; nothing
  // when it is elsewhere or not known.
  std::optional<QPoint> KnownPointer() const;
  // KnownPointer, or the view's centre.
  QPoint PointerInView() const;
  // Space is held: the left button pans.
  bool SpaceHeld() const { return space_held_; }
  void SetSpaceHeld(bool held) { space_held_ = held; }
  // Repaints now (the zoomed view and the box follow the pointer without lag).
  void RepaintNow();

  // OnMouseDown stays attached; OnMouseMove can be detached while an image loads.
  std::function<void(Qt::MouseButton button, int x, int y)> on_mouse_down;
  std::function<void(Qt::MouseButtons buttons, int x, int y)> on_mouse_move;
  // One notch of the wheel: +1 away from the user (zoom in), -1 towards.
  std::function<void(int notches, int x, int y)> on_wheel;
  // The view's size changed (the window's, or the inspector took or gave back room).
  std::function<void()> on_resize;
  bool mouse_move_attached = true;

  // A quiet line painted over an empty view; never part of the picture, so nothing
  // saved, printed or copied carries it. Empty: none.
  void SetHint(const QString& hint);
  const QString& Hint() const { return hint_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPoint ToDevice(const QPointF& logical) const;
  // The pointer in device pixels of the view, from the X server; nothing elsewhere.
  std::optional<QPoint> DevicePointerFromServer() const;
  // An event's position in device pixels: the server's exact one where it can be had.
  QPoint EventPosition(const QPointF& logical);
  QPoint last_pointer_{-1, -1};
  bool space_held_ = false;
  ViewImage picture_;
  QString hint_;
  int wheel_eighths_ = 0;  // angle not yet turned into whole notches
};

}  // namespace zelk
