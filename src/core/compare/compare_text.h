#pragma once
// Texts of the comparison: the readout under the pointer and the one-line summary that
// `zelkzoomer --diff` prints.

#include <string>

#include "core/compare/pixel_diff.h"
#include "core/view/readout.h"
#include "platform/bitmap.h"

namespace zelk {

// "[X: 10 Y: 20] A #1E90FF B #1E8FFF  R 0 G -1 B 0": both colours at the point and B
// minus A per channel. Where one of them has no pixel its colour reads "none" and the
// differences are left out.
std::string CompareReadoutText(const Bitmap& a, const Bitmap& b, const SourcePoint& point);

// The inspector's text of the pixel at the point, one line each:
//   "A  #1E90FF  R 30  G 144  B 255"
//   "B  #1E8FFF  R 30  G 143  B 255"
//   "B - A  R 0  G -1  B 0"
// where one has no pixel its line reads "A  none" (or "B  none") and the third line is
// left out.
std::string ComparePixelText(const Bitmap& a, const Bitmap& b, const SourcePoint& point);

// The inspector's text of the whole comparison, one line each (numbers grouped as the
// rest of the inspector groups them):
//   "Differences  (tolerance 0)"
//   "1,234 of 6,000 x 4,000 pixels differ"        or "No pixel differs"
//   "Box  (10, 20) - (110, 220), 100 x 200"         only when some differ
//   "Largest  R 3  G 0  B 12"
std::string DiffStatsText(const DiffStats& stats, int tolerance);

// The summary line, fields in this order, plain decimal numbers:
//   differing=N size=WxH box=L,T,R,B largest=R,G,B
// N differing pixels of the W x H canvas; the box holding all of them (Right and Bottom
// exclusive), or box=none when none differs; the largest per-channel |B - A| where both
// have a pixel. No line break at the end.
std::string DiffSummaryLine(const DiffStats& stats);

// The window's caption while comparing:
//   "A /x/a.png  W 640  H 480   B 2/7 /y/b.png  W 640  H 480   Mag X 1.00   tolerance 0:
//    1,234 differ" (one line; "counting..." until the count is done, "equal" for none).
std::string CompareCaption(const std::string& a_path, int a_w, int a_h, int b_index, int b_count,
                           const std::string& b_path, int b_w, int b_h, double magnification,
                           int tolerance, const DiffStats* stats);

}  // namespace zelk
