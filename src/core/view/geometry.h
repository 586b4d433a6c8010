#pragma once
// Geometry of the view: the scale between view pixels and source pixels, the zoom
// box that the user drags over the fitted view and the source rectangle under it.
// Pure functions of their arguments, so the main window only feeds them its state.

namespace zelk {

// The zoom box, in view pixels of the fitted (or actual-size) view. Right and
// Bottom are exclusive, as in a Windows RECT.
struct ZoomBox {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool Empty() const { return Left == Right || Top == Bottom; }
  friend bool operator==(const ZoomBox&, const ZoomBox&) = default;
};

// The last pointer position taken by a mouse event over the view.
struct PanAnchor {
  int X = 0;
  int Y = 0;
  friend bool operator==(const PanAnchor&, const PanAnchor&) = default;
};

// A rectangle of source (bitmap) pixels; it may reach outside the bitmap.
struct PixelRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The value the view scale holds before anything has been rendered.
inline constexpr double kNoViewScale = -1.0;

// Truncates toward zero into the int range: values beyond it stop at its ends and
// NaN gives 0, so a degenerate scale never makes an undefined conversion.
int TruncToInt(double value);

// View pixels per source pixel. At actual size 1.0; fitted, the height ratio, replaced
// by the width ratio only when that is strictly smaller. An image without pixels
// gives 1.0, and a view side of 0 (a window squeezed flat) counts as 1 pixel, so the
// scale is always positive and nothing divides by it to infinity.
double FitViewScale(int view_w, int view_h, int image_w, int image_h, bool actual_size);

// Carries the box over to a new scale: each side trunc(v * new/old + 0.5). Before the
// first render (old scale not positive) or with a non-finite factor the box stays.
ZoomBox RescaleZoomBox(const ZoomBox& box, double old_scale, double new_scale);

// A box can be zoomed into when it spans at least one source pixel each way and does
// not start left of or above the view.
bool ZoomBoxUsable(const ZoomBox& box, double scale);

// The box Zoom In uses when the user's is not usable: from (0, 0) to one less than
// the displayed image's extent (as far as it fits the view), but always spanning at
// least one source pixel each way; with the aspect enforced its height follows from
// the view's aspect ratio instead (the box widened when that height would not span a
// source pixel).
ZoomBox DefaultZoomBox(int view_w, int view_h, int image_w, int image_h, double scale,
                       bool enforce_aspect);

// The source pixels under a box: each side divided by the scale and truncated on its own.
PixelRect SourceRect(const ZoomBox& box, double scale);

// Horizontal view pixels per source pixel of the zoomed view; 0 for a box without width.
double ZoomMagnification(int view_w, double scale, const ZoomBox& box);

// True when mouse presses and box drawing must ignore the point: while loading,
// left of or above the view, or beyond the fitted image's right or bottom edge (a point
// exactly on that edge counts as inside).
bool PointOutsideImage(bool loading, int x, int y, double scale, int image_w, int image_h);

// The extent of the fitted image in view pixels: how many view pixels from 0 show a
// pixel of the image by the fitted view's mapping (ceil(size * scale) in exact
// arithmetic), so it is at least 1 for any image, however thin. 0 for a non-positive
// scale or size.
int DisplayedExtent(int image_size, double scale);

}  // namespace zelk
