// The calling thread is the producer: it reads IDAT chunks (checking each CRC),
// inflates whole batches of filtered rows into a ring of slots and hands each
// batch over. The second thread unfilters the batch in place and converts it into
// the bitmap. Neither waits for the other while the ring has both a full and a
// free slot. Whatever goes wrong on either side stops both, and the producer
// reports it once the second thread has been joined.

#include "codecs/png_two_thread_rows.h"

#include <png.h>
#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace zelk {
namespace {

constexpr std::size_t kCompressedBufferBytes = std::size_t{1} << 16;
constexpr std::size_t kBatchBytes = std::size_t{1} << 19;  // filtered rows per hand-over
constexpr int kSlots = 4;

[[noreturn]] void ThrowDamaged(const std::string& reason) {
  throw ImageError("the PNG file is damaged: " + reason);
}

[[noreturn]] void ThrowEnded() {
  throw ImageError("the file ends before the image data is complete");
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

// The bytes of consecutive IDAT chunks as one stream, every chunk's CRC checked
// once its last byte has been read.
class IdatStream {
 public:
  explicit IdatStream(const PngByteReader& read) : read_(read) {
    if (!StartChunk()) ThrowDamaged("no image data");
  }

  // Up to `capacity` bytes of image data; 0 once the IDAT chunks have ended.
  std::size_t Read(std::uint8_t* out, std::size_t capacity) {
    while (left_in_chunk_ == 0) {
      if (ended_) return 0;
      FinishChunk();
      if (!StartChunk()) return 0;
    }
    const std::size_t n = std::min<std::size_t>(capacity, left_in_chunk_);
    ReadExactly(out, n);
    crc_ = crc32(crc_, out, static_cast<uInt>(n));
    left_in_chunk_ -= static_cast<std::uint32_t>(n);
    return n;
  }

  // Reads the rest of the current chunk and checks its CRC, as libpng does once the
  // rows are complete; the chunks after it are never read.
  void FinishCurrentChunk() {
    if (ended_) return;
    std::uint8_t scratch[4096];
    while (left_in_chunk_ > 0) {
      const std::size_t n = std::min<std::size_t>(sizeof scratch, left_in_chunk_);
      ReadExactly(scratch, n);
      crc_ = crc32(crc_, scratch, static_cast<uInt>(n));
      left_in_chunk_ -= static_cast<std::uint32_t>(n);
    }
    FinishChunk();
    ended_ = true;
  }

 private:
  void ReadExactly(std::uint8_t* out, std::size_t n) {
    if (read_(out, n) != n) ThrowEnded();
  }

  // Reads a chunk header; false (and the stream ends) when it is not an IDAT.
  bool StartChunk() {
    std::uint8_t header[8];
    ReadExactly(header, 8);
    if (std::memcmp(header + 4, "IDAT", 4) != 0) {
      ended_ = true;
      return false;
    }
    left_in_chunk_ = BigEndian32(header);
    if (left_in_chunk_ > PNG_UINT_31_MAX) ThrowDamaged("IDAT: chunk length out of range");
    crc_ = crc32(0, header + 4, 4);
    return true;
  }

  void FinishChunk() {
    std::uint8_t stored[4];
    ReadExactly(stored, 4);
    if (BigEndian32(stored) != crc_) ThrowDamaged("IDAT: CRC error");
  }

  const PngByteReader& read_;
  std::uint32_t left_in_chunk_ = 0;
  uLong crc_ = 0;
  bool ended_ = false;
};

// zlib over an IdatStream, filling exactly the bytes asked for.
class RowInflater {
 public:
  explicit RowInflater(IdatStream& idat) : idat_(idat), input_(kCompressedBufferBytes) {
    if (inflateInit(&stream_) != Z_OK) throw ImageError("not enough memory to inflate the PNG");
  }
  ~RowInflater() { inflateEnd(&stream_); }
  RowInflater(const RowInflater&) = delete;
  RowInflater& operator=(const RowInflater&) = delete;

  void Fill(std::uint8_t* out, std::size_t size) {
    stream_.next_out = out;
    stream_.avail_out = static_cast<uInt>(size);
    while (stream_.avail_out > 0) {
      if (ended_ || !HaveInput()) ThrowDamaged("Not enough image data");
      Step();
    }
  }

  // Inflates to the end of the stream, so that its checksum is checked. Data past
  // the rows is ignored, as libpng ignores it.
  void Finish() {
    std::uint8_t scratch[1024];
    while (!ended_) {
      stream_.next_out = scratch;
      stream_.avail_out = sizeof scratch;
      if (!HaveInput()) return;
      Step();
      if (stream_.avail_out < sizeof scratch) return;
    }
  }

 private:
  bool HaveInput() {
    if (stream_.avail_in > 0) return true;
    const std::size_t n = idat_.Read(input_.data(), input_.size());
    stream_.next_in = input_.data();
    stream_.avail_in = static_cast<uInt>(n);
    return n > 0;
  }

  void Step() {
    const int result = inflate(&stream_, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      ended_ = true;
    } else if (result != Z_OK) {
      ThrowDamaged(std::string("IDAT: ") +
                   (stream_.msg != nullptr ? stream_.msg : "damaged LZ stream"));
    }
  }

  IdatStream& idat_;
  std::vector<std::uint8_t> input_;
  z_stream stream_{};
  bool ended_ = false;
};

inline std::uint8_t Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

}  // namespace

namespace {

#if defined(__SSE2__)
// Sub, Average and Paeth on whole pixels of 3 or 4 bytes in a vector register, as
// libpng's own SSE2 filters do: each byte of these depends on the same byte of the
// pixel to the left, so a pixel at a time is what there is to gain. The pixels are
// read 4 bytes at a time but the row's last, whose fourth byte may lie past the row.
template <int kBpp>
__m128i LoadPixel(const std::uint8_t* p, bool last) {
  std::uint32_t v = 0;
  if (kBpp == 4 || !last) {
    std::memcpy(&v, p, 4);
  } else {
    std::uint16_t low = 0;
    std::memcpy(&low, p, 2);
    v = low | (std::uint32_t{p[2]} << 16);
  }
  return _mm_cvtsi32_si128(static_cast<int>(v));
}

template <int kBpp>
void StorePixel(std::uint8_t* p, __m128i pixel) {
  const auto v = static_cast<std::uint32_t>(_mm_cvtsi128_si32(pixel));
  if constexpr (kBpp == 4) {
    std::memcpy(p, &v, 4);
  } else {
    const auto low = static_cast<std::uint16_t>(v);
    std::memcpy(p, &low, 2);
    p[2] = static_cast<std::uint8_t>(v >> 16);
  }
}

template <int kBpp>
void UnfilterSubSse2(std::uint8_t* d, std::size_t length) {
  __m128i a = _mm_setzero_si128();
  for (std::size_t i = 0; i < length; i += kBpp) {
    a = _mm_add_epi8(LoadPixel<kBpp>(d + i, i + kBpp >= length), a);
    StorePixel<kBpp>(d + i, a);
  }
}

template <int kBpp>
void UnfilterAverageSse2(std::uint8_t* d, const std::uint8_t* prior, std::size_t length) {
  const __m128i ones = _mm_set1_epi8(1);
  __m128i a = _mm_setzero_si128();
  for (std::size_t i = 0; i < length; i += kBpp) {
    const bool last = i + kBpp >= length;
    const __m128i b = LoadPixel<kBpp>(prior + i, last);
    // (a + b) / 2 rounded down: the rounded-up mean less the low bit of a ^ b.
    const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), ones));
    a = _mm_add_epi8(LoadPixel<kBpp>(d + i, last), mean);
    StorePixel<kBpp>(d + i, a);
  }
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

inline __m128i Abs16(__m128i v) {
  return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

template <int kBpp>
void UnfilterPaethSse2(std::uint8_t* d, const std::uint8_t* prior, std::size_t length) {
  const __m128i zero = _mm_setzero_si128();
  __m128i a = zero, c = zero;  // 16-bit lanes: left, above left
  for (std::size_t i = 0; i < length; i += kBpp) {
    const bool last = i + kBpp >= length;
    const __m128i b = _mm_unpacklo_epi8(LoadPixel<kBpp>(prior + i, last), zero);
    const __m128i b_c = _mm_sub_epi16(b, c), a_c = _mm_sub_epi16(a, c);
    const __m128i pa = Abs16(b_c), pb = Abs16(a_c), pc = Abs16(_mm_add_epi16(b_c, a_c));
    const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    // a when pa is the smallest, else b when pb is, else c: ties as in the scalar code.
    const __m128i predicted =
        Select(_mm_cmpeq_epi16(pa, smallest), a, Select(_mm_cmpeq_epi16(pb, smallest), b, c));
    const __m128i pixel =
        _mm_add_epi8(LoadPixel<kBpp>(d + i, last), _mm_packus_epi16(predicted, predicted));
    StorePixel<kBpp>(d + i, pixel);
    a = _mm_unpacklo_epi8(pixel, zero);
    c = b;
  }
}
#endif

// The filters with the pixel size known to the compiler, which then keeps the bytes
// to the left in registers.
template <int kBpp>
bool UnfilterRow(std::uint8_t* row, const std::uint8_t* prior, std::size_t length) {
  std::uint8_t* d = row + 1;
  constexpr std::size_t bpp = kBpp;
#if defined(__SSE2__)
  if constexpr (kBpp >= 3) {
    switch (row[0]) {
      case 1:
        UnfilterSubSse2<kBpp>(d, length);
        return true;
      case 3:
        UnfilterAverageSse2<kBpp>(d, prior, length);
        return true;
      case 4:
        UnfilterPaethSse2<kBpp>(d, prior, length);
        return true;
      default:
        break;
    }
  }
#endif
  switch (row[0]) {
    case 0:
      return true;
    case 1:
      for (std::size_t i = bpp; i < length; ++i)
        d[i] = static_cast<std::uint8_t>(d[i] + d[i - bpp]);
      return true;
    case 2:
      for (std::size_t i = 0; i < length; ++i) d[i] = static_cast<std::uint8_t>(d[i] + prior[i]);
      return true;
    case 3:
      for (std::size_t i = 0; i < bpp && i < length; ++i)
        d[i] = static_cast<std::uint8_t>(d[i] + (prior[i] >> 1));
      for (std::size_t i = bpp; i < length; ++i)
        d[i] = static_cast<std::uint8_t>(d[i] + ((d[i - bpp] + prior[i]) >> 1));
      return true;
    case 4:
      for (std::size_t i = 0; i < bpp && i < length; ++i)
        d[i] = static_cast<std::uint8_t>(d[i] + prior[i]);
      for (std::size_t i = bpp; i < length; ++i)
        d[i] = static_cast<std::uint8_t>(d[i] + Paeth(d[i - bpp], prior[i], prior[i - bpp]));
      return true;
    default:
      return false;
  }
}

}  // namespace

bool UnfilterPngRow(std::uint8_t* row, const std::uint8_t* prior, std::size_t length, int bpp) {
  switch (bpp) {
    case 1:
      return UnfilterRow<1>(row, prior, length);
    case 2:
      return UnfilterRow<2>(row, prior, length);
    case 3:
      return UnfilterRow<3>(row, prior, length);
    default:
      return UnfilterRow<4>(row, prior, length);
  }
}

namespace {

// Undoes a row's filter on `length` bytes at `row` (in place) against `prior`;
// the bpp bytes before each (the pixel to the left in this row and in the row
// above) are there, zero at the row's start. false for a filter PNG does not have.
bool UnfilterWithContext(int filter, std::uint8_t* d, const std::uint8_t* prior, std::size_t length,
                         int bpp) {
  const std::ptrdiff_t back = bpp;
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (std::size_t i = 0; i < length; ++i)
        d[i] = static_cast<std::uint8_t>(d[i] + d[static_cast<std::ptrdiff_t>(i) - back]);
      return true;
    case 2:
      for (std::size_t i = 0; i < length; ++i) d[i] = static_cast<std::uint8_t>(d[i] + prior[i]);
      return true;
    case 3:
      for (std::size_t i = 0; i < length; ++i)
        d[i] = static_cast<std::uint8_t>(
            d[i] + ((d[static_cast<std::ptrdiff_t>(i) - back] + prior[i]) >> 1));
      return true;
    case 4:
      for (std::size_t i = 0; i < length; ++i) {
        const std::ptrdiff_t left = static_cast<std::ptrdiff_t>(i) - back;
        d[i] = static_cast<std::uint8_t>(d[i] + Paeth(d[left], prior[i], prior[left]));
      }
      return true;
    default:
      return false;
  }
}

}  // namespace

void ConvertPngRow(const PngRowFormat& format, const std::uint8_t* s, std::uint8_t* d, int count) {
  const int width = count;
  switch (format.colour_type) {
    case PNG_COLOR_TYPE_GRAY:
      for (int x = 0; x < width; ++x, d += 3) {
        const std::uint8_t g = format.has_key && s[x] == format.key_red ? 255 : s[x];
        d[0] = d[1] = d[2] = g;
      }
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      for (int x = 0; x < width; ++x, s += 2, d += 3) d[0] = d[1] = d[2] = OverWhite(s[0], s[1]);
      break;
    case PNG_COLOR_TYPE_RGB:
      for (int x = 0; x < width; ++x, s += 3, d += 3) {
        if (format.has_key && s[0] == format.key_red && s[1] == format.key_green &&
            s[2] == format.key_blue) {
          d[0] = d[1] = d[2] = 255;
        } else {
          d[0] = s[2], d[1] = s[1], d[2] = s[0];
        }
      }
      break;
    case PNG_COLOR_TYPE_RGBA:
      for (int x = 0; x < width; ++x, s += 4, d += 3) {
        const unsigned a = s[3];
        if (a == 255) {
          d[0] = s[2], d[1] = s[1], d[2] = s[0];
        } else {
          d[0] = OverWhite(s[2], a), d[1] = OverWhite(s[1], a), d[2] = OverWhite(s[0], a);
        }
      }
      break;
    default:  // palette
      for (int x = 0; x < width; ++x, d += 3) std::memcpy(d, format.palette[s[x]].data(), 3);
  }
}

namespace {

// The slots between the two threads, and what each side has done.
struct RowRing {
  std::mutex mutex;
  std::condition_variable changed;
  int filled = 0;     // batches inflated
  int converted = 0;  // batches unfiltered and converted
  bool stop = false;  // the producer gave up: the consumer ends at once
  bool bad_filter = false;
};

class TwoThreadRowDecoder {
 public:
  TwoThreadRowDecoder(const PngRowFormat& format, Bitmap& out)
      : format_(format),
        out_(out),
        bpp_(PngChannelsOf(format.colour_type)),
        sample_bytes_(static_cast<std::size_t>(format.width) * bpp_),
        row_bytes_(sample_bytes_ + 1),
        rows_per_batch_(
            static_cast<int>(std::clamp<std::size_t>(kBatchBytes / row_bytes_, 1, format.height))),
        batches_((format.height + rows_per_batch_ - 1) / rows_per_batch_),
        slots_(row_bytes_ > kBatchBytes
                   ? 0
                   : static_cast<std::size_t>(kSlots) * rows_per_batch_ * row_bytes_),
        prior_(sample_bytes_, 0) {}

  void Run(IdatStream& idat, DecodeControl* control) {
    RowInflater inflater(idat);
    if (row_bytes_ > kBatchBytes) return RunWideRows(inflater, idat, control);
    std::thread consumer;
    try {
      consumer = std::thread([this] { ConvertBatches(); });
    } catch (const std::system_error&) {
      // No thread to be had: this one converts each batch after inflating it.
    }
    try {
      for (int batch = 0; batch < batches_; ++batch) {
        if (CancelRequested(control)) throw DecodeCancelled();
        if (!WaitForFreeSlot(batch)) break;  // the consumer found a bad filter
        const int rows = RowsIn(batch);
        inflater.Fill(Slot(batch), static_cast<std::size_t>(rows) * row_bytes_);
        if (!consumer.joinable()) {
          if (!ConvertBatch(batch)) ring_.bad_filter = true;
          if (ring_.bad_filter) break;
          ring_.converted = batch + 1;
        }
        Publish(batch + 1);
        if (control != nullptr)
          control->Report(std::int64_t{batch} * rows_per_batch_ + rows, format_.height);
      }
    } catch (...) {
      StopConsumer();
      if (consumer.joinable()) consumer.join();
      throw;
    }
    if (consumer.joinable()) consumer.join();
    if (ring_.bad_filter) ThrowDamaged("bad adaptive filter value");
    inflater.Finish();
    idat.FinishCurrentChunk();
  }

 private:
  // Rows wider than a batch (a 16-megapixel row of RGBA is 64 MiB) are not held
  // whole, least of all in a ring of several: each is inflated, unfiltered and
  // converted a piece at a time on this thread, and only the row above is kept, as
  // the next row's filters need it. Memory is then the bitmap, one row of samples
  // and two pieces.
  void RunWideRows(RowInflater& inflater, IdatStream& idat, DecodeControl* control) {
    const auto bpp = static_cast<std::size_t>(bpp_);
    const std::size_t piece = kBatchBytes / bpp * bpp;
    // Each with bpp bytes of context in front: this row's pixel to the left, and
    // the row above's (the old values, which prior_ no longer holds).
    std::vector<std::uint8_t> current(bpp + piece), above(bpp + piece);
    for (int y = 0; y < format_.height; ++y) {
      std::uint8_t filter = 0;
      inflater.Fill(&filter, 1);
      std::fill_n(current.begin(), bpp, 0);
      std::fill_n(above.begin(), bpp, 0);
      std::uint8_t* row = out_.Row(y);
      for (std::size_t at = 0; at < sample_bytes_; at += piece) {
        if (CancelRequested(control)) throw DecodeCancelled();
        const std::size_t n = std::min(piece, sample_bytes_ - at);
        inflater.Fill(current.data() + bpp, n);
        std::memcpy(above.data() + bpp, prior_.data() + at, n);
        if (!UnfilterWithContext(filter, current.data() + bpp, above.data() + bpp, n, bpp_))
          ThrowDamaged("bad adaptive filter value");
        std::memcpy(prior_.data() + at, current.data() + bpp, n);
        ConvertPngRow(format_, current.data() + bpp, row + at / bpp * 3, static_cast<int>(n / bpp));
        // A piece is whole pixels but the row's last, so the context is too.
        std::memcpy(current.data(), current.data() + n, bpp);
        std::memcpy(above.data(), above.data() + n, bpp);
      }
      if (control != nullptr) control->Report(y + 1, format_.height);
    }
    inflater.Finish();
    idat.FinishCurrentChunk();
  }

  int RowsIn(int batch) const {
    return std::min(rows_per_batch_, format_.height - batch * rows_per_batch_);
  }
  std::uint8_t* Slot(int batch) {
    return slots_.data() + static_cast<std::size_t>(batch % kSlots) * rows_per_batch_ * row_bytes_;
  }

  bool WaitForFreeSlot(int batch) {
    std::unique_lock lock(ring_.mutex);
    ring_.changed.wait(lock, [&] { return ring_.bad_filter || batch - ring_.converted < kSlots; });
    return !ring_.bad_filter;
  }
  void Publish(int filled) {
    {
      std::lock_guard lock(ring_.mutex);
      ring_.filled = filled;
    }
    ring_.changed.notify_all();
  }
  void StopConsumer() {
    {
      std::lock_guard lock(ring_.mutex);
      ring_.stop = true;
    }
    ring_.changed.notify_all();
  }

  // The second thread.
  void ConvertBatches() noexcept {
    for (int batch = 0; batch < batches_; ++batch) {
      {
        std::unique_lock lock(ring_.mutex);
        ring_.changed.wait(lock, [&] { return ring_.stop || ring_.filled > batch; });
        if (ring_.stop) return;
      }
      if (!ConvertBatch(batch)) {
        {
          std::lock_guard lock(ring_.mutex);
          ring_.bad_filter = true;
        }
        ring_.changed.notify_all();
        return;
      }
      {
        std::lock_guard lock(ring_.mutex);
        ring_.converted = batch + 1;
      }
      ring_.changed.notify_all();
    }
  }

  bool ConvertBatch(int batch) {
    std::uint8_t* row = Slot(batch);
    const std::uint8_t* prior = prior_.data();
    const int first_y = batch * rows_per_batch_;
    for (int i = 0, rows = RowsIn(batch); i < rows; ++i, row += row_bytes_) {
      if (!UnfilterPngRow(row, prior, sample_bytes_, bpp_)) return false;
      ConvertPngRow(format_, row + 1, out_.Row(first_y + i), format_.width);
      prior = row + 1;
    }
    // The next batch's first row is unfiltered against this one after its slot may
    // have been refilled.
    std::memcpy(prior_.data(), prior, sample_bytes_);
    return true;
  }

  const PngRowFormat& format_;
  Bitmap& out_;
  const int bpp_;
  const std::size_t sample_bytes_, row_bytes_;
  const int rows_per_batch_, batches_;
  std::vector<std::uint8_t> slots_;
  std::vector<std::uint8_t> prior_;
  RowRing ring_;
};

}  // namespace

int PngChannelsOf(int colour_type) {
  switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGBA:
      return 4;
    default:
      return 1;
  }
}

bool TwoThreadRowsApply(int colour_type, int bit_depth, int interlace_type) {
  return bit_depth == 8 && interlace_type == PNG_INTERLACE_NONE &&
         (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA ||
          colour_type == PNG_COLOR_TYPE_RGB || colour_type == PNG_COLOR_TYPE_RGBA ||
          colour_type == PNG_COLOR_TYPE_PALETTE);
}

void DecodePngRowsOnTwoThreads(const PngRowFormat& format, const PngByteReader& read, Bitmap& out,
                               DecodeControl* control) {
  IdatStream idat(read);
  TwoThreadRowDecoder decoder(format, out);
  decoder.Run(idat, control);
}

}  // namespace zelk
