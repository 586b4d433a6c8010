#include "core/view/viewport.h"

#include <algorithm>
#include <cmath>

#include "core/view/mouse_steps.h"
#include "core/view/whole_zoom.h"

namespace zelk {

void Viewport::ShowImage(int image_w, int image_h, bool actual_size, bool enforce_aspect) {
  actual_size_ = actual_size;
  image_w_ = std::max(image_w, 0);
  image_h_ = std::max(image_h, 0);
  box_ = {};
  Fit();
  if (actual_size_ && HasImage() && (image_h_ > view_h_ || image_w_ > view_w_))
    ZoomIntoBox(enforce_aspect);
}

void Viewport::Resize(int view_w, int view_h, bool enforce_aspect) {
  view_w_ = std::max(view_w, 0);
  view_h_ = std::max(view_h, 0);
  const ZoomMode was = mode_;
  const ViewMapping kept = mapping_;
  Fit();
  if (was == ZoomMode::kWhole) {
    ShowWhole(kept);
  } else if (was == ZoomMode::kBox) {
    ZoomIntoBox(enforce_aspect);
  }
}

void Viewport::SetActualSize(bool actual_size) {
  actual_size_ = actual_size;
  Fit();
}

void Viewport::Fit() {
  const double old_scale = scale_;
  scale_ = FitViewScale(view_w_, view_h_, image_w_, image_h_, actual_size_);
  mapping_ = FittedViewMapping(scale_);
  mode_ = ZoomMode::kFitted;
  if (old_scale != kNoViewScale) box_ = RescaleZoomBox(box_, old_scale, scale_);
}

void Viewport::ZoomIntoBox(bool enforce_aspect) {
  if (!HasImage()) return;
  if (!ZoomBoxUsable(box_, scale_))
    box_ = DefaultZoomBox(view_w_, view_h_, image_w_, image_h_, scale_, enforce_aspect);
  mode_ = ZoomMode::kBox;
  MapBox();
}

void Viewport::MapBox() {
  mapping_ = ZoomBoxViewMapping(box_, scale_, view_w_, view_h_);
}

void Viewport::ShowWhole(const ViewMapping& mapping) {
  mapping_ = mapping;
  mode_ = ZoomMode::kWhole;
  // The box follows the part shown, so the left-drag pan, Zoom Out and a later box zoom
  // start from what the user sees.
  const PixelRect shown = ShownRect();
  const auto fitted = [this](int pixel) { return static_cast<int>(std::ceil(pixel * scale_)); };
  if (shown.Right > shown.Left)
    box_ = {fitted(shown.Left), fitted(shown.Top), fitted(shown.Right), fitted(shown.Bottom)};
}

void Viewport::StepWholeAt(int notches, int x, int y) {
  if (!HasImage() || notches == 0) return;
  int k = WholeMagnification();
  for (int i = 0; i < std::abs(notches); ++i)
    k = notches > 0 ? WholeZoomUp(k, scale_) : WholeZoomDown(k, scale_);
  if (k == 0) {
    Fit();
    return;
  }
  if (mode_ == ZoomMode::kWhole && k == WholeMagnification()) return;
  ShowWhole(ZoomAt(mapping_, x, y, k));
}

void Viewport::ShowActualPixelsAt(int x, int y) {
  if (!HasImage()) return;
  ShowWhole(ZoomAt(mapping_, x, y, 1));
}

void Viewport::CentreWhole(const PixelRect& rect, int max_k) {
  if (!HasImage()) return;
  const int w = std::max(rect.Right - rect.Left, 1), h = std::max(rect.Bottom - rect.Top, 1);
  int k = 1;
  for (const int step : kWholeMagnifications)
    if (step <= max_k && std::int64_t{step} * w <= view_w_ && std::int64_t{step} * h <= view_h_)
      k = step;
  // Twice the centre, so an odd size centres to the half pixel.
  const auto offset = [k](int low, int high, int view) {
    return (std::int64_t{low} + high) * k / 2 - view / 2;
  };
  ShowWhole({WholeMagnificationAxis(offset(rect.Left, rect.Right, view_w_), k),
             WholeMagnificationAxis(offset(rect.Top, rect.Bottom, view_h_), k)});
}

void Viewport::KeepOrShowImage(int image_w, int image_h, bool actual_size, bool enforce_aspect) {
  if (image_w == image_w_ && image_h == image_h_ && scale_ != kNoViewScale) return;
  ShowImage(image_w, image_h, actual_size, enforce_aspect);
}

bool Viewport::Press(int x, int y) {
  if (!HasImage() || PointOutsideImage(x, y)) return false;
  anchor_ = {x, y};
  if (zoomed()) return false;
  box_ = {x, y, x, y};
  return true;
}

bool Viewport::DragLeft(int x, int y, bool enforce_aspect) {
  if (!HasImage()) return false;
  if (mode_ == ZoomMode::kWhole) return PanFollowing(x, y);
  if (mode_ == ZoomMode::kBox) {
    const PanStepResult step = PanStep(box_, anchor_, x, y, DisplayedExtent(image_w_, scale_),
                                       DisplayedExtent(image_h_, scale_));
    if (!step.Render) return false;
    box_ = step.Box;
    anchor_ = step.Anchor;
    MapBox();
    return true;
  }
  if (PointOutsideImage(x, y)) return false;
  box_ = TrackZoomBox(box_, x, y, enforce_aspect, view_w_, view_h_);
  anchor_ = {x, y};
  return true;
}

bool Viewport::PanFollowing(int x, int y) {
  const int dx = x - anchor_.X, dy = y - anchor_.Y;
  anchor_ = {x, y};
  if (!zoomed() || (dx == 0 && dy == 0)) return false;
  if (mode_ == ZoomMode::kBox) {
    // The nearest whole magnification about the pointer, so the picture can follow
    // the pointer to the device pixel.
    const int k = std::max(1, static_cast<int>(std::lround(mapping_.x.Magnification())));
    mapping_ = ZoomAt(mapping_, x, y, k);
  }
  ShowWhole(PanWholeZoom(mapping_, dx, dy, view_w_, view_h_, image_w_, image_h_));
  return true;
}

double Viewport::Magnification() const {
  return zoomed() ? mapping_.x.Magnification() : scale_;
}

int Viewport::WholeMagnification() const {
  switch (mode_) {
    case ZoomMode::kFitted:
      return 0;
    case ZoomMode::kWhole:
      return static_cast<int>(mapping_.x.Magnification() + 0.5);
    case ZoomMode::kBox:
      // A box zoom sits between two steps: count from the step just above it.
      return static_cast<int>(std::ceil(mapping_.x.Magnification()));
  }
  return 0;
}

SourcePoint Viewport::PixelAt(int x, int y) const {
  return ReadoutPoint(mapping_, x, y);
}

bool Viewport::InsideImage(const SourcePoint& point) const {
  return point.X >= 0 && point.Y >= 0 && point.X < image_w_ && point.Y < image_h_;
}

bool Viewport::PointOutsideImage(int x, int y) const {
  return zelk::PointOutsideImage(scale_ <= 0, x, y, scale_, image_w_, image_h_);
}

PixelRect Viewport::ShownRect() const {
  return ShownImageRect(mapping_, view_w_, view_h_, image_w_, image_h_);
}

std::optional<PixelRect> Viewport::BoxInImage() const {
  if (box_.Empty() || scale_ <= 0) return std::nullopt;
  if (mode_ == ZoomMode::kWhole) {
    // The box in fitted-view pixels can only approximate the part a whole-step zoom
    // shows (below 1:1 not every image column has a view column); name the part.
    const PixelRect shown = ShownRect();
    if (shown.Right > shown.Left) return shown;
  }
  return SourceRect(box_, scale_);
}

PixelRect Viewport::InspectedRegion() const {
  if (zoomed()) return ShownRect();
  if (!box_.Empty() && scale_ > 0) {
    const PixelRect box = SourceRect(box_, scale_);
    return {std::min(box.Left, box.Right), std::min(box.Top, box.Bottom),
            std::max(box.Left, box.Right), std::max(box.Top, box.Bottom)};
  }
  return {0, 0, image_w_, image_h_};
}

}  // namespace zelk
