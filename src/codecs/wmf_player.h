#pragma once
// Windows metafiles (16-bit records): the header and the playback of the records.

#include <QRect>
#include <cstddef>
#include <cstdint>

#include "codecs/metafile_bytes.h"
#include "codecs/metafile_canvas.h"

namespace zelk {

inline constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;

struct WmfHeader {
  bool placeable = false;
  // Placeable files: the picture's box in logical units and the units per inch.
  int left = 0, top = 0, right = 0, bottom = 0;
  int units_per_inch = 0;
  std::size_t first_record = 0;  // offset of the first record in the file
  std::uint16_t objects = 0;     // size of the object table
};

// Reads the placeable header (when present) and the metafile header; throws
// ImageError when they are not those of a Windows metafile.
WmfHeader ParseWmfHeader(ByteSpan file);

// The window of a plain metafile: the first window origin and extent its records
// set. Returns false when no extent is set.
bool FindWmfWindow(ByteSpan file, const WmfHeader& header, QPoint& origin, QSize& extent);

// Plays the records onto canvas until the end record, the record limit or the first
// record whose size is zero or runs past the end of the file.
void PlayWmf(ByteSpan file, const WmfHeader& header, MetafileCanvas& canvas);

}  // namespace zelk
