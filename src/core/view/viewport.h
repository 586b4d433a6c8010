#pragma once
// What the view shows of the image: fitted (or at actual size), zoomed into the box
// the user dragged, or at a whole magnification (wheel, keys, panning). It owns the
// zoom state, the view-to-image mapping, the zoom box and the pan anchor, and every
// change of them is one of its methods; the window renders from mapping() and asks it
// which image pixel lies under the pointer. No widgets: the view's and the image's
// sizes are given to it.

#include <optional>

#include "core/view/geometry.h"
#include "core/view/readout.h"
#include "core/view/view_mapping.h"

namespace zelk {

enum class ZoomMode {
  kFitted,  // the whole image scaled to the view (or at actual size)
  kBox,     // the zoom box stretched over the view
  kWhole,   // every image pixel a k x k block (wheel, + and -, 1, panning)
};

class Viewport {
 public:
  // A new image of image_w x image_h (0 x 0: none): fitted, without a box. With actual
  // size on and the image larger than the view either way, zoomed into the default box,
  // so the user sees the top-left corner 1:1 and can pan from there.
  void ShowImage(int image_w, int image_h, bool actual_size, bool enforce_aspect);
  // The view's new size in device pixels: fitted views are fitted again, a box zoom
  // zooms into the box carried over to the new scale, a whole magnification stays and
  // shows more or less of the picture.
  void Resize(int view_w, int view_h, bool enforce_aspect);
  void SetActualSize(bool actual_size);
  // Back to the fitted view; the box stays, carried over to the new scale.
  void Fit();
  // Zoom In: into the box, or the default box when the user's spans no source pixel.
  // Nothing without an image.
  void ZoomIntoBox(bool enforce_aspect);
  // Whole steps about view point (x, y): positive notches zoom in. Stepping below the
  // smallest whole magnification fits the image again.
  void StepWholeAt(int notches, int x, int y);
  // One device pixel per image pixel, the pixel under (x, y) staying there.
  void ShowActualPixelsAt(int x, int y);
  // The largest whole magnification (at most max_k) at which rect fits the view, with
  // rect centred; 1 when even that does not fit.
  void CentreWhole(const PixelRect& rect, int max_k);
  // A new image size that keeps the zoom as it is where it can (the second image of a
  // comparison stepped through its folder): only a size change fits again.
  void KeepOrShowImage(int image_w, int image_h, bool actual_size, bool enforce_aspect);

  // The pointer. A press starts a box in the fitted view (true: redraw) and anchors a
  // pan when zoomed. A left drag draws the box, or pans any zoomed view; a middle drag
  // (or Space with the left) pans with the picture exactly under the pointer, turning a
  // box zoom into the nearest whole magnification. Each returns true when the picture
  // must be drawn again.
  bool Press(int x, int y);
  bool DragLeft(int x, int y, bool enforce_aspect);
  bool PanFollowing(int x, int y);
  // A move with no button: the next drag starts here.
  void Hover(int x, int y) { anchor_ = {x, y}; }
  // The grid between image pixels over zoomed views (never over the fitted one).
  void ToggleGrid() { grid_shown_ = !grid_shown_; }
  bool grid_shown() const { return grid_shown_; }

  int view_width() const { return view_w_; }
  int view_height() const { return view_h_; }
  int image_width() const { return image_w_; }
  int image_height() const { return image_h_; }
  bool HasImage() const { return image_w_ > 0 && image_h_ > 0; }
  ZoomMode mode() const { return mode_; }
  bool zoomed() const { return mode_ != ZoomMode::kFitted; }
  // The fitted view's scale (kNoViewScale before anything was fitted).
  double scale() const { return scale_; }
  const ZoomBox& box() const { return box_; }
  const ViewMapping& mapping() const { return mapping_; }
  // View pixels per image pixel as the caption names it.
  double Magnification() const;
  // The whole magnification shown, or the step just above a box zoom's; 0 when fitted.
  int WholeMagnification() const;
  // The image pixel drawn at view point (x, y) (it may lie outside the image).
  SourcePoint PixelAt(int x, int y) const;
  bool InsideImage(const SourcePoint& point) const;
  // Presses and box drawing ignore points left of or above the view or beyond the
  // fitted image.
  bool PointOutsideImage(int x, int y) const;
  // The image pixels the view shows, clipped to the image.
  PixelRect ShownRect() const;
  // The box in image pixels as the status bar and the SVG path name it (the part
  // shown, at a whole magnification); none without a box.
  std::optional<PixelRect> BoxInImage() const;
  // What the inspector counts: the part shown when zoomed, else the box, else the
  // whole image.
  PixelRect InspectedRegion() const;

 private:
  void ShowWhole(const ViewMapping& mapping);
  void MapBox();

  int view_w_ = 0;
  int view_h_ = 0;
  int image_w_ = 0;
  int image_h_ = 0;
  bool actual_size_ = false;
  bool grid_shown_ = false;
  double scale_ = kNoViewScale;
  ZoomMode mode_ = ZoomMode::kFitted;
  ZoomBox box_;
  PanAnchor anchor_;
  ViewMapping mapping_;
};

}  // namespace zelk
