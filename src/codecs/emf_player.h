#pragma once
// Enhanced metafiles (32-bit records): the header and the playback of the records.

#include <cstddef>
#include <cstdint>

#include "codecs/metafile_bytes.h"
#include "codecs/metafile_canvas.h"

namespace zelk {

struct EmfHeader {
  // Inclusive rectangles: bounds in device pixels, frame in 0.01 mm.
  std::int32_t bounds[4] = {0, 0, 0, 0};
  std::int32_t frame[4] = {0, 0, 0, 0};
  // The reference device: its size in pixels and in 0.01 mm.
  double device_px[2] = {0, 0};
  double device_hmm[2] = {0, 0};
  std::uint16_t handles = 0;
  std::size_t first_record = 0;
};

// Reads the header record; throws ImageError when the file is not an enhanced
// metafile.
EmfHeader ParseEmfHeader(ByteSpan file);

// Plays the records onto canvas until the end record, the record limit or the first
// record whose size is too small or runs past the end of the file.
void PlayEmf(ByteSpan file, const EmfHeader& header, MetafileCanvas& canvas);

}  // namespace zelk
