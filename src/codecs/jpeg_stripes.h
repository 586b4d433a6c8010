#pragma once
// Where a baseline JPEG with restart markers can be cut into two horizontal
// stripes that decode independently, and the stream that decodes the lower one.
//
// At a restart marker the entropy decoder starts afresh (DC predictions reset, bit
// buffer emptied), so when a restart interval begins at the start of an iMCU row,
// the data from there on is a complete scan of the rows below: it only needs the
// file's header with the frame height of those rows. Only files whose markers are
// all where they belong are cut; everything else (truncated, damaged, progressive,
// arithmetic, several scans) is left to the one-thread decode.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zelk {

// Below this many pixels the second thread's start, the marker scan and the seam's
// extra rows cost about what they save.
inline constexpr std::int64_t kMinJpegStripePixels = std::int64_t{1} << 20;

enum class JpegHeaderVerdict {
  kIncomplete,  // the header goes on past the bytes given
  kUnsuitable,  // not a single-scan Huffman baseline file with restarts, or too small
  kSuitable,    // worth reading the rest and looking for a seam
};

// Looks at the markers from SOI to the first SOS; pictures of fewer than
// min_pixels are unsuitable (a second thread would not pay for itself).
JpegHeaderVerdict CheckJpegHeaderForStripes(const std::uint8_t* data, std::size_t size,
                                            std::int64_t min_pixels);

struct JpegStripePlan {
  int width = 0, height = 0;
  int imcu_height = 0;  // rows of pixels of one iMCU row
  int imcu_rows = 0;
  unsigned restart_interval = 0;  // in MCUs
  // The lower stripe's stream starts at this iMCU row: a restart interval begins
  // there. Its first iMCU row is decoded only as context for the one below it
  // (smooth chroma upsampling looks one row of chroma up); the upper stripe's
  // decode gives the rows down to the end of the seam row.
  int seam_imcu_row = 0;
  std::size_t header_bytes = 0;    // SOI up to the end of the SOS segment
  std::size_t height_at = 0;       // the frame header's two height bytes
  std::size_t resume_at = 0;       // the first entropy byte after the seam's marker
  int restart_number_at_seam = 0;  // the number (0..7) of the marker ending the seam's interval

  // Rows of pixels the upper stripe gives, and the lower stream's whole height.
  int UpperRows() const { return (seam_imcu_row + 1) * imcu_height; }
  int LowerStreamRows() const { return height - seam_imcu_row * imcu_height; }
};

// A seam near the middle of the picture, when the header is suitable and the
// entropy data holds every restart marker it should, in order, up to an EOI.
std::optional<JpegStripePlan> PlanJpegStripes(const std::uint8_t* data, std::size_t size,
                                              std::int64_t min_pixels);

// The lower stripe as a JPEG of its own: the header with the height of the rows
// from the seam, then the entropy data from the seam with the restart markers
// numbered from RST0, as a decoder expects of a scan's first interval.
std::vector<std::uint8_t> LowerStripeStream(const std::uint8_t* data, std::size_t size,
                                            const JpegStripePlan& plan);

}  // namespace zelk
