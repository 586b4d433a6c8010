#pragma once
// What one mouse move with the left button held does to the zoom box: in the fitted
// view it drags an edge of the box, in the zoomed view it pans the box over the image.
// The main window erases and redraws the box around these steps and re-renders.

#include "core/view/geometry.h"

namespace zelk {

// The box after the pointer moved to (x, y) while drawing. The press point is not
// remembered: the Right (Bottom) edge follows the pointer, unless the pointer passes
// beyond Left (Top), in which case the old Left (Top) becomes Right (Bottom) and the
// pointer becomes Left (Top). With the aspect enforced the height follows the width
// by the view's aspect ratio (view_w x view_h); it is not limited to the image.
ZoomBox TrackZoomBox(const ZoomBox& box, int x, int y, bool enforce_aspect, int view_w, int view_h);

struct PanStepResult {
  // The pointer left the anchor: the crop is drawn again (even where the limits hold
  // the box still). When false, box and anchor are unchanged.
  bool Render = false;
  ZoomBox Box;
  PanAnchor Anchor;
};

// One pan step to pointer (x, y). The box moves against the pointer by the pointer's
// travel, stopping at the displayed image's edges: the left (top) edge is tested first
// and the right (bottom) edge only when the first holds, so a box wider than the image
// keeps Left = 0. A box reaching below the image is lifted on the first step.
PanStepResult PanStep(const ZoomBox& box, const PanAnchor& anchor, int x, int y, int displayed_w,
                      int displayed_h);

}  // namespace zelk
