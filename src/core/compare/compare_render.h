#pragma once
// The comparison's pictures, drawn through the same ViewMapping as the normal view, so
// that a pixel of A and the pixel of B at the same image coordinates land on the same
// view pixel whichever is shown:
//   flip        RenderMapped(b, view, mapping) (core/view/blit.h), nothing more;
//   split       A left of a divider, B from it on (RenderSplit);
//   difference  differing pixels in one vivid colour, the rest A dimmed to grey
//               (RenderDifference; DifferencePicture at 1:1).

#include <cstdint>

#include "core/compare/pixel_diff.h"
#include "core/view/view_mapping.h"
#include "core/view_image.h"
#include "platform/bitmap.h"

namespace zelk {

// Differing pixels in the difference picture (0x00RRGGBB): magenta, which a grey
// picture never holds.
inline constexpr std::uint32_t kDifferenceColour = 0xFF00FF;

// A pixel (0x00RRGGBB) as the difference picture shows an equal one: its luma, faded two
// thirds of the way to white, so the picture stays recognisable and every difference
// stands out against it.
constexpr std::uint32_t DimmedGrey(std::uint32_t rgb) {
  const std::uint32_t luma =
      (77 * (rgb >> 16 & 0xFF) + 150 * (rgb >> 8 & 0xFF) + 29 * (rgb & 0xFF) + 128) >> 8;
  const std::uint32_t grey = 255 - (255 - luma) / 3;
  return grey << 16 | grey << 8 | grey;
}

// The difference picture's colour (0x00RRGGBB) at canvas pixel (x, y): kDifferenceColour
// where the mask says it differs, A's pixel dimmed where it does not, white where
// neither bitmap has a pixel (and outside the canvas). a is the A the mask was made of.
std::uint32_t DifferencePixel(const Bitmap& a, const DiffMask& mask, int x, int y);

// View columns left of divider_x show a, the rest b, each by the mapping exactly as
// RenderMapped draws it (a divider outside the view shows one of them whole).
void RenderSplit(const Bitmap& a, const Bitmap& b, ViewImage& view, const ViewMapping& mapping,
                 int divider_x);

// The difference picture by the mapping: view pixel (i, j) shows DifferencePixel of the
// source pixel the mapping names, white where that lies outside the canvas. Reads only
// the view's source rows of A and of the mask, so it costs about what a normal render
// of A does.
void RenderDifference(const Bitmap& a, const DiffMask& mask, ViewImage& view,
                      const ViewMapping& mapping);

// The difference picture at 1:1, as large as the canvas (empty for an empty canvas).
// Throws ImageError when the picture cannot be allocated.
Bitmap DifferencePicture(const Bitmap& a, const DiffMask& mask);

}  // namespace zelk
