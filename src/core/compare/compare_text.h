#pragma once
// Texts of the comparison: the readout under the pointer and the one-line summary that
// `zelkzoomer --diff` prints.

#include <string>

#include "core/bitmap.h"
#include "core/compare/pixel_diff.h"
#include "core/view/readout.h"

namespace zelk {

// "[X: 10 Y: 20] A #1E90FF B #1E8FFF  R 0 G -1 B 0": both colours at the point and B
// minus A per channel. Where one of them has no pixel its colour reads "none" and the
// differences are left out.
std::string CompareReadoutText(const Bitmap& a, const Bitmap& b, const SourcePoint& point);

// The summary line, fields in this order, plain decimal numbers:
//   differing=N size=WxH box=L,T,R,B largest=R,G,B
// N differing pixels of the W x H canvas; the box holding all of them (Right and Bottom
// exclusive), or box=none when none differs; the largest per-channel |B - A| where both
// have a pixel. No line break at the end.
std::string DiffSummaryLine(const DiffStats& stats);

}  // namespace zelk
