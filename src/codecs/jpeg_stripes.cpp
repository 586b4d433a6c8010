#include "codecs/jpeg_stripes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace zelk {
namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kStuffed = 0x00;
constexpr std::uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDri = 0xDD;
constexpr std::uint8_t kSof0 = 0xC0, kSof1 = 0xC1, kDht = 0xC4, kDqt = 0xDB, kCom = 0xFE;
constexpr std::uint8_t kRst0 = 0xD0, kRst7 = 0xD7, kApp0 = 0xE0, kApp15 = 0xEF;
constexpr int kRestartNumbers = 8;

std::size_t BigEndian16(const std::uint8_t* p) {
  return std::size_t{p[0]} << 8 | p[1];
}

struct FrameHeader {
  int width = 0, height = 0;
  int components = 0;
  int max_h = 1, max_v = 1;
  unsigned restart_interval = 0;
  std::size_t height_at = 0;
  std::size_t header_bytes = 0;
};

// A baseline or extended-sequential 8-bit frame of one to four components whose
// sampling libjpeg upsamples with at most one row of context. A single component
// must be unsampled: then every MCU is one block and an iMCU row eight rows.
bool ReadFrame(const std::uint8_t* segment, std::size_t length, std::size_t at,
               FrameHeader& frame) {
  if (length < 6 || segment[0] != 8) return false;
  frame.height = static_cast<int>(BigEndian16(segment + 1));
  frame.width = static_cast<int>(BigEndian16(segment + 3));
  frame.components = segment[5];
  frame.height_at = at + 1;
  if (frame.width == 0 || frame.height == 0) return false;  // no DNL files
  if (frame.components < 1 || frame.components > 4) return false;
  if (length != 6 + 3 * static_cast<std::size_t>(frame.components)) return false;
  int blocks_in_mcu = 0;
  for (int i = 0; i < frame.components; ++i) {
    const int h = segment[6 + 3 * i + 1] >> 4, v = segment[6 + 3 * i + 1] & 0xF;
    if (h < 1 || h > 4 || v < 1 || v > 4) return false;
    if (frame.components == 1 && (h != 1 || v != 1)) return false;
    frame.max_h = std::max(frame.max_h, h);
    frame.max_v = std::max(frame.max_v, v);
    blocks_in_mcu += h * v;
  }
  return blocks_in_mcu <= 10;
}

JpegHeaderVerdict ReadHeader(const std::uint8_t* data, std::size_t size, std::int64_t min_pixels,
                             FrameHeader& frame) {
  if (size < 2) return JpegHeaderVerdict::kIncomplete;
  if (data[0] != kMarkerPrefix || data[1] != kSoi) return JpegHeaderVerdict::kUnsuitable;
  bool have_frame = false;
  std::size_t pos = 2;
  for (;;) {
    if (pos >= size) return JpegHeaderVerdict::kIncomplete;
    if (data[pos] != kMarkerPrefix) return JpegHeaderVerdict::kUnsuitable;
    while (pos < size && data[pos] == kMarkerPrefix) ++pos;  // fill bytes
    if (pos + 3 > size) return JpegHeaderVerdict::kIncomplete;
    const std::uint8_t code = data[pos];
    const std::size_t length = BigEndian16(data + pos + 1);
    if (length < 2) return JpegHeaderVerdict::kUnsuitable;
    if (pos + 1 + length > size) return JpegHeaderVerdict::kIncomplete;
    const std::uint8_t* segment = data + pos + 3;
    const std::size_t segment_length = length - 2;
    if (code == kSof0 || code == kSof1) {
      if (have_frame || !ReadFrame(segment, segment_length, pos + 3, frame))
        return JpegHeaderVerdict::kUnsuitable;
      if (std::int64_t{frame.width} * frame.height < min_pixels)
        return JpegHeaderVerdict::kUnsuitable;
      have_frame = true;
    } else if (code == kDri) {
      if (segment_length != 2) return JpegHeaderVerdict::kUnsuitable;
      frame.restart_interval = static_cast<unsigned>(BigEndian16(segment));
    } else if (code == kSos) {
      // One scan with every component: the whole picture in one pass.
      if (!have_frame || frame.restart_interval == 0 || segment_length < 1 ||
          segment[0] != frame.components ||
          segment_length != 1 + 2 * static_cast<std::size_t>(frame.components) + 3)
        return JpegHeaderVerdict::kUnsuitable;
      frame.header_bytes = pos + 1 + length;
      return JpegHeaderVerdict::kSuitable;
    } else if (code != kDht && code != kDqt && code != kCom && (code < kApp0 || code > kApp15)) {
      // Progressive, lossless or arithmetic frames, DNL, stray markers.
      return JpegHeaderVerdict::kUnsuitable;
    }
    pos += 1 + length;
  }
}

// From `pos` in entropy-coded data: the position of the next marker's code byte
// (past stuffed bytes and fill bytes), or size when the data ends first.
std::size_t NextMarkerCode(const std::uint8_t* data, std::size_t size, std::size_t pos) {
  while (pos < size) {
    const void* found = std::memchr(data + pos, kMarkerPrefix, size - pos);
    if (found == nullptr) return size;
    std::size_t code = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data) + 1;
    while (code < size && data[code] == kMarkerPrefix) ++code;
    if (code >= size) return size;
    if (data[code] != kStuffed) return code;
    pos = code + 1;
  }
  return size;
}

}  // namespace

JpegHeaderVerdict CheckJpegHeaderForStripes(const std::uint8_t* data, std::size_t size,
                                            std::int64_t min_pixels) {
  FrameHeader frame;
  return ReadHeader(data, size, min_pixels, frame);
}

std::optional<JpegStripePlan> PlanJpegStripes(const std::uint8_t* data, std::size_t size,
                                              std::int64_t min_pixels) {
  FrameHeader frame;
  if (ReadHeader(data, size, min_pixels, frame) != JpegHeaderVerdict::kSuitable)
    return std::nullopt;
  JpegStripePlan plan;
  plan.width = frame.width;
  plan.height = frame.height;
  plan.imcu_height = frame.max_v * 8;
  plan.imcu_rows = (frame.height + plan.imcu_height - 1) / plan.imcu_height;
  plan.restart_interval = frame.restart_interval;
  plan.header_bytes = frame.header_bytes;
  plan.height_at = frame.height_at;
  const std::uint64_t mcus_per_row =
      (static_cast<std::uint64_t>(frame.width) + frame.max_h * 8 - 1) / (frame.max_h * 8);
  const std::uint64_t interval = frame.restart_interval;

  // A restart interval begins at iMCU row s when s * mcus_per_row is a multiple of
  // the interval. The upper stripe decodes rows 0..s+1, the lower one s..end: the
  // seam nearest to where both have as much to do.
  const std::int64_t step = static_cast<std::int64_t>(interval / std::gcd(interval, mcus_per_row));
  const std::int64_t rows = plan.imcu_rows;
  const double middle = (rows - 1) / 2.0;
  std::int64_t seam = std::llround(middle / static_cast<double>(step)) * step;
  if (seam > rows - 2) seam -= step;
  if (seam < 1) return std::nullopt;
  // Unless the larger part is at most three quarters of the work, the second
  // thread does not pay for the seam's extra rows and the marker scan.
  if (4 * std::max(seam + 2, rows - seam) > 3 * rows + 8) return std::nullopt;
  plan.seam_imcu_row = static_cast<int>(seam);

  const std::uint64_t seam_interval = static_cast<std::uint64_t>(seam) * mcus_per_row / interval;
  const std::uint64_t markers =
      (static_cast<std::uint64_t>(rows) * mcus_per_row + interval - 1) / interval - 1;
  plan.restart_number_at_seam = static_cast<int>(seam_interval % kRestartNumbers);

  // Every restart marker must be there, numbered in turn, and the scan must end
  // with EOI: then each interval's data is exactly where the one-thread decode
  // finds it. Anything else is left to that decode.
  std::uint64_t seen = 0;
  for (std::size_t code = NextMarkerCode(data, size, plan.header_bytes);;
       code = NextMarkerCode(data, size, code + 1)) {
    if (code >= size) return std::nullopt;  // truncated
    const std::uint8_t marker = data[code];
    if (marker == kEoi) {
      if (seen != markers) return std::nullopt;
      break;
    }
    if (marker < kRst0 || marker > kRst7) return std::nullopt;
    if (marker - kRst0 != static_cast<int>(seen % kRestartNumbers) || seen == markers)
      return std::nullopt;
    if (++seen == seam_interval) plan.resume_at = code + 1;
  }
  if (plan.resume_at == 0) return std::nullopt;
  return plan;
}

std::vector<std::uint8_t> LowerStripeStream(const std::uint8_t* data, std::size_t size,
                                            const JpegStripePlan& plan) {
  std::vector<std::uint8_t> stream;
  stream.reserve(plan.header_bytes + (size - plan.resume_at));
  stream.insert(stream.end(), data, data + plan.header_bytes);
  const auto rows = static_cast<unsigned>(plan.LowerStreamRows());
  stream[plan.height_at] = static_cast<std::uint8_t>(rows >> 8);
  stream[plan.height_at + 1] = static_cast<std::uint8_t>(rows);
  stream.insert(stream.end(), data + plan.resume_at, data + size);
  std::uint8_t* entropy = stream.data();
  const int shift = plan.restart_number_at_seam;
  if (shift != 0) {
    for (std::size_t code = NextMarkerCode(entropy, stream.size(), plan.header_bytes);
         code < stream.size(); code = NextMarkerCode(entropy, stream.size(), code + 1)) {
      if (entropy[code] < kRst0 || entropy[code] > kRst7) break;  // EOI
      const int number = (entropy[code] - kRst0 + kRestartNumbers - shift) % kRestartNumbers;
      entropy[code] = static_cast<std::uint8_t>(kRst0 + number);
    }
  }
  return stream;
}

}  // namespace zelk
